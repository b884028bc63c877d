#pragma once

#include "room/room_acl_role.h"
#include "room/room_child_override.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The public part of a room: what the room's public stream carries and room
// events keep current.
struct RoomPublicState
{
    bool isPersistent = false;
    QString channelId;                                // empty for none
    QString parentRoomId;                             // empty when not a sub-room
    QStringList childRoomIds;                         // in order
    QHash<QString, RoomChildOverride> childOverrides; // keyed by child room id
    QStringList present;                              // snapshot order, then arrival order
    QSet<QString> disconnected;
    QHash<QString, qint64> memberRoles; // user id -> role id
    QSet<QString> voiceMuted;
    QSet<QString> textMuted;
    int bitrate = 0;      // bits per second
    QString accessMode;   // as the server sends it
    QString allowSubRoom; // as the server sends it
    bool allowSubRoomBroadcast = true;
    bool allowSubRoomChat = true;
    bool requireApproval = false;
    bool codeDirectEntry = true;
    QString attachedModule;  // empty for none
    QStringList prefMembers; // in order
    QString roomCode;
    bool roomCodeEnabled = false;
    QList<RoomAclRole> roles;                       // in the server's order
    QHash<QString, QHash<QString, bool>> overrides; // user id -> (key -> granted)

    // The RoomFieldFlag groups in which this part and `other` differ.
    uint diff(const RoomPublicState &other) const;
};
