#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QJsonObject;

// Records of the room events that change a room's settings or announce its
// creation, expiry, hiding and restoring. Every record is a plain value; its first
// field is the key that must hold a non-empty string for fromJson to give a record,
// every other field falls back to its default (see event_json.h for the rules).
// Time stamps ("...At") are the event's milliseconds since the epoch.

// "room.access_mode.changed"
struct RoomAccessModeChangedEvent
{
    QString roomId;
    QString newMode;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomAccessModeChangedEvent &) const = default;

    static std::optional<RoomAccessModeChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.allow_subroom.changed": the sub-room policy, carried as text.
struct RoomAllowSubRoomChangedEvent
{
    QString roomId;
    QString newValue;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomAllowSubRoomChangedEvent &) const = default;

    static std::optional<RoomAllowSubRoomChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.allow_subroom_broadcast.changed"
struct RoomAllowSubRoomBroadcastChangedEvent
{
    QString roomId;
    bool newValue = false;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomAllowSubRoomBroadcastChangedEvent &) const = default;

    static std::optional<RoomAllowSubRoomBroadcastChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.allow_subroom_chat.changed"
struct RoomAllowSubRoomChatChangedEvent
{
    QString roomId;
    bool newValue = false;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomAllowSubRoomChatChangedEvent &) const = default;

    static std::optional<RoomAllowSubRoomChatChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.bitrate.changed": the audio bitrate in bits per second.
struct RoomBitrateChangedEvent
{
    QString roomId;
    int newValue = 0;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomBitrateChangedEvent &) const = default;

    static std::optional<RoomBitrateChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.child_allow_broadcast.changed": the parent's broadcast override for one
// sub-room; an absent value clears the override.
struct RoomChildAllowBroadcastChangedEvent
{
    QString parentRoomId;
    QString childRoomId;
    std::optional<bool> value;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomChildAllowBroadcastChangedEvent &) const = default;

    static std::optional<RoomChildAllowBroadcastChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.child_allow_chat.changed": the parent's chat override for one sub-room;
// an absent value clears the override.
struct RoomChildAllowChatChangedEvent
{
    QString parentRoomId;
    QString childRoomId;
    std::optional<bool> value;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomChildAllowChatChangedEvent &) const = default;

    static std::optional<RoomChildAllowChatChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.code_direct_entry.changed": whether joining by the room code skips the
// access mode and approval.
struct RoomCodeDirectEntryChangedEvent
{
    QString roomId;
    bool newValue = false;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomCodeDirectEntryChangedEvent &) const = default;

    static std::optional<RoomCodeDirectEntryChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.created": channelId and parentRoomId are empty for none.
struct RoomCreatedEvent
{
    QString roomId;
    QString roomName;
    QString creatorUserId;
    QString channelId;
    bool isPersistent = false;
    QString parentRoomId;
    int bitrate = 0;
    qint64 createdAt = 0;

    bool operator==(const RoomCreatedEvent &) const = default;

    static std::optional<RoomCreatedEvent> fromJson(const QJsonObject &payload);
};

// "room.expired"
struct RoomExpiredEvent
{
    QString roomId;

    bool operator==(const RoomExpiredEvent &) const = default;

    static std::optional<RoomExpiredEvent> fromJson(const QJsonObject &payload);
};

// "room.follow_code.changed": the code is valid until expiresAtMs.
struct RoomFollowCodeChangedEvent
{
    QString roomId;
    QString followCode;
    bool enabled = false;
    qint64 expiresAtMs = 0;
    qint64 changedAt = 0;

    bool operator==(const RoomFollowCodeChangedEvent &) const = default;

    static std::optional<RoomFollowCodeChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.hidden"
struct RoomHiddenEvent
{
    QString roomId;
    QString channelId;

    bool operator==(const RoomHiddenEvent &) const = default;

    static std::optional<RoomHiddenEvent> fromJson(const QJsonObject &payload);
};

// "room.module.attached"
struct RoomModuleAttachedEvent
{
    QString roomId;
    QString moduleId;
    QString byUserId;
    qint64 attachedAt = 0;

    bool operator==(const RoomModuleAttachedEvent &) const = default;

    static std::optional<RoomModuleAttachedEvent> fromJson(const QJsonObject &payload);
};

// "room.module.detached"
struct RoomModuleDetachedEvent
{
    QString roomId;
    QString moduleId;
    QString byUserId;
    qint64 detachedAt = 0;

    bool operator==(const RoomModuleDetachedEvent &) const = default;

    static std::optional<RoomModuleDetachedEvent> fromJson(const QJsonObject &payload);
};

// "room.name.changed"
struct RoomNameChangedEvent
{
    QString roomId;
    QString newName;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomNameChangedEvent &) const = default;

    static std::optional<RoomNameChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.pref.changed": the payload lists the preference members as objects with a
// "userId" key; the record keeps their user ids.
struct RoomPrefChangedEvent
{
    QString roomId;
    QStringList prefMembers;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomPrefChangedEvent &) const = default;

    static std::optional<RoomPrefChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.require_approval.changed": whether join requests need approval.
struct RoomRequireApprovalChangedEvent
{
    QString roomId;
    bool newValue = false;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomRequireApprovalChangedEvent &) const = default;

    static std::optional<RoomRequireApprovalChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.restored"
struct RoomRestoredEvent
{
    QString roomId;
    QString channelId;

    bool operator==(const RoomRestoredEvent &) const = default;

    static std::optional<RoomRestoredEvent> fromJson(const QJsonObject &payload);
};

// "room.room_code.changed": whether the room code is enabled.
struct RoomCodeChangedEvent
{
    QString roomId;
    bool enabled = false;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomCodeChangedEvent &) const = default;

    static std::optional<RoomCodeChangedEvent> fromJson(const QJsonObject &payload);
};
