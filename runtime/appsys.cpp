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

void DBESYS()
{
    // Nothing to load: the program reads no tables. The date format is the
    // one DTOC writes.
}

void APPSYS() {}

void AppExit()
{
    // No table is ever opened, so none needs committing or closing.
}

void registerAppExit()
{
    std::atexit(AppExit);
}

void endProgram(int exitCode)
{
    AppExit();
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
