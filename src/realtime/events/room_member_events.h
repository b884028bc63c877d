#pragma once

#include <QString>

#include <optional>

class QJsonObject;

// Records of the room events about members: moderation, role assignment,
// membership and ownership, presence, and requests to join a room. The first field
// is the key that must hold a non-empty string ("requestId" for the join requests,
// "roomId" otherwise); every other field falls back to its default.

// "room.member.banned"
struct RoomMemberBannedEvent
{
    QString roomId;
    QString userId;
    QString byUserId;
    qint64 bannedAt = 0;

    bool operator==(const RoomMemberBannedEvent &) const = default;

    static std::optional<RoomMemberBannedEvent> fromJson(const QJsonObject &payload);
};

// "room.member.kicked"
struct RoomMemberKickedEvent
{
    QString roomId;
    QString userId;
    QString byUserId;
    qint64 kickedAt = 0;

    bool operator==(const RoomMemberKickedEvent &) const = default;

    static std::optional<RoomMemberKickedEvent> fromJson(const QJsonObject &payload);
};

// "room.member.muted": variant is "voice" or "text"; the mute lasts until expiresAtMs.
struct RoomMemberMutedEvent
{
    QString roomId;
    QString userId;
    QString byUserId;
    QString variant;
    qint64 expiresAtMs = 0;
    qint64 mutedAt = 0;

    bool operator==(const RoomMemberMutedEvent &) const = default;

    static std::optional<RoomMemberMutedEvent> fromJson(const QJsonObject &payload);
};

// "room.member.role_changed"
struct RoomMemberRoleChangedEvent
{
    QString roomId;
    QString userId;
    qint64 roleId = 0;
    qint64 changedAt = 0;

    bool operator==(const RoomMemberRoleChangedEvent &) const = default;

    static std::optional<RoomMemberRoleChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.member.superseded": another gateway session took over the member's presence.
struct RoomMemberSupersededEvent
{
    QString roomId;
    QString userId;
    QString sessionId;
    qint64 supersededAt = 0;

    bool operator==(const RoomMemberSupersededEvent &) const = default;

    static std::optional<RoomMemberSupersededEvent> fromJson(const QJsonObject &payload);
};

// "room.member.unbanned"
struct RoomMemberUnbannedEvent
{
    QString roomId;
    QString userId;
    QString byUserId;
    qint64 unbannedAt = 0;

    bool operator==(const RoomMemberUnbannedEvent &) const = default;

    static std::optional<RoomMemberUnbannedEvent> fromJson(const QJsonObject &payload);
};

// "room.member.unmuted"
struct RoomMemberUnmutedEvent
{
    QString roomId;
    QString userId;
    QString byUserId;
    QString variant;
    qint64 unmutedAt = 0;

    bool operator==(const RoomMemberUnmutedEvent &) const = default;

    static std::optional<RoomMemberUnmutedEvent> fromJson(const QJsonObject &payload);
};

// "room.members.role_reassigned": every holder of fromRoleId now holds toRoleId.
struct RoomMembersReassignedEvent
{
    QString roomId;
    qint64 fromRoleId = 0;
    qint64 toRoleId = 0;
    QString byUserId;
    qint64 reassignedAt = 0;

    bool operator==(const RoomMembersReassignedEvent &) const = default;

    static std::optional<RoomMembersReassignedEvent> fromJson(const QJsonObject &payload);
};

// "room.membership.changed"
struct RoomMembershipChangedEvent
{
    QString roomId;
    QString userId;
    bool member = false;
    QString reason;

    bool operator==(const RoomMembershipChangedEvent &) const = default;

    static std::optional<RoomMembershipChangedEvent> fromJson(const QJsonObject &payload);
};

// "room.owner.transferred"
struct RoomOwnerTransferredEvent
{
    QString roomId;
    QString oldOwnerUserId;
    QString newOwnerUserId;
    qint64 transferredAt = 0;

    bool operator==(const RoomOwnerTransferredEvent &) const = default;

    static std::optional<RoomOwnerTransferredEvent> fromJson(const QJsonObject &payload);
};

// "room.presence.conn-state": "disconnected", or anything else for connected.
struct RoomPresenceConnStateEvent
{
    QString roomId;
    QString userId;
    QString connState;

    bool operator==(const RoomPresenceConnStateEvent &) const = default;

    static std::optional<RoomPresenceConnStateEvent> fromJson(const QJsonObject &payload);
};

// "room.presence.joined"
struct RoomPresenceJoinedEvent
{
    QString roomId;
    QString userId;
    qint64 joinedAt = 0;

    bool operator==(const RoomPresenceJoinedEvent &) const = default;

    static std::optional<RoomPresenceJoinedEvent> fromJson(const QJsonObject &payload);
};

// "room.presence.left"
struct RoomPresenceLeftEvent
{
    QString roomId;
    QString userId;
    qint64 leftAt = 0;
    QString reason;

    bool operator==(const RoomPresenceLeftEvent &) const = default;

    static std::optional<RoomPresenceLeftEvent> fromJson(const QJsonObject &payload);
};

// "room.request.approved"
struct RoomRequestApprovedEvent
{
    QString requestId;
    QString roomId;
    QString fromUserId;
    QString approvedBy;
    qint64 approvedAt = 0;

    bool operator==(const RoomRequestApprovedEvent &) const = default;

    static std::optional<RoomRequestApprovedEvent> fromJson(const QJsonObject &payload);
};

// "room.request.cancelled"
struct RoomRequestCancelledEvent
{
    QString requestId;
    QString roomId;
    QString fromUserId;
    qint64 cancelledAt = 0;

    bool operator==(const RoomRequestCancelledEvent &) const = default;

    static std::optional<RoomRequestCancelledEvent> fromJson(const QJsonObject &payload);
};

// "room.request.created": the request lapses at expiresAtMs.
struct RoomRequestCreatedEvent
{
    QString requestId;
    QString roomId;
    QString fromUserId;
    qint64 expiresAtMs = 0;
    qint64 createdAt = 0;

    bool operator==(const RoomRequestCreatedEvent &) const = default;

    static std::optional<RoomRequestCreatedEvent> fromJson(const QJsonObject &payload);
};

// "room.request.expired"
struct RoomRequestExpiredEvent
{
    QString requestId;
    QString roomId;
    QString fromUserId;
    qint64 expiredAt = 0;

    bool operator==(const RoomRequestExpiredEvent &) const = default;

    static std::optional<RoomRequestExpiredEvent> fromJson(const QJsonObject &payload);
};

// "room.request.rejected"
struct RoomRequestRejectedEvent
{
    QString requestId;
    QString roomId;
    QString fromUserId;
    QString rejectedBy;
    qint64 rejectedAt = 0;

    bool operator==(const RoomRequestRejectedEvent &) const = default;

    static std::optional<RoomRequestRejectedEvent> fromJson(const QJsonObject &payload);
};
