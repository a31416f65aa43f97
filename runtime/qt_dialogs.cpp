#include "qt_dialogs.h"
#include "threads.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QThread>

#include <cmath>

namespace framla::runtime {

namespace {

/// Run fn on the UI thread and wait for it.
template<typename Fn> auto onUiThreadWait(Fn fn)
{
    using Result = decltype(fn());
    if (onUiThread())
        return fn();
    Result result{};
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { result = fn(); }, Qt::BlockingQueuedConnection);
    return result;
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int answer;
};

QList<ButtonSpec> buttonSpecs(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return {{QMessageBox::Ok, kOk}};
    case Buttons::OkCancel:
        return {{QMessageBox::Ok, kOk}, {QMessageBox::Cancel, kCancel}};
    case Buttons::YesNo:
        return {{QMessageBox::Yes, kYes}, {QMessageBox::No, kNo}};
    case Buttons::RetryCancel:
        return {{QMessageBox::Retry, kRetry}, {QMessageBox::Cancel, kCancel}};
    case Buttons::AbortRetryIgnore:
        return {{QMessageBox::Abort, kAbort},
                {QMessageBox::Retry, kRetry},
                {QMessageBox::Ignore, kIgnore}};
    }
    return {{QMessageBox::Ok, kOk}};
}

/// Box texts come with CR LF or CR line breaks; Qt wants LF.
QString qtLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

/// A message box that shows its text with the text's own line breaks and no
/// others: it is made as wide as the longest line needs. Qt's box would
/// break every line longer than about 500 pixels once more, leaving the
/// last word of a line on a line of its own.
class LineKeepingBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        if (label != nullptr)
            label->setMinimumWidth(widestLine(*label));
        // The box takes its size here, around the label.
        QMessageBox::showEvent(event);
        // A box too wide for the screen is held to Qt's limit, which would
        // cut the lines off: its text is wrapped as Qt wraps it instead.
        if (label != nullptr && width() < layout()->totalMinimumSize().width())
            label->setMinimumWidth(0);
    }

private:
    static int widestLine(const QLabel &label)
    {
        const QFontMetricsF metrics(label.font());
        qreal widest = 0;
        for (const QString &line : label.text().split(QLatin1Char('\n')))
            widest = qMax(widest, metrics.horizontalAdvance(line));
        const QMargins margins = label.contentsMargins();
        // A pixel for the rounding of the advances.
        return int(std::ceil(widest)) + 1 + margins.left() + margins.right() + 2 * label.margin();
    }
};

} // namespace

QString fileDialogFilter(const QString &filterName, const QString &pattern, bool caseSensitiveFiles)
{
    QStringList patterns;
    for (const QString &one : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!caseSensitiveFiles) {
            patterns.append(one.trimmed());
            continue;
        }
        QString caseless;
        for (const QChar c : one.trimmed()) {
            if (c.isLetter() && c.toLower() != c.toUpper())
                caseless += QLatin1Char('[') + c.toUpper() + c.toLower() + QLatin1Char(']');
            else
                caseless += c;
        }
        patterns.append(caseless);
    }
    return filterName + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString fileDialogStartFolder(const QString &lastFolder, const QString &photoFolder)
{
    for (const QString &folder : {lastFolder, photoFolder})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    return {};
}

void QtDialogs::msgBox(const QString &text, const QString &title)
{
    confirmBox(text, title, Buttons::Ok, Icon::None, DefaultButton::First);
}

int QtDialogs::confirmBox(const QString &text, const QString &title, Buttons buttons, Icon icon,
                          DefaultButton defaultButton)
{
    return onUiThreadWait([&]() -> int {
        LineKeepingBox box(toQt(icon), title, qtLines(text), QMessageBox::NoButton, m_owner.data());
        // The texts are the program's own, with names and replies of the
        // server in them: never markup.
        box.setTextFormat(Qt::PlainText);
        const QList<ButtonSpec> specs = buttonSpecs(buttons);
        for (const ButtonSpec &entry : specs)
            box.addButton(entry.button);
        const qsizetype defaultIndex =
            (defaultButton == DefaultButton::Second && specs.size() > 1) ? 1 : 0;
        box.setDefaultButton(specs.at(defaultIndex).button);
        // Closing the box (Escape, the close button) counts as the last
        // button (Cancel, No) or OK alone; in Abort/Retry/Ignore as Abort, the
        // error box's own way out: the log, then the end. Ignore would let
        // the failed operation go on as if nothing had happened.
        const ButtonSpec closing =
            buttons == Buttons::AbortRetryIgnore ? specs.constFirst() : specs.constLast();
        box.setEscapeButton(closing.button);
        box.exec();
        const auto pressed = box.standardButton(box.clickedButton());
        for (const ButtonSpec &entry : specs) {
            if (entry.button == pressed)
                return entry.answer;
        }
        return closing.answer;
    });
}

QString QtDialogs::openFileName(const QString &title, const QString &filterName,
                                const QString &pattern, const QString &startDir)
{
    return onUiThreadWait([&]() -> QString {
#ifdef Q_OS_WIN
        const bool caseSensitive = false;
#else
        const bool caseSensitive = true;
#endif
        const QString filter = fileDialogFilter(filterName, pattern, caseSensitive);
        // Without a folder of its own the dialog opens where the operator
        // last found a picture, as the shop's old platform did; the first
        // time on the photo folder the installation names.
        const bool remember = startDir.isEmpty();
        const QString folder =
            remember ? fileDialogStartFolder(m_lastFolder, qEnvironmentVariable("FRAMLA_PHOTOS"))
                     : startDir;
        const QString chosen = QFileDialog::getOpenFileName(m_owner.data(), title, folder, filter);
        if (remember && !chosen.isEmpty())
            m_lastFolder = QFileInfo(chosen).absolutePath();
        return chosen;
    });
}

QString QtDialogs::existingDirectory(const QString &title, const QString &start)
{
    return onUiThreadWait([&]() -> QString {
        return QFileDialog::getExistingDirectory(m_owner.data(), title, start);
    });
}

} // namespace framla::runtime
