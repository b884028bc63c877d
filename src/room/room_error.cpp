#include "room/room_error.h"

RoomErrorCode classifyRoomError(const QString &code)
{
    if (code == QLatin1String("room.not_found"))
        return RoomErrorCode::NotFound;
    if (code == QLatin1String("room.banned"))
        return RoomErrorCode::Banned;
    if (code == QLatin1String("room.not_in_room"))
        return RoomErrorCode::NotInRoom;
    return RoomErrorCode::Other;
}
