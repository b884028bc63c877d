#include "realtime/events/room_event_table.h"
#include "room/room_event_registry.h"
#include "support/test_main.h"

#include <QJsonObject>

class RoomEventRegistryTest : public QObject
{
    Q_OBJECT

private slots:
    void everyRowIsFoundByItsName()
    {
        for (std::size_t row = 0; row < roomEventTable.size(); ++row) {
            const QString name = QString::fromLatin1(roomEventTable[row].name);
            const RoomEventParser parse = findRoomEventParser(name);
            QVERIFY2(parse == roomEventTable[row].parse, qPrintable(name));
            // Each required key, filled, yields the row's own alternative.
            const QJsonObject payload{{"roomId", "r1"},
                                      {"requestId", "q1"},
                                      {"childRoomId", "c1"},
                                      {"parentRoomId", "p1"}};
            const std::optional<RoomEventPayload> parsed = parse(payload);
            QVERIFY2(parsed.has_value(), qPrintable(name));
            QCOMPARE(parsed->index(), row);
        }
        QCOMPARE(buildRoomEventRegistry().size(), qsizetype(roomEventTable.size()));
    }

    void connStateRow() { QVERIFY(findRoomEventParser("room.presence.conn-state") == roomEventTable[27].parse); }

    void unknownNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("underscore for hyphen") << "room.presence.conn_state";
        QTest::newRow("channel event") << "channel.member.joined";
        QTest::newRow("other channel event") << "channel.deleted";
        QTest::newRow("upper case") << "ROOM.CREATED";
        QTest::newRow("trailing blank") << "room.created ";
        QTest::newRow("prefix") << "room.";
        QTest::newRow("empty") << "";
    }

    void unknownNames()
    {
        QFETCH(QString, name);
        QVERIFY(findRoomEventParser(name) == nullptr);
    }
};

KESTOVA_TEST_MAIN(RoomEventRegistryTest)
#include "test_room_event_registry.moc"
