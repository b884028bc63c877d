#pragma once

#include <QMetaType>
#include <QString>

// The code argument of every room-service failure signal.
enum class RoomErrorCode : int {
    Other = 0,     // any other server code, the empty one included
    NotFound = 1,  // "room.not_found"
    Banned = 2,    // "room.banned"
    NotInRoom = 3, // "room.not_in_room"
};

// Maps the "code" of a failed room request's error body; exact, case-sensitive.
RoomErrorCode classifyRoomError(const QString &code);

Q_DECLARE_METATYPE(RoomErrorCode)
