#include "room/room_stream_target.h"
#include "support/test_main.h"

Q_DECLARE_METATYPE(RoomStreamKind)

class RoomStreamTargetTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("roomId");
        QTest::addColumn<RoomStreamKind>("kind");

        QTest::newRow("public") << "room:r1" << true << "r1" << RoomStreamKind::Public;
        QTest::newRow("private") << "room:r1:private" << true << "r1" << RoomStreamKind::Private;
        QTest::newRow("id with dashes") << "room:0f3a-77" << true << "0f3a-77" << RoomStreamKind::Public;
        QTest::newRow("prefix alone") << "room:" << false << "" << RoomStreamKind::Public;
        QTest::newRow("empty id, private") << "room::private" << false << "" << RoomStreamKind::Public;
        QTest::newRow("lone colon") << "room:r1:" << false << "" << RoomStreamKind::Public;
        QTest::newRow("private in capitals") << "room:r1:Private" << false << "" << RoomStreamKind::Public;
        QTest::newRow("private with more") << "room:r1:private:x" << false << "" << RoomStreamKind::Public;
        QTest::newRow("private with blank") << "room:r1:private " << false << "" << RoomStreamKind::Public;
        QTest::newRow("capital prefix") << "Room:r1" << false << "" << RoomStreamKind::Public;
        QTest::newRow("channel") << "channel:c1" << false << "" << RoomStreamKind::Public;
        QTest::newRow("empty") << "" << false << "" << RoomStreamKind::Public;
        QTest::newRow("no prefix") << "r1" << false << "" << RoomStreamKind::Public;
    }

    void parse()
    {
        QFETCH(QString, target);
        QFETCH(bool, valid);
        QFETCH(QString, roomId);
        QFETCH(RoomStreamKind, kind);

        // Seeded with values no valid target can give back, to see them untouched.
        QString outId = QStringLiteral("untouched");
        RoomStreamKind outKind =
            valid && kind == RoomStreamKind::Private ? RoomStreamKind::Public : RoomStreamKind::Private;
        const RoomStreamKind seededKind = outKind;
        QCOMPARE(parseRoomStreamTarget(target, outId, outKind), valid);
        if (valid) {
            QCOMPARE(outId, roomId);
            QCOMPARE(outKind, kind);
        } else {
            QCOMPARE(outId, QStringLiteral("untouched"));
            QCOMPARE(outKind, seededKind);
        }
    }

    void buildersRoundTrip()
    {
        QCOMPARE(publicStreamTarget("r1"), QStringLiteral("room:r1"));
        QCOMPARE(privateStreamTarget("r1"), QStringLiteral("room:r1:private"));

        QString id;
        RoomStreamKind kind = RoomStreamKind::Public;
        QVERIFY(parseRoomStreamTarget(privateStreamTarget("abc"), id, kind));
        QCOMPARE(id, QStringLiteral("abc"));
        QCOMPARE(kind, RoomStreamKind::Private);
        QVERIFY(parseRoomStreamTarget(publicStreamTarget("abc"), id, kind));
        QCOMPARE(kind, RoomStreamKind::Public);
    }
};

KESTOVA_TEST_MAIN(RoomStreamTargetTest)
#include "test_room_stream_target.moc"
