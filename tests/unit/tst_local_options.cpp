#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "config/local_options.h"
#include "core/program_state.h"
#include "support/scripted_dialogs.h"

using namespace framla;

Q_DECLARE_METATYPE(framla::LocalValue)

namespace {

LocalValue L(bool value)
{
    return LocalValue{value};
}
LocalValue C(const QString &value)
{
    return LocalValue{value};
}
LocalValue N(double value)
{
    return LocalValue{value};
}

} // namespace

class TestLocalOptions : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    ProgramState state;
    test::ScriptedDialogs dialogs;
    QList<qsizetype> savedLengths; // length of aLocalCfg at every save

    QString path() const { return dir.filePath("scratch.xpf"); }

    void writeFile(const QByteArray &data) const
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }

    void loadCounting()
    {
        config::LoadConfig(state, [this](ProgramState &s) {
            savedLengths.append(s.aLocalCfg.size());
            return config::SaveConfig(s);
        });
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        QFile::remove(path());
        savedLengths.clear();
        dialogs.boxes.clear();
        state = ProgramState{};
        state.cAppPath = dir.path();
        state.services.dialogs = &dialogs;
    }

    void roundTrip_data()
    {
        QTest::addColumn<LocalCfg>("cfg");
        QTest::newRow("defaults") << defaultLocalCfg();
        QTest::newRow("fractions")
            << LocalCfg{N(0.75), N(0.1), N(-3.5), N(1e-300), N(123456789012.0)};
        QTest::newRow("quote and backslash") << LocalCfg{C("say \"hi\" \\ bye\\")};
        QTest::newRow("line ends and tabs") << LocalCfg{C("a\r\nb\tc\n"), C("")};
        QTest::newRow("beyond ASCII") << LocalCfg{C(QString::fromUtf8("Zo\xc3\xab \xe2\x82\xac "
                                                                      "\xf0\x9f\x92\x8e"))};
        QTest::newRow("lone surrogate") << LocalCfg{C(QString(QChar(0xD800))), L(false)};
    }

    void roundTrip()
    {
        QFETCH(LocalCfg, cfg);
        const std::optional<LocalCfg> back = config::decodeLocalCfg(config::encodeLocalCfg(cfg));
        QVERIFY(back.has_value());
        QVERIFY(*back == cfg); // exact: doubles compared with ==, not fuzzily
    }

    void decodeRejects_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray head = "Framla local options 1\naLocalCfg 1\n";
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other header") << QByteArray("Options 2\naLocalCfg 1\nL T\n");
        QTest::newRow("count too high") << QByteArray("Framla local options 1\naLocalCfg 2\nL T\n");
        QTest::newRow("unknown type") << head + "X 1\n";
        QTest::newRow("unquoted text") << head + "C M\n";
        QTest::newRow("bare quote inside") << head + "C \"a\"b\"\n";
        QTest::newRow("unknown escape") << head + "C \"\\q\"\n";
        QTest::newRow("bad hex") << head + "C \"\\u12g4\"\n";
        QTest::newRow("three hex digits") << head + "C \"\\u123\"\n";
        QTest::newRow("no hex digits") << head + "C \"\\u\"\n";
        QTest::newRow("nan") << head + "N nan\n";
        QTest::newRow("infinite") << head + "N 1e400\n";
    }

    void decodeRejects()
    {
        QFETCH(QByteArray, data);
        QVERIFY(!config::decodeLocalCfg(data).has_value());
    }

    void load_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<LocalCfg>("expected");
        QTest::addColumn<QList<qsizetype>>("saves");

        const auto stored = [](const LocalCfg &cfg) { return config::encodeLocalCfg(cfg); };
        const LocalCfg mine = {L(false), L(true), L(false), C("L"),   N(0.75),
                               L(false), N(3),    N(7),     L(false), L(true)};
        const LocalCfg defaults = defaultLocalCfg();
        const QList<qsizetype> unsaved; // the defaults are used; the file is left alone

        QTest::newRow("no file") << false << QByteArray() << defaults << QList<qsizetype>{};
        QTest::newRow("4 slots") << true << stored(mine.mid(0, 4))
                                 << (mine.mid(0, 4)
                                     << N(0) << L(true) << N(1) << N(4) << L(true) << L(false))
                                 << QList<qsizetype>{5, 6, 9, 10};
        QTest::newRow("9 slots") << true << stored(mine.mid(0, 9)) << (mine.mid(0, 9) << L(false))
                                 << QList<qsizetype>{10};
        QTest::newRow("10 slots") << true << stored(mine) << mine << QList<qsizetype>{};
        QTest::newRow("garbage") << true << QByteArray("\x00\xff junk", 7) << defaults << unsaved;
        for (const qsizetype length : {0, 3, 7, 8, 11}) {
            LocalCfg odd = (mine + mine).mid(0, length);
            QTest::addRow("%lld slots", qlonglong(length))
                << true << stored(odd) << defaults << unsaved;
        }
        LocalCfg wrongType = mine;
        wrongType[3] = N(1);
        QTest::newRow("number for the size") << true << stored(wrongType) << defaults << unsaved;
        QTest::newRow("text in a short array")
            << true << stored({L(true), C("T"), L(false), C("M")}) << defaults << unsaved;
    }

    void load()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, data);
        QFETCH(LocalCfg, expected);
        QFETCH(QList<qsizetype>, saves);
        if (exists)
            writeFile(data);

        loadCounting();

        QVERIFY(state.aLocalCfg == expected);
        QCOMPARE(savedLengths, saves);
        QCOMPARE(QFile::exists(path()), exists);
        if (exists) {
            QFile f(path());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray now = f.readAll();
            if (saves.isEmpty())
                QCOMPARE(now, data);
            else
                QVERIFY(config::decodeLocalCfg(now) == std::optional<LocalCfg>(expected));
        }
        // The working variables follow the slots.
        QCOMPARE(state.lInventory, std::get<bool>(expected[0]));
        QCOMPARE(state.lNormalize, std::get<bool>(expected[1]));
        QCOMPARE(state.cSize, std::get<QString>(expected[3]));
        QVERIFY(state.nCropRat == std::get<double>(expected[4]));
        QCOMPARE(state.lUseFilename, std::get<bool>(expected[5]));
        QCOMPARE(state.nDevNum, int(std::get<double>(expected[6])));
        QCOMPARE(state.lPreview, std::get<bool>(expected[8]));
        QCOMPARE(state.lOrders, std::get<bool>(expected[9]));
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void cropProportionSurvivesRestart()
    {
        state.aLocalCfg[4] = N(0.75);
        QVERIFY(config::SaveConfig(state));

        state = ProgramState{};
        state.cAppPath = dir.path();
        loadCounting();
        QVERIFY(state.nCropRat == 0.75);
        QVERIFY(savedLengths.isEmpty());
    }

    void saveConfigReportsFailedWrite()
    {
        state.cAppPath = dir.filePath("missing");
        QVERIFY(!config::SaveConfig(state));
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes[0].text.contains(dir.filePath("missing/scratch.xpf")));
    }
};

QTEST_GUILESS_MAIN(TestLocalOptions)
#include "tst_local_options.moc"
