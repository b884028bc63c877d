#include "realtime/events/room_event_table.h"

#include "realtime/events/event_table_rules.h"

#include <QMetaType>

namespace {

template<typename Record>
constexpr RoomEventEntry row(const char *name)
{
    return RoomEventEntry{name, &parseEventAs<RoomEventPayload, Record>};
}

} // namespace

constexpr std::array<RoomEventEntry, kRoomEventCount> roomEventTable = {{
    row<RoomAccessModeChangedEvent>("room.access_mode.changed"),
    row<RoomAllowSubRoomChangedEvent>("room.allow_subroom.changed"),
    row<RoomAllowSubRoomBroadcastChangedEvent>("room.allow_subroom_broadcast.changed"),
    row<RoomAllowSubRoomChatChangedEvent>("room.allow_subroom_chat.changed"),
    row<RoomBitrateChangedEvent>("room.bitrate.changed"),
    row<RoomChildAllowBroadcastChangedEvent>("room.child_allow_broadcast.changed"),
    row<RoomChildAllowChatChangedEvent>("room.child_allow_chat.changed"),
    row<RoomCodeDirectEntryChangedEvent>("room.code_direct_entry.changed"),
    row<RoomCreatedEvent>("room.created"),
    row<RoomDefaultRoleChangedEvent>("room.default_role.changed"),
    row<RoomExpiredEvent>("room.expired"),
    row<RoomFollowCodeChangedEvent>("room.follow_code.changed"),
    row<RoomHiddenEvent>("room.hidden"),
    row<RoomMemberBannedEvent>("room.member.banned"),
    row<RoomMemberKickedEvent>("room.member.kicked"),
    row<RoomMemberMutedEvent>("room.member.muted"),
    row<RoomMemberRoleChangedEvent>("room.member.role_changed"),
    row<RoomMemberSupersededEvent>("room.member.superseded"),
    row<RoomMemberUnbannedEvent>("room.member.unbanned"),
    row<RoomMemberUnmutedEvent>("room.member.unmuted"),
    row<RoomMembersReassignedEvent>("room.members.role_reassigned"),
    row<RoomMembershipChangedEvent>("room.membership.changed"),
    row<RoomModuleAttachedEvent>("room.module.attached"),
    row<RoomModuleDetachedEvent>("room.module.detached"),
    row<RoomNameChangedEvent>("room.name.changed"),
    row<RoomOwnerTransferredEvent>("room.owner.transferred"),
    row<RoomPrefChangedEvent>("room.pref.changed"),
    row<RoomPresenceConnStateEvent>("room.presence.conn-state"),
    row<RoomPresenceJoinedEvent>("room.presence.joined"),
    row<RoomPresenceLeftEvent>("room.presence.left"),
    row<RoomRequestApprovedEvent>("room.request.approved"),
    row<RoomRequestCancelledEvent>("room.request.cancelled"),
    row<RoomRequestCreatedEvent>("room.request.created"),
    row<RoomRequestExpiredEvent>("room.request.expired"),
    row<RoomRequestRejectedEvent>("room.request.rejected"),
    row<RoomRequireApprovalChangedEvent>("room.require_approval.changed"),
    row<RoomRestoredEvent>("room.restored"),
    row<RoomRoleCreatedEvent>("room.role.created"),
    row<RoomRoleDeletedEvent>("room.role.deleted"),
    row<RoomRoleUpdatedEvent>("room.role.updated"),
    row<RoomRolesReorderedEvent>("room.roles.reordered"),
    row<RoomCodeChangedEvent>("room.room_code.changed"),
    row<RoomSubRoomApprovedEvent>("room.subroom.approved"),
    row<RoomSubRoomAttachedEvent>("room.subroom.attached"),
    row<RoomSubRoomCancelledEvent>("room.subroom.cancelled"),
    row<RoomSubRoomDetachedEvent>("room.subroom.detached"),
    row<RoomSubRoomPendingEvent>("room.subroom.pending"),
    row<RoomSubRoomRejectedEvent>("room.subroom.rejected"),
}};

static_assert(std::variant_size_v<RoomEventPayload> == kRoomEventCount);
static_assert(eventNamesStrictlyAscending(roomEventTable), "room event names must be strictly ascending");
static_assert(eventRowsMatchAlternatives<RoomEventPayload>(roomEventTable),
              "row r of the room event table must parse into alternative r");

namespace {

// Registered with the table, which every consumer of the payload links, so that a
// payload can travel in a queued signal or a QVariant.
void registerRoomEventPayload()
{
    qRegisterMetaType<RoomEventPayload>();
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(registerRoomEventPayload)
