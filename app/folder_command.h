#pragma once

#include "app/arguments.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace framla::app {

/// Exit codes of framla --folder.
enum FolderExit : int {
    kFolderFiled = 0,    ///< every photo was put, replaced or skipped
    kFolderNotFiled = 1, ///< a photo failed, was refused or was not put
    kFolderUnusable = 2, ///< the folder or the settings cannot be used
};

/// text as one line that is safe to print: a control character (a line
/// break, a tab, an escape sequence's start) or an invisible formatting one
/// in a photo's name or a reply is shown escaped ("\n", "\t", "\x1b",
/// "\u202e"), so that no name can forge or hide a line.
QString printableLine(const QString &text);

/// The lines framla --folder prints about its photos. A photo the server
/// could not be reached for gets a short line ("AB1.jpg: failed"), and why
/// is said once, after them all.
class FolderLines {
public:
    /// The line of one photo: "FILE: WHAT[ PATH][ (REASON)]".
    QString photo(const QString &file, const QString &what, const QString &path,
                  const QString &reason);
    /// What follows the photos' lines: "failed: the server cannot be
    /// reached" after photos it could not be reached for; nothing otherwise.
    QStringList closing() const;

private:
    QString m_unreachable; ///< what became of the photos the server could not be reached for
};

/// Files the request's folder without a window, with the settings, options
/// and services (the journal among them) of the working directory: the plan,
/// then (unless it is a dry run) the puts, one line per photo on out, a
/// summary, and the report file.
int runFolderCommand(const CommandLineRequest &request, std::FILE *out, std::FILE *err);

} // namespace framla::app
