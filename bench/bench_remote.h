#pragma once

// The program's routines run in the benchmarks without a window or an
// operator: nothing is shown and every question is answered OK.

#include "bench_common.h"
#include "runtime/dialogs.h"
#include "server/target_display.h"

#include <QDir>
#include <QMap>
#include <QString>

#include <cstdio>

namespace framla::bench {

class NoDialogs final : public runtime::Dialogs {
public:
    void msgBox(const QString &, const QString &) override {}
    int confirmBox(const QString &, const QString &, runtime::Buttons, runtime::Icon,
                   runtime::DefaultButton) override
    {
        return runtime::kOk;
    }
    QString openFileName(const QString &, const QString &, const QString &,
                         const QString &) override
    {
        return {};
    }
    QString existingDirectory(const QString &, const QString &) override { return {}; }
};

/// Starts the test SSH server of scripts/test-server in serverDir (run as
/// root: it makes a throwaway account), running the script in workDir. On
/// success facts holds what it wrote in server.env and PUTTYDIR points the
/// PuTTY tools at its keys; on failure name (the benchmark's) says so.
inline bool startTestServer(const char *name, const QString &serverDir, const QString &workDir,
                            QMap<QString, QString> &facts)
{
    qputenv("FRAMLA_BIN_DIR", FRAMLA_BINARY_DIR);
    if (!runTool(QStringLiteral("bash"),
                 {QStringLiteral(FRAMLA_SOURCE_DIR "/scripts/test-server"), QStringLiteral("start"),
                  serverDir},
                 workDir)) {
        std::fprintf(stderr, "%s: the test server did not start (run as root)\n", name);
        return false;
    }
    facts = readFacts(QDir(serverDir).filePath(QStringLiteral("server.env")));
    qputenv("PUTTYDIR", facts.value(QStringLiteral("PUTTYDIR")).toLocal8Bit());
    return true;
}

/// Takes the test server of startTestServer down again.
inline void stopTestServer(const QString &serverDir, const QString &workDir)
{
    runTool(QStringLiteral("bash"),
            {QStringLiteral(FRAMLA_SOURCE_DIR "/scripts/test-server"), QStringLiteral("stop"),
             serverDir},
            workDir);
}

} // namespace framla::bench
