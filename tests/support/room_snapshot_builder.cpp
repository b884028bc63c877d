#include "support/room_snapshot_builder.h"

namespace testsupport {

namespace {

QJsonArray toArray(const QStringList &list)
{
    QJsonArray array;
    for (const QString &item : list)
        array.append(item);
    return array;
}

// Sets object[outer][inner] = value, keeping what outer already holds.
void setNested(QJsonObject &object, const QString &outer, const QString &inner, const QJsonValue &value)
{
    QJsonObject nested = object.value(outer).toObject();
    nested.insert(inner, value);
    object.insert(outer, nested);
}

void appendTo(QJsonObject &object, const QString &key, const QJsonValue &value)
{
    QJsonArray array = object.value(key).toArray();
    array.append(value);
    object.insert(key, array);
}

} // namespace

RoomSnapshotBuilder::RoomSnapshotBuilder(const QString &roomId)
    : id(roomId)
{}

RoomSnapshotBuilder &RoomSnapshotBuilder::name(const QString &name)
{
    meta.insert(QStringLiteral("name"), name);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::version(qint64 version)
{
    meta.insert(QStringLiteral("version"), version);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::persistent(bool on)
{
    meta.insert(QStringLiteral("isPersistent"), on);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::channel(const QString &channelId)
{
    meta.insert(QStringLiteral("channelId"), channelId);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::present(const QStringList &userIds)
{
    top.insert(QStringLiteral("present"), toArray(userIds));
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::disconnected(const QStringList &userIds)
{
    top.insert(QStringLiteral("disconnected"), toArray(userIds));
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::mute(const QString &userId, const QString &variant, qint64 expireAtMs)
{
    appendTo(top, QStringLiteral("mutes"),
             QJsonObject{{"userId", userId}, {"variant", variant}, {"expireAtMs", expireAtMs}});
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::memberRole(const QString &userId, qint64 roleId)
{
    setNested(acl, QStringLiteral("memberRoles"), userId, roleId);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::role(qint64 roleId, const QString &name, int level,
                                               const QStringList &permissions, bool isJoinDefault)
{
    appendTo(acl, QStringLiteral("roles"),
             QJsonObject{{"roleId", roleId},
                         {"name", name},
                         {"level", level},
                         {"permissions", toArray(permissions)},
                         {"isJoinDefault", isJoinDefault}});
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::userOverride(const QString &userId, const QString &key, bool granted)
{
    QJsonObject overrides = acl.value(QStringLiteral("overrides")).toObject();
    setNested(overrides, userId, key, granted);
    acl.insert(QStringLiteral("overrides"), overrides);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::setting(const QString &key, const QJsonValue &value)
{
    setNested(acl, QStringLiteral("settings"), key, value);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::parent(const QString &parentRoomId)
{
    top.insert(QStringLiteral("parentRoomId"), parentRoomId);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::child(const QString &childRoomId)
{
    appendTo(top, QStringLiteral("childRoomIds"), childRoomId);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::childOverride(const QString &childRoomId, const QString &key,
                                                        const QJsonValue &value)
{
    QJsonObject overrides = acl.value(QStringLiteral("childOverrides")).toObject();
    setNested(overrides, childRoomId, key, value);
    acl.insert(QStringLiteral("childOverrides"), overrides);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::followCode(const QString &code, qint64 expiresAtMs)
{
    priv.insert(QStringLiteral("followCode"), code);
    priv.insert(QStringLiteral("followCodeExpiresAtMs"), expiresAtMs);
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::joinRequest(const QString &requestId, const QString &fromUserId,
                                                      qint64 createdAt, qint64 expiresAtMs)
{
    appendTo(priv, QStringLiteral("pendingJoinRequests"),
             QJsonObject{{"requestId", requestId},
                         {"fromUserId", fromUserId},
                         {"createdAt", createdAt},
                         {"expiresAtMs", expiresAtMs}});
    return *this;
}

RoomSnapshotBuilder &RoomSnapshotBuilder::subroomRequest(const QString &requestId, const QString &childRoomId,
                                                         const QString &fromUserId, qint64 createdAt,
                                                         qint64 expiresAtMs)
{
    appendTo(priv, QStringLiteral("pendingSubrooms"),
             QJsonObject{{"requestId", requestId},
                         {"childRoomId", childRoomId},
                         {"fromUserId", fromUserId},
                         {"createdAt", createdAt},
                         {"expiresAtMs", expiresAtMs}});
    return *this;
}

QString RoomSnapshotBuilder::publicTarget() const
{
    return QStringLiteral("room:") + id;
}

QString RoomSnapshotBuilder::privateTarget() const
{
    return publicTarget() + QStringLiteral(":private");
}

QJsonObject RoomSnapshotBuilder::publicSnapshot() const
{
    QJsonObject snapshot = top;
    snapshot.insert(QStringLiteral("roomId"), id);
    if (!meta.isEmpty())
        snapshot.insert(QStringLiteral("meta"), meta);
    if (!acl.isEmpty())
        snapshot.insert(QStringLiteral("acl"), acl);
    return snapshot;
}

QJsonObject RoomSnapshotBuilder::privateSnapshot() const
{
    QJsonObject snapshot = priv;
    snapshot.insert(QStringLiteral("roomId"), id);
    return snapshot;
}

} // namespace testsupport
