#pragma once

// The report of a batch: what became of each photo, one line a photo, in a
// form a spreadsheet reads as text.

#include "batch/plan.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace framla::batch {

/// What became of one photo.
struct RowResult {
    QString outcome;    ///< put, replaced, skipped, refused, failed, not put
    QString serverPath; ///< where its picture is (or would be) on the server
    qint64 size = -1;   ///< bytes of the picture put; -1 when none was put
    QString reason;     ///< why it was not put
};

/// One line of the report: the fields, each quoted when it holds a comma,
/// a quote or a line break, or begins with "=", "+", "-", "@", a tab or a
/// carriage return (then also with a leading "'", so that a spreadsheet
/// takes it as text).
QString csvLine(const QStringList &fields);

/// The report: a heading line, then per photo its file, code, outcome,
/// server path, size and reason.
QString reportText(const QList<PlanRow> &rows, const QList<RowResult> &results);

/// The result of a row that was not put on purpose (skipped or refused), or
/// that a cancel or failure left behind.
RowResult resultOf(const PlanRow &row, const QString &dbPath);

} // namespace framla::batch
