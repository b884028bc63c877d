#pragma once

#include "realtime/events/room_member_events.h"
#include "realtime/events/room_role_events.h"
#include "realtime/events/room_settings_events.h"

#include <QMetaType>

#include <variant>

// One parsed room event. The alternative index is the row of the event's name in
// roomEventTable, so the order here is the name order of the table and the two
// change together.
using RoomEventPayload = std::variant<RoomAccessModeChangedEvent,            // 0  "room.access_mode.changed"
                                      RoomAllowSubRoomChangedEvent,          // 1  "room.allow_subroom.changed"
                                      RoomAllowSubRoomBroadcastChangedEvent, // 2 "room.allow_subroom_broadcast.changed"
                                      RoomAllowSubRoomChatChangedEvent,      // 3  "room.allow_subroom_chat.changed"
                                      RoomBitrateChangedEvent,               // 4  "room.bitrate.changed"
                                      RoomChildAllowBroadcastChangedEvent,   // 5  "room.child_allow_broadcast.changed"
                                      RoomChildAllowChatChangedEvent,        // 6  "room.child_allow_chat.changed"
                                      RoomCodeDirectEntryChangedEvent,       // 7  "room.code_direct_entry.changed"
                                      RoomCreatedEvent,                      // 8  "room.created"
                                      RoomDefaultRoleChangedEvent,           // 9  "room.default_role.changed"
                                      RoomExpiredEvent,                      // 10 "room.expired"
                                      RoomFollowCodeChangedEvent,            // 11 "room.follow_code.changed"
                                      RoomHiddenEvent,                       // 12 "room.hidden"
                                      RoomMemberBannedEvent,                 // 13 "room.member.banned"
                                      RoomMemberKickedEvent,                 // 14 "room.member.kicked"
                                      RoomMemberMutedEvent,                  // 15 "room.member.muted"
                                      RoomMemberRoleChangedEvent,            // 16 "room.member.role_changed"
                                      RoomMemberSupersededEvent,             // 17 "room.member.superseded"
                                      RoomMemberUnbannedEvent,               // 18 "room.member.unbanned"
                                      RoomMemberUnmutedEvent,                // 19 "room.member.unmuted"
                                      RoomMembersReassignedEvent,            // 20 "room.members.role_reassigned"
                                      RoomMembershipChangedEvent,            // 21 "room.membership.changed"
                                      RoomModuleAttachedEvent,               // 22 "room.module.attached"
                                      RoomModuleDetachedEvent,               // 23 "room.module.detached"
                                      RoomNameChangedEvent,                  // 24 "room.name.changed"
                                      RoomOwnerTransferredEvent,             // 25 "room.owner.transferred"
                                      RoomPrefChangedEvent,                  // 26 "room.pref.changed"
                                      RoomPresenceConnStateEvent,            // 27 "room.presence.conn-state"
                                      RoomPresenceJoinedEvent,               // 28 "room.presence.joined"
                                      RoomPresenceLeftEvent,                 // 29 "room.presence.left"
                                      RoomRequestApprovedEvent,              // 30 "room.request.approved"
                                      RoomRequestCancelledEvent,             // 31 "room.request.cancelled"
                                      RoomRequestCreatedEvent,               // 32 "room.request.created"
                                      RoomRequestExpiredEvent,               // 33 "room.request.expired"
                                      RoomRequestRejectedEvent,              // 34 "room.request.rejected"
                                      RoomRequireApprovalChangedEvent,       // 35 "room.require_approval.changed"
                                      RoomRestoredEvent,                     // 36 "room.restored"
                                      RoomRoleCreatedEvent,                  // 37 "room.role.created"
                                      RoomRoleDeletedEvent,                  // 38 "room.role.deleted"
                                      RoomRoleUpdatedEvent,                  // 39 "room.role.updated"
                                      RoomRolesReorderedEvent,               // 40 "room.roles.reordered"
                                      RoomCodeChangedEvent,                  // 41 "room.room_code.changed"
                                      RoomSubRoomApprovedEvent,              // 42 "room.subroom.approved"
                                      RoomSubRoomAttachedEvent,              // 43 "room.subroom.attached"
                                      RoomSubRoomCancelledEvent,             // 44 "room.subroom.cancelled"
                                      RoomSubRoomDetachedEvent,              // 45 "room.subroom.detached"
                                      RoomSubRoomPendingEvent,               // 46 "room.subroom.pending"
                                      RoomSubRoomRejectedEvent>;             // 47 "room.subroom.rejected"

// Travels in the room entity feed's signals.
Q_DECLARE_METATYPE(RoomEventPayload)
