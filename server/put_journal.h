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

/// Makes the record (pending) with the copy of the previous picture; its
/// id, or 0 when nothing is journalled.
qint64 journalBegin(ProgramState &state, const history::JournalEntry &entry,
                    const QByteArray &previous = {});
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

} // namespace framla::server
