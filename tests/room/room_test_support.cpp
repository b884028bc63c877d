#include "room_test_support.h"

#include "room/room_event_registry.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace roomtest {
namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString optionalText(const std::optional<bool> &value)
{
    if (!value)
        return QStringLiteral("-");
    return *value ? QStringLiteral("1") : QStringLiteral("0");
}

QString sorted(QStringList items)
{
    std::sort(items.begin(), items.end());
    return items.join(',');
}

QString setText(const QSet<QString> &set)
{
    return sorted(set.values());
}

} // namespace

QStringList fieldNames()
{
    return {"name",
            "isPersistent",
            "channelId",
            "parentRoomId",
            "childRoomIds",
            "childOverrides",
            "present",
            "disconnected",
            "memberRoles",
            "voiceMuted",
            "textMuted",
            "bitrate",
            "accessMode",
            "allowSubRoom",
            "allowSubRoomBroadcast",
            "allowSubRoomChat",
            "requireApproval",
            "codeDirectEntry",
            "attachedModule",
            "prefMembers",
            "roomCode",
            "roomCodeEnabled",
            "roles",
            "overrides",
            "followCode",
            "followCodeExpiresAtMs",
            "pendingJoinRequests",
            "pendingSubrooms",
            "version",
            "populated"};
}

QString fieldText(const RoomEntity &room, const QString &field)
{
    const RoomPublicState &p = room.publicState;
    const RoomPrivateState &q = room.privateState;
    if (field == "name")
        return room.name;
    if (field == "isPersistent")
        return boolText(p.isPersistent);
    if (field == "channelId")
        return p.channelId;
    if (field == "parentRoomId")
        return p.parentRoomId;
    if (field == "childRoomIds")
        return p.childRoomIds.join(',');
    if (field == "childOverrides") {
        QStringList items;
        for (auto it = p.childOverrides.cbegin(); it != p.childOverrides.cend(); ++it)
            items << it.key() + ':' + optionalText(it->allowBroadcast) + '/' + optionalText(it->allowChat);
        return sorted(items);
    }
    if (field == "present")
        return p.present.join(',');
    if (field == "disconnected")
        return setText(p.disconnected);
    if (field == "memberRoles") {
        QStringList items;
        for (auto it = p.memberRoles.cbegin(); it != p.memberRoles.cend(); ++it)
            items << it.key() + ':' + QString::number(it.value());
        return sorted(items);
    }
    if (field == "voiceMuted")
        return setText(p.voiceMuted);
    if (field == "textMuted")
        return setText(p.textMuted);
    if (field == "bitrate")
        return QString::number(p.bitrate);
    if (field == "accessMode")
        return p.accessMode;
    if (field == "allowSubRoom")
        return p.allowSubRoom;
    if (field == "allowSubRoomBroadcast")
        return boolText(p.allowSubRoomBroadcast);
    if (field == "allowSubRoomChat")
        return boolText(p.allowSubRoomChat);
    if (field == "requireApproval")
        return boolText(p.requireApproval);
    if (field == "codeDirectEntry")
        return boolText(p.codeDirectEntry);
    if (field == "attachedModule")
        return p.attachedModule;
    if (field == "prefMembers")
        return p.prefMembers.join(',');
    if (field == "roomCode")
        return p.roomCode;
    if (field == "roomCodeEnabled")
        return boolText(p.roomCodeEnabled);
    if (field == "roles") {
        QStringList items;
        for (const RoomAclRole &r : p.roles) {
            QStringList permissions = r.permissions.values();
            std::sort(permissions.begin(), permissions.end());
            items << QStringLiteral("%1/%2/%3/%4/%5")
                         .arg(r.roleId)
                         .arg(r.name)
                         .arg(r.level)
                         .arg(permissions.join('+'))
                         .arg(r.isJoinDefault ? 1 : 0);
        }
        return items.join(',');
    }
    if (field == "overrides") {
        QStringList items;
        for (auto user = p.overrides.cbegin(); user != p.overrides.cend(); ++user)
            for (auto key = user->cbegin(); key != user->cend(); ++key)
                items << user.key() + '.' + key.key() + '=' + (key.value() ? '1' : '0');
        return sorted(items);
    }
    if (field == "followCode")
        return q.followCode;
    if (field == "followCodeExpiresAtMs")
        return QString::number(q.followCodeExpiresAtMs);
    if (field == "pendingJoinRequests") {
        QStringList items;
        for (const auto &r : q.pendingJoinRequests)
            items << QStringLiteral("%1/%2/%3/%4").arg(r.requestId, r.fromUserId).arg(r.createdAt).arg(r.expiresAtMs);
        return items.join(',');
    }
    if (field == "pendingSubrooms") {
        QStringList items;
        for (const auto &r : q.pendingSubrooms)
            items << QStringLiteral("%1/%2/%3/%4/%5")
                         .arg(r.requestId, r.childRoomId, r.fromUserId)
                         .arg(r.createdAt)
                         .arg(r.expiresAtMs);
        return items.join(',');
    }
    if (field == "version")
        return QString::number(room.version);
    if (field == "populated")
        return QString::number(room.populated);
    return QStringLiteral("<unknown field %1>").arg(field);
}

RoomEntity sampleRoom(const QString &roomId, int populated)
{
    RoomEntity room;
    room.roomId = roomId;
    room.name = "Lobby";
    room.version = 10;
    room.populated = populated;
    room.publicApplied = populated >= 1;
    room.refCount = 1;
    RoomPublicState &p = room.publicState;
    p.isPersistent = true;
    p.channelId = "ch1";
    p.parentRoomId = "p1";
    p.childRoomIds = {"c1", "c2"};
    p.childOverrides.insert("c1", {false, std::nullopt});
    p.present = {"u1", "u2", "u3"};
    p.disconnected = {"u2", "u9"};
    p.memberRoles = {{"u1", 1}, {"u2", 2}};
    p.voiceMuted = {"u3"};
    p.textMuted = {"u2"};
    p.bitrate = 64000;
    p.accessMode = "public";
    p.allowSubRoom = "ask";
    p.attachedModule = "m1";
    p.prefMembers = {"u1", "u2"};
    p.roomCode = "ABCD";
    p.roomCodeEnabled = true;
    p.roles = {{1, "member", 10, {"core.room.speak"}, true},
               {2, "mod", 20, {"core.room.speak", "core.room.kick_members"}, false}};
    p.overrides.insert("u2", {{"core.room.speak", false}});
    RoomPrivateState &q = room.privateState;
    q.followCode = "F1";
    q.followCodeExpiresAtMs = 1000;
    q.pendingJoinRequests = {{"j1", "u5", 100, 900}};
    q.pendingSubrooms = {{"s1", "c3", "u6", 100, 900}};
    return room;
}

std::optional<RoomEventPayload> parseEvent(const QString &name, const QByteArray &json)
{
    const RoomEventParser parse = findRoomEventParser(name);
    if (!parse)
        return std::nullopt;
    return parse(QJsonDocument::fromJson(json).object());
}

RoomUpdate eventUpdate(const QString &roomId, const QString &name, const QByteArray &json, qint64 version)
{
    const std::optional<RoomEventPayload> payload = parseEvent(name, json);
    Q_ASSERT(payload);
    return {roomId, RoomEventUpdate{name, *payload, version}};
}

} // namespace roomtest
