// RoomEntity::applyEvent: how each room event changes the room record.

#include "room/room_entity.h"

#include "room/room_field_flag.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {

// Assigns when the value differs; returns `bit` for a change, else 0.
template<typename T>
uint assign(T &field, const T &value, uint bit)
{
    if (field == value)
        return 0;
    field = value;
    return bit;
}

RoomAclRole toAclRole(const RoomRole &role)
{
    RoomAclRole acl;
    acl.roleId = role.id;
    acl.name = role.name;
    acl.level = role.level;
    for (auto it = role.permissions.constBegin(); it != role.permissions.constEnd(); ++it) {
        if (it.value() == QJsonValue(true))
            acl.permissions.insert(it.key());
    }
    return acl;
}

class EventReducer
{
public:
    explicit EventReducer(RoomEntity &room_)
        : room(room_)
        , pub(room_.publicState)
        , priv(room_.privateState)
    {}

    // Settings.
    uint operator()(const RoomAccessModeChangedEvent &e)
    {
        return assign(pub.accessMode, e.newMode, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomAllowSubRoomChangedEvent &e)
    {
        return assign(pub.allowSubRoom, e.newValue, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomAllowSubRoomBroadcastChangedEvent &e)
    {
        return assign(pub.allowSubRoomBroadcast, e.newValue, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomAllowSubRoomChatChangedEvent &e)
    {
        return assign(pub.allowSubRoomChat, e.newValue, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomBitrateChangedEvent &e)
    {
        return assign(pub.bitrate, e.newValue, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomCodeDirectEntryChangedEvent &e)
    {
        return assign(pub.codeDirectEntry, e.newValue, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomRequireApprovalChangedEvent &e)
    {
        return assign(pub.requireApproval, e.newValue, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomModuleAttachedEvent &e)
    {
        return assign(pub.attachedModule, e.moduleId, RoomFieldFlag::Settings);
    }
    // Clears whatever module is attached, whichever the event names.
    uint operator()(const RoomModuleDetachedEvent &)
    {
        return assign(pub.attachedModule, QString(), RoomFieldFlag::Settings);
    }
    uint operator()(const RoomPrefChangedEvent &e)
    {
        return assign(pub.prefMembers, e.prefMembers, RoomFieldFlag::Settings);
    }
    uint operator()(const RoomNameChangedEvent &e) { return assign(room.name, e.newName, RoomFieldFlag::Name); }
    // The room code itself arrives only with snapshots.
    uint operator()(const RoomCodeChangedEvent &e)
    {
        return assign(pub.roomCodeEnabled, e.enabled, RoomFieldFlag::RoomCode);
    }

    uint operator()(const RoomChildAllowBroadcastChangedEvent &e)
    {
        if (e.parentRoomId != room.roomId)
            return 0;
        return setOverride(e.childRoomId, &RoomChildOverride::allowBroadcast, e.value);
    }
    uint operator()(const RoomChildAllowChatChangedEvent &e)
    {
        if (e.parentRoomId != room.roomId)
            return 0;
        return setOverride(e.childRoomId, &RoomChildOverride::allowChat, e.value);
    }

    uint operator()(const RoomFollowCodeChangedEvent &e)
    {
        if (!privateApplied())
            return 0;
        if (priv.followCode == e.followCode && priv.followCodeExpiresAtMs == e.expiresAtMs)
            return 0;
        priv.followCode = e.followCode;
        priv.followCodeExpiresAtMs = e.expiresAtMs;
        return RoomFieldFlag::FollowCode;
    }

    // Lifecycle, membership and ownership events are acted on by the room services.
    uint operator()(const RoomCreatedEvent &) { return 0; }
    uint operator()(const RoomExpiredEvent &) { return 0; }
    uint operator()(const RoomHiddenEvent &) { return 0; }
    uint operator()(const RoomRestoredEvent &) { return 0; }
    uint operator()(const RoomMemberKickedEvent &) { return 0; }
    uint operator()(const RoomMemberSupersededEvent &) { return 0; }
    uint operator()(const RoomMemberUnbannedEvent &) { return 0; }
    uint operator()(const RoomMembershipChangedEvent &) { return 0; }
    uint operator()(const RoomOwnerTransferredEvent &) { return 0; }

    // Moderation. A ban takes the member's role and presence; mutes and overrides stay.
    uint operator()(const RoomMemberBannedEvent &e)
    {
        uint mask = 0;
        if (pub.memberRoles.remove(e.userId) > 0)
            mask |= RoomFieldFlag::Acl;
        return mask | removePresent(e.userId);
    }
    uint operator()(const RoomMemberMutedEvent &e)
    {
        QSet<QString> *set = muteSet(e.variant);
        if (!set || e.userId.isEmpty() || set->contains(e.userId))
            return 0;
        set->insert(e.userId);
        return RoomFieldFlag::Mutes;
    }
    uint operator()(const RoomMemberUnmutedEvent &e)
    {
        QSet<QString> *set = muteSet(e.variant);
        if (!set || e.userId.isEmpty())
            return 0;
        return set->remove(e.userId) ? RoomFieldFlag::Mutes : 0;
    }

    // Roles.
    uint operator()(const RoomMemberRoleChangedEvent &e)
    {
        if (e.userId.isEmpty())
            return 0;
        if (e.roleId == 0)
            return pub.memberRoles.remove(e.userId) > 0 ? RoomFieldFlag::Acl : 0;
        const auto it = pub.memberRoles.constFind(e.userId);
        if (it != pub.memberRoles.cend() && *it == e.roleId)
            return 0;
        pub.memberRoles.insert(e.userId, e.roleId);
        return RoomFieldFlag::Acl;
    }
    uint operator()(const RoomMembersReassignedEvent &e)
    {
        // Reassigning a role to itself changes nobody.
        if (e.fromRoleId == e.toRoleId)
            return 0;
        bool held = false;
        for (auto it = pub.memberRoles.begin(); it != pub.memberRoles.end(); ++it) {
            if (*it == e.fromRoleId) {
                *it = e.toRoleId;
                held = true;
            }
        }
        return held ? RoomFieldFlag::Acl : 0;
    }
    uint operator()(const RoomDefaultRoleChangedEvent &e)
    {
        uint mask = 0;
        for (RoomAclRole &role : pub.roles)
            mask |= assign(role.isJoinDefault, role.roleId == e.roleId, RoomFieldFlag::Acl);
        return mask;
    }
    uint operator()(const RoomRoleCreatedEvent &e) { return replaceRoles(e.roles, e.rolesGiven); }
    uint operator()(const RoomRoleDeletedEvent &e) { return replaceRoles(e.roles, e.rolesGiven); }
    uint operator()(const RoomRolesReorderedEvent &e) { return replaceRoles(e.roles, e.rolesGiven); }
    uint operator()(const RoomRoleUpdatedEvent &e)
    {
        const RoomAclRole updated = toAclRole(e.role);
        for (RoomAclRole &role : pub.roles) {
            if (role.roleId != updated.roleId)
                continue;
            if (role.name == updated.name && role.level == updated.level && role.permissions == updated.permissions)
                return 0;
            role.name = updated.name;
            role.level = updated.level;
            role.permissions = updated.permissions;
            return RoomFieldFlag::Acl;
        }
        pub.roles.append(updated);
        return RoomFieldFlag::Acl;
    }

    // Presence.
    uint operator()(const RoomPresenceConnStateEvent &e)
    {
        if (e.userId.isEmpty())
            return 0;
        if (e.connState == QLatin1String("disconnected")) {
            if (pub.disconnected.contains(e.userId))
                return 0;
            pub.disconnected.insert(e.userId);
            return RoomFieldFlag::Presence;
        }
        return pub.disconnected.remove(e.userId) ? RoomFieldFlag::Presence : 0;
    }
    uint operator()(const RoomPresenceJoinedEvent &e)
    {
        if (e.userId.isEmpty() || pub.present.contains(e.userId))
            return 0;
        pub.present.append(e.userId);
        pub.disconnected.remove(e.userId);
        return RoomFieldFlag::Presence;
    }
    uint operator()(const RoomPresenceLeftEvent &e) { return removePresent(e.userId); }

    // Join requests, kept only once the private part is known.
    uint operator()(const RoomRequestCreatedEvent &e)
    {
        if (!privateApplied())
            return 0;
        for (const roomdata::PendingJoinRequest &request : std::as_const(priv.pendingJoinRequests)) {
            if (request.requestId == e.requestId)
                return 0;
        }
        priv.pendingJoinRequests.append({e.requestId, e.fromUserId, e.createdAt, e.expiresAtMs});
        return RoomFieldFlag::Requests;
    }
    uint operator()(const RoomRequestApprovedEvent &e) { return privateApplied() ? removeRequest(e.requestId) : 0; }
    uint operator()(const RoomRequestCancelledEvent &e) { return privateApplied() ? removeRequest(e.requestId) : 0; }
    uint operator()(const RoomRequestExpiredEvent &e) { return privateApplied() ? removeRequest(e.requestId) : 0; }
    uint operator()(const RoomRequestRejectedEvent &e) { return privateApplied() ? removeRequest(e.requestId) : 0; }

    // Sub-room requests: held by the parent, once its private part is known.
    uint operator()(const RoomSubRoomPendingEvent &e)
    {
        if (!privateApplied() || e.parentRoomId != room.roomId)
            return 0;
        for (const roomdata::PendingSubroomRequest &request : std::as_const(priv.pendingSubrooms)) {
            if (request.requestId == e.requestId)
                return 0;
        }
        priv.pendingSubrooms.append({e.requestId, e.childRoomId, e.fromUserId, e.createdAt, e.expiresAtMs});
        return RoomFieldFlag::Requests;
    }
    uint operator()(const RoomSubRoomApprovedEvent &e) { return parentRequestRemoval(e.parentRoomId, e.requestId); }
    uint operator()(const RoomSubRoomCancelledEvent &e) { return parentRequestRemoval(e.parentRoomId, e.requestId); }
    uint operator()(const RoomSubRoomRejectedEvent &e) { return parentRequestRemoval(e.parentRoomId, e.requestId); }

    // Sub-room links, applied to the child and to the parent.
    uint operator()(const RoomSubRoomAttachedEvent &e) { return link(e.childRoomId, e.parentRoomId, true); }
    uint operator()(const RoomSubRoomDetachedEvent &e) { return link(e.childRoomId, e.parentRoomId, false); }

private:
    bool privateApplied() const { return room.populated == 2; }

    QSet<QString> *muteSet(const QString &variant)
    {
        if (variant == QLatin1String("voice"))
            return &pub.voiceMuted;
        if (variant == QLatin1String("text"))
            return &pub.textMuted;
        return nullptr;
    }

    // Removes the user's first occurrence from `present`, and then the disconnected mark.
    uint removePresent(const QString &userId)
    {
        const qsizetype index = pub.present.indexOf(userId);
        if (index < 0)
            return 0;
        pub.present.removeAt(index);
        pub.disconnected.remove(userId);
        return RoomFieldFlag::Presence;
    }

    // One search serves both kinds of request: join requests first, then sub-room requests.
    uint removeRequest(const QString &requestId)
    {
        for (qsizetype i = 0; i < priv.pendingJoinRequests.size(); ++i) {
            if (priv.pendingJoinRequests.at(i).requestId == requestId) {
                priv.pendingJoinRequests.removeAt(i);
                return RoomFieldFlag::Requests;
            }
        }
        for (qsizetype i = 0; i < priv.pendingSubrooms.size(); ++i) {
            if (priv.pendingSubrooms.at(i).requestId == requestId) {
                priv.pendingSubrooms.removeAt(i);
                return RoomFieldFlag::Requests;
            }
        }
        return 0;
    }

    uint parentRequestRemoval(const QString &parentRoomId, const QString &requestId)
    {
        if (!privateApplied() || parentRoomId != room.roomId)
            return 0;
        return removeRequest(requestId);
    }

    // Sets or unsets one override of a child. An entry is kept only while it sets
    // something, as a snapshot would build it, so that an unset on a child without an
    // entry (or a value it already has) changes nothing and leaves no empty entry behind.
    uint setOverride(const QString &childRoomId, std::optional<bool> RoomChildOverride::*field,
                     const std::optional<bool> &value)
    {
        auto it = pub.childOverrides.find(childRoomId);
        if (it == pub.childOverrides.end()) {
            if (!value)
                return 0;
            it = pub.childOverrides.insert(childRoomId, RoomChildOverride{});
        } else if ((*it).*field == value) {
            return 0;
        }
        (*it).*field = value;
        if (!it->allowBroadcast && !it->allowChat)
            pub.childOverrides.erase(it);
        return RoomFieldFlag::Hierarchy;
    }

    // The child takes (or loses) its parent; the parent gains (or drops) the child
    // and, on detaching, its override entry. A room that is neither is untouched.
    uint link(const QString &childRoomId, const QString &parentRoomId, bool attaching)
    {
        uint mask = 0;
        if (room.roomId == childRoomId)
            mask |= assign(pub.parentRoomId, attaching ? parentRoomId : QString(), RoomFieldFlag::Hierarchy);
        if (room.roomId != parentRoomId)
            return mask;
        if (attaching) {
            if (!pub.childRoomIds.contains(childRoomId)) {
                pub.childRoomIds.append(childRoomId);
                mask |= RoomFieldFlag::Hierarchy;
            }
            return mask;
        }
        if (pub.childRoomIds.removeOne(childRoomId))
            mask |= RoomFieldFlag::Hierarchy;
        if (pub.childOverrides.remove(childRoomId) > 0)
            mask |= RoomFieldFlag::Hierarchy;
        return mask;
    }

    // A role event carries the whole list after the change. The join-default mark
    // travels only with snapshots, so each role keeps the mark it had. An event
    // without a "roles" array says nothing about the list; taking its empty list
    // would strip every role and every permission, so it changes nothing. A real
    // empty array is the room's list and is taken.
    uint replaceRoles(const QList<RoomRole> &roles, bool given)
    {
        if (!given)
            return 0;
        QList<RoomAclRole> next;
        next.reserve(roles.size());
        for (const RoomRole &role : roles) {
            RoomAclRole acl = toAclRole(role);
            for (const RoomAclRole &old : std::as_const(pub.roles)) {
                if (old.roleId == acl.roleId) {
                    acl.isJoinDefault = old.isJoinDefault;
                    break;
                }
            }
            next.append(std::move(acl));
        }
        if (next == pub.roles)
            return 0;
        pub.roles = std::move(next);
        return RoomFieldFlag::Acl;
    }

    RoomEntity &room;
    RoomPublicState &pub;
    RoomPrivateState &priv;
};

} // namespace

uint RoomEntity::applyEvent(const RoomEventPayload &payload)
{
    EventReducer reducer(*this);
    return std::visit(reducer, payload);
}
