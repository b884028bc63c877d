#include "realtime/events/room_settings_events.h"

#include "realtime/events/event_json.h"

namespace {

// Rows that carry a boolean setting share one shape.
template<typename Record>
std::optional<Record> parseBoolSetting(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return Record{
        .roomId = *roomId,
        .newValue = eventBool(payload, "newValue"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

template<typename Record>
std::optional<Record> parseChildOverride(const QJsonObject &payload)
{
    const std::optional<QString> parentRoomId = eventRequiredText(payload, "parentRoomId");
    if (!parentRoomId)
        return std::nullopt;
    return Record{
        .parentRoomId = *parentRoomId,
        .childRoomId = eventText(payload, "childRoomId"),
        .value = eventOptionalBool(payload, "value"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

template<typename Record>
std::optional<Record> parseRoomOfChannel(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return Record{
        .roomId = *roomId,
        .channelId = eventText(payload, "channelId"),
    };
}

} // namespace

std::optional<RoomAccessModeChangedEvent> RoomAccessModeChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomAccessModeChangedEvent{
        .roomId = *roomId,
        .newMode = eventText(payload, "newMode"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomAllowSubRoomChangedEvent> RoomAllowSubRoomChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomAllowSubRoomChangedEvent{
        .roomId = *roomId,
        .newValue = eventText(payload, "newValue"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomAllowSubRoomBroadcastChangedEvent> RoomAllowSubRoomBroadcastChangedEvent::fromJson(
    const QJsonObject &payload)
{
    return parseBoolSetting<RoomAllowSubRoomBroadcastChangedEvent>(payload);
}

std::optional<RoomAllowSubRoomChatChangedEvent> RoomAllowSubRoomChatChangedEvent::fromJson(const QJsonObject &payload)
{
    return parseBoolSetting<RoomAllowSubRoomChatChangedEvent>(payload);
}

std::optional<RoomBitrateChangedEvent> RoomBitrateChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomBitrateChangedEvent{
        .roomId = *roomId,
        .newValue = eventInt(payload, "newValue"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomChildAllowBroadcastChangedEvent> RoomChildAllowBroadcastChangedEvent::fromJson(
    const QJsonObject &payload)
{
    return parseChildOverride<RoomChildAllowBroadcastChangedEvent>(payload);
}

std::optional<RoomChildAllowChatChangedEvent> RoomChildAllowChatChangedEvent::fromJson(const QJsonObject &payload)
{
    return parseChildOverride<RoomChildAllowChatChangedEvent>(payload);
}

std::optional<RoomCodeDirectEntryChangedEvent> RoomCodeDirectEntryChangedEvent::fromJson(const QJsonObject &payload)
{
    return parseBoolSetting<RoomCodeDirectEntryChangedEvent>(payload);
}

std::optional<RoomCreatedEvent> RoomCreatedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomCreatedEvent{
        .roomId = *roomId,
        .roomName = eventText(payload, "roomName"),
        .creatorUserId = eventText(payload, "creatorUserId"),
        .channelId = eventText(payload, "channelId"),
        .isPersistent = eventBool(payload, "isPersistent"),
        .parentRoomId = eventText(payload, "parentRoomId"),
        .bitrate = eventInt(payload, "bitrate"),
        .createdAt = eventInt64(payload, "createdAt"),
    };
}

std::optional<RoomExpiredEvent> RoomExpiredEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomExpiredEvent{.roomId = *roomId};
}

std::optional<RoomFollowCodeChangedEvent> RoomFollowCodeChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomFollowCodeChangedEvent{
        .roomId = *roomId,
        .followCode = eventText(payload, "followCode"),
        .enabled = eventBool(payload, "enabled"),
        .expiresAtMs = eventInt64(payload, "expiresAtMs"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomHiddenEvent> RoomHiddenEvent::fromJson(const QJsonObject &payload)
{
    return parseRoomOfChannel<RoomHiddenEvent>(payload);
}

std::optional<RoomModuleAttachedEvent> RoomModuleAttachedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomModuleAttachedEvent{
        .roomId = *roomId,
        .moduleId = eventText(payload, "moduleId"),
        .byUserId = eventText(payload, "byUserId"),
        .attachedAt = eventInt64(payload, "attachedAt"),
    };
}

std::optional<RoomModuleDetachedEvent> RoomModuleDetachedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomModuleDetachedEvent{
        .roomId = *roomId,
        .moduleId = eventText(payload, "moduleId"),
        .byUserId = eventText(payload, "byUserId"),
        .detachedAt = eventInt64(payload, "detachedAt"),
    };
}

std::optional<RoomNameChangedEvent> RoomNameChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomNameChangedEvent{
        .roomId = *roomId,
        .newName = eventText(payload, "newName"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomPrefChangedEvent> RoomPrefChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomPrefChangedEvent{
        .roomId = *roomId,
        .prefMembers = parseUserIdList(eventArray(payload, "prefMembers")),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<RoomRequireApprovalChangedEvent> RoomRequireApprovalChangedEvent::fromJson(const QJsonObject &payload)
{
    return parseBoolSetting<RoomRequireApprovalChangedEvent>(payload);
}

std::optional<RoomRestoredEvent> RoomRestoredEvent::fromJson(const QJsonObject &payload)
{
    return parseRoomOfChannel<RoomRestoredEvent>(payload);
}

std::optional<RoomCodeChangedEvent> RoomCodeChangedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return RoomCodeChangedEvent{
        .roomId = *roomId,
        .enabled = eventBool(payload, "enabled"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}
