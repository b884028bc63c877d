#include "room/room_field_flag.h"
#include "room_test_support.h"
#include "support/test_main.h"

// Each row applies one event to the sample room (or to the room with the given
// id) and names every field that must change; all other fields must stay as
// they were.
class RoomEventReducerTest : public QObject
{
    Q_OBJECT

private slots:
    void apply_data()
    {
        QTest::addColumn<QString>("roomId");
        QTest::addColumn<int>("populated");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<uint>("mask");
        QTest::addColumn<QString>("changes");

        auto row = [](const char *title, const char *roomId, int populated, const char *event, const char *payload,
                      uint mask, const char *changes) {
            QTest::newRow(title) << roomId << populated << event << QByteArray(payload) << mask << changes;
        };

        // Settings.
        row("access mode", "r1", 1, "room.access_mode.changed", R"({"roomId":"r1","newMode":"private"})", 0x10,
            "accessMode=private");
        row("access mode same", "r1", 1, "room.access_mode.changed", R"({"roomId":"r1","newMode":"public"})", 0, "");
        row("allow subroom", "r1", 1, "room.allow_subroom.changed", R"({"roomId":"r1","newValue":"never"})", 0x10,
            "allowSubRoom=never");
        row("subroom broadcast off", "r1", 1, "room.allow_subroom_broadcast.changed",
            R"({"roomId":"r1","newValue":false})", 0x10, "allowSubRoomBroadcast=false");
        row("subroom chat same", "r1", 1, "room.allow_subroom_chat.changed", R"({"roomId":"r1","newValue":true})", 0,
            "");
        row("bitrate", "r1", 1, "room.bitrate.changed", R"({"roomId":"r1","newValue":32000})", 0x10, "bitrate=32000");
        row("code direct entry", "r1", 1, "room.code_direct_entry.changed", R"({"roomId":"r1","newValue":false})", 0x10,
            "codeDirectEntry=false");
        row("require approval", "r1", 1, "room.require_approval.changed", R"({"roomId":"r1","newValue":true})", 0x10,
            "requireApproval=true");
        row("module attached", "r1", 1, "room.module.attached", R"({"roomId":"r1","moduleId":"m2"})", 0x10,
            "attachedModule=m2");
        row("module attached same", "r1", 1, "room.module.attached", R"({"roomId":"r1","moduleId":"m1"})", 0, "");
        row("module detached names another", "r1", 1, "room.module.detached", R"({"roomId":"r1","moduleId":"mX"})",
            0x10, "attachedModule=");
        row("name", "r1", 1, "room.name.changed", R"({"roomId":"r1","newName":"Hall"})", 0x1, "name=Hall");
        row("name emptied", "r1", 1, "room.name.changed", R"({"roomId":"r1"})", 0x1, "name=");
        row("pref members", "r1", 1, "room.pref.changed", R"({"roomId":"r1","prefMembers":[{"userId":"u3"}]})", 0x10,
            "prefMembers=u3");
        row("pref members same", "r1", 1, "room.pref.changed",
            R"({"roomId":"r1","prefMembers":[{"userId":"u1"},{"userId":"u2"}]})", 0, "");
        row("pref members reordered", "r1", 1, "room.pref.changed",
            R"({"roomId":"r1","prefMembers":[{"userId":"u2"},{"userId":"u1"}]})", 0x10, "prefMembers=u2,u1");
        row("room code disabled", "r1", 1, "room.room_code.changed",
            R"({"roomId":"r1","enabled":false,"roomCode":"ZZZZ"})", 0x80, "roomCodeEnabled=false");
        row("room code same", "r1", 1, "room.room_code.changed", R"({"roomId":"r1","enabled":true})", 0, "");

        // Follow code: only once the private part is known.
        row("follow code", "r1", 2, "room.follow_code.changed",
            R"({"roomId":"r1","followCode":"F2","enabled":false,"expiresAtMs":2000})", 0x40,
            "followCode=F2;followCodeExpiresAtMs=2000");
        row("follow code expiry only", "r1", 2, "room.follow_code.changed",
            R"({"roomId":"r1","followCode":"F1","expiresAtMs":3000})", 0x40, "followCodeExpiresAtMs=3000");
        row("follow code same", "r1", 2, "room.follow_code.changed",
            R"({"roomId":"r1","followCode":"F1","expiresAtMs":1000})", 0, "");
        row("follow code before private", "r1", 1, "room.follow_code.changed",
            R"({"roomId":"r1","followCode":"F2","expiresAtMs":2000})", 0, "");

        // Child overrides, applied by the parent only.
        row("child broadcast on parent", "r1", 1, "room.child_allow_broadcast.changed",
            R"({"parentRoomId":"r1","childRoomId":"c1","value":true})", 0x20, "childOverrides=c1:1/-");
        row("child broadcast same", "r1", 1, "room.child_allow_broadcast.changed",
            R"({"parentRoomId":"r1","childRoomId":"c1","value":false})", 0x0, "");
        // An entry lives only while it sets something, as a snapshot builds it.
        row("child broadcast cleared", "r1", 1, "room.child_allow_broadcast.changed",
            R"({"parentRoomId":"r1","childRoomId":"c1","value":null})", 0x20, "childOverrides=");
        row("child broadcast null new entry", "r1", 1, "room.child_allow_broadcast.changed",
            R"({"parentRoomId":"r1","childRoomId":"c2"})", 0, "");
        row("child chat unset stays unset", "r1", 1, "room.child_allow_chat.changed",
            R"({"parentRoomId":"r1","childRoomId":"c1","value":null})", 0, "");
        row("child chat new entry", "r1", 1, "room.child_allow_chat.changed",
            R"({"parentRoomId":"r1","childRoomId":"c2","value":true})", 0x20, "childOverrides=c1:0/-,c2:-/1");
        row("child chat on parent", "r1", 1, "room.child_allow_chat.changed",
            R"({"parentRoomId":"r1","childRoomId":"c1","value":false})", 0x20, "childOverrides=c1:0/0");
        row("child chat on child", "r1", 1, "room.child_allow_chat.changed",
            R"({"parentRoomId":"p1","childRoomId":"r1","value":false})", 0, "");

        // Default role mark.
        row("default role moves", "r1", 1, "room.default_role.changed", R"({"roomId":"r1","roleId":2})", 0x8,
            "roles=1/member/10/core.room.speak/0,2/mod/20/core.room.kick_members+core.room.speak/1");
        row("default role same", "r1", 1, "room.default_role.changed", R"({"roomId":"r1","roleId":1})", 0, "");
        row("default role unknown", "r1", 1, "room.default_role.changed", R"({"roomId":"r1","roleId":99})", 0x8,
            "roles=1/member/10/core.room.speak/0,2/mod/20/core.room.kick_members+core.room.speak/0");

        // Events the room services act on; the record stays as it was.
        row("created", "r1", 2, "room.created", R"({"roomId":"r1","roomName":"X","parentRoomId":"p9","bitrate":1})", 0,
            "");
        row("expired", "r1", 2, "room.expired", R"({"roomId":"r1"})", 0, "");
        row("hidden", "r1", 2, "room.hidden", R"({"roomId":"r1","channelId":"ch2"})", 0, "");
        row("restored", "r1", 2, "room.restored", R"({"roomId":"r1","channelId":"ch2"})", 0, "");
        row("kicked", "r1", 2, "room.member.kicked", R"({"roomId":"r1","userId":"u1"})", 0, "");
        row("superseded", "r1", 2, "room.member.superseded", R"({"roomId":"r1","userId":"u1","sessionId":"s"})", 0, "");
        row("unbanned", "r1", 2, "room.member.unbanned", R"({"roomId":"r1","userId":"u1"})", 0, "");
        row("membership", "r1", 2, "room.membership.changed", R"({"roomId":"r1","userId":"u1","member":false})", 0, "");
        row("owner transferred", "r1", 2, "room.owner.transferred",
            R"({"roomId":"r1","oldOwnerUserId":"u1","newOwnerUserId":"u2"})", 0, "");

        // Moderation.
        row("ban present member with role", "r1", 1, "room.member.banned", R"({"roomId":"r1","userId":"u1"})", 0xA,
            "present=u2,u3;memberRoles=u2:2");
        row("ban disconnected member", "r1", 1, "room.member.banned", R"({"roomId":"r1","userId":"u2"})", 0xA,
            "present=u1,u3;disconnected=u9;memberRoles=u1:1");
        row("ban keeps mutes", "r1", 1, "room.member.banned", R"({"roomId":"r1","userId":"u3"})", 0x2, "present=u1,u2");
        row("ban stranger", "r1", 1, "room.member.banned", R"({"roomId":"r1","userId":"u7"})", 0, "");
        row("ban absent but disconnected", "r1", 1, "room.member.banned", R"({"roomId":"r1","userId":"u9"})", 0, "");
        row("voice mute", "r1", 1, "room.member.muted", R"({"roomId":"r1","userId":"u1","variant":"voice"})", 0x4,
            "voiceMuted=u1,u3");
        row("text mute", "r1", 1, "room.member.muted", R"({"roomId":"r1","userId":"u3","variant":"text"})", 0x4,
            "textMuted=u2,u3");
        row("voice mute again", "r1", 1, "room.member.muted", R"({"roomId":"r1","userId":"u3","variant":"voice"})", 0,
            "");
        row("mute other variant", "r1", 1, "room.member.muted", R"({"roomId":"r1","userId":"u1","variant":"video"})", 0,
            "");
        row("mute variant case", "r1", 1, "room.member.muted", R"({"roomId":"r1","userId":"u1","variant":"Voice"})", 0,
            "");
        row("mute without variant", "r1", 1, "room.member.muted", R"({"roomId":"r1","userId":"u1"})", 0, "");
        row("mute empty user", "r1", 1, "room.member.muted", R"({"roomId":"r1","variant":"voice"})", 0, "");
        row("voice unmute", "r1", 1, "room.member.unmuted", R"({"roomId":"r1","userId":"u3","variant":"voice"})", 0x4,
            "voiceMuted=");
        row("text unmute", "r1", 1, "room.member.unmuted", R"({"roomId":"r1","userId":"u2","variant":"text"})", 0x4,
            "textMuted=");
        row("unmute not muted", "r1", 1, "room.member.unmuted", R"({"roomId":"r1","userId":"u1","variant":"voice"})", 0,
            "");
        row("unmute other variant", "r1", 1, "room.member.unmuted", R"({"roomId":"r1","userId":"u3","variant":"all"})",
            0, "");

        // Member roles.
        row("role given", "r1", 1, "room.member.role_changed", R"({"roomId":"r1","userId":"u3","roleId":2})", 0x8,
            "memberRoles=u1:1,u2:2,u3:2");
        row("role given as text", "r1", 1, "room.member.role_changed", R"({"roomId":"r1","userId":"u1","roleId":"7"})",
            0x8, "memberRoles=u1:7,u2:2");
        row("role same", "r1", 1, "room.member.role_changed", R"({"roomId":"r1","userId":"u1","roleId":1})", 0, "");
        row("role zero removes", "r1", 1, "room.member.role_changed", R"({"roomId":"r1","userId":"u1","roleId":0})",
            0x8, "memberRoles=u2:2");
        row("role zero without entry", "r1", 1, "room.member.role_changed",
            R"({"roomId":"r1","userId":"u7","roleId":0})", 0, "");
        row("role empty user", "r1", 1, "room.member.role_changed", R"({"roomId":"r1","roleId":2})", 0, "");
        row("reassigned", "r1", 1, "room.members.role_reassigned", R"({"roomId":"r1","fromRoleId":2,"toRoleId":3})",
            0x8, "memberRoles=u1:1,u2:3");
        row("reassigned onto itself", "r1", 1, "room.members.role_reassigned",
            R"({"roomId":"r1","fromRoleId":1,"toRoleId":1})", 0, "");
        row("reassigned unheld", "r1", 1, "room.members.role_reassigned",
            R"({"roomId":"r1","fromRoleId":5,"toRoleId":1})", 0, "");

        // Role lists: the join-default mark survives by role id; only true grants count.
        row("role list equal", "r1", 1, "room.role.created",
            R"({"roomId":"r1","roles":[{"id":1,"name":"member","level":10,"permissions":{"core.room.speak":true}},
               {"id":2,"name":"mod","level":20,"permissions":{"core.room.speak":true,"core.room.kick_members":true}}]})",
            0, "");
        row("role created", "r1", 1, "room.role.created",
            R"({"roomId":"r1","roles":[{"id":1,"name":"member","level":10,"permissions":{"core.room.speak":true}},
               {"id":3,"name":"guest","level":5,"permissions":{"core.room.speak":false,"core.room.chat":"yes","core.room.view":true}}]})",
            0x8, "roles=1/member/10/core.room.speak/1,3/guest/5/core.room.view/0");
        row("role deleted", "r1", 1, "room.role.deleted",
            R"({"roomId":"r1","roleId":1,"roles":[{"id":2,"name":"mod","level":20,"permissions":{}}]})", 0x8,
            "roles=2/mod/20//0");
        row("roles reordered", "r1", 1, "room.roles.reordered",
            R"({"roomId":"r1","roles":[{"id":2,"name":"mod","level":20,"permissions":{"core.room.speak":true}},{"id":1,"name":"member","level":10}]})",
            0x8, "roles=2/mod/20/core.room.speak/0,1/member/10//1");
        row("roles reordered to the same list", "r1", 1, "room.roles.reordered",
            R"({"roomId":"r1","roles":[{"id":1,"name":"member","level":10,"permissions":{"core.room.speak":true}},
               {"id":2,"name":"mod","level":20,"permissions":{"core.room.speak":true,"core.room.kick_members":true}}]})",
            0, "");
        row("role list not an array", "r1", 1, "room.role.created", R"({"roomId":"r1","roles":{"id":3}})", 0, "");
        row("role list missing", "r1", 1, "room.roles.reordered", R"({"roomId":"r1"})", 0, "");
        row("role list null", "r1", 1, "room.role.deleted", R"({"roomId":"r1","roleId":2,"roles":null})", 0, "");
        row("last role deleted", "r1", 1, "room.role.deleted", R"({"roomId":"r1","roleId":1,"roles":[]})", 0x8,
            "roles=");
        row("empty role list reordered", "r1", 1, "room.roles.reordered", R"({"roomId":"r1","roles":[]})", 0x8,
            "roles=");
        row("role updated", "r1", 1, "room.role.updated",
            R"({"roomId":"r1","role":{"id":1,"name":"member","level":11,"permissions":{"core.room.speak":true}}})", 0x8,
            "roles=1/member/11/core.room.speak/1,2/mod/20/core.room.kick_members+core.room.speak/0");
        row("role updated same", "r1", 1, "room.role.updated",
            R"({"roomId":"r1","role":{"id":2,"name":"mod","level":20,"permissions":{"core.room.kick_members":true,"core.room.speak":true,"x":false}}})",
            0, "");
        row("role updated unknown appends", "r1", 1, "room.role.updated",
            R"({"roomId":"r1","role":{"id":4,"name":"vip","level":30}})", 0x8,
            "roles=1/member/10/core.room.speak/1,2/mod/20/core.room.kick_members+core.room.speak/0,4/vip/30//0");

        // Presence.
        row("joined", "r1", 1, "room.presence.joined", R"({"roomId":"r1","userId":"u4"})", 0x2, "present=u1,u2,u3,u4");
        row("joined while marked disconnected", "r1", 1, "room.presence.joined", R"({"roomId":"r1","userId":"u9"})",
            0x2, "present=u1,u2,u3,u9;disconnected=u2");
        row("joined already present", "r1", 1, "room.presence.joined", R"({"roomId":"r1","userId":"u2"})", 0, "");
        row("joined empty user", "r1", 1, "room.presence.joined", R"({"roomId":"r1"})", 0, "");
        row("left", "r1", 1, "room.presence.left", R"({"roomId":"r1","userId":"u2"})", 0x2,
            "present=u1,u3;disconnected=u9");
        row("left keeps roles and mutes", "r1", 1, "room.presence.left", R"({"roomId":"r1","userId":"u3"})", 0x2,
            "present=u1,u2");
        row("left not present", "r1", 1, "room.presence.left", R"({"roomId":"r1","userId":"u9"})", 0, "");
        row("disconnected", "r1", 1, "room.presence.conn-state",
            R"({"roomId":"r1","userId":"u1","connState":"disconnected"})", 0x2, "disconnected=u1,u2,u9");
        row("disconnected not present", "r1", 1, "room.presence.conn-state",
            R"({"roomId":"r1","userId":"u7","connState":"disconnected"})", 0x2, "disconnected=u2,u7,u9");
        row("disconnected again", "r1", 1, "room.presence.conn-state",
            R"({"roomId":"r1","userId":"u2","connState":"disconnected"})", 0, "");
        row("reconnected", "r1", 1, "room.presence.conn-state",
            R"({"roomId":"r1","userId":"u2","connState":"connected"})", 0x2, "disconnected=u9");
        row("no state counts as connected", "r1", 1, "room.presence.conn-state", R"({"roomId":"r1","userId":"u2"})",
            0x2, "disconnected=u9");
        row("state case", "r1", 1, "room.presence.conn-state",
            R"({"roomId":"r1","userId":"u1","connState":"Disconnected"})", 0, "");
        row("state empty user", "r1", 1, "room.presence.conn-state", R"({"roomId":"r1","connState":"disconnected"})", 0,
            "");

        // Join requests, gated on the private snapshot.
        row("request created", "r1", 2, "room.request.created",
            R"({"requestId":"j2","roomId":"r1","fromUserId":"u7","createdAt":200,"expiresAtMs":1200})", 0x100,
            "pendingJoinRequests=j1/u5/100/900,j2/u7/200/1200");
        row("request created before private", "r1", 1, "room.request.created",
            R"({"requestId":"j2","roomId":"r1","fromUserId":"u7"})", 0, "");
        row("request created twice", "r1", 2, "room.request.created",
            R"({"requestId":"j1","roomId":"r1","fromUserId":"u8"})", 0, "");
        row("request approved", "r1", 2, "room.request.approved", R"({"requestId":"j1","roomId":"r1"})", 0x100,
            "pendingJoinRequests=");
        row("request approved before private", "r1", 1, "room.request.approved", R"({"requestId":"j1","roomId":"r1"})",
            0, "");
        row("request cancelled", "r1", 2, "room.request.cancelled", R"({"requestId":"j1"})", 0x100,
            "pendingJoinRequests=");
        row("request expired", "r1", 2, "room.request.expired", R"({"requestId":"j1"})", 0x100, "pendingJoinRequests=");
        row("request rejected", "r1", 2, "room.request.rejected", R"({"requestId":"j1"})", 0x100,
            "pendingJoinRequests=");
        row("request rejected unknown", "r1", 2, "room.request.rejected", R"({"requestId":"j9"})", 0, "");
        row("join event clears subroom request", "r1", 2, "room.request.rejected", R"({"requestId":"s1"})", 0x100,
            "pendingSubrooms=");

        // Sub-room requests, held by the parent once its private part is known.
        row("subroom pending on parent", "r1", 2, "room.subroom.pending",
            R"({"requestId":"s2","childRoomId":"c4","parentRoomId":"r1","fromUserId":"u8","createdAt":300,"expiresAtMs":1300})",
            0x100, "pendingSubrooms=s1/c3/u6/100/900,s2/c4/u8/300/1300");
        row("subroom pending before private", "r1", 1, "room.subroom.pending",
            R"({"requestId":"s2","childRoomId":"c4","parentRoomId":"r1"})", 0, "");
        row("subroom pending on child", "r1", 2, "room.subroom.pending",
            R"({"requestId":"s2","childRoomId":"r1","parentRoomId":"p1"})", 0, "");
        row("subroom pending twice", "r1", 2, "room.subroom.pending",
            R"({"requestId":"s1","childRoomId":"c4","parentRoomId":"r1"})", 0, "");
        row("subroom approved", "r1", 2, "room.subroom.approved",
            R"({"requestId":"s1","childRoomId":"c3","parentRoomId":"r1"})", 0x100, "pendingSubrooms=");
        row("subroom approved elsewhere", "r1", 2, "room.subroom.approved",
            R"({"requestId":"s1","childRoomId":"c3","parentRoomId":"p1"})", 0, "");
        row("subroom cancelled", "r1", 2, "room.subroom.cancelled", R"({"requestId":"s1","parentRoomId":"r1"})", 0x100,
            "pendingSubrooms=");
        row("subroom rejected", "r1", 2, "room.subroom.rejected",
            R"({"requestId":"s1","parentRoomId":"r1","trigger":"ttl_expired"})", 0x100, "pendingSubrooms=");
        row("subroom rejected before private", "r1", 1, "room.subroom.rejected",
            R"({"requestId":"s1","parentRoomId":"r1"})", 0, "");
        row("subroom event clears join request", "r1", 2, "room.subroom.cancelled",
            R"({"requestId":"j1","parentRoomId":"r1"})", 0x100, "pendingJoinRequests=");

        // Sub-room links on the parent, the child and an unrelated room.
        row("attach on parent", "r1", 1, "room.subroom.attached", R"({"childRoomId":"c5","parentRoomId":"r1"})", 0x20,
            "childRoomIds=c1,c2,c5");
        row("attach on parent again", "r1", 1, "room.subroom.attached", R"({"childRoomId":"c1","parentRoomId":"r1"})",
            0, "");
        row("attach on child", "r1", 1, "room.subroom.attached", R"({"childRoomId":"r1","parentRoomId":"p2"})", 0x20,
            "parentRoomId=p2");
        row("attach on child again", "r1", 1, "room.subroom.attached", R"({"childRoomId":"r1","parentRoomId":"p1"})", 0,
            "");
        row("attach unrelated", "r1", 1, "room.subroom.attached", R"({"childRoomId":"x1","parentRoomId":"x2"})", 0, "");
        row("detach on parent", "r1", 1, "room.subroom.detached", R"({"childRoomId":"c1","parentRoomId":"r1"})", 0x20,
            "childRoomIds=c2;childOverrides=");
        row("detach on parent without override", "r1", 1, "room.subroom.detached",
            R"({"childRoomId":"c2","parentRoomId":"r1"})", 0x20, "childRoomIds=c1");
        row("detach on parent unknown child", "r1", 1, "room.subroom.detached",
            R"({"childRoomId":"c7","parentRoomId":"r1"})", 0, "");
        row("detach on child", "r1", 1, "room.subroom.detached",
            R"({"childRoomId":"r1","parentRoomId":"p1","trigger":"owner"})", 0x20, "parentRoomId=");
        row("detach unrelated", "r1", 1, "room.subroom.detached", R"({"childRoomId":"c1","parentRoomId":"x2"})", 0, "");
    }

    void apply()
    {
        QFETCH(QString, roomId);
        QFETCH(int, populated);
        QFETCH(QString, event);
        QFETCH(QByteArray, payload);
        QFETCH(uint, mask);
        QFETCH(QString, changes);

        const std::optional<RoomEventPayload> parsed = roomtest::parseEvent(event, payload);
        QVERIFY2(parsed.has_value(), "the payload must parse");

        const RoomEntity before = roomtest::sampleRoom(roomId, populated);
        RoomEntity room = before;
        QCOMPARE(room.applyEvent(*parsed), mask);

        QHash<QString, QString> expected;
        for (const QString &change : changes.split(';', Qt::SkipEmptyParts)) {
            const qsizetype eq = change.indexOf('=');
            expected.insert(change.left(eq), change.mid(eq + 1));
        }
        for (const QString &field : roomtest::fieldNames()) {
            const QString want = expected.value(field, roomtest::fieldText(before, field));
            QVERIFY2(roomtest::fieldText(room, field) == want,
                     qPrintable(QStringLiteral("%1: got \"%2\", want \"%3\"")
                                    .arg(field, roomtest::fieldText(room, field), want)));
        }
    }
};

KESTOVA_TEST_MAIN(RoomEventReducerTest)
#include "test_room_event_reducer.moc"
