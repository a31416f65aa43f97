#pragma once

#include "app/arguments.h"

#include <cstdio>

namespace framla::app {

/// Exit codes of framla --folder.
enum FolderExit : int {
    kFolderFiled = 0,    ///< every photo was put, replaced or skipped
    kFolderNotFiled = 1, ///< a photo failed, was refused or was not put
    kFolderUnusable = 2, ///< the folder or the settings cannot be used
};

/// Files the request's folder without a window, with the settings and
/// options of the working directory: the plan, then (unless it is a dry run)
/// the puts, one line per photo on out, a summary, and the report file.
int runFolderCommand(const CommandLineRequest &request, std::FILE *out, std::FILE *err);

} // namespace framla::app
