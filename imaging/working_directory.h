#pragma once

#include "core/program_state.h"

#include <QDir>

namespace framla::imaging {

/// Makes the program's own directory current again, as every tool run and
/// file dialog must leave it.
inline void restoreAppDirectory(const ProgramState &state)
{
    if (!state.cAppPath.isEmpty())
        QDir::setCurrent(state.cAppPath);
}

} // namespace framla::imaging
