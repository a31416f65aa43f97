#pragma once

// What the server routines write into the journal, and the fetch of a
// picture as it lies on the server (the copy a replace or delete keeps).
// Every call does nothing when the state keeps no journal, and a journal
// that fails only logs: filing never stops because of it.

#include "history/journal.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace framla {
struct ProgramState;
struct ServerLogin;
struct Target;
} // namespace framla

namespace framla::history {
struct OutboxEntry;
}

namespace framla::server {

/// The record kind of a target: an inventory item, an order, a supplier's or
/// a customer's picture.
history::RecordKind recordKindOf(const Target &target);
/// What the journal and the outbox keep of a login: no password.
history::ServerIdentity identityOf(const ServerLogin &login);
/// The settings file's stem ("Framla" for "Framla.cfg").
QString settingsStem(const ProgramState &state);

/// A record of the running settings about serverPath, not yet made.
history::JournalEntry journalEntry(const ProgramState &state, const ServerLogin &login,
                                   history::JournalAction action, history::RecordKind kind,
                                   const QString &code, const QString &serverPath);

/// What journalBeginPut() made of a put's record and of the copy of the
/// picture it replaces.
struct JournalBegun {
    qint64 id = 0;         ///< the record, 0 when none was made
    bool copyKept = false; ///< the copy of the previous picture is kept
    /// There was a previous picture and the journal keeps no copy of it
    /// (why says why): the put would leave no way back. False when the state
    /// keeps no journal at all.
    bool copyMissing = false;
    bool notPicture = false; ///< the previous "picture" is not one (copyMissing is set)
    QString why;             ///< why the record or the copy is missing
};

/// Makes the record (pending) with the copy of the previous picture. With
/// the id of a put waiting in the outbox, the record that put was journalled
/// in is made pending again and used (a new one when it is gone, noted in
/// the outbox entry), so that a photo keeps one record however often it is
/// tried.
JournalBegun journalBeginPut(ProgramState &state, const history::JournalEntry &entry,
                             const QByteArray &previous = {}, const QString &outboxId = {});

/// journalBeginPut() without an outbox entry: the record's id, or 0 when
/// nothing is journalled.
qint64 journalBegin(ProgramState &state, const history::JournalEntry &entry,
                    const QByteArray &previous = {});
/// Whether the operator lets a picture whose copy cannot be kept (why) be
/// replaced or deleted anyway: asked as "<verb> it anyway?", answered Yes.
bool goAheadUnkept(ProgramState &state, const QString &remote, const QString &why,
                   const QString &verb);

/// Says how the record ended.
void journalEnd(ProgramState &state, qint64 id, history::JournalOutcome outcome,
                const QString &reason = {});

/// What a fetch of a picture on the server found.
struct Fetched {
    bool reached = false; ///< the server answered (the file may still be missing)
    QByteArray data;      ///< the picture; empty when there is none
    QString message;      ///< why the server was not reached
};

/// Fetches remote (a full path on the server) into memory through a file of
/// its own in the program's directory; windowsFlavour as for fetchCommand.
Fetched fetchPicture(ProgramState &state, const ServerLogin &login, const QString &remote,
                     bool windowsFlavour = false);

/// The target a journal record was made for, when its server path is the
/// one the running login and its code and kind give; nothing otherwise.
std::optional<Target> targetOfRecord(const history::JournalEntry &entry, const ServerLogin &login);

/// The target an outbox entry was put for.
Target targetOfEntry(const history::OutboxEntry &entry, const QString &token);

/// The full path on the server of target's picture with login (what a put
/// writes), "" when its code fits no rule; never a stored path.
QString remotePathOf(const Target &target, const ServerLogin &login);

} // namespace framla::server
