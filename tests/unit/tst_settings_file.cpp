#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "config/settings_file.h"
#include "core/program_state.h"
#include "support/scripted_dialogs.h"

using namespace framla;
using framla::config::DECODED;

namespace {

QByteArray joined(const QByteArrayList &lines, const QByteArray &end)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + end;
    return text;
}

QByteArray crlf(const QByteArrayList &lines)
{
    return joined(lines, "\r\n");
}

QString latin1(const char *bytes)
{
    return QString::fromLatin1(bytes);
}

QStringList nulls()
{
    return QStringList(5, QString());
}

ServerLogin loginFrom(const QStringList &values)
{
    return {values[0], values[1], values[2], values[3], values[4]};
}

QStringList fieldsOf(const ServerLogin &login)
{
    return {login.cAddress, login.cPort, login.cPath, login.cUser, login.cPass};
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    ProgramState state;
    test::ScriptedDialogs dialogs;

    QString file(const QString &name = QStringLiteral("Framla.cfg")) const
    {
        return dir.filePath(name);
    }

    QByteArray contents(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        QFile::remove(file());
        dialogs.boxes.clear();
        state = ProgramState{};
        state.services.dialogs = &dialogs;
    }

    void decoded_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<bool>("selfInverse");
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("\x9c\x9d\x9e") << true;
        QTest::newRow("port 22") << QByteArray("22") << QByteArray("\xcd\xcd") << true;
        QTest::newRow("leading blank kept") << QByteArray(" a") << QByteArray("\x9e\xdf") << true;
        QTest::newRow("empty") << QByteArray() << QByteArray() << true;
        QTest::newRow("blanks only") << QByteArray("   ") << QByteArray() << false;
        QTest::newRow("tab and line ends only") << QByteArray(" \t\r\n") << QByteArray() << false;
        QTest::newRow("trailing blanks dropped")
            << QByteArray("ab  ") << QByteArray("\x9d\x9e") << false;
        QTest::newRow("trailing tab kept") << QByteArray("a\t") << QByteArray("\xf6\x9e") << true;
    }

    void decoded()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QFETCH(bool, selfInverse);
        QCOMPARE(DECODED(in), out);
        QCOMPARE(DECODED(DECODED(in)) == in, selfInverse);
    }

    void readParam_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("expected");

        const QByteArray saved = crlf({"Configuration file for 'Framla'.",
                                       "Framla is an image filing clerk for",
                                       "The Jewellery Tillsmith (Plus).",
                                       "",
                                       "[Address]",
                                       "srv",
                                       "",
                                       "[Port]",
                                       "\xcd\xcd",
                                       "",
                                       "[Datapath]",
                                       "/home/jewel",
                                       "",
                                       "[Username]",
                                       "clerk",
                                       "",
                                       "[Password]",
                                       "\x9c\x9d\x9e",
                                       "",
                                       "(end of parameter file)"});
        QTest::newRow("saved file")
            << true << saved << nulls() << QStringList{"srv", "22", "/home/jewel", "clerk", "abc"};
        QTest::newRow("tags in any case")
            << true
            << crlf({"[address]", "Srv.Example", "[PoRt]", "\xcd\xcd", "[datapath]", "/Home/Jewel",
                     "[USERNAME]", "Clerk", "[passWORD]", "\x9c\x9d\x9e"})
            << nulls() << QStringList{"Srv.Example", "22", "/Home/Jewel", "Clerk", "abc"};
        QTest::newRow("doubled tag: first wins")
            << true << crlf({"[Address]", "first", "[Address]", "second"}) << nulls()
            << QStringList{"first", "22", "", "", ""};
        QTest::newRow("missing tags keep given values")
            << true << crlf({"[Datapath]", "/srv/db"})
            << QStringList{"old.host", "2200", "", "olduser", "oldpw"}
            << QStringList{"old.host", "2200", "/srv/db", "olduser", "oldpw"};
        QTest::newRow("missing file, nothing given")
            << false << QByteArray() << nulls() << QStringList{"", "22", "", "", ""};
        QTest::newRow("plain hand-written port and password")
            << true << crlf({"[Port]", "2222", "[Password]", "open sesame"}) << nulls()
            << QStringList{"", "2222", "", "", "open sesame"};
        QTest::newRow("LF-only file")
            << true
            << joined({"[Address]", "host", "[Port]", "2222", "[Datapath]", "/home/jewel",
                       "[Username]", "clerk", "[Password]", "\x9c\x9d\x9e"},
                      "\n")
            << nulls() << QStringList{"host", "2222", "/home/jewel", "clerk", "abc"};
        QTest::newRow("LF-only, blanks after tag, no final LF")
            << true << QByteArray("[Address]  \nhost\n[Password]\npw") << nulls()
            << QStringList{"host", "22", "", "", "pw"};
        QTest::newRow("one CR LF: read by CR LF rules")
            << true << QByteArray("[Address]\nhost\n[Username]\r\nbob\r\n") << nulls()
            << QStringList{"ost\n[Username]", "22", "", "bob", ""};
        QTest::newRow("value without CR LF after it is empty")
            << true << QByteArray("[Address]\r\nhost") << QStringList{"old", "1", "p", "u", "w"}
            << QStringList{"", "1", "p", "u", "w"};
        QTest::newRow("tag at the very end")
            << true << QByteArray("x\r\n[Port]") << nulls() << QStringList{"", "", "", "", ""};
        QTest::newRow("LF and CR inside scrambled values")
            << true << crlf({"[Port]", "\x9e\r\x9d", "[Password]", "\x9e\n\x9d"}) << nulls()
            << QStringList{"",
                           latin1("b\xf2"
                                  "a"),
                           "", "",
                           latin1("b\xf5"
                                  "a")};
        QTest::newRow("first byte 128 is plain, 129 scrambled") << true
                                                                << crlf({"[Port]",
                                                                         "\x80"
                                                                         "pq",
                                                                         "[Password]", "\x81"})
                                                                << nulls()
                                                                << QStringList{"",
                                                                               latin1("\x80"
                                                                                      "pq"),
                                                                               "", "", "~"};
    }

    void readParam()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, given);
        QFETCH(QStringList, expected);
        if (exists) {
            QFile f(file());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        ServerLogin login = loginFrom(given);
        QCOMPARE(config::READPARAM(login, file()), text);
        QCOMPARE(fieldsOf(login), expected);
    }

    void saveParamWritesExactBytes()
    {
        QVERIFY(config::SaveParam(
            state, ServerLogin{"srv.example.com", "22", "/home/jewel", "clerk", "abc"}, file()));
        const QByteArray expected = "Configuration file for 'Framla'.\r\n"
                                    "Framla is an image filing clerk for\r\n"
                                    "The Jewellery Tillsmith (Plus).\r\n"
                                    "\r\n"
                                    "[Address]\r\nsrv.example.com\r\n\r\n"
                                    "[Port]\r\n\xcd\xcd\r\n\r\n"
                                    "[Datapath]\r\n/home/jewel\r\n\r\n"
                                    "[Username]\r\nclerk\r\n\r\n"
                                    "[Password]\r\n\x9c\x9d\x9e\r\n\r\n"
                                    "(end of parameter file)\r\n";
        QCOMPARE(contents(file()), expected);
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void saveAndReadBack_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("ordinary") << QStringList{"192.168.1.20", "22", "/home/jewel", "clerk",
                                                 "s3cret"};
        QTest::newRow("Windows path, Latin-1, inner and leading blanks")
            << QStringList{"shop.example", " 2222", "C:\\Tillsmith\\Data", latin1("Zo\xeb  "),
                           latin1("pass w\xf6rd")};
        QTest::newRow("empty port and password") << QStringList{"h", "", "/p", "u", ""};
        QTest::newRow("lone CR and LF in the scrambled form")
            << QStringList{"h", "22", "/p", "u", latin1("x\xf5y\xf2z")};
        QTest::newRow("another tag after its own line")
            << QStringList{"h", "22", "[ADDRESS]", "u", "[port]"};
    }

    void saveAndReadBack()
    {
        QFETCH(QStringList, values);
        QVERIFY(config::SaveParam(state, loginFrom(values), file()));
        ServerLogin read = loginFrom(nulls());
        config::READPARAM(read, file());
        QCOMPARE(fieldsOf(read), values);
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void unstorable_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("names");
        const QStringList ok = {"h", "22", "/p", "u", "pw"};
        const auto with = [&ok](int index, const QString &value) {
            QStringList values = ok;
            values[index] = value;
            return values;
        };
        QTest::newRow("all storable") << ok << QStringList{};
        QTest::newRow("plain field trailing blanks") << with(3, "bob  ") << QStringList{};
        QTest::newRow("password trailing blank") << with(4, "secret ") << QStringList{"Password"};
        QTest::newRow("port blanks only") << with(1, "  ") << QStringList{"Port"};
        QTest::newRow("password last char 255")
            << with(4, latin1("ab\xff")) << QStringList{"Password"};
        QTest::newRow("port last char 127") << with(1, "22\x7f") << QStringList{"Port"};
        QTest::newRow("password first char 223")
            << with(4, latin1("\xdfx")) << QStringList{"Password"};
        QTest::newRow("scrambled CR LF pair") << with(4, latin1("a\xf5\xf2"
                                                                "b"))
                                              << QStringList{"Password"};
        QTest::newRow("scrambled to blanks")
            << with(4, latin1("\xdf\xdf")) << QStringList{"Password"};
        QTest::newRow("address with LF") << with(0, "host\nx") << QStringList{"Server address"};
        QTest::newRow("user with CR") << with(3, "bob\r") << QStringList{"User name"};
        QTest::newRow("path outside Latin-1")
            << with(2, QString::fromUtf8("/caf\xe2\x82\xac")) << QStringList{"Database path"};
        QTest::newRow("address hides a later tag")
            << with(0, "x[Port]") << QStringList{"Server address"};
        QTest::newRow("two at once")
            << QStringList{"h", "22 ", "/p", "u", " "} << QStringList{"Port", "Password"};
    }

    void unstorable()
    {
        QFETCH(QStringList, values);
        QFETCH(QStringList, names);
        QCOMPARE(config::unstorableSettings(loginFrom(values)), names);
    }

    void saveParamRefusesAndKeepsFile()
    {
        {
            QFile f(file());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        QVERIFY(!config::SaveParam(state, ServerLogin{"h", "22", "/p", "u", "secret "}, file()));
        QCOMPARE(contents(file()), QByteArray("keep me"));
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes[0].text.contains("Password"));
        QVERIFY(!dialogs.boxes[0].text.contains("Port"));
    }

    void saveParamReportsFailedWrite()
    {
        const QString path = dir.filePath("missing/Framla.cfg");
        QVERIFY(!config::SaveParam(state, ServerLogin{"h", "22", "/p", "u", "pw"}, path));
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes[0].text.contains(path));
        QVERIFY(!QFile::exists(path));
    }

    void savedForOwnerOnly_data()
    {
        QTest::addColumn<int>("before"); // the mode of the file before the save; -1: none
        QTest::addColumn<bool>("logged");
        QTest::newRow("new file") << -1 << false;
        QTest::newRow("readable by all") << 0644 << true;
        QTest::newRow("group may write") << 0660 << true;
        QTest::newRow("owner only") << 0600 << false;
    }

    void savedForOwnerOnly()
    {
        QFETCH(int, before);
        QFETCH(bool, logged);
        if (before >= 0) {
            QFile f(file());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
            f.close();
            QVERIFY(::chmod(QFile::encodeName(file()).constData(), mode_t(before)) == 0);
        }
        static QStringList lines;
        lines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { lines << text; });
        const bool saved =
            config::SaveParam(state, ServerLogin{"h", "22", "/p", "u", "pw"}, file());
        qInstallMessageHandler(previous);
        QVERIFY(saved);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(file()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0600));
        QCOMPARE(lines, logged ? QStringList{"the settings file " + file() +
                                             " could be read by other accounts; it is now "
                                             "readable by its owner only"}
                               : QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settings_file.moc"
