#pragma once

// What the server says about each photo's record, asked the way the window
// asks it, and what will be done with the photo.

#include "batch/plan.h"

#include <QByteArray>
#include <QString>

namespace framla::batch {

class Channel;

/// What the look-up of one record found: the reply text as the window shows
/// it, the reply's notes on the target file, and whether a reply came.
struct RecordReply {
    bool answered = false;
    QString text;             ///< the reply text (description and notes)
    QString notes;            ///< the notes on the target file (for an account: the file check's)
    QString failure;          ///< why no reply came, when none did
    bool unreachable = false; ///< no reply came because the server could not be reached
};

/// What the reply means for the row: whether the record exists and has a
/// picture, and the action. Refused: a record the server would file nothing
/// under (with the server's own reason), a picture owned by another account
/// (the web upload utility's above all). A picture on file is replaced only
/// with replace; otherwise the photo is skipped. An item that shows its
/// supplier's shared picture gets a picture of its own, which then stands
/// in front of the supplier's; in Cust/Sup mode the supplier's picture is
/// the target itself.
void decide(PlanRow &row, const RecordReply &reply, core::Mode mode, bool replace);

/// Ask the server about the row's record through the channel (the look-up
/// the window runs, and for an account's picture the file check), then
/// decide. The picture on file, when there is one, is kept in the channel's
/// directory as the row's existing picture. Rows that give no code are left as
/// they are.
void surveyRow(Channel &channel, PlanRow &row, int index, core::Mode mode, bool replace);

/// The name under which the channel keeps a row's existing picture.
QString existingPictureName(int index);

} // namespace framla::batch
