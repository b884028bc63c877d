#include "realtime/events/room_role.h"

#include "realtime/events/event_json.h"

#include <QJsonArray>

RoomRole RoomRole::fromJson(const QJsonObject &object)
{
    return RoomRole{
        .id = eventInt64(object, "id"),
        .name = eventText(object, "name"),
        .level = eventInt(object, "level"),
        .permissions = eventObject(object, "permissions"),
    };
}

QList<RoomRole> parseRoomRoles(const QJsonArray &array)
{
    QList<RoomRole> roles;
    roles.reserve(array.size());
    for (const QJsonValue &element : array)
        roles.append(RoomRole::fromJson(element.toObject()));
    return roles;
}
