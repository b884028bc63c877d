#include "realtime/events/room_role_events.h"

#include "realtime/events/event_json.h"

#include <QJsonValue>

std::optional<RoomDefaultRoleChangedEvent> RoomDefaultRoleChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomDefaultRoleChangedEvent{
        .roomId = *roomId,
        .roleId = eventInt64(payload, "roleId"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomRoleCreatedEvent> RoomRoleCreatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomRoleCreatedEvent{
        .roomId = *roomId,
        .roles = parseRoomRoles(eventArray(payload, "roles")),
        .byUserId = eventText(payload, "byUserId"),
        .createdAt = eventInt64(payload, "createdAt"),
        .rolesGiven = payload.value(QLatin1StringView("roles")).isArray(),
    };
}

std::optional<RoomRoleDeletedEvent> RoomRoleDeletedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomRoleDeletedEvent{
        .roomId = *roomId,
        .roleId = eventInt64(payload, "roleId"),
        .roles = parseRoomRoles(eventArray(payload, "roles")),
        .byUserId = eventText(payload, "byUserId"),
        .deletedAt = eventInt64(payload, "deletedAt"),
        .rolesGiven = payload.value(QLatin1StringView("roles")).isArray(),
    };
}

std::optional<RoomRoleUpdatedEvent> RoomRoleUpdatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomRoleUpdatedEvent{
        .roomId = *roomId,
        .role = RoomRole::fromJson(eventObject(payload, "role")),
        .byUserId = eventText(payload, "byUserId"),
        .updatedAt = eventInt64(payload, "updatedAt"),
    };
}

std::optional<RoomRolesReorderedEvent> RoomRolesReorderedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomRolesReorderedEvent{
        .roomId = *roomId,
        .roles = parseRoomRoles(eventArray(payload, "roles")),
        .byUserId = eventText(payload, "byUserId"),
        .reorderedAt = eventInt64(payload, "reorderedAt"),
        .rolesGiven = payload.value(QLatin1StringView("roles")).isArray(),
    };
}

std::optional<RoomSubRoomApprovedEvent> RoomSubRoomApprovedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomSubRoomApprovedEvent{
        .requestId = *requestId,
        .childRoomId = eventText(payload, "childRoomId"),
        .parentRoomId = eventText(payload, "parentRoomId"),
        .approvedBy = eventText(payload, "approvedBy"),
        .approvedAt = eventInt64(payload, "approvedAt"),
    };
}

std::optional<RoomSubRoomAttachedEvent> RoomSubRoomAttachedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> childRoomId = eventRequiredText(payload, "childRoomId");
    if (!childRoomId)
        return std::nullopt;
    return RoomSubRoomAttachedEvent{
        .childRoomId = *childRoomId,
        .parentRoomId = eventText(payload, "parentRoomId"),
        .byUserId = eventText(payload, "byUserId"),
        .attachedAt = eventInt64(payload, "attachedAt"),
    };
}

std::optional<RoomSubRoomCancelledEvent> RoomSubRoomCancelledEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomSubRoomCancelledEvent{
        .requestId = *requestId,
        .childRoomId = eventText(payload, "childRoomId"),
        .parentRoomId = eventText(payload, "parentRoomId"),
        .cancelledBy = eventText(payload, "cancelledBy"),
        .cancelledAt = eventInt64(payload, "cancelledAt"),
    };
}

std::optional<RoomSubRoomDetachedEvent> RoomSubRoomDetachedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> childRoomId = eventRequiredText(payload, "childRoomId");
    if (!childRoomId)
        return std::nullopt;
    return RoomSubRoomDetachedEvent{
        .childRoomId = *childRoomId,
        .parentRoomId = eventText(payload, "parentRoomId"),
        .trigger = eventText(payload, "trigger"),
        .byUserId = eventText(payload, "byUserId"),
        .detachedAt = eventInt64(payload, "detachedAt"),
    };
}

std::optional<RoomSubRoomPendingEvent> RoomSubRoomPendingEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomSubRoomPendingEvent{
        .requestId = *requestId,
        .childRoomId = eventText(payload, "childRoomId"),
        .parentRoomId = eventText(payload, "parentRoomId"),
        .fromUserId = eventText(payload, "fromUserId"),
        .expiresAtMs = eventInt64(payload, "expiresAtMs"),
        .createdAt = eventInt64(payload, "createdAt"),
    };
}

std::optional<RoomSubRoomRejectedEvent> RoomSubRoomRejectedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> requestId = eventRequiredText(payload, "requestId");
    if (!requestId)
        return std::nullopt;
    return RoomSubRoomRejectedEvent{
        .requestId = *requestId,
        .childRoomId = eventText(payload, "childRoomId"),
        .parentRoomId = eventText(payload, "parentRoomId"),
        .trigger = eventText(payload, "trigger"),
        .rejectedBy = eventText(payload, "rejectedBy"),
        .rejectedAt = eventInt64(payload, "rejectedAt"),
    };
}
