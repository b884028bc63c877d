#pragma once

#include <QSet>
#include <QString>

// One role of a room as the room record holds it.
struct RoomAclRole
{
    qint64 roleId = 0;
    QString name;
    int level = 0;              // higher ranks higher
    QSet<QString> permissions;  // granted permission keys, e.g. "core.room.speak"
    bool isJoinDefault = false; // the role that joining members receive

    friend bool operator==(const RoomAclRole &, const RoomAclRole &) = default;
};
