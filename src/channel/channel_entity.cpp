#include "channel/channel_entity.h"

#include "realtime/events/event_json.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

ChannelEntity ChannelEntity::fromJson(const QJsonObject &snapshot)
{
    ChannelEntity entity;
    const QString channelId = eventText(snapshot, "channelId");
    if (channelId.isEmpty())
        return entity;

    entity.channelId = channelId;
    entity.valid = true;
    entity.name = eventText(snapshot, "name");
    entity.description = eventText(snapshot, "description");
    entity.code = eventText(snapshot, "code");
    entity.codeEnabled = eventBool(snapshot, "codeEnabled");
    entity.createdAt = eventInt64(snapshot, "createdAt");
    entity.defaultRoleId = eventInt64(snapshot, "defaultRoleId");
    entity.version = eventInt64(snapshot, "version");

    for (const QJsonValue &element : eventArray(snapshot, "members")) {
        const QJsonObject object = element.toObject();
        const QString userId = eventText(object, "userId");
        if (userId.isEmpty())
            continue;
        entity.members.append(ChannelMember{userId, eventInt64(object, "roleId"), eventInt64(object, "joinedAt")});
    }

    entity.roles = parseChannelRoles(eventArray(snapshot, "roles"));

    for (const QJsonValue &element : eventArray(snapshot, "roomIds")) {
        const QString roomId = element.toString();
        if (!roomId.isEmpty())
            entity.roomIds.append(roomId);
    }

    for (const QJsonValue &element : eventArray(snapshot, "bans")) {
        const QJsonObject object = element.toObject();
        const QString userId = eventText(object, "userId");
        if (userId.isEmpty())
            continue;
        entity.bans.append(ChannelBan{userId, eventText(object, "bannedBy"), eventText(object, "reason"),
                                      eventInt64(object, "bannedAt")});
    }
    return entity;
}

int ChannelEntity::indexOfMember(const QString &userId) const
{
    for (qsizetype i = 0; i < members.size(); ++i) {
        if (members.at(i).userId == userId)
            return int(i);
    }
    return -1;
}

int ChannelEntity::indexOfRole(qint64 roleId) const
{
    for (qsizetype i = 0; i < roles.size(); ++i) {
        if (roles.at(i).roleId == roleId)
            return int(i);
    }
    return -1;
}

const ChannelRole *ChannelEntity::findRole(qint64 roleId) const
{
    const int index = indexOfRole(roleId);
    return index < 0 ? nullptr : &roles.at(index);
}

const ChannelRole *ChannelEntity::memberRole(const ChannelEntity *entity, const QString &userId)
{
    if (!entity || !entity->valid || userId.isEmpty())
        return nullptr;
    const int member = entity->indexOfMember(userId);
    if (member < 0)
        return nullptr;
    return entity->findRole(entity->members.at(member).roleId);
}

bool channelHasPermission(const ChannelRole *role, const char *key)
{
    if (!role)
        return false;
    if (role->permissions.contains(QStringLiteral("*")))
        return true;
    return role->permissions.contains(QString::fromUtf8(key));
}
