#include "room/room_entity.h"

#include "room/room_field_flag.h"

namespace {

// The room an event was sent for: its "roomId" when its record has one. Events of
// sub-room links and child overrides name two rooms and belong to neither.
QString owningRoomId(const RoomEventPayload &payload)
{
    return std::visit(
        [](const auto &event) -> QString {
            if constexpr (requires { event.roomId; })
                return event.roomId;
            else
                return QString();
        },
        payload);
}

} // namespace

uint RoomEntity::applySnapshot(const RoomUpdate::Variant &update)
{
    return std::visit(
        [this](const auto &item) -> uint {
            using T = std::decay_t<decltype(item)>;
            if constexpr (std::is_same_v<T, RoomPublicSnapshot>)
                return applyPublicSnapshot(item);
            else if constexpr (std::is_same_v<T, RoomPrivateSnapshot>)
                return applyPrivateSnapshot(item);
            else
                return applyEventUpdate(item);
        },
        update);
}

uint RoomEntity::applyPublicSnapshot(const RoomPublicSnapshot &snapshot)
{
    // Only an earlier public snapshot makes a lower version stale: events and a
    // private snapshot may have come first, and the first public part must land.
    if (publicApplied && snapshot.version > 0 && snapshot.version < version)
        return 0;

    uint mask = publicState.diff(snapshot.state);
    if (mask != 0)
        publicState = snapshot.state;
    if (name != snapshot.name) {
        name = snapshot.name;
        mask |= RoomFieldFlag::Name;
    }
    if (snapshot.version > version)
        version = snapshot.version;
    publicApplied = true;
    if (populated == 0) {
        populated = 1;
        mask |= RoomFieldFlag::Availability;
    }
    return mask;
}

uint RoomEntity::applyPrivateSnapshot(const RoomPrivateSnapshot &snapshot)
{
    uint mask = privateState.diff(snapshot);
    if (mask != 0)
        privateState = snapshot;
    if (populated != 2) {
        populated = 2;
        mask |= RoomFieldFlag::Availability;
    }
    return mask;
}

uint RoomEntity::applyEventUpdate(const RoomEventUpdate &event)
{
    // A version counts only in the room the event was sent for; applied to a
    // parent or child it is unversioned there, so neither room's counter can
    // refuse or freeze the other's events and snapshots.
    const qint64 eventVersion = owningRoomId(event.payload) == roomId ? event.version : 0;
    if (eventVersion > 0 && eventVersion <= version)
        return 0;
    const uint mask = applyEvent(event.payload);
    if (eventVersion > 0)
        version = eventVersion;
    return mask;
}

bool RoomEntity::grants(const QString &userId, const QString &key) const
{
    if (userId.isEmpty() || key.isEmpty())
        return false;
    const auto override = publicState.overrides.constFind(userId);
    if (override != publicState.overrides.cend()) {
        const auto value = override->constFind(key);
        if (value != override->cend())
            return *value;
    }
    const qint64 roleId = publicState.memberRoles.value(userId, 0);
    for (const RoomAclRole &role : publicState.roles) {
        if (role.roleId == roleId)
            return role.permissions.contains(key);
    }
    return false;
}

bool RoomEntity::userHasPermission(const QString &userId, const QString &key, bool cascade) const
{
    if (userId.isEmpty() || key.isEmpty())
        return false;
    if (cascade)
        return true;
    return grants(userId, key);
}

bool RoomEntity::isSpeechBlocked(const QString &userId) const
{
    if (publicState.voiceMuted.contains(userId))
        return true;
    return !grants(userId, QStringLiteral("core.room.speak"));
}
