#include "settings_check.h"

#include "core/program_state.h"
#include "runtime/dialogs.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace framla::config {

bool windowsImageToolsFound(const QString &pathText, bool systemMogrifyExists)
{
    return pathText.contains(QStringLiteral("IMAGEMAGICK"), Qt::CaseInsensitive) ||
           systemMogrifyExists;
}

bool imageToolsOnPath(const QStringList &pathDirs)
{
    return !QStandardPaths::findExecutable(QStringLiteral("convert"), pathDirs).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("mogrify"), pathDirs).isEmpty();
}

bool CheckImageTools(ProgramState &state)
{
#ifdef Q_OS_WIN
    if (windowsImageToolsFound(
            qEnvironmentVariable("Path"),
            QFileInfo::exists(QStringLiteral("c:\\Windows\\System\\Mogrify.exe"))))
        return true;
#else
    const QStringList dirs =
        qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (imageToolsOnPath(dirs))
        return true;
#endif
    const int answer = state.services.dialogs->confirmBox(
        QStringLiteral("'ImageMagick' must be installed and the\r\n"
                       "path to ImageMagick must be registered.\r\n"
                       "Proceed regardless. Image functions may fail."),
        QString(), runtime::Buttons::YesNo, runtime::Icon::Warning, runtime::DefaultButton::Second);
    return answer != runtime::kNo;
}

} // namespace framla::config
