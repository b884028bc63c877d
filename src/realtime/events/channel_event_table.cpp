#include "realtime/events/channel_event_table.h"

#include "realtime/events/event_table_rules.h"

namespace {

template<typename Record>
constexpr ChannelEventEntry row(const char *name)
{
    return ChannelEventEntry{name, &parseEventAs<ChannelEventPayload, Record>};
}

} // namespace

constexpr std::array<ChannelEventEntry, kChannelEventCount> channelEventTable = {{
    row<ChannelDefaultRoleChangedEvent>("channel.default_role.changed"),
    row<ChannelDeletedEvent>("channel.deleted"),
    row<ChannelMemberBannedEvent>("channel.member.banned"),
    row<ChannelMemberJoinedEvent>("channel.member.joined"),
    row<ChannelMemberLeftEvent>("channel.member.left"),
    row<ChannelMemberRemovedEvent>("channel.member.removed"),
    row<ChannelMemberRoleChangedEvent>("channel.member.role_changed"),
    row<ChannelMemberUnbannedEvent>("channel.member.unbanned"),
    row<ChannelMembersReassignedEvent>("channel.members.role_reassigned"),
    row<ChannelOwnerTransferredEvent>("channel.owner.transferred"),
    row<ChannelRestoredEvent>("channel.restored"),
    row<ChannelRoleCreatedEvent>("channel.role.created"),
    row<ChannelRoleDeletedEvent>("channel.role.deleted"),
    row<ChannelRoleUpdatedEvent>("channel.role.updated"),
    row<ChannelRolesReorderedEvent>("channel.roles.reordered"),
    row<ChannelRoomCreatedEvent>("channel.room.created"),
    row<ChannelRoomDeletedEvent>("channel.room.deleted"),
    row<ChannelRoomsReorderedEvent>("channel.rooms.reordered"),
    row<ChannelUpdatedEvent>("channel.updated"),
}};

static_assert(std::variant_size_v<ChannelEventPayload> == kChannelEventCount);
static_assert(eventNamesStrictlyAscending(channelEventTable), "channel event names must be strictly ascending");
static_assert(eventRowsMatchAlternatives<ChannelEventPayload>(channelEventTable),
              "row r of the channel event table must parse into alternative r");
