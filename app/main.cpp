#include "app/arguments.h"
#include "app/folder_command.h"
#include "app/program.h"
#include "app/window_layout.h"

#include "runtime/application.h"

#include <QCoreApplication>

#include <cstdio>

#ifndef FRAMLA_BUILD
#define FRAMLA_BUILD "unknown"
#endif

namespace {

// What --help prints: the three arguments the program takes, and the folder form.
constexpr auto kUsage =
    "Usage: framla [SETTINGS [CODE [ACCOUNT]]]\n"
    "       framla --folder DIR [--replace] [--dry-run] [SETTINGS]\n"
    "Files product photographs into the shop's database on its server.\n"
    "\n"
    "  SETTINGS  the settings file's name without \".cfg\" (default: Framla,\n"
    "            so Framla.cfg), in the working directory\n"
    "  CODE      an inventory code to look up at start\n"
    "  ACCOUNT   a start account number (1001 to 99999)\n"
    "\n"
    "  --folder DIR  file every photo in DIR without a window: named by its\n"
    "            code (Inventory), \"ACCOUNT-NAME\" (Cust/Sup) or service order\n"
    "            (Repairs), in the options' mode, size and crop; one line per\n"
    "            photo, a summary, and a report framla-batch-*.csv in the\n"
    "            working directory (exit code 1 when a photo was not filed)\n"
    "  --replace  with --folder: replace the pictures already on file\n"
    "  --dry-run  with --folder: only show what would be done\n"
    "  --help     show this text and end\n"
    "  --version  show the version and the build and end\n"
    "\n"
    "The program keeps its settings file, its options (scratch.xpf) and its\n"
    "working files in the directory it starts in; the framla command starts\n"
    "it in ~/.local/share/framla (or $FRAMLA_WORKDIR).\n";

} // namespace

int main(int argc, char *argv[])
{
    // Answered before any window system is asked for.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const framla::app::CommandLineRequest request = framla::app::commandLineRequest(arguments);
    switch (request.kind) {
    case framla::app::CommandLineRequest::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case framla::app::CommandLineRequest::Version:
        std::printf("Framla %s (build %s)\n", framla::app::layout::kVersion, FRAMLA_BUILD);
        return 0;
    case framla::app::CommandLineRequest::Wrong:
        std::fprintf(stderr, "%s\n%s", qPrintable(request.error), kUsage);
        return 2;
    case framla::app::CommandLineRequest::Folder: {
        QCoreApplication application(argc, argv);
        return framla::app::runFolderCommand(request, stdout, stderr);
    }
    case framla::app::CommandLineRequest::Run:
        break;
    }
    framla::runtime::FramlaApplication application(argc, argv);
    framla::app::Program program;
    return program.run(framla::runtime::FramlaApplication::arguments().mid(1));
}
