#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace localservice {

// The role that the owner of a room or channel holds, the same id in every room and
// channel; the client marks the owner by it. The owner's role is never handed to
// anybody else, emptied or deleted.
constexpr qint64 kOwnerRoleId = -1;

// One role of a room. Ids are small positive numbers per room, and the owner's role.
struct RoomRole
{
    qint64 roleId = 0;
    QString name;
    int level = 0; // a member acts on members of a lower level only
    QStringList permissions;
    bool isJoinDefault = false;
};

// A voice or text mute; expireAtMs -1 never ends.
struct RoomMute
{
    QString userId;
    QString variant;
    qint64 expireAtMs = -1;
};

// A request to join a room that needs an approval.
struct JoinRequest
{
    QString requestId;
    QString fromUserId;
    qint64 createdAt = 0;
    qint64 expiresAtMs = 0;
};

// A request of another room to attach under this one as a sub-room.
struct SubroomRequest
{
    QString requestId;
    QString childRoomId;
    QString fromUserId;
    qint64 createdAt = 0;
    qint64 expiresAtMs = 0;
};

// An uploaded (or announced) chat image.
struct ChatAttachment
{
    QString attachmentId;
    QString roomId;
    QString ownerId;
    QString fileName;
    QString contentType;
    qint64 sizeBytes = 0;
    int width = 0;
    int height = 0;
    QByteArray uploadDigest; // of the one-time upload secret
    bool stored = false;     // the bytes arrived and match the announced size
    bool used = false;       // attached to a message
};

struct ChatMessage
{
    QString messageId;
    QString userId;
    QString content;
    QString title;
    qint64 tagId = 0;
    qint64 seq = 0;
    qint64 sentAt = 0;
    bool hidden = false;
    QStringList attachmentIds;
};

struct ChatTag
{
    qint64 tagId = 0;
    QString name;
    QString createdBy;
    QString firstMessageId;
    bool archived = false;
};

// Everything the service keeps about one room, its chat included.
struct Room
{
    QString id;
    QString name;
    QString ownerId;
    QString channelId;
    QString parentRoomId;
    QStringList childRoomIds;
    QHash<QString, QJsonObject> childOverrides; // child id -> {"allowBroadcast", "allowChat"}
    bool persistent = false;
    qint64 version = 0;
    qint64 createdAtMs = 0;
    qint64 mediaRoom = 0; // the media server's numeric room
    QJsonObject settings; // as the public snapshot carries them
    QList<RoomRole> roles;
    qint64 nextRoleId = 1;
    QHash<QString, qint64> memberRoles; // members: user id -> role id
    QHash<QString, QHash<QString, bool>> overrides;
    QSet<QString> bans;
    QList<RoomMute> mutes;
    QString followCode;
    qint64 followCodeExpiresAtMs = 0;
    QList<JoinRequest> joinRequests;
    QList<SubroomRequest> subroomRequests;
    // Presence lives in memory only: nobody is present after a restart.
    QStringList present;
    QHash<QString, QString> presentSessions; // user id -> gateway session id
    QSet<QString> disconnected;              // present, but their gateway socket is gone
    // Chat.
    QList<ChatMessage> messages;
    qint64 nextSeq = 1;
    QList<ChatTag> tags;
    qint64 nextTagId = 1;
    bool tagsEnabled = false;
    QHash<QString, QHash<qint64, qint64>> readCursors; // user id -> tag key -> seq

    const RoomRole *role(qint64 roleId) const;
    // The role a user holds; the join-default role for a non-member.
    const RoomRole *roleOf(const QString &userId) const;
    const RoomRole *joinDefaultRole() const;
    bool isMember(const QString &userId) const { return memberRoles.contains(userId); }
    bool isPresent(const QString &userId) const { return present.contains(userId); }
    bool grants(const QString &userId, const QString &permission) const;
    // The caller outranks the target: a higher role level, or the caller owns the room.
    bool outranks(const QString &actorId, const QString &targetId) const;
    bool isMuted(const QString &userId, const QString &variant, qint64 nowMs) const;
    const ChatMessage *message(const QString &messageId) const;
    ChatMessage *message(const QString &messageId);
    ChatTag *tag(qint64 tagId);
};

// A channel: a named group of users with roles, owning rooms.
struct ChannelRole
{
    qint64 roleId = 0;
    QString name;
    int level = 0;
    QStringList permissions;
};

struct Channel
{
    QString id;
    QString name;
    QString ownerId;
    QString inviteCode;
    qint64 version = 0;
    qint64 createdAtMs = 0;
    QJsonObject settings;
    QList<ChannelRole> roles;
    qint64 nextRoleId = 1;
    QHash<QString, qint64> memberRoles;
    QHash<QString, qint64> joinedAt;
    QHash<QString, QJsonObject> bans; // user id -> {"bannedBy", "reason", "bannedAt"}
    QStringList roomIds;
    QString description;
    bool codeEnabled = true;
    qint64 defaultRoleId = 0;

    const ChannelRole *role(qint64 roleId) const;
    const ChannelRole *roleOf(const QString &userId) const;
    bool grants(const QString &userId, const QString &permission) const;
    bool outranks(const QString &actorId, const QString &targetId) const;
};

// The rooms, chats and channels of the service, with what users keep about them.
struct RoomWorld
{
    // Ordered maps: a reference to one entry stays valid while others come and go.
    QMap<QString, Room> rooms;
    QMap<QString, Channel> channels;
    QHash<QString, ChatAttachment> attachments;
    QHash<QString, QStringList> chatSubscriptions; // user id -> followed room ids
    QHash<QString, QJsonObject> preferences;       // user id -> last preference request
    qint64 nextMediaRoom = 1001;

    // A channel role that reaches every room of the channel ("core.channel.cascade_rooms",
    // which the channel's owner and a "*" role hold too) lets its holder act in the
    // channel's rooms as their owner does: every room permission, above every member.
    bool cascades(const Room &room, const QString &userId) const;
    bool roomGrants(const Room &room, const QString &userId, const QString &permission) const;
    bool roomOutranks(const Room &room, const QString &actorId, const QString &targetId) const;

    Room *roomByCode(const QString &code);
    Room *roomByFollowCode(const QString &code, qint64 nowMs);
    // The room the user is present in, or none.
    Room *roomWithPresence(const QString &userId);

    QJsonObject toJson() const;
    static std::optional<RoomWorld> fromJson(const QJsonObject &json, QString *error);
};

// The permission keys that the owner's role holds, i.e. every room permission.
QStringList allRoomPermissions();
QStringList allChannelPermissions();

QJsonArray stringArray(const QStringList &list);
QStringList stringList(const QJsonValue &value);

} // namespace localservice
