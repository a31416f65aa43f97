#include "dialog_operator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

namespace framla::test {

DialogOperator::DialogOperator(QList<QMessageBox::StandardButton> press)
    : m_press(std::move(press))
{
    connect(&m_timer, &QTimer::timeout, this, &DialogOperator::look);
    m_timer.start(50);
}

void DialogOperator::fail(QDialog *dialog, const QString &why)
{
    const auto *box = qobject_cast<QMessageBox *>(dialog);
    failures << QStringLiteral("%1 \"%2\" %3")
                    .arg(QString::fromLatin1(dialog->metaObject()->className()),
                         box != nullptr ? box->text() : dialog->windowTitle(), why);
    qWarning("DialogOperator: %s", qPrintable(failures.last()));
    dialog->reject();
}

void DialogOperator::look()
{
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible())
        return;
    m_answered.removeIf([](const auto &answered) { return answered.first.isNull(); });
    for (const auto &[answered, limit] : std::as_const(m_answered)) {
        if (answered == dialog) {
            if (limit.hasExpired())
                fail(dialog, QStringLiteral("stayed open after it was answered"));
            return;
        }
    }
    // Noted before it is answered: an answer may open another dialog on
    // top. Answered from the event loop, not from this timer's slot: a
    // dialog opened by the answer waits in a loop of its own, in which this
    // timer, still in its slot, would never fire again.
    m_answered.append({dialog, QDeadlineTimer(kCloseLimitMs)});
    QMetaObject::invokeMethod(
        this,
        [this, open = QPointer<QDialog>(dialog)] {
            if (open != nullptr && open->isVisible())
                respond(open);
        },
        Qt::QueuedConnection);
}

void DialogOperator::respond(QDialog *dialog)
{
    auto *box = qobject_cast<QMessageBox *>(dialog);
    auto *chooser = qobject_cast<QFileDialog *>(dialog);
    if (box != nullptr)
        boxes << box->text();
    if (chooser != nullptr)
        folders << chooser->directory().absolutePath();
    if (answer) {
        answer(dialog);
    } else if (box != nullptr) {
        QAbstractButton *button = nullptr;
        for (const QMessageBox::StandardButton wanted : std::as_const(m_press))
            if (button == nullptr)
                button = box->button(wanted);
        QTest::mouseClick(button != nullptr ? button : box->buttons().constFirst(), Qt::LeftButton);
    } else if (chooser != nullptr) {
        // The path is put into the name field whole, not typed key by key:
        // typed keys race the dialog's completer, which lists folders on a
        // thread of its own and, when its list pops up in time, takes the
        // keys and Enter for itself.
        const QString path = files.isEmpty() ? QString() : files.dequeue();
        auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (path.isEmpty() || name == nullptr) {
            chooser->reject();
            return;
        }
        name->setText(path);
        dialog->accept(); // the file dialog's own accept: it checks the name
    } else {
        fail(dialog, QStringLiteral("was not expected"));
    }
}

} // namespace framla::test
