#pragma once

#include "dialogs.h"

#include <QPointer>
#include <QWidget>

namespace framla::runtime {

/// The filter of a file dialog: the name, then the patterns (given separated
/// by ";") as Qt wants them, separated by blanks. On a file system that tells
/// letter case apart, each letter matches either case ("IX*.DBF" also finds
/// "ix0001.dbf").
QString fileDialogFilter(const QString &filterName, const QString &pattern,
                         bool caseSensitiveFiles);

/// Where a file dialog whose caller names no folder opens: the folder the
/// operator last chose a file in from such a dialog, else the photo folder
/// (FRAMLA_PHOTOS), else "" (the working directory). A folder that is no
/// longer there is passed over.
QString fileDialogStartFolder(const QString &lastFolder, const QString &photoFolder);

/// Dialogs shown with Qt's boxes, modal to the main window. Safe to call from
/// a worker thread: the box is shown on the UI thread and the worker waits.
class QtDialogs final : public Dialogs {
public:
    void setOwner(QWidget *owner) { m_owner = owner; }

    void msgBox(const QString &text, const QString &title) override;
    int confirmBox(const QString &text, const QString &title, Buttons buttons, Icon icon,
                   DefaultButton defaultButton) override;
    QString openFileName(const QString &title, const QString &filterName, const QString &pattern,
                         const QString &startDir) override;
    QString existingDirectory(const QString &title, const QString &start) override;

private:
    QPointer<QWidget> m_owner;
    QString m_lastFolder; ///< of the last file chosen where no folder was named
};

} // namespace framla::runtime
