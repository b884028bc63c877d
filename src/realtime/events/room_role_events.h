#pragma once

#include "realtime/events/room_role.h"

#include <QList>
#include <QString>

#include <optional>

class QJsonObject;

// Records of the room events about roles and about sub-rooms. The first field is
// the key that must hold a non-empty string ("roomId" for the role events,
// "childRoomId" for attaching and detaching, "requestId" for the attach requests);
// every other field falls back to its default.

// "room.default_role.changed": the role that members receive when they join.
struct RoomDefaultRoleChangedEvent
{
    QString roomId;
    qint64 roleId = 0;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const RoomDefaultRoleChangedEvent &) const = default;

    static std::optional<RoomDefaultRoleChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.role.created": roles is the room's complete role list after the change.
struct RoomRoleCreatedEvent
{
    QString roomId;
    QList<RoomRole> roles;
    QString byUserId;
    qint64 createdAt = 0;
    // Whether "roles" was a JSON array: an empty list alone cannot tell a room left
    // without roles from a payload whose list is missing or malformed.
    bool rolesGiven = false;

    bool operator==(const RoomRoleCreatedEvent &) const = default;

    static std::optional<RoomRoleCreatedEvent> fromJson(const QJsonObject &payload);
};

// "room.role.deleted": roles is the room's complete role list after the change.
struct RoomRoleDeletedEvent
{
    QString roomId;
    qint64 roleId = 0;
    QList<RoomRole> roles;
    QString byUserId;
    qint64 deletedAt = 0;
    // Whether "roles" was a JSON array: an empty list alone cannot tell a room left
    // without roles from a payload whose list is missing or malformed.
    bool rolesGiven = false;

    bool operator==(const RoomRoleDeletedEvent &) const = default;

    static std::optional<RoomRoleDeletedEvent> fromJson(const QJsonObject &payload);
};

// "room.role.updated": the changed role, matched by its id.
struct RoomRoleUpdatedEvent
{
    QString roomId;
    RoomRole role;
    QString byUserId;
    qint64 updatedAt = 0;

    bool operator==(const RoomRoleUpdatedEvent &) const = default;

    static std::optional<RoomRoleUpdatedEvent> fromJson(const QJsonObject &payload);
};

// "room.roles.reordered": the room's role list in its new order.
struct RoomRolesReorderedEvent
{
    QString roomId;
    QList<RoomRole> roles;
    QString byUserId;
    qint64 reorderedAt = 0;
    // Whether "roles" was a JSON array: an empty list alone cannot tell a room left
    // without roles from a payload whose list is missing or malformed.
    bool rolesGiven = false;

    bool operator==(const RoomRolesReorderedEvent &) const = default;

    static std::optional<RoomRolesReorderedEvent> fromJson(const QJsonObject &payload);
};

// "room.subroom.approved"
struct RoomSubRoomApprovedEvent
{
    QString requestId;
    QString childRoomId;
    QString parentRoomId;
    QString approvedBy;
    qint64 approvedAt = 0;

    bool operator==(const RoomSubRoomApprovedEvent &) const = default;

    static std::optional<RoomSubRoomApprovedEvent> fromJson(const QJsonObject &payload);
};

// "room.subroom.attached"
struct RoomSubRoomAttachedEvent
{
    QString childRoomId;
    QString parentRoomId;
    QString byUserId;
    qint64 attachedAt = 0;

    bool operator==(const RoomSubRoomAttachedEvent &) const = default;

    static std::optional<RoomSubRoomAttachedEvent> fromJson(const QJsonObject &payload);
};

// "room.subroom.cancelled"
struct RoomSubRoomCancelledEvent
{
    QString requestId;
    QString childRoomId;
    QString parentRoomId;
    QString cancelledBy;
    qint64 cancelledAt = 0;

    bool operator==(const RoomSubRoomCancelledEvent &) const = default;

    static std::optional<RoomSubRoomCancelledEvent> fromJson(const QJsonObject &payload);
};

// "room.subroom.detached": trigger is the server's word for the cause, as it came.
struct RoomSubRoomDetachedEvent
{
    QString childRoomId;
    QString parentRoomId;
    QString trigger;
    QString byUserId;
    qint64 detachedAt = 0;

    bool operator==(const RoomSubRoomDetachedEvent &) const = default;

    static std::optional<RoomSubRoomDetachedEvent> fromJson(const QJsonObject &payload);
};

// "room.subroom.pending": the request lapses at expiresAtMs.
struct RoomSubRoomPendingEvent
{
    QString requestId;
    QString childRoomId;
    QString parentRoomId;
    QString fromUserId;
    qint64 expiresAtMs = 0;
    qint64 createdAt = 0;

    bool operator==(const RoomSubRoomPendingEvent &) const = default;

    static std::optional<RoomSubRoomPendingEvent> fromJson(const QJsonObject &payload);
};

// "room.subroom.rejected": a trigger of "ttl_expired" means the request lapsed
// unanswered rather than being refused.
struct RoomSubRoomRejectedEvent
{
    QString requestId;
    QString childRoomId;
    QString parentRoomId;
    QString trigger;
    QString rejectedBy;
    qint64 rejectedAt = 0;

    bool operator==(const RoomSubRoomRejectedEvent &) const = default;

    static std::optional<RoomSubRoomRejectedEvent> fromJson(const QJsonObject &payload);
};
