// ChannelEntity::applyEvent: how each channel event changes the channel record.

#include "channel/channel_entity.h"

#include <variant>

namespace {

class EventReducer
{
public:
    explicit EventReducer(ChannelEntity &channel_)
        : channel(channel_)
    {}

    bool operator()(const ChannelDefaultRoleChangedEvent &e)
    {
        channel.defaultRoleId = e.roleId;
        return true;
    }

    // Deletion and restoring concern the user's channel list, not the record.
    bool operator()(const ChannelDeletedEvent &) { return false; }
    bool operator()(const ChannelRestoredEvent &) { return false; }

    bool operator()(const ChannelMemberBannedEvent &e)
    {
        removeMember(e.userId);
        channel.bans.prepend(ChannelBan{e.userId, e.byUserId, QString(), 0});
        return true;
    }

    bool operator()(const ChannelMemberJoinedEvent &e)
    {
        if (channel.indexOfMember(e.userId) >= 0)
            return false;
        channel.members.append(ChannelMember{e.userId, e.roleId, e.joinedAt});
        return true;
    }

    bool operator()(const ChannelMemberLeftEvent &e) { return removeMember(e.userId); }
    bool operator()(const ChannelMemberRemovedEvent &e) { return removeMember(e.userId); }

    bool operator()(const ChannelMemberRoleChangedEvent &e) { return setMemberRole(e.userId, e.roleId); }

    bool operator()(const ChannelMemberUnbannedEvent &e)
    {
        for (qsizetype i = 0; i < channel.bans.size(); ++i) {
            if (channel.bans.at(i).userId == e.userId) {
                channel.bans.removeAt(i);
                return true;
            }
        }
        return false;
    }

    bool operator()(const ChannelMembersReassignedEvent &e)
    {
        bool changed = false;
        for (ChannelMember &member : channel.members) {
            if (member.roleId == e.fromRoleId) {
                member.roleId = e.toRoleId;
                changed = true;
            }
        }
        return changed;
    }

    bool operator()(const ChannelOwnerTransferredEvent &e)
    {
        const bool toMember = setMemberRole(e.toUserId, -1);
        // Without a default role the former owner keeps whatever role id it had.
        bool fromMember = channel.indexOfMember(e.fromUserId) >= 0;
        if (channel.defaultRoleId != 0)
            fromMember = setMemberRole(e.fromUserId, channel.defaultRoleId);
        return toMember || fromMember;
    }

    bool operator()(const ChannelRoleCreatedEvent &e) { return replaceRoles(e.roles); }
    // Members keep their role ids; the role list tells which ones still exist.
    bool operator()(const ChannelRoleDeletedEvent &e) { return replaceRoles(e.roles); }
    bool operator()(const ChannelRolesReorderedEvent &e) { return replaceRoles(e.roles); }

    bool operator()(const ChannelRoleUpdatedEvent &e)
    {
        const int index = channel.indexOfRole(e.role.roleId);
        if (index < 0)
            return false;
        channel.roles[index] = e.role;
        return true;
    }

    bool operator()(const ChannelRoomCreatedEvent &e)
    {
        if (channel.roomIds.contains(e.roomId))
            return false;
        channel.roomIds.append(e.roomId);
        return true;
    }

    bool operator()(const ChannelRoomDeletedEvent &e) { return channel.roomIds.removeAll(e.roomId) > 0; }

    bool operator()(const ChannelRoomsReorderedEvent &e)
    {
        channel.roomIds = e.roomIds;
        return true;
    }

    bool operator()(const ChannelUpdatedEvent &e)
    {
        channel.name = e.name;
        channel.description = e.description.value_or(QString());
        channel.code = e.code;
        channel.codeEnabled = e.codeEnabled;
        return true;
    }

private:
    bool removeMember(const QString &userId)
    {
        const int index = channel.indexOfMember(userId);
        if (index < 0)
            return false;
        channel.members.removeAt(index);
        return true;
    }

    bool setMemberRole(const QString &userId, qint64 roleId)
    {
        const int index = channel.indexOfMember(userId);
        if (index < 0)
            return false;
        channel.members[index].roleId = roleId;
        return true;
    }

    bool replaceRoles(const QList<ChannelRole> &roles)
    {
        channel.roles = roles;
        return true;
    }

    ChannelEntity &channel;
};

} // namespace

bool ChannelEntity::applyEvent(const ChannelEventPayload &event)
{
    return std::visit(EventReducer(*this), event);
}
