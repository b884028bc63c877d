#include "realtime/events/room_member_events.h"

#include "realtime/events/event_json.h"

std::optional<RoomMemberBannedEvent> RoomMemberBannedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberBannedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
        .bannedAt = eventInt64(payload, "bannedAt"),
    };
}

std::optional<RoomMemberKickedEvent> RoomMemberKickedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberKickedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
        .kickedAt = eventInt64(payload, "kickedAt"),
    };
}

std::optional<RoomMemberMutedEvent> RoomMemberMutedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberMutedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
        .variant = eventText(payload, "variant"),
        .expiresAtMs = eventInt64(payload, "expiresAtMs"),
        .mutedAt = eventInt64(payload, "mutedAt"),
    };
}

std::optional<RoomMemberRoleChangedEvent> RoomMemberRoleChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberRoleChangedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .roleId = eventInt64(payload, "roleId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomMemberSupersededEvent> RoomMemberSupersededEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberSupersededEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .sessionId = eventText(payload, "sessionId"),
        .supersededAt = eventInt64(payload, "supersededAt"),
    };
}

std::optional<RoomMemberUnbannedEvent> RoomMemberUnbannedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberUnbannedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
        .unbannedAt = eventInt64(payload, "unbannedAt"),
    };
}

std::optional<RoomMemberUnmutedEvent> RoomMemberUnmutedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMemberUnmutedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .byUserId = eventText(payload, "byUserId"),
        .variant = eventText(payload, "variant"),
        .unmutedAt = eventInt64(payload, "unmutedAt"),
    };
}

std::optional<RoomMembersReassignedEvent> RoomMembersReassignedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMembersReassignedEvent{
        .roomId = *roomId,
        .fromRoleId = eventInt64(payload, "fromRoleId"),
        .toRoleId = eventInt64(payload, "toRoleId"),
        .byUserId = eventText(payload, "byUserId"),
        .reassignedAt = eventInt64(payload, "reassignedAt"),
    };
}

std::optional<RoomMembershipChangedEvent> RoomMembershipChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomMembershipChangedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .member = eventBool(payload, "member"),
        .reason = eventText(payload, "reason"),
    };
}

std::optional<RoomOwnerTransferredEvent> RoomOwnerTransferredEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomOwnerTransferredEvent{
        .roomId = *roomId,
        .oldOwnerUserId = eventText(payload, "oldOwnerUserId"),
        .newOwnerUserId = eventText(payload, "newOwnerUserId"),
        .transferredAt = eventInt64(payload, "transferredAt"),
    };
}

std::optional<RoomPresenceConnStateEvent> RoomPresenceConnStateEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomPresenceConnStateEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .connState = eventText(payload, "connState"),
    };
}

std::optional<RoomPresenceJoinedEvent> RoomPresenceJoinedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomPresenceJoinedEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .joinedAt = eventInt64(payload, "joinedAt"),
    };
}

std::optional<RoomPresenceLeftEvent> RoomPresenceLeftEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomPresenceLeftEvent{
        .roomId = *roomId,
        .userId = eventText(payload, "userId"),
        .leftAt = eventInt64(payload, "leftAt"),
        .reason = eventText(payload, "reason"),
    };
}

std::optional<RoomRequestApprovedEvent> RoomRequestApprovedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomRequestApprovedEvent{
        .requestId = *requestId,
        .roomId = eventText(payload, "roomId"),
        .fromUserId = eventText(payload, "fromUserId"),
        .approvedBy = eventText(payload, "approvedBy"),
        .approvedAt = eventInt64(payload, "approvedAt"),
    };
}

std::optional<RoomRequestCancelledEvent> RoomRequestCancelledEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomRequestCancelledEvent{
        .requestId = *requestId,
        .roomId = eventText(payload, "roomId"),
        .fromUserId = eventText(payload, "fromUserId"),
        .cancelledAt = eventInt64(payload, "cancelledAt"),
    };
}

std::optional<RoomRequestCreatedEvent> RoomRequestCreatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomRequestCreatedEvent{
        .requestId = *requestId,
        .roomId = eventText(payload, "roomId"),
        .fromUserId = eventText(payload, "fromUserId"),
        .expiresAtMs = eventInt64(payload, "expiresAtMs"),
        .createdAt = eventInt64(payload, "createdAt"),
    };
}

std::optional<RoomRequestExpiredEvent> RoomRequestExpiredEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomRequestExpiredEvent{
        .requestId = *requestId,
        .roomId = eventText(payload, "roomId"),
        .fromUserId = eventText(payload, "fromUserId"),
        .expiredAt = eventInt64(payload, "expiredAt"),
    };
}

std::optional<RoomRequestRejectedEvent> RoomRequestRejectedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomRequestRejectedEvent{
        .requestId = *requestId,
        .roomId = eventText(payload, "roomId"),
        .fromUserId = eventText(payload, "fromUserId"),
        .rejectedBy = eventText(payload, "rejectedBy"),
        .rejectedAt = eventInt64(payload, "rejectedAt"),
    };
}
