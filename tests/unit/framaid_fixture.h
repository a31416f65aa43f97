#pragma once

// framaid, the server program, run as a real process over the sample shop
// database (made fresh by make_sample): what the tests of its look-ups and
// of its set-up and checks share. The ownership cases run framaid as the
// unprivileged user "nobody", since root may write every file.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "server/command_lines.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace framaid_test {

inline constexpr uid_t kNobody = 65534;
inline constexpr uid_t kWwwData = 33;
inline const QString kToken = QStringLiteral("09:41:07");

inline QString binDir()
{
    const QString env = qEnvironmentVariable("FRAMLA_BIN_DIR");
    return env.isEmpty() ? QStringLiteral(FRAMLA_BINARY_DIR) : env;
}

struct Run {
    int exitCode = -1;
    QString reply; // framla.tmp after the run ("" when none)
    QByteArray raw;
    QString output; // what framaid printed
    QString errors;
};

// The reply's notes: everything from the first "<!--" on.
inline QString notes(const QString &reply)
{
    const qsizetype at = reply.indexOf(QLatin1String("<!--"));
    return at < 0 ? QString() : reply.mid(at);
}

// Line 2 of the reply, the first line of the description.
inline QString line2(const QString &reply)
{
    return reply.section(QLatin1String("\r\n"), 1, 1);
}

// The owner the desktop program reads from a reply: after the first
// "Owned by " that follows "<!--", up to the first " -->".
inline QString ownerMark(const QString &reply)
{
    const QString n = notes(reply);
    const qsizetype at = n.indexOf(QLatin1String("Owned by "));
    if (at < 0)
        return {};
    const QString rest = n.mid(at + 9);
    return rest.left(rest.indexOf(QLatin1String(" -->")));
}

// The supplier picture the desktop program fetches for a reply: from the last
// "images/ssr/" on, cut before "exists on server", trimmed.
inline QString supplierPicture(const QString &reply)
{
    const qsizetype at = reply.lastIndexOf(QLatin1String("images/ssr/"));
    if (at < 0)
        return {};
    QString path = reply.mid(at);
    const qsizetype cut = path.indexOf(QLatin1String("exists on server"));
    return cut < 0 ? path : path.left(cut).trimmed();
}

inline QStringList treeOf(const QString &dir)
{
    QStringList all;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    all.sort();
    return all;
}

// Each entry with its mode, owner, size and time of change: what a run that
// changes nothing leaves as it was.
inline QStringList statesOf(const QString &dir)
{
    QStringList states;
    for (const QString &path : treeOf(dir)) {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        states << QStringLiteral("%1 %2 %3 %4 %5.%6")
                      .arg(path)
                      .arg(st.st_mode, 0, 8)
                      .arg(st.st_uid)
                      .arg(st.st_size)
                      .arg(st.st_ctim.tv_sec)
                      .arg(st.st_ctim.tv_nsec);
    }
    return states;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline quint32 le(const QByteArray &b, int at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | quint8(b[at + i]);
    return v;
}

// Adds an item to a table in place, as a shop program does: a copy of the
// last record with CODE and TAG set goes over the end-of-file mark, then the
// header counts it.
inline bool appendItem(const QString &table, const QByteArray &code, const QByteArray &tag)
{
    QFile f(table);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    const QByteArray b = f.readAll();
    const quint32 count = le(b, 4, 4);
    const int headerLen = int(le(b, 8, 2));
    const int recordLen = int(le(b, 10, 2));
    QByteArray record = b.mid(headerLen + int(count - 1) * recordLen, recordLen);
    record[0] = ' ';
    int offset = 1;
    for (int d = 32; d + 32 <= headerLen && b[d] != '\r'; d += 32) {
        const QByteArray name = b.mid(d, 11).left(int(qstrnlen(b.constData() + d, 11)));
        const int length = quint8(b[d + 16]);
        if (name == "CODE" || name == "TAG")
            record.replace(offset, length,
                           (name == "CODE" ? code : tag).leftJustified(length, ' ', true));
        offset += length;
    }
    const quint32 added = qToLittleEndian(count + 1);
    const QByteArray countBytes(reinterpret_cast<const char *>(&added), 4);
    return f.seek(headerLen + qint64(count) * recordLen) &&
           f.write(record + '\x1a') == recordLen + 1 && f.seek(4) && f.write(countBytes) == 4;
}

/// The working directory, the shared sample database and the ways to run
/// framaid; a test class derives from it and calls prepareCase() from its
/// initTestCase().
class FramaidFixture : public QObject {
protected:
    QTemporaryDir m_tmp;
    QString m_db; // shared sample database, not changed by the tests
    int m_fresh = 0;

    QString framaid() const { return binDir() + QStringLiteral("/framaid/framaid"); }
    // The copy another account runs: the build tree may sit where only root
    // can go (a clone under /root), the test's own directory is open to all.
    QString framaidForOthers() const { return m_tmp.filePath(QStringLiteral("framaid")); }

    // A new sample database that a test may change as it likes.
    QString freshDb()
    {
        const QString db = m_tmp.filePath(QStringLiteral("db%1").arg(++m_fresh));
        QProcess maker;
        maker.start(binDir() + QStringLiteral("/framaid/make_sample"), {db});
        if (!maker.waitForFinished(60000) || maker.exitCode() != 0)
            qFatal("make_sample failed: %s", maker.readAllStandardError().constData());
        return db;
    }

    /// A fresh sample database whose item table holds `count` made-up rings.
    QString dbWithItems(int count)
    {
        const QString db = freshDb();
        QProcess maker;
        maker.start(binDir() + QStringLiteral("/framaid/make_items"),
                    {db + QStringLiteral("/items.dbf"), QString::number(count)});
        if (!maker.waitForFinished(60000) || maker.exitCode() != 0)
            qFatal("make_items failed: %s", maker.readAllStandardError().constData());
        return db;
    }

    // A database directory in a named state: "empty", "empty, group" (mode
    // 775; "images planted": images/ a group mate's link), or the sample
    // with one thing changed; "+setup" runs framaid --setup over it first.
    QString databaseIn(QString state)
    {
        const bool setUp = state.endsWith(QLatin1String("+setup"));
        state.remove(QLatin1String("+setup"));
        QString db;
        bool ok = true;
        if (state.startsWith(QLatin1String("empty"))) {
            db = m_tmp.filePath(QStringLiteral("db%1").arg(++m_fresh));
            ok = QDir().mkdir(db) &&
                 ::chmod(QFile::encodeName(db).constData(), state == "empty" ? 0755 : 0775) == 0;
        } else {
            db = freshDb();
        }
        const QByteArray d = QFile::encodeName(db);
        if (state == "jtemp 755")
            ok = ::chmod(d + "/jtemp", 0755) == 0;
        else if (state == "jtemp a link")
            ok = QDir(db + "/jtemp").removeRecursively() && QDir().mkdir(db + "/elsewhere") &&
                 ::chmod(d + "/elsewhere", 0755) == 0 &&
                 QFile::link(db + "/elsewhere", db + "/jtemp");
        else if (state == "empty, group, images planted")
            ok = QDir().mkdir(db + "-elsewhere") &&
                 QFile::link(db + "-elsewhere", db + "/images") &&
                 ::lchown(d + "/images", kNobody, kNobody) == 0;
        else if (state == "shuttle missing")
            ok = QDir(db + "/shuttle").removeRecursively();
        else if (state == "shuttle a file")
            ok = QDir(db + "/shuttle").removeRecursively() && writeFile(db + "/shuttle", "x");
        else if (state == "field missing")
            ok = writeFile(db + "/framaid.conf", "items.show = METAL, NOSUCH\n");
        else if (state == "conf not understood")
            ok = writeFile(db + "/framaid.conf", "itemz = x\n");
        else if (state == "items damaged")
            ok = ::truncate(d + "/items.dbf", 600) == 0;
        else if (state == "reply directory of another")
            ok = QDir().mkdir(db + "/jtemp/root") &&
                 ::chown(d + "/jtemp/root", kNobody, kNobody) == 0;
        if (ok && setUp)
            ok = run({"--setup", db}).exitCode == 0;
        return ok ? db : QString();
    }

    Run run(const QStringList &args, uid_t as = 0, const QString &replyDir = {})
    {
        QProcess p;
        if (as != 0) {
            p.setChildProcessModifier([as] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(as) != 0 || ::setuid(as) != 0)
                    ::_exit(99);
            });
        }
        p.start(as == 0 ? framaid() : framaidForOthers(), args);
        Run r;
        if (!p.waitForStarted(20000)) {
            const passwd *account = ::getpwuid(as);
            const QString why =
                QStringLiteral("framaid could not be started as %1: %2")
                    .arg(account ? QString::fromLocal8Bit(account->pw_name) : QString::number(as),
                         p.errorString());
            QTest::qFail(qPrintable(why), __FILE__, __LINE__);
            return r;
        }
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.output = QString::fromUtf8(p.readAllStandardOutput());
        r.errors = QString::fromUtf8(p.readAllStandardError());
        QFile f((replyDir.isEmpty() ? args.value(0) : replyDir) + QStringLiteral("/framla.tmp"));
        if (f.open(QIODevice::ReadOnly))
            r.raw = f.readAll();
        r.reply = QString::fromUtf8(r.raw);
        return r;
    }

    Run lookUp(const QString &db, const QString &code, uid_t as = 0)
    {
        const QString user = as == 0 ? QStringLiteral("root") : QStringLiteral("nobody");
        return run({db + QStringLiteral("/jtemp/") + user, code, kToken}, as);
    }

    // What every reply must be: token first, CR LF lines, notes last and
    // closed, the closing line once and last (as framaid says on its output),
    // a supplier picture named only when it is there.
    void checkShape(const Run &r, const QString &db)
    {
        QVERIFY2(r.reply.startsWith(kToken + QLatin1Char(' ')), qPrintable(r.reply));
        QVERIFY2(r.raw.endsWith("\r\n<!-- end -->\r\n") && r.raw.count("<!-- end -->") == 1,
                 r.raw.constData());
        QCOMPARE(r.output,
                 QStringLiteral("framaid: reply written; its last line is <!-- end -->\n"));
        QCOMPARE(r.raw.count('\n'), r.raw.count("\r\n"));
        QVERIFY(!line2(r.reply).isEmpty());
        const QStringList noteLines =
            notes(r.reply).split(QLatin1String("\r\n"), Qt::SkipEmptyParts);
        for (const QString &l : noteLines)
            QVERIFY2(l.startsWith(QLatin1String("<!-- ")) && l.endsWith(QLatin1String(" -->")),
                     qPrintable(l));
        const QString ssr = supplierPicture(r.reply);
        if (!ssr.isEmpty())
            QVERIFY2(QFileInfo(db + QLatin1Char('/') + ssr).isFile(), qPrintable(ssr));
    }

    void prepareCase()
    {
        QVERIFY2(QFileInfo(framaid()).isExecutable(), qPrintable(framaid() + " is not built"));
        QVERIFY(m_tmp.isValid());
        // The ownership cases run framaid as nobody, who must reach the files.
        QVERIFY(::chmod(QFile::encodeName(m_tmp.path()).constData(), 0755) == 0);
        QVERIFY(QFile::copy(framaid(), framaidForOthers()));
        QVERIFY(::chmod(QFile::encodeName(framaidForOthers()).constData(), 0755) == 0);
        m_db = freshDb();
    }
};

} // namespace framaid_test
