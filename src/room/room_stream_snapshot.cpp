#include "room/room_stream_snapshot.h"

#include "realtime/events/event_json.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

namespace {

// The reading rules of snapshot values are those of the event records: a missing,
// null or differently typed value gives the rule's default, a 64-bit number may
// come as a string of decimal digits, a 32-bit number must be a whole JSON number.

// A flag whose default is not false: only a JSON boolean gives its own value.
bool flag(const QJsonObject &object, const char *key, bool fallback)
{
    return object.value(QLatin1StringView(key)).toBool(fallback);
}

// The 64-bit rule for a value that sits under a key of the server's own choosing
// (a user id). A number beyond the 64-bit range has no counterpart and reads 0.
qint64 int64Value(const QJsonValue &value)
{
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::Double) {
        const double number = variant.toDouble();
        if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0))
            return 0;
    }
    return variant.toLongLong();
}

RoomAclRole readRole(const QJsonObject &object)
{
    RoomAclRole role;
    role.roleId = eventInt64(object, "roleId");
    role.name = eventText(object, "name");
    role.level = eventInt(object, "level");
    const QJsonArray permissions = eventArray(object, "permissions");
    for (const QJsonValue &key : permissions)
        role.permissions.insert(key.toString());
    role.isJoinDefault = eventBool(object, "isJoinDefault");
    return role;
}

void readSettings(const QJsonObject &settings, RoomPublicState &state)
{
    state.bitrate = eventInt(settings, "bitrate");
    state.accessMode = eventText(settings, "accessMode");
    state.allowSubRoom = eventText(settings, "allowSubRoom");
    state.allowSubRoomBroadcast = flag(settings, "allowSubRoomBroadcast", true);
    state.allowSubRoomChat = flag(settings, "allowSubRoomChat", true);
    state.requireApproval = eventBool(settings, "requireApproval");
    state.codeDirectEntry = flag(settings, "codeDirectEntry", true);
    state.attachedModule = eventText(settings, "attachedModule");
    state.prefMembers = parseStringList(eventArray(settings, "prefMembers"));
    state.roomCode = eventText(settings, "roomCode");
    state.roomCodeEnabled = eventBool(settings, "roomCodeEnabled");
}

// A present key sets the value, whatever it holds: anything but true reads false.
std::optional<bool> optionalFlag(const QJsonObject &object, QLatin1StringView key)
{
    if (!object.contains(key))
        return std::nullopt;
    return object.value(key).toBool(false);
}

// Children in the order of "childRoomIds", each with the override that "acl" /
// "childOverrides" gives it; overrides of children that are not listed are not read.
void readChildren(const QJsonArray &childRoomIds, const QJsonObject &overrides, RoomPublicState &state)
{
    for (const QJsonValue &element : childRoomIds) {
        const QString id = element.toString();
        if (id.isEmpty())
            continue;
        state.childRoomIds.append(id);
        const QJsonObject co = overrides.value(id).toObject();
        RoomChildOverride override;
        override.allowBroadcast = optionalFlag(co, QLatin1StringView("allowBroadcast"));
        override.allowChat = optionalFlag(co, QLatin1StringView("allowChat"));
        if (override.allowBroadcast || override.allowChat)
            state.childOverrides.insert(id, override);
    }
}

} // namespace

std::optional<RoomUpdate> parseRoomPublicSnapshot(const QJsonObject &snapshot)
{
    const QString roomId = eventText(snapshot, "roomId");
    if (roomId.isEmpty())
        return std::nullopt;
    const QJsonObject meta = eventObject(snapshot, "meta");
    const QJsonObject acl = eventObject(snapshot, "acl");

    RoomPublicSnapshot result;
    RoomPublicState &state = result.state;
    result.name = eventText(meta, "name");
    result.version = eventInt64(meta, "version");
    state.isPersistent = eventBool(meta, "isPersistent");
    state.channelId = eventText(meta, "channelId");

    // Taken as they come: duplicates stay, a non-string element adds an empty id.
    state.present = parseStringList(eventArray(snapshot, "present"));
    const QJsonArray disconnected = eventArray(snapshot, "disconnected");
    for (const QJsonValue &element : disconnected)
        state.disconnected.insert(element.toString());

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QJsonArray mutes = eventArray(snapshot, "mutes");
    state.voiceMuted = parseRoomMutes(mutes, QLatin1StringView("voice"), now);
    state.textMuted = parseRoomMutes(mutes, QLatin1StringView("text"), now);

    const QJsonObject memberRoles = eventObject(acl, "memberRoles");
    for (auto it = memberRoles.begin(); it != memberRoles.end(); ++it)
        state.memberRoles.insert(it.key(), int64Value(it.value()));

    const QJsonArray roles = eventArray(acl, "roles");
    state.roles.reserve(roles.size());
    for (const QJsonValue &element : roles)
        state.roles.append(readRole(element.toObject()));

    const QJsonObject overrides = eventObject(acl, "overrides");
    for (auto user = overrides.begin(); user != overrides.end(); ++user) {
        const QJsonObject keys = user.value().toObject();
        QHash<QString, bool> granted;
        for (auto key = keys.begin(); key != keys.end(); ++key)
            granted.insert(key.key(), key.value().toBool(false));
        state.overrides.insert(user.key(), granted);
    }

    // Settings live under "acl" only; a "settings" object anywhere else is not read.
    readSettings(eventObject(acl, "settings"), state);

    state.parentRoomId = eventText(snapshot, "parentRoomId");
    readChildren(eventArray(snapshot, "childRoomIds"), eventObject(acl, "childOverrides"), state);

    return RoomUpdate{roomId, std::move(result)};
}

QSet<QString> parseRoomMutes(const QJsonArray &mutes, QLatin1StringView variant, qint64 nowMs)
{
    QSet<QString> users;
    for (const QJsonValue &element : mutes) {
        const QJsonObject entry = element.toObject();
        if (eventText(entry, "variant") != variant)
            continue;
        const qint64 expiry = eventInt64(entry, "expireAtMs");
        if (expiry == -1 || expiry > nowMs)
            users.insert(eventText(entry, "userId"));
    }
    return users;
}

std::optional<RoomUpdate> parseRoomPrivateSnapshot(const QJsonObject &snapshot)
{
    const QString roomId = eventText(snapshot, "roomId");
    if (roomId.isEmpty())
        return std::nullopt;

    RoomPrivateSnapshot result;
    result.followCode = eventText(snapshot, "followCode");
    result.followCodeExpiresAtMs = eventInt64(snapshot, "followCodeExpiresAtMs");

    const QJsonArray joins = eventArray(snapshot, "pendingJoinRequests");
    for (const QJsonValue &element : joins) {
        const QJsonObject object = element.toObject();
        roomdata::PendingJoinRequest request;
        request.requestId = eventText(object, "requestId");
        if (request.requestId.isEmpty())
            continue;
        request.fromUserId = eventText(object, "fromUserId");
        request.createdAt = eventInt64(object, "createdAt");
        request.expiresAtMs = eventInt64(object, "expiresAtMs");
        result.pendingJoinRequests.append(request);
    }

    const QJsonArray subrooms = eventArray(snapshot, "pendingSubrooms");
    for (const QJsonValue &element : subrooms) {
        const QJsonObject object = element.toObject();
        roomdata::PendingSubroomRequest request;
        request.requestId = eventText(object, "requestId");
        if (request.requestId.isEmpty())
            continue;
        request.childRoomId = eventText(object, "childRoomId");
        request.fromUserId = eventText(object, "fromUserId");
        request.createdAt = eventInt64(object, "createdAt");
        request.expiresAtMs = eventInt64(object, "expiresAtMs");
        result.pendingSubrooms.append(request);
    }

    return RoomUpdate{roomId, std::move(result)};
}
