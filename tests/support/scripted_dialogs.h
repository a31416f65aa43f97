#pragma once

#include "runtime/dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

namespace framla::test {

/// Dialogs for tests: records every box and answers from a queue.
class ScriptedDialogs final : public runtime::Dialogs {
public:
    struct Box {
        enum Kind { Message, Confirm, OpenFile, Folder } kind = Message;
        QString text;
        QString title;
        runtime::Buttons buttons = runtime::Buttons::Ok;
        runtime::Icon icon = runtime::Icon::None;
        runtime::DefaultButton defaultButton = runtime::DefaultButton::First;
    };

    /// Answers for confirm boxes, taken in order; an empty queue answers with
    /// the last button (Cancel or No) and counts as unanswered.
    QQueue<int> answers;
    /// Paths for file and folder dialogs, taken in order; empty when the
    /// queue is empty.
    QQueue<QString> files;
    /// Runs while a file dialog is open, as the operator browses (a dialog
    /// may leave another directory current).
    std::function<void()> whileOpen;

    QList<Box> boxes;
    int unanswered = 0;

    void msgBox(const QString &text, const QString &title) override;
    int confirmBox(const QString &text, const QString &title, runtime::Buttons buttons,
                   runtime::Icon icon, runtime::DefaultButton defaultButton) override;
    QString openFileName(const QString &title, const QString &filterName, const QString &pattern,
                         const QString &startDir) override;
    /// Recorded with the start folder as its text.
    QString existingDirectory(const QString &title, const QString &start) override;

    /// The texts of all boxes shown, in order.
    QStringList texts() const;
};

} // namespace framla::test
