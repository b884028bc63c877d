#pragma once

#include "room/room_pending_requests.h"

#include <QList>
#include <QString>

// The private part of a room: what the room's private stream carries, kept current
// by the request and follow-code events.
struct RoomPrivateState
{
    QString followCode; // empty for none
    qint64 followCodeExpiresAtMs = 0;
    QList<roomdata::PendingJoinRequest> pendingJoinRequests; // in order of arrival
    QList<roomdata::PendingSubroomRequest> pendingSubrooms;  // in order of arrival

    // The RoomFieldFlag groups (FollowCode, Requests) in which this part and `other` differ.
    uint diff(const RoomPrivateState &other) const;
};
