#include "room/room_field_flag.h"
#include "room/room_private_state.h"
#include "room/room_public_state.h"
#include "support/test_main.h"

#include <QMetaType>

namespace {

// A public part with something in every field, so that each change below is a
// real difference from a non-default value.
RoomPublicState filledPublicState()
{
    RoomPublicState s;
    s.isPersistent = true;
    s.channelId = "ch1";
    s.parentRoomId = "p1";
    s.childRoomIds = {"c1", "c2"};
    s.childOverrides.insert("c1", {false, std::nullopt});
    s.present = {"u1", "u2", "u3"};
    s.disconnected = {"u2"};
    s.memberRoles = {{"u1", 1}, {"u2", 2}};
    s.voiceMuted = {"u3"};
    s.textMuted = {"u2"};
    s.bitrate = 64000;
    s.accessMode = "public";
    s.allowSubRoom = "ask";
    s.attachedModule = "m1";
    s.prefMembers = {"u1", "u2"};
    s.roomCode = "ABCD";
    s.roomCodeEnabled = true;
    s.roles = {{1, "member", 10, {"core.room.speak"}, true},
               {2, "mod", 20, {"core.room.speak", "core.room.kick_members"}, false}};
    s.overrides.insert("u2", {{"core.room.speak", false}});
    return s;
}

void mutatePublic(RoomPublicState &s, const QString &change)
{
    if (change == "isPersistent")
        s.isPersistent = false;
    else if (change == "channelId")
        s.channelId = "CH1";
    else if (change == "present reordered")
        s.present = {"u2", "u1", "u3"};
    else if (change == "present grows")
        s.present.append("u4");
    else if (change == "disconnected")
        s.disconnected.insert("u1");
    else if (change == "voiceMuted")
        s.voiceMuted.clear();
    else if (change == "textMuted")
        s.textMuted.insert("u1");
    else if (change == "memberRoles value")
        s.memberRoles["u2"] = 1;
    else if (change == "roles reordered")
        std::swap(s.roles[0], s.roles[1]);
    else if (change == "role permission")
        s.roles[1].permissions.remove("core.room.kick_members");
    else if (change == "role join default")
        s.roles[0].isJoinDefault = false;
    else if (change == "role level")
        s.roles[1].level = 21;
    else if (change == "overrides value")
        s.overrides["u2"]["core.room.speak"] = true;
    else if (change == "overrides key")
        s.overrides["u2"].insert("core.room.kick_members", false);
    else if (change == "bitrate")
        s.bitrate = 32000;
    else if (change == "accessMode")
        s.accessMode = "Public";
    else if (change == "allowSubRoom")
        s.allowSubRoom = "never";
    else if (change == "allowSubRoomBroadcast")
        s.allowSubRoomBroadcast = false;
    else if (change == "allowSubRoomChat")
        s.allowSubRoomChat = false;
    else if (change == "requireApproval")
        s.requireApproval = true;
    else if (change == "codeDirectEntry")
        s.codeDirectEntry = false;
    else if (change == "attachedModule")
        s.attachedModule.clear();
    else if (change == "prefMembers reordered")
        s.prefMembers = {"u2", "u1"};
    else if (change == "roomCode")
        s.roomCode = "abcd";
    else if (change == "roomCodeEnabled")
        s.roomCodeEnabled = false;
    else if (change == "parentRoomId")
        s.parentRoomId.clear();
    else if (change == "childRoomIds reordered")
        s.childRoomIds = {"c2", "c1"};
    else if (change == "override set to unset")
        s.childOverrides["c1"].allowBroadcast.reset();
    else if (change == "override unset to false")
        s.childOverrides["c1"].allowChat = false;
    else if (change == "override entry added")
        s.childOverrides.insert("c2", {});
    else if (change == "sets in another order") {
        // Sets and maps compare without regard to insertion order.
        QSet<QString> muted;
        muted.insert("u9");
        muted.insert("u3");
        muted.remove("u9");
        s.voiceMuted = muted;
        QHash<QString, qint64> roles;
        roles.insert("u2", 2);
        roles.insert("u1", 1);
        s.memberRoles = roles;
    } else if (change == "identity and presence") {
        s.channelId.clear();
        s.present.clear();
    } else if (change != "none")
        QFAIL(qPrintable("unknown change " + change));
}

} // namespace

class RoomStateDiffTest : public QObject
{
    Q_OBJECT

private slots:
    void defaults()
    {
        const RoomPublicState s;
        QCOMPARE(s.allowSubRoomBroadcast, true);
        QCOMPARE(s.allowSubRoomChat, true);
        QCOMPARE(s.requireApproval, false);
        QCOMPARE(s.codeDirectEntry, true);
        QCOMPARE(s.isPersistent, false);
        QCOMPARE(s.bitrate, 0);
        QCOMPARE(s.roomCodeEnabled, false);
        QCOMPARE(s.diff(RoomPublicState()), 0u);
        QCOMPARE(RoomPrivateState().diff(RoomPrivateState()), 0u);
    }

    void publicDiff_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<uint>("expected");
        QTest::newRow("none") << "none" << 0u;
        QTest::newRow("isPersistent") << "isPersistent" << uint(RoomFieldFlag::Identity);
        QTest::newRow("channelId case") << "channelId" << uint(RoomFieldFlag::Identity);
        QTest::newRow("present reordered") << "present reordered" << uint(RoomFieldFlag::Presence);
        QTest::newRow("present grows") << "present grows" << uint(RoomFieldFlag::Presence);
        QTest::newRow("disconnected") << "disconnected" << uint(RoomFieldFlag::Presence);
        QTest::newRow("voiceMuted") << "voiceMuted" << uint(RoomFieldFlag::Mutes);
        QTest::newRow("textMuted") << "textMuted" << uint(RoomFieldFlag::Mutes);
        QTest::newRow("memberRoles value") << "memberRoles value" << uint(RoomFieldFlag::Acl);
        QTest::newRow("roles reordered") << "roles reordered" << uint(RoomFieldFlag::Acl);
        QTest::newRow("role permission") << "role permission" << uint(RoomFieldFlag::Acl);
        QTest::newRow("role join default") << "role join default" << uint(RoomFieldFlag::Acl);
        QTest::newRow("role level") << "role level" << uint(RoomFieldFlag::Acl);
        QTest::newRow("overrides value") << "overrides value" << uint(RoomFieldFlag::Acl);
        QTest::newRow("overrides key") << "overrides key" << uint(RoomFieldFlag::Acl);
        QTest::newRow("bitrate") << "bitrate" << uint(RoomFieldFlag::Settings);
        QTest::newRow("accessMode case") << "accessMode" << uint(RoomFieldFlag::Settings);
        QTest::newRow("allowSubRoom") << "allowSubRoom" << uint(RoomFieldFlag::Settings);
        QTest::newRow("allowSubRoomBroadcast") << "allowSubRoomBroadcast" << uint(RoomFieldFlag::Settings);
        QTest::newRow("allowSubRoomChat") << "allowSubRoomChat" << uint(RoomFieldFlag::Settings);
        QTest::newRow("requireApproval") << "requireApproval" << uint(RoomFieldFlag::Settings);
        QTest::newRow("codeDirectEntry") << "codeDirectEntry" << uint(RoomFieldFlag::Settings);
        QTest::newRow("attachedModule") << "attachedModule" << uint(RoomFieldFlag::Settings);
        QTest::newRow("prefMembers reordered") << "prefMembers reordered" << uint(RoomFieldFlag::Settings);
        QTest::newRow("roomCode case") << "roomCode" << uint(RoomFieldFlag::RoomCode);
        QTest::newRow("roomCodeEnabled") << "roomCodeEnabled" << uint(RoomFieldFlag::RoomCode);
        QTest::newRow("parentRoomId") << "parentRoomId" << uint(RoomFieldFlag::Hierarchy);
        QTest::newRow("childRoomIds reordered") << "childRoomIds reordered" << uint(RoomFieldFlag::Hierarchy);
        QTest::newRow("override set to unset") << "override set to unset" << uint(RoomFieldFlag::Hierarchy);
        QTest::newRow("override unset to false") << "override unset to false" << uint(RoomFieldFlag::Hierarchy);
        QTest::newRow("override entry added") << "override entry added" << uint(RoomFieldFlag::Hierarchy);
        QTest::newRow("sets in another order") << "sets in another order" << 0u;
        QTest::newRow("two groups") << "identity and presence"
                                    << uint(RoomFieldFlag::Identity | RoomFieldFlag::Presence);
    }

    void publicDiff()
    {
        QFETCH(QString, change);
        QFETCH(uint, expected);
        const RoomPublicState base = filledPublicState();
        RoomPublicState other = base;
        mutatePublic(other, change);
        QCOMPARE(base.diff(other), expected);
        QCOMPARE(other.diff(base), expected);
    }

    void privateDiff_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<uint>("expected");
        QTest::newRow("none") << "none" << 0u;
        QTest::newRow("follow code") << "followCode" << uint(RoomFieldFlag::FollowCode);
        QTest::newRow("follow code expiry") << "followCodeExpiresAtMs" << uint(RoomFieldFlag::FollowCode);
        QTest::newRow("join request field") << "join createdAt" << uint(RoomFieldFlag::Requests);
        QTest::newRow("join requests reordered") << "join reordered" << uint(RoomFieldFlag::Requests);
        QTest::newRow("subroom child") << "subroom childRoomId" << uint(RoomFieldFlag::Requests);
        QTest::newRow("subroom removed") << "subroom removed" << uint(RoomFieldFlag::Requests);
        QTest::newRow("both") << "both" << uint(RoomFieldFlag::FollowCode | RoomFieldFlag::Requests);
    }

    void privateDiff()
    {
        QFETCH(QString, change);
        QFETCH(uint, expected);
        RoomPrivateState base;
        base.followCode = "F1";
        base.followCodeExpiresAtMs = 1000;
        base.pendingJoinRequests = {{"r1", "u1", 10, 100}, {"r2", "u2", 20, 200}};
        base.pendingSubrooms = {{"s1", "c1", "u1", 30, 300}};
        RoomPrivateState other = base;
        if (change == "followCode")
            other.followCode = "f1";
        else if (change == "followCodeExpiresAtMs")
            other.followCodeExpiresAtMs = 1001;
        else if (change == "join createdAt")
            other.pendingJoinRequests[1].createdAt = 21;
        else if (change == "join reordered")
            other.pendingJoinRequests.swapItemsAt(0, 1);
        else if (change == "subroom childRoomId")
            other.pendingSubrooms[0].childRoomId = "c2";
        else if (change == "subroom removed")
            other.pendingSubrooms.clear();
        else if (change == "both") {
            other.followCode.clear();
            other.pendingJoinRequests.removeLast();
        }
        QCOMPARE(base.diff(other), expected);
        QCOMPARE(other.diff(base), expected);
    }

    void requestRecordsAreNamedMetaTypes()
    {
        // Registered when the library's state code is linked in; diff pulls it in.
        QCOMPARE(RoomPrivateState().diff(RoomPrivateState()), 0u);
        QVERIFY(QMetaType::fromName("roomdata::PendingJoinRequest").isValid());
        QVERIFY(QMetaType::fromName("roomdata::PendingSubroomRequest").isValid());
        QCOMPARE(QMetaType::fromType<roomdata::PendingJoinRequest>().name(), "roomdata::PendingJoinRequest");
    }
};

KESTOVA_TEST_MAIN(RoomStateDiffTest)
#include "test_room_state_diff.moc"
