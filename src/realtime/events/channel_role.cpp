#include "realtime/events/channel_role.h"

#include "realtime/events/event_json.h"

#include <QJsonArray>
#include <QJsonObject>

ChannelRole ChannelRole::fromJson(const QJsonObject &object)
{
    return ChannelRole{
        .roleId = eventInt64(object, "roleId"),
        .name = eventText(object, "name"),
        .level = eventInt(object, "level"),
        .permissions = parseStringList(eventArray(object, "permissions")),
    };
}

QList<ChannelRole> parseChannelRoles(const QJsonArray &array)
{
    QList<ChannelRole> roles;
    roles.reserve(array.size());
    for (const QJsonValue &element : array)
        roles.append(ChannelRole::fromJson(element.toObject()));
    return roles;
}
