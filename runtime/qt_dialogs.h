#pragma once

#include "dialogs.h"

#include <QPointer>
#include <QWidget>

namespace framla::runtime
{

/// Dialogs shown with Qt's boxes, modal to the main window. Safe to call from
/// a worker thread: the box is shown on the UI thread and the worker waits.
class QtDialogs final : public Dialogs
{
public:
    void setOwner(QWidget *owner) { m_owner = owner; }

    void msgBox(const QString &text, const QString &title) override;
    int confirmBox(const QString &text, const QString &title, Buttons buttons, Icon icon,
                   DefaultButton defaultButton) override;
    QString openFileName(const QString &title, const QString &filterName, const QString &pattern,
                         const QString &startDir) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace framla::runtime
