#include "room/room_error.h"
#include "room/room_logging.h"
#include "support/test_main.h"

Q_DECLARE_METATYPE(const QLoggingCategory *)

class RoomErrorTest : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<RoomErrorCode>("expected");
        QTest::newRow("not found") << "room.not_found" << RoomErrorCode::NotFound;
        QTest::newRow("banned") << "room.banned" << RoomErrorCode::Banned;
        QTest::newRow("not in room") << "room.not_in_room" << RoomErrorCode::NotInRoom;
        QTest::newRow("empty") << "" << RoomErrorCode::Other;
        QTest::newRow("other room code") << "room.full" << RoomErrorCode::Other;
        QTest::newRow("upper case") << "ROOM.BANNED" << RoomErrorCode::Other;
        QTest::newRow("leading blank") << " room.banned" << RoomErrorCode::Other;
        QTest::newRow("trailing blank") << "room.not_found " << RoomErrorCode::Other;
        QTest::newRow("prefix only") << "room.not" << RoomErrorCode::Other;
    }

    void classify()
    {
        QFETCH(QString, code);
        QFETCH(RoomErrorCode, expected);
        QCOMPARE(classifyRoomError(code), expected);
    }

    void codesKeepTheirIntValues()
    {
        QCOMPARE(int(RoomErrorCode::Other), 0);
        QCOMPARE(int(RoomErrorCode::NotFound), 1);
        QCOMPARE(int(RoomErrorCode::Banned), 2);
        QCOMPARE(int(RoomErrorCode::NotInRoom), 3);
    }

    void categories_data()
    {
        QTest::addColumn<const QLoggingCategory *>("category");
        QTest::addColumn<QString>("name");
        QTest::newRow("apply") << &lcRoomApply() << "room.apply";
        QTest::newRow("chat") << &lcRoomChat() << "room.chat";
        QTest::newRow("create") << &lcRoomCreate() << "room.create";
        QTest::newRow("follow code") << &lcRoomFollowCode() << "room.follow_code";
        QTest::newRow("lifecycle") << &lcRoomLifecycle() << "room.lifecycle";
        QTest::newRow("list") << &lcRoomList() << "room.list";
        QTest::newRow("moderation") << &lcRoomModeration() << "room.moderation";
        QTest::newRow("request") << &lcRoomRequest() << "room.request";
        QTest::newRow("settings") << &lcRoomSettings() << "room.settings";
        QTest::newRow("subroom") << &lcRoomSubroom() << "room.subroom";
    }

    void categories()
    {
        QFETCH(const QLoggingCategory *, category);
        QFETCH(QString, name);
        QCOMPARE(QString::fromLatin1(category->categoryName()), name);
        QVERIFY(category->isInfoEnabled());
        QVERIFY(category->isWarningEnabled());
        QVERIFY(!category->isDebugEnabled());
    }
};

KESTOVA_TEST_MAIN(RoomErrorTest)
#include "test_room_error.moc"
