#include "realtime/events/channel_events.h"

#include "realtime/events/event_json.h"

#include <QJsonArray>
#include <QJsonObject>

std::optional<ChannelDefaultRoleChangedEvent> ChannelDefaultRoleChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelDefaultRoleChangedEvent{
        .channelId = *channelId,
        .roleId = eventInt64(payload, "roleId"),
    };
}

std::optional<ChannelDeletedEvent> ChannelDeletedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelDeletedEvent{.channelId = *channelId};
}

std::optional<ChannelMemberBannedEvent> ChannelMemberBannedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMemberBannedEvent{
        .channelId = *channelId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
    };
}

std::optional<ChannelMemberJoinedEvent> ChannelMemberJoinedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMemberJoinedEvent{
        .channelId = *channelId,
        .userId = eventText(payload, "userId"),
        .roleId = eventInt64(payload, "roleId"),
        .joinedAt = eventInt64(payload, "joinedAt"),
    };
}

std::optional<ChannelMemberLeftEvent> ChannelMemberLeftEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMemberLeftEvent{
        .channelId = *channelId,
        .userId = eventText(payload, "userId"),
    };
}

std::optional<ChannelMemberRemovedEvent> ChannelMemberRemovedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMemberRemovedEvent{
        .channelId = *channelId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
    };
}

std::optional<ChannelMemberRoleChangedEvent> ChannelMemberRoleChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMemberRoleChangedEvent{
        .channelId = *channelId,
        .userId = eventText(payload, "userId"),
        .roleId = eventInt64(payload, "roleId"),
        .byUserId = eventText(payload, "byUserId"),
    };
}

std::optional<ChannelMemberUnbannedEvent> ChannelMemberUnbannedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMemberUnbannedEvent{
        .channelId = *channelId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
    };
}

std::optional<ChannelMembersReassignedEvent> ChannelMembersReassignedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelMembersReassignedEvent{
        .channelId = *channelId,
        .fromRoleId = eventInt64(payload, "fromRoleId"),
        .toRoleId = eventInt64(payload, "toRoleId"),
        .byUserId = eventText(payload, "byUserId"),
    };
}

std::optional<ChannelOwnerTransferredEvent> ChannelOwnerTransferredEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelOwnerTransferredEvent{
        .channelId = *channelId,
        .fromUserId = eventText(payload, "fromUserId"),
        .toUserId = eventText(payload, "toUserId"),
    };
}

std::optional<ChannelRestoredEvent> ChannelRestoredEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRestoredEvent{.channelId = *channelId};
}

std::optional<ChannelRoleCreatedEvent> ChannelRoleCreatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRoleCreatedEvent{
        .channelId = *channelId,
        .roles = parseChannelRoles(eventArray(payload, "roles")),
    };
}

std::optional<ChannelRoleDeletedEvent> ChannelRoleDeletedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRoleDeletedEvent{
        .channelId = *channelId,
        .deletedRoleId = eventInt64(payload, "deletedRoleId"),
        .roles = parseChannelRoles(eventArray(payload, "roles")),
    };
}

std::optional<ChannelRoleUpdatedEvent> ChannelRoleUpdatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRoleUpdatedEvent{
        .channelId = *channelId,
        .role = ChannelRole::fromJson(eventObject(payload, "role")),
    };
}

std::optional<ChannelRolesReorderedEvent> ChannelRolesReorderedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRolesReorderedEvent{
        .channelId = *channelId,
        .roles = parseChannelRoles(eventArray(payload, "roles")),
    };
}

std::optional<ChannelRoomCreatedEvent> ChannelRoomCreatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRoomCreatedEvent{
        .channelId = *channelId,
        .roomId = eventText(payload, "roomId"),
    };
}

std::optional<ChannelRoomDeletedEvent> ChannelRoomDeletedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRoomDeletedEvent{
        .channelId = *channelId,
        .roomId = eventText(payload, "roomId"),
    };
}

std::optional<ChannelRoomsReorderedEvent> ChannelRoomsReorderedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelRoomsReorderedEvent{
        .channelId = *channelId,
        .roomIds = parseStringList(eventArray(payload, "roomIds")),
    };
}

std::optional<ChannelUpdatedEvent> ChannelUpdatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> channelId = eventRequiredText(payload, "channelId");
    if (!channelId)
        return std::nullopt;
    return ChannelUpdatedEvent{
        .channelId = *channelId,
        .name = eventText(payload, "name"),
        .description = eventOptionalText(payload, "description"),
        .code = eventText(payload, "code"),
        .codeEnabled = eventBool(payload, "codeEnabled"),
    };
}
