#pragma once

#include <QMetaType>
#include <QString>

namespace roomdata {

// An open request of a user to join a room that needs approval.
struct PendingJoinRequest
{
    QString requestId;
    QString fromUserId;
    qint64 createdAt = 0;
    qint64 expiresAtMs = 0;

    friend bool operator==(const PendingJoinRequest &, const PendingJoinRequest &) = default;
};

// An open request of another room to attach under this one as a sub-room.
struct PendingSubroomRequest
{
    QString requestId;
    QString childRoomId;
    QString fromUserId;
    qint64 createdAt = 0;
    qint64 expiresAtMs = 0;

    friend bool operator==(const PendingSubroomRequest &, const PendingSubroomRequest &) = default;
};

} // namespace roomdata

Q_DECLARE_METATYPE(roomdata::PendingJoinRequest)
Q_DECLARE_METATYPE(roomdata::PendingSubroomRequest)
