#include "scripted_dialogs.h"

namespace framla::test {

void ScriptedDialogs::msgBox(const QString &text, const QString &title)
{
    boxes.append(Box{Box::Message, text, title, runtime::Buttons::Ok, runtime::Icon::None,
                     runtime::DefaultButton::First});
}

int ScriptedDialogs::confirmBox(const QString &text, const QString &title, runtime::Buttons buttons,
                                runtime::Icon icon, runtime::DefaultButton defaultButton)
{
    boxes.append(Box{Box::Confirm, text, title, buttons, icon, defaultButton});
    if (!answers.isEmpty())
        return answers.dequeue();
    ++unanswered;
    switch (buttons) {
    case runtime::Buttons::Ok:
        return runtime::kOk;
    case runtime::Buttons::YesNo:
        return runtime::kNo;
    case runtime::Buttons::AbortRetryIgnore:
        return runtime::kIgnore;
    case runtime::Buttons::OkCancel:
    case runtime::Buttons::RetryCancel:
        break;
    }
    return runtime::kCancel;
}

QString ScriptedDialogs::openFileName(const QString &title, const QString &filterName,
                                      const QString &pattern, const QString &)
{
    boxes.append(Box{Box::OpenFile, filterName + QLatin1Char('|') + pattern, title,
                     runtime::Buttons::Ok, runtime::Icon::None, runtime::DefaultButton::First});
    if (whileOpen)
        whileOpen();
    return files.isEmpty() ? QString() : files.dequeue();
}

QString ScriptedDialogs::existingDirectory(const QString &title, const QString &start)
{
    boxes.append(Box{Box::Folder, start, title, runtime::Buttons::Ok, runtime::Icon::None,
                     runtime::DefaultButton::First});
    if (whileOpen)
        whileOpen();
    return files.isEmpty() ? QString() : files.dequeue();
}

QStringList ScriptedDialogs::texts() const
{
    QStringList out;
    for (const Box &box : boxes)
        out.append(box.text);
    return out;
}

} // namespace framla::test
