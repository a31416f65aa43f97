#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDialog;

namespace framla::test {

/// The operator at the desk, for tests that drive the real window: answers
/// every message box and file dialog the program shows, as it comes up. No
/// dialog is left waiting: one still open a few seconds after it was
/// answered, or one it has no answer for, is closed (rejected) and named in
/// failures, so that the test fails with the reason instead of hanging until
/// its time limit.
class DialogOperator final : public QObject {
public:
    /// A message box is answered with the first of press that it has, else
    /// with its first button.
    explicit DialogOperator(QList<QMessageBox::StandardButton> press = {QMessageBox::Ok,
                                                                        QMessageBox::Yes});

    /// How long an answered dialog may stay open.
    static constexpr int kCloseLimitMs = 3000;

    /// What file dialogs are given, in order: the path goes into the name
    /// field and the dialog is accepted. An empty path, or none left,
    /// cancels the dialog.
    QQueue<QString> files;
    /// When set, answers every dialog instead (it must close it).
    std::function<void(QDialog *)> answer;

    QStringList boxes;    ///< the text of every message box, in order
    QStringList folders;  ///< the folder every file dialog opened on, in order
    QStringList failures; ///< the dialogs that had to be closed for the test

private:
    void look();
    void respond(QDialog *dialog);
    void fail(QDialog *dialog, const QString &why);

    QList<QMessageBox::StandardButton> m_press;
    QList<std::pair<QPointer<QDialog>, QDeadlineTimer>> m_answered;
    QTimer m_timer;
};

} // namespace framla::test
