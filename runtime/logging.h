#pragma once

#include <QLoggingCategory>

namespace framla::runtime {
/// The program's one logging category: commands run, their outcome, start and end.
Q_DECLARE_LOGGING_CATEGORY(lcFramla)
} // namespace framla::runtime
