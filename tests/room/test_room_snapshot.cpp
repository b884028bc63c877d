#include "room/room_field_flag.h"
#include "room_test_support.h"
#include "support/test_main.h"

namespace {

RoomEntity freshRoom(const QString &roomId = "r1")
{
    RoomEntity room;
    room.roomId = roomId;
    room.refCount = 1;
    return room;
}

RoomPublicSnapshot publicSnapshot(const QString &name, qint64 version)
{
    RoomPublicSnapshot snapshot;
    snapshot.state.present = {"u1", "u2"};
    snapshot.name = name;
    snapshot.version = version;
    return snapshot;
}

RoomUpdate::Variant nameEvent(const QString &roomId, const QString &name, qint64 version)
{
    return roomtest::eventUpdate(roomId, "room.name.changed",
                                 QStringLiteral(R"({"roomId":"%1","newName":"%2"})").arg(roomId, name).toUtf8(),
                                 version)
        .update;
}

} // namespace

class RoomSnapshotTest : public QObject
{
    Q_OBJECT

private slots:
    // A populated room at version 7 meets a public snapshot or an event that
    // renames it; the name tells whether it was applied.
    void versionGuard_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("itemVersion");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<qint64>("versionAfter");
        QTest::newRow("public older") << "public" << qint64(5) << false << qint64(7);
        QTest::newRow("public same") << "public" << qint64(7) << true << qint64(7);
        QTest::newRow("public newer") << "public" << qint64(9) << true << qint64(9);
        QTest::newRow("public unversioned") << "public" << qint64(0) << true << qint64(7);
        QTest::newRow("public negative") << "public" << qint64(-4) << true << qint64(7);
        QTest::newRow("event older") << "event" << qint64(6) << false << qint64(7);
        QTest::newRow("event same") << "event" << qint64(7) << false << qint64(7);
        QTest::newRow("event newer") << "event" << qint64(8) << true << qint64(8);
        QTest::newRow("event unversioned") << "event" << qint64(0) << true << qint64(7);
        QTest::newRow("event negative") << "event" << qint64(-1) << true << qint64(7);
    }

    void versionGuard()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, itemVersion);
        QFETCH(bool, applied);
        QFETCH(qint64, versionAfter);

        RoomEntity room = freshRoom();
        room.applySnapshot(publicSnapshot("Lobby", 7));
        QCOMPARE(room.version, qint64(7));

        const uint mask = kind == "public" ? room.applySnapshot(publicSnapshot("Hall", itemVersion))
                                           : room.applySnapshot(nameEvent("r1", "Hall", itemVersion));
        QCOMPARE(mask, applied ? RoomFieldFlag::Name : 0u);
        QCOMPARE(room.name, applied ? QString("Hall") : QString("Lobby"));
        QCOMPARE(room.version, versionAfter);
    }

    void eventThatChangesNothingStillTakesItsVersion()
    {
        RoomEntity room = freshRoom();
        room.applySnapshot(publicSnapshot("Lobby", 7));
        QCOMPARE(room.applySnapshot(nameEvent("r1", "Lobby", 8)), 0u);
        QCOMPARE(room.version, qint64(8));
        QCOMPARE(room.applySnapshot(nameEvent("r1", "Hall", 8)), 0u);
        QCOMPARE(room.name, QString("Lobby"));
    }

    void firstPublicSnapshotIgnoresVersionsOfEarlierEvents()
    {
        RoomEntity room = freshRoom();
        QCOMPARE(room.applySnapshot(nameEvent("r1", "Early", 9)), RoomFieldFlag::Name);
        QCOMPARE(room.populated, 0);
        const uint mask = room.applySnapshot(publicSnapshot("Lobby", 5));
        QCOMPARE(mask, RoomFieldFlag::Name | RoomFieldFlag::Presence | RoomFieldFlag::Availability);
        QCOMPARE(room.version, qint64(9));
        QCOMPARE(room.populated, 1);
        // From now on the guard is on.
        QCOMPARE(room.applySnapshot(publicSnapshot("Hall", 8)), 0u);
    }

    void privateSnapshotAloneNeverMakesTheFirstPublicOneStale()
    {
        RoomEntity room = freshRoom();
        QCOMPARE(room.applySnapshot(RoomPrivateSnapshot()), RoomFieldFlag::Availability);
        QCOMPARE(room.populated, 2);
        room.applySnapshot(nameEvent("r1", "Early", 9));
        // Populated already, but no public part has landed yet: it must be taken.
        const uint mask = room.applySnapshot(publicSnapshot("Lobby", 5));
        QCOMPARE(mask, RoomFieldFlag::Name | RoomFieldFlag::Presence);
        QCOMPARE(room.publicState.present, QStringList({"u1", "u2"}));
        QCOMPARE(room.populated, 2);
        QCOMPARE(room.version, qint64(9));
        QCOMPARE(room.applySnapshot(publicSnapshot("Hall", 8)), 0u);
        QCOMPARE(room.name, QString("Lobby"));
    }

    void firstSnapshotMasks_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<uint>("expected");
        QTest::newRow("defaults, no name") << "defaults" << 0x400u;
        QTest::newRow("defaults with a name") << "name" << 0x401u;
        QTest::newRow("every group") << "every group" << 0x6BFu;
    }

    void firstSnapshotMasks()
    {
        QFETCH(QString, content);
        QFETCH(uint, expected);
        RoomPublicSnapshot snapshot;
        if (content != "defaults")
            snapshot.name = "Lobby";
        if (content == "every group") {
            RoomPublicState &s = snapshot.state;
            s.channelId = "ch1";
            s.present = {"u1"};
            s.voiceMuted = {"u1"};
            s.memberRoles = {{"u1", 1}};
            s.codeDirectEntry = false;
            s.roomCode = "ABCD";
            s.childRoomIds = {"c1"};
        }
        RoomEntity room = freshRoom();
        QCOMPARE(room.applySnapshot(snapshot), expected);
        QCOMPARE(room.populated, 1);
        QCOMPARE(room.publicState.diff(snapshot.state), 0u);
        // Applying the same snapshot again changes nothing.
        QCOMPARE(room.applySnapshot(snapshot), 0u);
    }

    void privateSnapshotMasks()
    {
        RoomEntity room = freshRoom();
        room.applySnapshot(publicSnapshot("Lobby", 1));
        QCOMPARE(room.applySnapshot(RoomPrivateSnapshot()), RoomFieldFlag::Availability);
        QCOMPARE(room.populated, 2);
        QCOMPARE(room.applySnapshot(RoomPrivateSnapshot()), 0u);

        RoomPrivateSnapshot next;
        next.followCode = "F1";
        next.pendingJoinRequests = {{"j1", "u5", 1, 2}};
        QCOMPARE(room.applySnapshot(next), RoomFieldFlag::FollowCode | RoomFieldFlag::Requests);
        QCOMPARE(room.privateState.pendingJoinRequests.size(), 1);
        QCOMPARE(room.version, qint64(1));
    }

    void publicSnapshotAfterPrivateAddsNoAvailability()
    {
        RoomEntity room = freshRoom();
        room.applySnapshot(RoomPrivateSnapshot());
        QCOMPARE(room.applySnapshot(publicSnapshot("Lobby", 3)), RoomFieldFlag::Name | RoomFieldFlag::Presence);
        QCOMPARE(room.populated, 2);
    }

    void reorderedPresenceReplacesTheWholePublicPart()
    {
        RoomEntity room = roomtest::sampleRoom("r1", 1);
        RoomPublicSnapshot snapshot{room.publicState, room.name, 10};
        snapshot.state.present = {"u3", "u1", "u2"};
        QCOMPARE(room.applySnapshot(snapshot), RoomFieldFlag::Presence);
        QCOMPARE(room.publicState.present, QStringList({"u3", "u1", "u2"}));
        QCOMPARE(room.publicState.diff(snapshot.state), 0u);
    }

    // An event applied to a room it was not sent for (a child's "room.created"
    // reaching the parent, a link event reaching both rooms) neither raises that
    // room's version nor is refused by it.
    void versionsBelongToTheRoomTheEventWasSentFor()
    {
        RoomEntity parent = freshRoom("p1");
        parent.applySnapshot(publicSnapshot("Parent", 10));
        RoomEntity child = freshRoom("c1");
        child.applySnapshot(publicSnapshot("Child", 3));

        const RoomUpdate created =
            roomtest::eventUpdate("p1", "room.created", R"({"roomId":"c1","parentRoomId":"p1","roomName":"Child"})",
                                  50);
        QCOMPARE(parent.applySnapshot(created.update), 0u);
        QCOMPARE(parent.version, qint64(10));
        // The child's own version moves with it.
        QCOMPARE(child.applySnapshot(created.update), 0u);
        QCOMPARE(child.version, qint64(50));

        // A lower child version still reaches the parent, which keeps its counter.
        const RoomUpdate attached =
            roomtest::eventUpdate("p1", "room.subroom.attached", R"({"childRoomId":"c2","parentRoomId":"p1"})", 4);
        QCOMPARE(parent.applySnapshot(attached.update), RoomFieldFlag::Hierarchy);
        QCOMPARE(parent.version, qint64(10));

        // The parent's own next event and snapshot are not frozen out.
        QCOMPARE(parent.applySnapshot(nameEvent("p1", "Renamed", 11)), RoomFieldFlag::Name);
        QCOMPARE(parent.version, qint64(11));
        QCOMPARE(parent.applySnapshot(publicSnapshot("Parent", 11)), RoomFieldFlag::Name | RoomFieldFlag::Hierarchy);
        // And its own guard still holds.
        QCOMPARE(parent.applySnapshot(nameEvent("p1", "Stale", 11)), 0u);
    }

    void eventsApplyWhateverThePopulatedState()
    {
        RoomEntity room = freshRoom();
        const RoomUpdate joined =
            roomtest::eventUpdate("r1", "room.presence.joined", R"({"roomId":"r1","userId":"u1"})", 2);
        QCOMPARE(room.applySnapshot(joined.update), RoomFieldFlag::Presence);
        QCOMPARE(room.populated, 0);
        QCOMPARE(room.version, qint64(2));
    }
};

KESTOVA_TEST_MAIN(RoomSnapshotTest)
#include "test_room_snapshot.moc"
