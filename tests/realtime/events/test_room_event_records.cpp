#include "parse_record.h"
#include "realtime/events/room_event_table.h"
#include "support/test_json.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using testsupport::json;

namespace {

std::optional<RoomEventPayload> parseByName(const QString &name, const QJsonObject &payload)
{
    for (const RoomEventEntry &entry : roomEventTable) {
        if (name == QLatin1StringView(entry.name))
            return entry.parse(payload);
    }
    return std::nullopt;
}

RoomRole role(qint64 id, const QString &name, int level, const QJsonObject &permissions)
{
    return RoomRole{.id = id, .name = name, .level = level, .permissions = permissions};
}

} // namespace

class RoomEventRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    // Each record read from a payload that sets every one of its keys: catches a
    // field read from the wrong key or with the wrong conversion.
    void everyFieldIsReadFromItsKey_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<RoomEventPayload>("expected");

        const QJsonObject speak{{"core.room.speak", true}, {"core.room.kick", false}};

        QTest::newRow("access mode") << "room.access_mode.changed"
                                     << json(R"({"roomId":"r1","newMode":"approval","byUserId":"u9","changedAt":1001})")
                                     << RoomEventPayload(RoomAccessModeChangedEvent{"r1", "approval", "u9", 1001});
        QTest::newRow("allow subroom")
            << "room.allow_subroom.changed"
            << json(R"({"roomId":"r1","newValue":"members","byUserId":"u9","changedAt":"1002"})")
            << RoomEventPayload(RoomAllowSubRoomChangedEvent{"r1", "members", "u9", 1002});
        QTest::newRow("allow subroom broadcast")
            << "room.allow_subroom_broadcast.changed"
            << json(R"({"roomId":"r1","newValue":true,"byUserId":"u9","changedAt":1003})")
            << RoomEventPayload(RoomAllowSubRoomBroadcastChangedEvent{"r1", true, "u9", 1003});
        QTest::newRow("allow subroom chat")
            << "room.allow_subroom_chat.changed"
            << json(R"({"roomId":"r1","newValue":true,"byUserId":"u9","changedAt":1004})")
            << RoomEventPayload(RoomAllowSubRoomChatChangedEvent{"r1", true, "u9", 1004});
        QTest::newRow("bitrate") << "room.bitrate.changed"
                                 << json(R"({"roomId":"r1","newValue":96000,"byUserId":"u9","changedAt":1005})")
                                 << RoomEventPayload(RoomBitrateChangedEvent{"r1", 96000, "u9", 1005});
        QTest::newRow("child broadcast")
            << "room.child_allow_broadcast.changed"
            << json(R"({"parentRoomId":"p1","childRoomId":"c1","value":true,"byUserId":"u9","changedAt":1006})")
            << RoomEventPayload(RoomChildAllowBroadcastChangedEvent{"p1", "c1", true, "u9", 1006});
        QTest::newRow("child chat")
            << "room.child_allow_chat.changed"
            << json(R"({"parentRoomId":"p1","childRoomId":"c1","value":false,"byUserId":"u9","changedAt":1007})")
            << RoomEventPayload(RoomChildAllowChatChangedEvent{"p1", "c1", false, "u9", 1007});
        QTest::newRow("code direct entry")
            << "room.code_direct_entry.changed"
            << json(R"({"roomId":"r1","newValue":true,"byUserId":"u9","changedAt":1008})")
            << RoomEventPayload(RoomCodeDirectEntryChangedEvent{"r1", true, "u9", 1008});
        QTest::newRow("created") << "room.created"
                                 << json(R"({"roomId":"r1","roomName":"Lobby","creatorUserId":"u1","channelId":"ch1",
                        "isPersistent":true,"parentRoomId":"p1","bitrate":48000,"createdAt":1009})")
                                 << RoomEventPayload(
                                        RoomCreatedEvent{"r1", "Lobby", "u1", "ch1", true, "p1", 48000, 1009});
        QTest::newRow("default role") << "room.default_role.changed"
                                      << json(R"({"roomId":"r1","roleId":"12","byUserId":"u9","changedAt":1010})")
                                      << RoomEventPayload(RoomDefaultRoleChangedEvent{"r1", 12, "u9", 1010});
        QTest::newRow("expired") << "room.expired" << json(R"({"roomId":"r1","reason":"ttl"})")
                                 << RoomEventPayload(RoomExpiredEvent{"r1"});
        QTest::newRow("follow code")
            << "room.follow_code.changed"
            << json(R"({"roomId":"r1","followCode":"F00D","enabled":true,"expiresAtMs":1700000000123,
                        "changedAt":1011})")
            << RoomEventPayload(RoomFollowCodeChangedEvent{"r1", "F00D", true, 1700000000123, 1011});
        QTest::newRow("hidden") << "room.hidden" << json(R"({"roomId":"r1","channelId":"ch1"})")
                                << RoomEventPayload(RoomHiddenEvent{"r1", "ch1"});
        QTest::newRow("banned") << "room.member.banned"
                                << json(R"({"roomId":"r1","userId":"u2","byUserId":"u9","bannedAt":1013})")
                                << RoomEventPayload(RoomMemberBannedEvent{"r1", "u2", "u9", 1013});
        QTest::newRow("kicked") << "room.member.kicked"
                                << json(R"({"roomId":"r1","userId":"u2","byUserId":"u9","kickedAt":1014})")
                                << RoomEventPayload(RoomMemberKickedEvent{"r1", "u2", "u9", 1014});
        QTest::newRow("muted")
            << "room.member.muted"
            << json(R"({"roomId":"r1","userId":"u2","byUserId":"u9","variant":"voice","expiresAtMs":"1700000000500",
                        "mutedAt":1015})")
            << RoomEventPayload(RoomMemberMutedEvent{"r1", "u2", "u9", "voice", 1700000000500, 1015});
        QTest::newRow("role changed") << "room.member.role_changed"
                                      << json(R"({"roomId":"r1","userId":"u2","roleId":7,"changedAt":1016})")
                                      << RoomEventPayload(RoomMemberRoleChangedEvent{"r1", "u2", 7, 1016});
        QTest::newRow("superseded") << "room.member.superseded"
                                    << json(R"({"roomId":"r1","userId":"u2","sessionId":"s-77","supersededAt":1017})")
                                    << RoomEventPayload(RoomMemberSupersededEvent{"r1", "u2", "s-77", 1017});
        QTest::newRow("unbanned") << "room.member.unbanned"
                                  << json(R"({"roomId":"r1","userId":"u2","byUserId":"u9","unbannedAt":1018})")
                                  << RoomEventPayload(RoomMemberUnbannedEvent{"r1", "u2", "u9", 1018});
        QTest::newRow("unmuted")
            << "room.member.unmuted"
            << json(R"({"roomId":"r1","userId":"u2","byUserId":"u9","variant":"text","unmutedAt":1019})")
            << RoomEventPayload(RoomMemberUnmutedEvent{"r1", "u2", "u9", "text", 1019});
        QTest::newRow("reassigned")
            << "room.members.role_reassigned"
            << json(R"({"roomId":"r1","fromRoleId":3,"toRoleId":"4","byUserId":"u9","reassignedAt":1020})")
            << RoomEventPayload(RoomMembersReassignedEvent{"r1", 3, 4, "u9", 1020});
        QTest::newRow("membership") << "room.membership.changed"
                                    << json(R"({"roomId":"r1","userId":"u2","member":true,"reason":"joined"})")
                                    << RoomEventPayload(RoomMembershipChangedEvent{"r1", "u2", true, "joined"});
        QTest::newRow("module attached") << "room.module.attached"
                                         << json(R"({"roomId":"r1","moduleId":"m1","byUserId":"u9","attachedAt":1022})")
                                         << RoomEventPayload(RoomModuleAttachedEvent{"r1", "m1", "u9", 1022});
        QTest::newRow("module detached") << "room.module.detached"
                                         << json(R"({"roomId":"r1","moduleId":"m1","byUserId":"u9","detachedAt":1023})")
                                         << RoomEventPayload(RoomModuleDetachedEvent{"r1", "m1", "u9", 1023});
        QTest::newRow("name") << "room.name.changed"
                              << json(R"({"roomId":"r1","newName":"Hall","byUserId":"u9","changedAt":1024})")
                              << RoomEventPayload(RoomNameChangedEvent{"r1", "Hall", "u9", 1024});
        QTest::newRow("owner")
            << "room.owner.transferred"
            << json(R"({"roomId":"r1","oldOwnerUserId":"u1","newOwnerUserId":"u2","transferredAt":1025})")
            << RoomEventPayload(RoomOwnerTransferredEvent{"r1", "u1", "u2", 1025});
        QTest::newRow("pref") << "room.pref.changed"
                              << json(R"({"roomId":"r1","prefMembers":[{"userId":"u1"},{"userId":"u2"}],"byUserId":"u9",
                        "changedAt":1026})")
                              << RoomEventPayload(RoomPrefChangedEvent{"r1", {"u1", "u2"}, "u9", 1026});
        QTest::newRow("conn state") << "room.presence.conn-state"
                                    << json(R"({"roomId":"r1","userId":"u2","connState":"disconnected"})")
                                    << RoomEventPayload(RoomPresenceConnStateEvent{"r1", "u2", "disconnected"});
        QTest::newRow("joined") << "room.presence.joined" << json(R"({"roomId":"r1","userId":"u2","joinedAt":1028})")
                                << RoomEventPayload(RoomPresenceJoinedEvent{"r1", "u2", 1028});
        QTest::newRow("left") << "room.presence.left"
                              << json(R"({"roomId":"r1","userId":"u2","leftAt":1029,"reason":"timeout"})")
                              << RoomEventPayload(RoomPresenceLeftEvent{"r1", "u2", 1029, "timeout"});
        QTest::newRow("request approved")
            << "room.request.approved"
            << json(R"({"requestId":"q1","roomId":"r1","fromUserId":"u2","approvedBy":"u9","approvedAt":1030})")
            << RoomEventPayload(RoomRequestApprovedEvent{"q1", "r1", "u2", "u9", 1030});
        QTest::newRow("request cancelled")
            << "room.request.cancelled"
            << json(R"({"requestId":"q1","roomId":"r1","fromUserId":"u2","cancelledAt":1031})")
            << RoomEventPayload(RoomRequestCancelledEvent{"q1", "r1", "u2", 1031});
        QTest::newRow("request created")
            << "room.request.created"
            << json(R"({"requestId":"q1","roomId":"r1","fromUserId":"u2","expiresAtMs":1700000000999,
                        "createdAt":1032})")
            << RoomEventPayload(RoomRequestCreatedEvent{"q1", "r1", "u2", 1700000000999, 1032});
        QTest::newRow("request expired")
            << "room.request.expired" << json(R"({"requestId":"q1","roomId":"r1","fromUserId":"u2","expiredAt":1033})")
            << RoomEventPayload(RoomRequestExpiredEvent{"q1", "r1", "u2", 1033});
        QTest::newRow("request rejected")
            << "room.request.rejected"
            << json(R"({"requestId":"q1","roomId":"r1","fromUserId":"u2","rejectedBy":"u9","rejectedAt":1034})")
            << RoomEventPayload(RoomRequestRejectedEvent{"q1", "r1", "u2", "u9", 1034});
        QTest::newRow("require approval") << "room.require_approval.changed"
                                          << json(R"({"roomId":"r1","newValue":true,"byUserId":"u9","changedAt":1035})")
                                          << RoomEventPayload(RoomRequireApprovalChangedEvent{"r1", true, "u9", 1035});
        QTest::newRow("restored") << "room.restored" << json(R"({"roomId":"r1","channelId":"ch1"})")
                                  << RoomEventPayload(RoomRestoredEvent{"r1", "ch1"});
        QTest::newRow("role created")
            << "room.role.created" << json(R"({"roomId":"r1","roles":[{"id":1,"name":"Host","level":100,
                        "permissions":{"core.room.speak":true,"core.room.kick":false}}],
                        "byUserId":"u9","createdAt":1037})")
            << RoomEventPayload(RoomRoleCreatedEvent{"r1", {role(1, "Host", 100, speak)}, "u9", 1037, true});
        QTest::newRow("role deleted")
            << "room.role.deleted" << json(R"({"roomId":"r1","roleId":5,"roles":[{"id":1,"name":"Host","level":100}],
                        "byUserId":"u9","deletedAt":1038})")
            << RoomEventPayload(RoomRoleDeletedEvent{"r1", 5, {role(1, "Host", 100, {})}, "u9", 1038, true});
        QTest::newRow("role updated") << "room.role.updated"
                                      << json(R"({"roomId":"r1","role":{"id":"2","name":"Guest","level":10,
                        "permissions":{"core.room.speak":true,"core.room.kick":false}},
                        "byUserId":"u9","updatedAt":1039})")
                                      << RoomEventPayload(
                                             RoomRoleUpdatedEvent{"r1", role(2, "Guest", 10, speak), "u9", 1039});
        QTest::newRow("roles reordered")
            << "room.roles.reordered"
            << json(R"({"roomId":"r1","roles":[{"id":2},{"id":1}],"byUserId":"u9","reorderedAt":1040})")
            << RoomEventPayload(
                   RoomRolesReorderedEvent{"r1", {role(2, "", 0, {}), role(1, "", 0, {})}, "u9", 1040, true});
        QTest::newRow("room code") << "room.room_code.changed"
                                   << json(R"({"roomId":"r1","enabled":true,"byUserId":"u9","changedAt":1041})")
                                   << RoomEventPayload(RoomCodeChangedEvent{"r1", true, "u9", 1041});
        QTest::newRow("subroom approved")
            << "room.subroom.approved"
            << json(R"({"requestId":"q2","childRoomId":"c1","parentRoomId":"p1","approvedBy":"u9","approvedAt":1042})")
            << RoomEventPayload(RoomSubRoomApprovedEvent{"q2", "c1", "p1", "u9", 1042});
        QTest::newRow("subroom attached")
            << "room.subroom.attached"
            << json(R"({"childRoomId":"c1","parentRoomId":"p1","byUserId":"u9","attachedAt":1043})")
            << RoomEventPayload(RoomSubRoomAttachedEvent{"c1", "p1", "u9", 1043});
        QTest::newRow("subroom cancelled")
            << "room.subroom.cancelled"
            << json(R"({"requestId":"q2","childRoomId":"c1","parentRoomId":"p1","cancelledBy":"u2",
                        "cancelledAt":1044})")
            << RoomEventPayload(RoomSubRoomCancelledEvent{"q2", "c1", "p1", "u2", 1044});
        QTest::newRow("subroom detached")
            << "room.subroom.detached"
            << json(R"({"childRoomId":"c1","parentRoomId":"p1","trigger":"owner","byUserId":"u9","detachedAt":1045})")
            << RoomEventPayload(RoomSubRoomDetachedEvent{"c1", "p1", "owner", "u9", 1045});
        QTest::newRow("subroom pending")
            << "room.subroom.pending"
            << json(R"({"requestId":"q2","childRoomId":"c1","parentRoomId":"p1","fromUserId":"u2",
                        "expiresAtMs":1700000001000,"createdAt":1046})")
            << RoomEventPayload(RoomSubRoomPendingEvent{"q2", "c1", "p1", "u2", 1700000001000, 1046});
        QTest::newRow("subroom rejected")
            << "room.subroom.rejected"
            << json(R"({"requestId":"q2","childRoomId":"c1","parentRoomId":"p1","trigger":"ttl_expired",
                        "rejectedBy":"u9","rejectedAt":1047})")
            << RoomEventPayload(RoomSubRoomRejectedEvent{"q2", "c1", "p1", "ttl_expired", "u9", 1047});
    }

    void everyFieldIsReadFromItsKey()
    {
        QFETCH(QString, name);
        QFETCH(QJsonObject, payload);
        QFETCH(RoomEventPayload, expected);

        const std::optional<RoomEventPayload> parsed = parseByName(name, payload);
        QVERIFY(parsed);
        QCOMPARE(parsed->index(), expected.index());
        QVERIFY(*parsed == expected);
    }

    void onlyTheRequiredKeyGivesDefaultsElsewhere()
    {
        RoomCreatedEvent onlyId;
        onlyId.roomId = "r1";
        const RoomCreatedEvent created = parseRecord<RoomCreatedEvent>(json(R"({"roomId":"r1"})"));
        QVERIFY(created == onlyId);
        QVERIFY(!created.isPersistent);
        QCOMPARE(created.bitrate, 0);
        QCOMPARE(created.createdAt, 0ll);

        // Wrongly typed optional keys fall back too, and never make the payload fail.
        const RoomCreatedEvent wrong = parseRecord<RoomCreatedEvent>(
            json(R"({"roomId":"r1","roomName":5,"isPersistent":"true","bitrate":"48000","createdAt":[1]})"));
        QVERIFY(wrong == onlyId);

        const RoomMemberMutedEvent muted = parseRecord<RoomMemberMutedEvent>(json(R"({"roomId":"r1","userId":"u1"})"));
        QVERIFY(muted.variant.isEmpty());
        const RoomPresenceConnStateEvent connState =
            parseRecord<RoomPresenceConnStateEvent>(json(R"({"roomId":"r1","userId":"u1"})"));
        QVERIFY(connState.connState.isEmpty());
    }

    void bitrateIsAWholeIntNumber_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<int>("expected");
        QTest::newRow("integer") << json(R"({"roomId":"r1","newValue":64000})") << 64000;
        QTest::newRow("whole double") << json(R"({"roomId":"r1","newValue":64000.0})") << 64000;
        QTest::newRow("fraction") << json(R"({"roomId":"r1","newValue":64000.5})") << 0;
        QTest::newRow("numeric string") << json(R"({"roomId":"r1","newValue":"64000"})") << 0;
        QTest::newRow("beyond int") << json(R"({"roomId":"r1","newValue":4294967296})") << 0;
        QTest::newRow("negative") << json(R"({"roomId":"r1","newValue":-1})") << -1;
    }

    void bitrateIsAWholeIntNumber()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(int, expected);
        QCOMPARE(parseRecord<RoomBitrateChangedEvent>(payload).newValue, expected);
    }

    void timesAndRoleIdsAcceptDecimalStrings_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<qint64>("roleId");
        QTest::addColumn<qint64>("changedAt");
        QTest::newRow("numbers") << json(R"({"roomId":"r1","roleId":7,"changedAt":1700000000000})") << 7ll
                                 << 1700000000000ll;
        QTest::newRow("strings") << json(R"({"roomId":"r1","roleId":"7","changedAt":"1700000000000"})") << 7ll
                                 << 1700000000000ll;
        QTest::newRow("missing") << json(R"({"roomId":"r1"})") << 0ll << 0ll;
        QTest::newRow("null") << json(R"({"roomId":"r1","roleId":null,"changedAt":null})") << 0ll << 0ll;
        QTest::newRow("not numbers") << json(R"({"roomId":"r1","roleId":"seven","changedAt":"7.5"})") << 0ll << 0ll;
        QTest::newRow("fractions round") << json(R"({"roomId":"r1","roleId":6.5,"changedAt":1700000000000.4})") << 7ll
                                         << 1700000000000ll;
    }

    void timesAndRoleIdsAcceptDecimalStrings()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(qint64, roleId);
        QFETCH(qint64, changedAt);
        const RoomMemberRoleChangedEvent event = parseRecord<RoomMemberRoleChangedEvent>(payload);
        QCOMPARE(event.roleId, roleId);
        QCOMPARE(event.changedAt, changedAt);
    }

    void flagsAreTrueOnlyForJsonTrue_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<bool>("expected");
        QTest::newRow("true") << json(R"({"roomId":"r1","newValue":true,"member":true})") << true;
        QTest::newRow("false") << json(R"({"roomId":"r1","newValue":false,"member":false})") << false;
        QTest::newRow("string true") << json(R"({"roomId":"r1","newValue":"true","member":"true"})") << false;
        QTest::newRow("number one") << json(R"({"roomId":"r1","newValue":1,"member":1})") << false;
        QTest::newRow("missing") << json(R"({"roomId":"r1"})") << false;
    }

    void flagsAreTrueOnlyForJsonTrue()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(bool, expected);
        QCOMPARE(parseRecord<RoomRequireApprovalChangedEvent>(payload).newValue, expected);
        QCOMPARE(parseRecord<RoomMembershipChangedEvent>(payload).member, expected);
    }

    void childOverrideValueIsOptional_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<int>("expected"); // -1 absent, 0 present false, 1 present true
        QTest::newRow("missing") << json(R"({"parentRoomId":"p1"})") << -1;
        QTest::newRow("null") << json(R"({"parentRoomId":"p1","value":null})") << -1;
        QTest::newRow("false") << json(R"({"parentRoomId":"p1","value":false})") << 0;
        QTest::newRow("true") << json(R"({"parentRoomId":"p1","value":true})") << 1;
        QTest::newRow("string true") << json(R"({"parentRoomId":"p1","value":"true"})") << 0;
        QTest::newRow("number one") << json(R"({"parentRoomId":"p1","value":1})") << 0;
    }

    void childOverrideValueIsOptional()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(int, expected);
        const auto state = [](std::optional<bool> value) { return value ? int(*value) : -1; };
        QCOMPARE(state(parseRecord<RoomChildAllowBroadcastChangedEvent>(payload).value), expected);
        QCOMPARE(state(parseRecord<RoomChildAllowChatChangedEvent>(payload).value), expected);
    }

    void prefMembersKeepOneEntryPerElement_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mixed elements") << json(
            R"({"roomId":"r1","prefMembers":[{"userId":"u1"},{"userId":""},"u2",{"name":"n"}]})")
                                        << QStringList{"u1", "", "", ""};
        QTest::newRow("not an array") << json(R"({"roomId":"r1","prefMembers":{"userId":"u1"}})") << QStringList();
        QTest::newRow("plain strings") << json(R"({"roomId":"r1","prefMembers":["u1","u2"]})") << QStringList{"", ""};
    }

    void prefMembersKeepOneEntryPerElement()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(QStringList, expected);
        QCOMPARE(parseRecord<RoomPrefChangedEvent>(payload).prefMembers, expected);
    }

    void roleListsNeverFailThePayload_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<QList<RoomRole>>("expected");
        QTest::newRow("object instead of array") << json(R"({"roomId":"r1","roles":{"id":1}})") << QList<RoomRole>();
        QTest::newRow("missing") << json(R"({"roomId":"r1"})") << QList<RoomRole>();
        QTest::newRow("null") << json(R"({"roomId":"r1","roles":null})") << QList<RoomRole>();
        QTest::newRow("empty array") << json(R"({"roomId":"r1","roles":[]})") << QList<RoomRole>();
        QTest::newRow("number among roles")
            << json(R"({"roomId":"r1","roles":[{"id":1,"name":"A"},5,{"id":"12","level":2.5}]})")
            << QList<RoomRole>{role(1, "A", 0, {}), RoomRole{}, role(12, "", 0, {})};
        QTest::newRow("permissions as array")
            << json(R"({"roomId":"r1","roles":[{"id":3,"level":-1,"permissions":["core.room.speak"]}]})")
            << QList<RoomRole>{role(3, "", -1, {})};
        QTest::newRow("duplicates stay") << json(R"({"roomId":"r1","roles":[{"id":1},{"id":1}]})")
                                         << QList<RoomRole>{role(1, "", 0, {}), role(1, "", 0, {})};
    }

    void roleListsNeverFailThePayload()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(QList<RoomRole>, expected);
        QVERIFY(parseRecord<RoomRoleCreatedEvent>(payload).roles == expected);
        QVERIFY(parseRecord<RoomRolesReorderedEvent>(payload).roles == expected);
        QVERIFY(parseRecord<RoomRoleDeletedEvent>(payload).roles == expected);
        // Only a real array is a list; the reducer ignores the others.
        const bool isArray = payload.value("roles").isArray();
        QCOMPARE(parseRecord<RoomRoleCreatedEvent>(payload).rolesGiven, isArray);
        QCOMPARE(parseRecord<RoomRolesReorderedEvent>(payload).rolesGiven, isArray);
        QCOMPARE(parseRecord<RoomRoleDeletedEvent>(payload).rolesGiven, isArray);
    }

    void updatedRoleDefaultsWhenMissingOrNotAnObject()
    {
        QVERIFY(parseRecord<RoomRoleUpdatedEvent>(json(R"({"roomId":"r1"})")).role == RoomRole{});
        QVERIFY(parseRecord<RoomRoleUpdatedEvent>(json(R"({"roomId":"r1","role":[{"id":1}]})")).role == RoomRole{});
    }

    void directlyCalledParsersFollowTheirRequiredKey()
    {
        QVERIFY(RoomRequestApprovedEvent::fromJson(json(R"({"requestId":"q1"})")));
        QVERIFY(!RoomRequestApprovedEvent::fromJson(json(R"({"roomId":"r1"})")));
        QVERIFY(!RoomRequestRejectedEvent::fromJson(json(R"({"roomId":"r1","requestId":""})")));
        QVERIFY(!RoomRequestExpiredEvent::fromJson(json(R"({"requestId":9})")));
        QVERIFY(RoomSubRoomAttachedEvent::fromJson(json(R"({"childRoomId":"c1"})")));
        QVERIFY(!RoomSubRoomAttachedEvent::fromJson(json(R"({"requestId":"q1","parentRoomId":"p1"})")));
        QVERIFY(!RoomSubRoomRejectedEvent::fromJson(json(R"({"childRoomId":"c1"})")));
        QVERIFY(!RoomSubRoomCancelledEvent::fromJson(json(R"({"childRoomId":"c1","parentRoomId":"p1"})")));

        const RoomSubRoomRejectedEvent noTrigger = parseRecord<RoomSubRoomRejectedEvent>(json(R"({"requestId":"q1"})"));
        QVERIFY(noTrigger.trigger.isEmpty());
    }
};

KESTOVA_TEST_MAIN(RoomEventRecordsTest)
#include "test_room_event_records.moc"
