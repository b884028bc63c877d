#include "channel_test_support.h"

#include "realtime/events/channel_event_table.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace channeltest {

QJsonObject json(const char *text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qFatal("bad test JSON: %s", text);
    return document.object();
}

std::optional<ChannelEventPayload> parseEvent(const QString &name, const QJsonObject &payload)
{
    for (const ChannelEventEntry &row : channelEventTable) {
        if (name == QLatin1StringView(row.name))
            return row.parse(payload);
    }
    return std::nullopt;
}

QJsonObject baseSnapshot()
{
    return json(R"({
        "channelId": "c1", "name": "Hall", "description": "about", "code": "K1", "codeEnabled": true,
        "createdAt": 5, "defaultRoleId": 2, "version": 0,
        "members": [{"userId": "u1", "roleId": -1, "joinedAt": 1},
                    {"userId": "u2", "roleId": 2, "joinedAt": 2},
                    {"userId": "u3", "roleId": 3, "joinedAt": 3}],
        "roles": [{"roleId": 2, "name": "member", "level": 1, "permissions": []},
                  {"roleId": 3, "name": "mod", "level": 5, "permissions": ["core.channel.remove_members"]}],
        "roomIds": ["r1", "r2"],
        "bans": [{"userId": "b1", "bannedBy": "u1", "reason": "spam", "bannedAt": 9}]
    })");
}

} // namespace channeltest
