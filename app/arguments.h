#pragma once

#include <QString>
#include <QStringList>

namespace framla::app {

/// The three command-line arguments after cleaning.
struct StartArguments {
    QString cfgFileName = QStringLiteral("Framla.cfg"); ///< settings file name
    QString startCode;    ///< start inventory code, normalised; empty when not given
    QString startAccount; ///< start account number, normalised; empty when not given or refused
};

/// Settings file name from the first argument: "/", ".", ",", "*" and "$"
/// removed, then ".cfg" added; "Framla.cfg" when nothing but blanks is left.
QString settingsFileName(const QString &argument);

/// Start account number as the code field takes it in Cust/Sup mode: a
/// supplier's (1001 to 9999, four digits) or a customer's (10001 to 99999,
/// five digits); "" for anything else.
QString startAccount(const QString &argument);

/// All three arguments (the program name not included).
StartArguments parseArguments(const QStringList &arguments);

/// What the command line asks for before any window: --help (or -h) and
/// --version stand alone; --folder DIR files a folder of photos without a
/// window (with --replace and --dry-run, which go with it alone); any other
/// argument that begins with "-" is no settings file, code or account, and
/// stops the program.
struct CommandLineRequest {
    enum Kind { Run, Help, Version, Wrong, Folder };
    Kind kind = Run;
    QString error; ///< for Wrong: one line saying what is wrong
    /// For Folder (--folder DIR [--replace] [--dry-run]): the folder of photos
    /// to file without a window, whether pictures on file are replaced,
    /// whether only the plan is shown, and the other arguments (a settings
    /// file's name).
    QString folder{};
    bool replace = false;
    bool dryRun = false;
    QStringList rest{};
};

/// The request of the arguments (the program name not included).
CommandLineRequest commandLineRequest(const QStringList &arguments);

} // namespace framla::app
