#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_field_flag.h"
#include "room/room_stream_snapshot.h"
#include "support/log_capture.h"
#include "support/room_snapshot_builder.h"
#include "support/test_json.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::json;
using testsupport::LogCapture;
using testsupport::RoomSnapshotBuilder;

namespace {

// Retains the room and fills it with its public snapshot.
void holdRoom(RoomEntityStore &store, const RoomSnapshotBuilder &room)
{
    store.retain(room.roomId());
    const std::optional<RoomUpdate> update = parseRoomPublicSnapshot(room.publicSnapshot());
    QVERIFY(update);
    store.applySnapshots({*update});
}

// Every store change and every applied event, in the order they reach their receivers.
class SignalLog : public QObject
{
public:
    SignalLog(RoomEntityStore &store, RoomEntityFeed &feed)
    {
        connect(&store, &RoomEntityStore::changed, this, [this](const QString &roomId, uint mask) {
            lines.append(QStringLiteral("changed %1 0x%2").arg(roomId).arg(mask, 0, 16));
        });
        connect(&feed, &RoomEntityFeed::eventApplied, this,
                [this](const QString &roomId, const RoomEventPayload &ev, uint mask) {
                    lines.append(QStringLiteral("applied %1 0x%2").arg(roomId).arg(mask, 0, 16));
                    payloads.append(ev);
                });
    }
    QStringList lines;
    QList<RoomEventPayload> payloads;
};

} // namespace

class RoomEntityFeedTest : public QObject
{
    Q_OBJECT

private slots:
    void parseRoomEventFansOut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("rooms");
        QTest::addColumn<QList<qint64>>("versions");

        using V = QList<qint64>;
        QTest::newRow("one room") << "room.name.changed" << QByteArray(R"({"roomId":"r","newName":"x"})")
                                  << QStringList{"r"} << V{9};
        QTest::newRow("unknown room event")
            << "room.renamed" << QByteArray(R"({"roomId":"r"})") << QStringList{} << V{};
        QTest::newRow("channel event") << "channel.updated" << QByteArray(R"({"roomId":"r"})") << QStringList{} << V{};
        QTest::newRow("required key missing")
            << "room.name.changed" << QByteArray(R"({"newName":"x"})") << QStringList{} << V{};
        QTest::newRow("child then parent")
            << "room.subroom.attached" << QByteArray(R"({"childRoomId":"c","parentRoomId":"p"})")
            << QStringList{"c", "p"} << V{0, 0};
        QTest::newRow("room and parent, version to the room only")
            << "room.created" << QByteArray(R"({"roomId":"c","parentRoomId":"p"})") << QStringList{"c", "p"} << V{9, 0};
        QTest::newRow("all three") << "room.subroom.attached"
                                   << QByteArray(R"({"roomId":"p","childRoomId":"c","parentRoomId":"p"})")
                                   << QStringList{"p", "c"} << V{9, 0};
        QTest::newRow("room equals parent")
            << "room.created" << QByteArray(R"({"roomId":"r","parentRoomId":"r"})") << QStringList{"r"} << V{9};
        QTest::newRow("parent a number") << "room.created" << QByteArray(R"({"roomId":"r","parentRoomId":5})")
                                         << QStringList{"r"} << V{9};
        QTest::newRow("ids differing in case")
            << "room.created" << QByteArray(R"({"roomId":"r","parentRoomId":"R"})") << QStringList{"r", "R"} << V{9, 0};
        QTest::newRow("parsed but names no room")
            << "room.request.approved" << QByteArray(R"({"requestId":"q1"})") << QStringList{} << V{};
    }

    void parseRoomEventFansOut()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, rooms);
        QFETCH(QList<qint64>, versions);

        const QList<RoomUpdate> items = parseRoomEvent(name, json(payload), 9);
        QStringList itemRooms;
        QList<qint64> itemVersions;
        for (const RoomUpdate &item : items) {
            itemRooms.append(item.roomId);
            const auto *event = std::get_if<RoomEventUpdate>(&item.update);
            QVERIFY(event);
            QCOMPARE(event->eventName, name);
            itemVersions.append(event->version);
        }
        QCOMPARE(itemRooms, rooms);
        QCOMPARE(itemVersions, versions);
    }

    void foreignEventsPassUntouched_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("channel") << "channel.updated";
        QTest::newRow("chat") << "im.message.sent";
        QTest::newRow("unknown room event") << "room.renamed";
        QTest::newRow("room prefix in capitals") << "Room.name.changed";
    }

    void foreignEventsPassUntouched()
    {
        QFETCH(QString, name);
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        holdRoom(store, RoomSnapshotBuilder("r").name("before"));
        SignalLog log(store, feed);

        feed.onGatewayEvent(name, json(R"({"roomId":"r","newName":"after"})"), 0);
        QVERIFY(log.lines.isEmpty());
        QCOMPARE(store.find("r")->name, QStringLiteral("before"));
    }

    // Both rooms see the event; every change comes before any applied event, and each
    // applied event carries its own room's mask and the same payload.
    void fanOutOrderAndMasks()
    {
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        holdRoom(store, RoomSnapshotBuilder("c"));
        holdRoom(store, RoomSnapshotBuilder("p"));
        SignalLog log(store, feed);

        feed.onGatewayEvent("room.subroom.attached", json(R"({"childRoomId":"c","parentRoomId":"p"})"), 3);

        QCOMPARE(log.lines.size(), 4);
        QCOMPARE(QSet<QString>(log.lines.cbegin(), log.lines.cbegin() + 2),
                 (QSet<QString>{"changed c 0x20", "changed p 0x20"}));
        QCOMPARE(log.lines.mid(2), (QStringList{"applied c 0x20", "applied p 0x20"}));
        QCOMPARE(log.payloads.size(), 2);
        QCOMPARE(log.payloads.at(0).index(), log.payloads.at(1).index());
        const auto &first = std::get<RoomSubRoomAttachedEvent>(log.payloads.at(0));
        const auto &second = std::get<RoomSubRoomAttachedEvent>(log.payloads.at(1));
        QCOMPARE(first.childRoomId, second.childRoomId);
        QCOMPARE(first.parentRoomId, QStringLiteral("p"));
        QCOMPARE(store.find("c")->publicState.parentRoomId, QStringLiteral("p"));
        QCOMPARE(store.find("p")->publicState.childRoomIds, QStringList{"c"});
    }

    void roomNobodyHoldsGetsMaskZero()
    {
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        holdRoom(store, RoomSnapshotBuilder("p"));
        SignalLog log(store, feed);

        feed.onGatewayEvent("room.subroom.attached", json(R"({"childRoomId":"c","parentRoomId":"p"})"), 0);
        QCOMPARE(log.lines, (QStringList{"changed p 0x20", "applied c 0x0", "applied p 0x20"}));
        QCOMPARE(store.find("c"), nullptr);

        // A repeat changes nothing: no change signal, the applied events with mask 0.
        log.lines.clear();
        feed.onGatewayEvent("room.subroom.attached", json(R"({"childRoomId":"c","parentRoomId":"p"})"), 0);
        QCOMPARE(log.lines, (QStringList{"applied c 0x0", "applied p 0x0"}));
    }

    // A parent's or child's copy of an event leaves that room's version alone, so the
    // room's own later events are not refused as stale.
    void fannedOutVersionStaysWithItsOwnRoom()
    {
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        holdRoom(store, RoomSnapshotBuilder("c").version(40));
        holdRoom(store, RoomSnapshotBuilder("p").name("old").version(10));

        feed.onGatewayEvent("room.created", json(R"({"roomId":"c","parentRoomId":"p"})"), 50);
        QCOMPARE(store.find("c")->version, qint64(50));
        QCOMPARE(store.find("p")->version, qint64(10));

        QSignalSpy applied(&feed, &RoomEntityFeed::eventApplied);
        feed.onGatewayEvent("room.name.changed", json(R"({"roomId":"p","newName":"new"})"), 20);
        QCOMPARE(store.find("p")->name, QStringLiteral("new"));
        QCOMPARE(store.find("p")->version, qint64(20));
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.at(0).at(2).toUInt(), RoomFieldFlag::Name);
    }

    void versionZeroIsPassedOnUnversioned()
    {
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        holdRoom(store, RoomSnapshotBuilder("r").name("old").version(7));

        const QList<RoomUpdate> items = parseRoomEvent("room.name.changed", json(R"({"roomId":"r","newName":"x"})"), 0);
        QCOMPARE(items.size(), 1);
        QCOMPARE(std::get<RoomEventUpdate>(items.at(0).update).version, qint64(0));

        feed.onGatewayEvent("room.name.changed", json(R"({"roomId":"r","newName":"new"})"), 0);
        QCOMPARE(store.find("r")->name, QStringLiteral("new"));
        QCOMPARE(store.find("r")->version, qint64(7));

        // A stale versioned event still reaches its listeners, with mask 0.
        QSignalSpy applied(&feed, &RoomEntityFeed::eventApplied);
        feed.onGatewayEvent("room.name.changed", json(R"({"roomId":"r","newName":"stale"})"), 7);
        QCOMPARE(store.find("r")->name, QStringLiteral("new"));
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.at(0).at(0).toString(), QStringLiteral("r"));
        QCOMPARE(applied.at(0).at(2).toUInt(), 0u);
    }

    void emptyBatchDoesNothing()
    {
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        holdRoom(store, RoomSnapshotBuilder("r"));
        SignalLog log(store, feed);
        feed.applyUpdates({});
        feed.onGatewayEvent("room.name.changed", json(R"({"newName":"x"})"), 1);
        QVERIFY(log.lines.isEmpty());
    }

    void snapshotsReachTheStore()
    {
        LogCapture logs;
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        store.retain("r1");
        SignalLog log(store, feed);

        const RoomSnapshotBuilder room = RoomSnapshotBuilder("r1").name("lobby").followCode("F", 5);
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
        QCOMPARE(log.lines, QStringList{"changed r1 0x401"});
        QCOMPARE(store.find("r1")->populated, 1);

        log.lines.clear();
        feed.onStreamSnapshot(room.privateTarget(), room.privateSnapshot());
        QCOMPARE(log.lines, QStringList{"changed r1 0x440"});
        QCOMPARE(store.find("r1")->privateState.followCode, QStringLiteral("F"));
        QVERIFY(logs.entries().isEmpty());
    }

    void snapshotOnAnotherRoomsTargetUpdatesTheRoomItNames()
    {
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        store.retain("r1");
        store.retain("r2");
        SignalLog log(store, feed);

        feed.onStreamSnapshot("room:r1:private", RoomSnapshotBuilder("r2").followCode("F2", 9).privateSnapshot());
        QCOMPARE(log.lines, QStringList{"changed r2 0x440"});
        QCOMPARE(store.find("r2")->privateState.followCode, QStringLiteral("F2"));
        QCOMPARE(store.find("r1")->populated, 0);
    }

    void unusableSnapshots()
    {
        LogCapture logs;
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        store.retain("r1");
        SignalLog log(store, feed);

        // Not a room stream: ignored without a trace.
        feed.onStreamSnapshot("channel:r1", RoomSnapshotBuilder("r1").name("x").publicSnapshot());
        feed.onStreamSnapshot("room:r1:extra", RoomSnapshotBuilder("r1").name("x").publicSnapshot());
        QVERIFY(logs.entries().isEmpty());

        // A room stream without a usable room id: one warning, nothing applied.
        feed.onStreamSnapshot("room:r1", json(R"({"meta":{"name":"x"}})"));
        QCOMPARE(logs.entries().size(), 1);
        QCOMPARE(logs.entries().at(0).type, QtWarningMsg);
        QCOMPARE(logs.entries().at(0).category, QStringLiteral("room.lifecycle"));
        QCOMPARE(logs.entries().at(0).message, QStringLiteral("stream snapshot unparsable target=\"room:r1\""));

        feed.onStreamSnapshot("room:r1:private", json(R"({"roomId":7})"));
        QCOMPARE(logs.count("room.lifecycle", "stream snapshot unparsable target=\"room:r1:private\""), 1);
        QVERIFY(log.lines.isEmpty());
        QCOMPARE(store.find("r1")->populated, 0);
    }

    // Nobody holds the room: the snapshot parses, reaches the store and is dropped there.
    void snapshotOfARoomNobodyHolds()
    {
        LogCapture logs;
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        SignalLog log(store, feed);
        feed.onStreamSnapshot("room:r9", RoomSnapshotBuilder("r9").name("x").publicSnapshot());
        QVERIFY(log.lines.isEmpty());
        QVERIFY(logs.entries().isEmpty());
        QCOMPARE(store.find("r9"), nullptr);
    }
};

KESTOVA_TEST_MAIN(RoomEntityFeedTest)
#include "test_room_entity_feed.moc"
