#pragma once

#include "realtime/events/channel_role.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QJsonObject;

// Records of the channel events. Every record starts with channelId, the key that
// must hold a non-empty string for fromJson to give a record; every other field
// falls back to its default (see event_json.h for the rules). Times are
// milliseconds since the epoch.

// "channel.default_role.changed": the channel's default role.
struct ChannelDefaultRoleChangedEvent
{
    QString channelId;
    qint64 roleId = 0;

    bool operator==(const ChannelDefaultRoleChangedEvent &) const = default;

    static std::optional<ChannelDefaultRoleChangedEvent> fromJson(const QJsonObject &payload);
};

// "channel.deleted"
struct ChannelDeletedEvent
{
    QString channelId;

    bool operator==(const ChannelDeletedEvent &) const = default;

    static std::optional<ChannelDeletedEvent> fromJson(const QJsonObject &payload);
};

// "channel.member.banned"
struct ChannelMemberBannedEvent
{
    QString channelId;
    QString userId;
    QString byUserId;

    bool operator==(const ChannelMemberBannedEvent &) const = default;

    static std::optional<ChannelMemberBannedEvent> fromJson(const QJsonObject &payload);
};

// "channel.member.joined"
struct ChannelMemberJoinedEvent
{
    QString channelId;
    QString userId;
    qint64 roleId = 0;
    qint64 joinedAt = 0;

    bool operator==(const ChannelMemberJoinedEvent &) const = default;

    static std::optional<ChannelMemberJoinedEvent> fromJson(const QJsonObject &payload);
};

// "channel.member.left"
struct ChannelMemberLeftEvent
{
    QString channelId;
    QString userId;

    bool operator==(const ChannelMemberLeftEvent &) const = default;

    static std::optional<ChannelMemberLeftEvent> fromJson(const QJsonObject &payload);
};

// "channel.member.removed"
struct ChannelMemberRemovedEvent
{
    QString channelId;
    QString userId;
    QString byUserId;

    bool operator==(const ChannelMemberRemovedEvent &) const = default;

    static std::optional<ChannelMemberRemovedEvent> fromJson(const QJsonObject &payload);
};

// "channel.member.role_changed"
struct ChannelMemberRoleChangedEvent
{
    QString channelId;
    QString userId;
    qint64 roleId = 0;
    QString byUserId;

    bool operator==(const ChannelMemberRoleChangedEvent &) const = default;

    static std::optional<ChannelMemberRoleChangedEvent> fromJson(const QJsonObject &payload);
};

// "channel.member.unbanned"
struct ChannelMemberUnbannedEvent
{
    QString channelId;
    QString userId;
    QString byUserId;

    bool operator==(const ChannelMemberUnbannedEvent &) const = default;

    static std::optional<ChannelMemberUnbannedEvent> fromJson(const QJsonObject &payload);
};

// "channel.members.role_reassigned": every holder of fromRoleId now holds toRoleId.
struct ChannelMembersReassignedEvent
{
    QString channelId;
    qint64 fromRoleId = 0;
    qint64 toRoleId = 0;
    QString byUserId;

    bool operator==(const ChannelMembersReassignedEvent &) const = default;

    static std::optional<ChannelMembersReassignedEvent> fromJson(const QJsonObject &payload);
};

// "channel.owner.transferred"
struct ChannelOwnerTransferredEvent
{
    QString channelId;
    QString fromUserId;
    QString toUserId;

    bool operator==(const ChannelOwnerTransferredEvent &) const = default;

    static std::optional<ChannelOwnerTransferredEvent> fromJson(const QJsonObject &payload);
};

// "channel.restored"
struct ChannelRestoredEvent
{
    QString channelId;

    bool operator==(const ChannelRestoredEvent &) const = default;

    static std::optional<ChannelRestoredEvent> fromJson(const QJsonObject &payload);
};

// "channel.role.created": roles is the channel's role list after the change.
struct ChannelRoleCreatedEvent
{
    QString channelId;
    QList<ChannelRole> roles;

    bool operator==(const ChannelRoleCreatedEvent &) const = default;

    static std::optional<ChannelRoleCreatedEvent> fromJson(const QJsonObject &payload);
};

// "channel.role.deleted": roles is the channel's role list after the change.
struct ChannelRoleDeletedEvent
{
    QString channelId;
    qint64 deletedRoleId = 0;
    QList<ChannelRole> roles;

    bool operator==(const ChannelRoleDeletedEvent &) const = default;

    static std::optional<ChannelRoleDeletedEvent> fromJson(const QJsonObject &payload);
};

// "channel.role.updated": the role with the same roleId now has this role's name, level and permissions.
struct ChannelRoleUpdatedEvent
{
    QString channelId;
    ChannelRole role;

    bool operator==(const ChannelRoleUpdatedEvent &) const = default;

    static std::optional<ChannelRoleUpdatedEvent> fromJson(const QJsonObject &payload);
};

// "channel.roles.reordered": the role list in its new order.
struct ChannelRolesReorderedEvent
{
    QString channelId;
    QList<ChannelRole> roles;

    bool operator==(const ChannelRolesReorderedEvent &) const = default;

    static std::optional<ChannelRolesReorderedEvent> fromJson(const QJsonObject &payload);
};

// "channel.room.created"
struct ChannelRoomCreatedEvent
{
    QString channelId;
    QString roomId;

    bool operator==(const ChannelRoomCreatedEvent &) const = default;

    static std::optional<ChannelRoomCreatedEvent> fromJson(const QJsonObject &payload);
};

// "channel.room.deleted": the room no longer belongs to the channel.
struct ChannelRoomDeletedEvent
{
    QString channelId;
    QString roomId;

    bool operator==(const ChannelRoomDeletedEvent &) const = default;

    static std::optional<ChannelRoomDeletedEvent> fromJson(const QJsonObject &payload);
};

// "channel.rooms.reordered": the channel's room list in its new order.
struct ChannelRoomsReorderedEvent
{
    QString channelId;
    QStringList roomIds;

    bool operator==(const ChannelRoomsReorderedEvent &) const = default;

    static std::optional<ChannelRoomsReorderedEvent> fromJson(const QJsonObject &payload);
};

// "channel.updated": description is absent when the event does not give one.
struct ChannelUpdatedEvent
{
    QString channelId;
    QString name;
    std::optional<QString> description;
    QString code;
    bool codeEnabled = false;

    bool operator==(const ChannelUpdatedEvent &) const = default;

    static std::optional<ChannelUpdatedEvent> fromJson(const QJsonObject &payload);
};
