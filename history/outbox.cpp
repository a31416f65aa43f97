#include "outbox.h"

#include "durable_file.h"
#include "history_util.h"
#include "runtime/files.h"
#include "runtime/logging.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

namespace framla::history {

namespace {

constexpr int kFormat = 1;
// The pause grows, but never past a minute: a photo goes out within a
// minute of the server coming back, however long the line was down.
constexpr int kFirstPauseSeconds = 15;
constexpr int kLongestPauseSeconds = 60;

constexpr char kPicture[] = ".jpg";
constexpr char kMeta[] = ".json";

/// Ids as add() makes them: the time of the first attempt and a random
/// part. Anything else is not ours, and never becomes a path.
bool isId(const QString &id)
{
    static const QRegularExpression form(QStringLiteral("\\A[0-9]{8}T[0-9]{9}Z-[0-9a-f]{8}\\z"));
    return form.match(id).hasMatch();
}

constexpr Failure fail("outbox");

QJsonObject toJson(const OutboxEntry &entry)
{
    return {
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("id"), entry.id},
        {QStringLiteral("code"), entry.code},
        {QStringLiteral("name"), entry.name},
        {QStringLiteral("kind"), kindName(entry.kind)},
        {QStringLiteral("size"), entry.size},
        {QStringLiteral("serverPath"), entry.serverPath},
        {QStringLiteral("settings"), entry.settingsFile},
        {QStringLiteral("address"), entry.server.address},
        {QStringLiteral("port"), entry.server.port},
        {QStringLiteral("user"), entry.server.user},
        {QStringLiteral("dbPath"), entry.server.dbPath},
        {QStringLiteral("firstTried"), timeText(entry.firstTried)},
        {QStringLiteral("lastTried"), timeText(entry.lastTried)},
        {QStringLiteral("attempts"), entry.attempts},
        {QStringLiteral("lastReason"), entry.lastReason},
        {QStringLiteral("sha256"), entry.sha256},
        {QStringLiteral("hadPicture"), entry.hadPicture},
        {QStringLiteral("journalId"), double(entry.journalId)},
    };
}

/// The entry a metadata file describes; nothing (and why, which the caller
/// logs) when a field is missing or of the wrong kind.
std::optional<OutboxEntry> fromJson(const QByteArray &bytes, QString *why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (!document.isObject()) {
        *why = error.errorString();
        return std::nullopt;
    }
    const QJsonObject json = document.object();
    QStringList wrong;
    const auto text = [&](const char *key) {
        const QJsonValue value = json.value(QLatin1String(key));
        if (!value.isString())
            wrong.append(QLatin1String(key));
        return value.toString();
    };
    const auto time = [&](const char *key) {
        const QDateTime when = QDateTime::fromString(text(key), Qt::ISODateWithMs);
        if (!when.isValid())
            wrong.append(QLatin1String(key));
        return when.toUTC();
    };
    OutboxEntry entry;
    if (json.value(QStringLiteral("format")).toInt() != kFormat)
        wrong.append(QStringLiteral("format"));
    entry.id = text("id");
    entry.code = text("code");
    entry.name = text("name");
    const QString kind = text("kind");
    entry.size = text("size");
    entry.serverPath = text("serverPath");
    entry.settingsFile = text("settings");
    entry.server = {text("address"), text("port"), text("user"), text("dbPath")};
    entry.firstTried = time("firstTried");
    entry.lastTried = time("lastTried");
    entry.attempts = json.value(QStringLiteral("attempts")).toInt(-1);
    entry.lastReason = text("lastReason");
    entry.sha256 = text("sha256");
    entry.hadPicture = json.value(QStringLiteral("hadPicture")).toBool();
    entry.journalId = qint64(json.value(QStringLiteral("journalId")).toDouble(-1));
    if (!json.value(QStringLiteral("hadPicture")).isBool())
        wrong.append(QStringLiteral("hadPicture"));
    if (entry.attempts < 0)
        wrong.append(QStringLiteral("attempts"));
    if (entry.journalId < 0)
        wrong.append(QStringLiteral("journalId"));
    bool known = false;
    for (RecordKind candidate : {RecordKind::Inventory, RecordKind::Supplier, RecordKind::Customer,
                                 RecordKind::Order, RecordKind::DataFile}) {
        if (kindName(candidate) == kind) {
            entry.kind = candidate;
            known = true;
        }
    }
    if (!known)
        wrong.append(QStringLiteral("kind"));
    if (!wrong.isEmpty()) {
        *why = QStringLiteral("missing or wrong: %1").arg(wrong.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    return entry;
}

} // namespace

int retryPauseSeconds(int attempts)
{
    if (attempts <= 0)
        return 0;
    int pause = kFirstPauseSeconds;
    for (int i = 1; i < attempts && pause < kLongestPauseSeconds; ++i)
        pause *= 2;
    return std::min(pause, kLongestPauseSeconds);
}

QDateTime nextAttemptAt(const OutboxEntry &entry)
{
    return entry.lastTried.addSecs(retryPauseSeconds(entry.attempts));
}

Outbox::Outbox(const QString &workDir)
    : m_dir(QDir(workDir).filePath(QLatin1String(kOutboxDir)))
{
    if (!QDir().mkpath(m_dir)) {
        fail(nullptr, QStringLiteral("the folder %1 cannot be made").arg(m_dir));
        return;
    }
    // A picture without its metadata file was never waiting (its add() or
    // remove() was cut off), nor was a file still being written.
    const QStringList present = QDir(m_dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : present) {
        const bool writing = name.endsWith(QLatin1String(kWritingSuffix));
        const bool picture = name.endsWith(QLatin1String(kPicture));
        const QString stem = name.left(name.size() - qsizetype(sizeof kPicture) + 1);
        if (writing || (picture && isId(stem) && !present.contains(stem + QLatin1String(kMeta)))) {
            qCInfo(runtime::lcFramla).noquote()
                << "outbox: removing what a cut-off write left:" << name;
            QFile::remove(QDir(m_dir).filePath(name));
        }
    }
}

QString Outbox::file(const QString &id, const char *suffix) const
{
    return QDir(m_dir).filePath(id + QLatin1String(suffix));
}

QString Outbox::add(const OutboxEntry &given, const QByteArray &picture, QString *why)
{
    QMutexLocker lock(&m_mutex);
    OutboxEntry entry = given;
    if (!entry.firstTried.isValid())
        entry.firstTried = QDateTime::currentDateTimeUtc();
    entry.firstTried = entry.firstTried.toUTC();
    if (!entry.lastTried.isValid())
        entry.lastTried = entry.firstTried;
    entry.sha256 = runtime::sha256Hex(picture);
    do {
        entry.id = entry.firstTried.toString(QStringLiteral("yyyyMMddTHHmmsszzz'Z'-")) +
                   QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                            QLatin1Char('0'));
    } while (QFile::exists(file(entry.id, kMeta)) || QFile::exists(file(entry.id, kPicture)));
    QString reason;
    if (!writeDurably(file(entry.id, kPicture), picture, &reason) || !write(entry, &reason)) {
        QFile::remove(file(entry.id, kPicture));
        fail(why, QStringLiteral("the picture cannot be kept in the outbox: %1").arg(reason));
        return {};
    }
    return entry.id;
}

bool Outbox::write(const OutboxEntry &entry, QString *why)
{
    return writeDurably(file(entry.id, kMeta), QJsonDocument(toJson(entry)).toJson(), why);
}

std::optional<OutboxEntry> Outbox::read(const QString &id, QString *why) const
{
    if (!isId(id)) {
        fail(why, QStringLiteral("%1 is not the name of an outbox entry").arg(id));
        return std::nullopt;
    }
    QFile meta(file(id, kMeta));
    if (!meta.open(QIODevice::ReadOnly)) {
        fail(why, QStringLiteral("%1: %2").arg(meta.fileName(), meta.errorString()));
        return std::nullopt;
    }
    QString reason;
    std::optional<OutboxEntry> entry = fromJson(meta.readAll(), &reason);
    if (entry && entry->id != id)
        reason = QStringLiteral("it names another entry");
    if (entry && entry->id == id && !QFile::exists(file(id, kPicture)))
        reason = QStringLiteral("its picture is missing");
    if (!reason.isEmpty()) {
        fail(why, QStringLiteral("%1 is skipped: %2").arg(meta.fileName(), reason));
        return std::nullopt;
    }
    return entry;
}

QList<OutboxEntry> Outbox::list() const
{
    QMutexLocker lock(&m_mutex);
    QList<OutboxEntry> waiting;
    const QStringList names =
        QDir(m_dir).entryList({QLatin1String("*") + QLatin1String(kMeta)}, QDir::Files);
    for (const QString &name : names) {
        const QString id = name.left(name.size() - qsizetype(sizeof kMeta) + 1);
        if (std::optional<OutboxEntry> entry = read(id, nullptr))
            waiting.append(*entry);
    }
    std::sort(waiting.begin(), waiting.end(), [](const OutboxEntry &a, const OutboxEntry &b) {
        return a.firstTried != b.firstTried ? a.firstTried < b.firstTried : a.id < b.id;
    });
    return waiting;
}

std::optional<std::pair<OutboxEntry, QByteArray>> Outbox::load(const QString &id,
                                                               QString *why) const
{
    QMutexLocker lock(&m_mutex);
    std::optional<OutboxEntry> entry = read(id, why);
    if (!entry)
        return std::nullopt;
    QFile picture(file(id, kPicture));
    if (!picture.open(QIODevice::ReadOnly)) {
        fail(why, QStringLiteral("%1: %2").arg(picture.fileName(), picture.errorString()));
        return std::nullopt;
    }
    QByteArray bytes = picture.readAll();
    if (runtime::sha256Hex(bytes) != entry->sha256) {
        fail(why, QStringLiteral("%1 is damaged").arg(picture.fileName()));
        return std::nullopt;
    }
    return std::make_pair(*entry, bytes);
}

std::optional<OutboxEntry> Outbox::entry(const QString &id, QString *why) const
{
    QMutexLocker lock(&m_mutex);
    return read(id, why);
}

bool Outbox::setJournalId(const QString &id, qint64 journalId, QString *why)
{
    QMutexLocker lock(&m_mutex);
    std::optional<OutboxEntry> entry = read(id, why);
    if (!entry)
        return false;
    entry->journalId = journalId;
    return write(*entry, why);
}

bool Outbox::remove(const QString &id, QString *why)
{
    QMutexLocker lock(&m_mutex);
    if (!isId(id))
        return fail(why, QStringLiteral("%1 is not the name of an outbox entry").arg(id));
    QString reason;
    if (!removeDurably(file(id, kMeta), &reason) || !removeDurably(file(id, kPicture), &reason))
        return fail(why, reason);
    return true;
}

bool Outbox::recordAttempt(const QString &id, const QDateTime &when, const QString &reason,
                           QString *why)
{
    QMutexLocker lock(&m_mutex);
    std::optional<OutboxEntry> entry = read(id, why);
    if (!entry)
        return false;
    entry->attempts += 1;
    entry->lastTried = when.toUTC();
    entry->lastReason = reason;
    return write(*entry, why);
}

} // namespace framla::history
