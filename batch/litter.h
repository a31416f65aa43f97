#pragma once

// What a batch killed part-way leaves behind on this computer: its work
// directory in the temporary directory, full of prepared photos. The next
// start removes such directories of this user's, once nothing in them has
// changed for a while (a batch still running keeps writing in its own).

#include <QString>

namespace framla::batch {

/// How a batch's work directory in the temporary directory is named: this,
/// then six letters or digits (as QTemporaryDir fills "XXXXXX").
inline constexpr auto kWorkDirPrefix = "framla-batch-";
/// How long a work directory stays untouched before it is taken for litter.
inline constexpr qint64 kStaleWorkDirSecs = 3600;

/// The template a batch's work directory is made from (QTemporaryDir):
/// "<temporary directory>/framla-batch-XXXXXX".
QString workDirTemplate();

/// Removes from tempDir the directories named prefix and six letters or
/// digits, owned by this user, in which nothing (the directory, nor anything
/// under it) was modified for olderThanSecs. A link is never followed nor
/// removed. Returns how many were removed.
int removeStaleWorkDirs(const QString &tempDir, const QString &prefix, qint64 olderThanSecs);

} // namespace framla::batch
