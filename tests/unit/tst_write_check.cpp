// Whether a target file may be written or deleted, from the last reply.
#include "core/program_state.h"
#include "runtime/files.h"
#include "server/reply.h"
#include "server/write_check.h"
#include "support/scripted_dialogs.h"

#include <QTemporaryDir>
#include <QTest>

using namespace framla;

class TestWriteCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cases_data();
    void cases();
    void replyParts_data();
    void replyParts();
};

void TestWriteCheck::cases_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("image");
    QTest::addColumn<int>("forDelete"); // -1 omitted
    QTest::addColumn<int>("answer");    // for the replace question, 0 none
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QStringList>("boxes");

    const QByteArray web = "10:30:00\r\nRing\r\n<!-- images/AB/AB12345.jpg exists Owned by "
                           "user=www-data -->\r\n";
    const QByteArray other = "<!-- exists Owned by jane -->";
    const QString webText =
        "This image was published by a web image upload utility. You will only be able to change "
        "the image after it has been erased.\r\nINSTRUCTIONS: Erase the existing image by clicking "
        "the target [x]. You are then free to replace the image.\r\nHINT: Keep a copy of the old "
        "image before erasing by First clicking the [<] button, that sets the old image as the "
        "working image.";

    QTest::newRow("web image, delete") << web << true << 1 << 0 << true << QStringList{};
    QTest::newRow("web image, put") << web << true << -1 << 0 << false << QStringList{webText};
    QTest::newRow("web owner, data file")
        << web << false << -1 << 0 << false
        << QStringList{"This data file is owned by user=www-data and you\r\ndo not have write "
                       "access permission to overwite it.\r\nRename local file and try again."};
    QTest::newRow("other owner, image, delete")
        << other << true << 1 << 0 << false
        << QStringList{"This image file is owned by jane and you\r\ndo not have write access "
                       "permission to overwite it."};
    QTest::newRow("owner without closing mark")
        << QByteArray("<!-- Owned by jane") << true << -1 << 0 << false
        << QStringList{"This image file is owned by  and you\r\ndo not have write access "
                       "permission to overwite it."};
    QTest::newRow("exists, OK") << QByteArray("<!-- images/AB/AB12345.jpg exists -->") << true << -1
                                << int(runtime::kOk) << true
                                << QStringList{"Replace existing image?"};
    QTest::newRow("exists, Cancel")
        << QByteArray("<!-- exists -->") << true << 0 << int(runtime::kCancel) << false
        << QStringList{"Replace existing image?", "Cancelled!"};
    QTest::newRow("data exists, box closed")
        << QByteArray("<!-- exists -->") << false << -1 << 0 << false
        << QStringList{"Replace existing data?", "Cancelled!"};
    // The name asked about is no mark, nor is a note naming a file that is not there.
    const QByteArray named = "<!-- request exists.dbf -->\r\n<!-- exists.dbf";
    QTest::newRow("named like the mark")
        << named + ": no file of that name yet -->" << false << -1 << 0 << true << QStringList{};
    QTest::newRow("named like the mark, there")
        << named + " exists (9 bytes) -->" << false << -1 << int(runtime::kOk) << true
        << QStringList{"Replace existing data?"};
    QTest::newRow("nothing marked")
        << QByteArray("10:30:00\r\nRing\r\n") << true << -1 << 0 << true << QStringList{};
    QTest::newRow("no reply file") << QByteArray() << true << -1 << 0 << true << QStringList{};
}

void TestWriteCheck::cases()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, image);
    QFETCH(int, forDelete);
    QFETCH(int, answer);
    QFETCH(bool, expected);
    QFETCH(QStringList, boxes);

    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    ProgramState state;
    state.cAppPath = dir.path();
    state.services.dialogs = &dialogs;
    if (!reply.isNull())
        QVERIFY(runtime::writeWholeFile(dir.filePath("framla.tmp"), reply));
    if (answer != 0)
        dialogs.answers.enqueue(answer);
    const std::optional<bool> del =
        forDelete < 0 ? std::nullopt : std::optional<bool>(forDelete == 1);
    QCOMPARE(server::Ok2Write(state, QStringLiteral("framla.tmp"), image, del), expected);
    QCOMPARE(dialogs.texts(), boxes);
    if (!boxes.isEmpty() && boxes.first().startsWith(QStringLiteral("Replace"))) {
        const auto &question = dialogs.boxes.first();
        QCOMPARE(question.title, QStringLiteral("Confirm replace:"));
        QCOMPARE(question.buttons, runtime::Buttons::OkCancel);
        QCOMPARE(question.icon, runtime::Icon::Warning);
        QCOMPARE(question.defaultButton, runtime::DefaultButton::Second);
    }
}

void TestWriteCheck::replyParts_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("supplierImage");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("plain") << "Gold ring"
                           << ""
                           << "";
    QTest::newRow("supplier image") << "images/ssr/1234/RING5.jpg exists on server"
                                    << "images/ssr/1234/RING5.jpg"
                                    << "";
    QTest::newRow("supplier image without phrase") << "see images/ssr/1234/RING5.jpg"
                                                   << "images/ssr/1234/RING5.jpg"
                                                   << "";
    QTest::newRow("blank in the name") << "images/ssr/1234/A B.jpg exists on server"
                                       << ""
                                       << "";
    QTest::newRow("resolved code") << "AB12345: Gold ring"
                                   << ""
                                   << "AB12345";
    QTest::newRow("colon in column 7") << "AB1234: Gold ring"
                                       << ""
                                       << "";
    QTest::newRow("short line") << "AB12345"
                                << ""
                                << "";
}

void TestWriteCheck::replyParts()
{
    QFETCH(QString, reply);
    QFETCH(QString, supplierImage);
    QFETCH(QString, resolved);
    QCOMPARE(server::supplierImagePath(reply), supplierImage);
    QCOMPARE(server::resolvedCode(reply), resolved);
}

QTEST_GUILESS_MAIN(TestWriteCheck)
#include "tst_write_check.moc"
