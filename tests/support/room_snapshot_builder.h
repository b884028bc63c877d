#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace testsupport {

// Builds the JSON of a room's two stream snapshots as the gateway sends them, for
// tests that feed a room store or serve snapshots from the loopback gateway server:
//
//   const RoomSnapshotBuilder lobby = RoomSnapshotBuilder("r1").name("lobby").version(3)
//       .present({"u1", "u2"}).role(1, "member", 1, {"core.room.speak"}, true).memberRole("u1", 1);
//   server.sendStreamSnapshot(lobby.publicTarget(), lobby.publicSnapshot());
//
// Only what a test sets is written, so a builder given nothing but the room id gives
// a bare snapshot {"roomId": id}. Settings and child overrides go under "acl", as the
// server places them.
class RoomSnapshotBuilder
{
public:
    explicit RoomSnapshotBuilder(const QString &roomId);

    // Public stream: "meta".
    RoomSnapshotBuilder &name(const QString &name);
    RoomSnapshotBuilder &version(qint64 version);
    RoomSnapshotBuilder &persistent(bool on);
    RoomSnapshotBuilder &channel(const QString &channelId);
    // Public stream: members.
    RoomSnapshotBuilder &present(const QStringList &userIds);
    RoomSnapshotBuilder &disconnected(const QStringList &userIds);
    // One "mutes" entry; variant "voice" or "text", -1 for a mute without end.
    RoomSnapshotBuilder &mute(const QString &userId, const QString &variant, qint64 expireAtMs = -1);
    // Public stream: "acl".
    RoomSnapshotBuilder &memberRole(const QString &userId, qint64 roleId);
    RoomSnapshotBuilder &role(qint64 roleId, const QString &name, int level, const QStringList &permissions,
                              bool isJoinDefault = false);
    RoomSnapshotBuilder &userOverride(const QString &userId, const QString &key, bool granted);
    // Any value under "acl" / "settings" (for example "bitrate" 64000).
    RoomSnapshotBuilder &setting(const QString &key, const QJsonValue &value);
    // Public stream: hierarchy.
    RoomSnapshotBuilder &parent(const QString &parentRoomId);
    RoomSnapshotBuilder &child(const QString &childRoomId);
    // "allowBroadcast" or "allowChat" of "acl" / "childOverrides" / childRoomId.
    RoomSnapshotBuilder &childOverride(const QString &childRoomId, const QString &key, const QJsonValue &value);

    // Private stream.
    RoomSnapshotBuilder &followCode(const QString &code, qint64 expiresAtMs);
    RoomSnapshotBuilder &joinRequest(const QString &requestId, const QString &fromUserId, qint64 createdAt = 0,
                                     qint64 expiresAtMs = 0);
    RoomSnapshotBuilder &subroomRequest(const QString &requestId, const QString &childRoomId, const QString &fromUserId,
                                        qint64 createdAt = 0, qint64 expiresAtMs = 0);

    QString roomId() const { return id; }
    // "room:" + id and "room:" + id + ":private".
    QString publicTarget() const;
    QString privateTarget() const;

    QJsonObject publicSnapshot() const;
    QJsonObject privateSnapshot() const;

private:
    QString id;
    QJsonObject meta;
    QJsonObject acl;
    QJsonObject top;  // top-level keys of the public snapshot other than "roomId", "meta", "acl"
    QJsonObject priv; // keys of the private snapshot other than "roomId"
};

} // namespace testsupport
