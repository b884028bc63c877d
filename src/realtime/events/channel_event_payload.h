#pragma once

#include "realtime/events/channel_events.h"

#include <variant>

// One parsed channel event. The alternative index is the row of the event's name in
// channelEventTable, so the order here is the name order of the table and the two
// change together. Every alternative starts with channelId.
using ChannelEventPayload = std::variant<ChannelDefaultRoleChangedEvent, // 0  "channel.default_role.changed"
                                         ChannelDeletedEvent,            // 1  "channel.deleted"
                                         ChannelMemberBannedEvent,       // 2  "channel.member.banned"
                                         ChannelMemberJoinedEvent,       // 3  "channel.member.joined"
                                         ChannelMemberLeftEvent,         // 4  "channel.member.left"
                                         ChannelMemberRemovedEvent,      // 5  "channel.member.removed"
                                         ChannelMemberRoleChangedEvent,  // 6  "channel.member.role_changed"
                                         ChannelMemberUnbannedEvent,     // 7  "channel.member.unbanned"
                                         ChannelMembersReassignedEvent,  // 8  "channel.members.role_reassigned"
                                         ChannelOwnerTransferredEvent,   // 9  "channel.owner.transferred"
                                         ChannelRestoredEvent,           // 10 "channel.restored"
                                         ChannelRoleCreatedEvent,        // 11 "channel.role.created"
                                         ChannelRoleDeletedEvent,        // 12 "channel.role.deleted"
                                         ChannelRoleUpdatedEvent,        // 13 "channel.role.updated"
                                         ChannelRolesReorderedEvent,     // 14 "channel.roles.reordered"
                                         ChannelRoomCreatedEvent,        // 15 "channel.room.created"
                                         ChannelRoomDeletedEvent,        // 16 "channel.room.deleted"
                                         ChannelRoomsReorderedEvent,     // 17 "channel.rooms.reordered"
                                         ChannelUpdatedEvent>;           // 18 "channel.updated"
