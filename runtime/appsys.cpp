#include "appsys.h"

#include <QCoreApplication>

#include "core/program_state.h"
#include "runtime/application.h"

#include <cstdio>
#include <cstdlib>

namespace framla::runtime {

void ErrorSys(ProgramState &state)
{
    if (auto *app = qobject_cast<FramlaApplication *>(QCoreApplication::instance()))
        app->setProgramState(&state);
    if (!state.services.exitProgram)
        state.services.exitProgram = [](int exitCode) { endProgram(exitCode); };
}

void endProgram(int exitCode)
{
    std::fflush(nullptr);
    // _Exit rather than exit: the error may have been raised on the upload
    // worker while the UI thread is still running, and tearing down statics
    // under it would crash. Every file of ours is closed by now.
    std::_Exit(exitCode);
}

QString DTOC(const QDate &date, bool century)
{
    if (!date.isValid())
        return century ? QStringLiteral("  /  /    ") : QStringLiteral("  /  /  ");
    return date.toString(century ? QStringLiteral("MM/dd/yyyy") : QStringLiteral("MM/dd/yy"));
}

} // namespace framla::runtime
