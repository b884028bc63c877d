#include "channel/channel_actions_service.h"

#include "channel/channel_logging.h"
#include "net/api_path.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "realtime/events/event_json.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

namespace {

// Logs a failed reply once; true when the reply succeeded.
bool checkReply(const char *label, const HttpResponse &response)
{
    if (response.isSuccess())
        return true;
    qCWarning(lcChannelActions).nospace()
        << label << " failed status=" << response.status << " code=" << errorCodeOf(response)
        << " msg=" << errorMessageOf(response) << " net_err=" << response.error;
    return false;
}

// The response callback of an operation that reads no values of its own.
HttpCallback finish(const char *label, ChannelActionsService::ResultCallback callback)
{
    return [label, callback = std::move(callback)](const HttpResponse &response) {
        const bool ok = checkReply(label, response);
        if (callback)
            callback(ok, classifyChannelError(errorCodeOf(response)), errorMessageOf(response));
    };
}

QString channelPath(const QString &channelId, const char *suffix = "")
{
    return apiPath(QStringLiteral("/v1/channels/%1") + QLatin1StringView(suffix), {channelId});
}

QString rolePath(const QString &channelId, qint64 roleId, const char *suffix = "")
{
    return apiPath(QStringLiteral("/v1/channels/%1/roles/%2") + QLatin1StringView(suffix),
                   {channelId, QString::number(roleId)});
}

QJsonArray stringArray(const QList<QString> &values)
{
    QJsonArray array;
    for (const QString &value : values)
        array.append(value);
    return array;
}

// Role ids stay exact 64-bit integers on the wire; a double would round ids above 2^53.
QJsonValue roleIdValue(qint64 roleId)
{
    return QJsonValue(roleId);
}

} // namespace

ChannelActionsService::ChannelActionsService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
{}

ChannelActionsService::~ChannelActionsService() = default;

void ChannelActionsService::create(const QString &name, CreateCallback callback)
{
    const QJsonObject body{{QStringLiteral("name"), name}};
    http->post(QStringLiteral("/v1/channels"), body, [callback = std::move(callback)](const HttpResponse &response) {
        const bool ok = checkReply("create channel", response);
        const QString channelId = eventText(response.json, "channelId");
        if (ok)
            qCInfo(lcChannelActions).nospace() << "channel created channel_id=" << channelId;
        if (callback)
            callback(ok, channelId, classifyChannelError(errorCodeOf(response)), errorMessageOf(response));
    });
}

void ChannelActionsService::createRole(const QString &channelId, const QString &name, const QList<QString> &permissions,
                                       CreateRoleCallback callback)
{
    const QJsonObject body{{QStringLiteral("name"), name}, {QStringLiteral("permissions"), stringArray(permissions)}};
    http->post(channelPath(channelId, "/roles"), body, [callback = std::move(callback)](const HttpResponse &response) {
        const bool ok = checkReply("create channel role", response);
        const qint64 roleId = eventInt64(response.json, "roleId");
        if (callback)
            callback(ok, roleId, classifyChannelError(errorCodeOf(response)), errorMessageOf(response));
    });
}

void ChannelActionsService::createRoom(const QString &channelId, CreateRoomCallback callback)
{
    http->post(channelPath(channelId, "/rooms"), QJsonObject(),
               [callback = std::move(callback)](const HttpResponse &response) {
                   const bool ok = checkReply("create attached room", response);
                   const QString roomId = eventText(response.json, "roomId");
                   const QString name = eventText(response.json, "name");
                   if (callback)
                       callback(ok, roomId, name, classifyChannelError(errorCodeOf(response)),
                                errorMessageOf(response));
               });
}

void ChannelActionsService::deleteRole(const QString &channelId, qint64 roleId, ResultCallback callback)
{
    deleteRequest("delete channel role", rolePath(channelId, roleId), std::move(callback));
}

void ChannelActionsService::dissolve(const QString &channelId, ResultCallback callback)
{
    deleteRequest("dissolve channel", channelPath(channelId), std::move(callback));
}

void ChannelActionsService::leave(const QString &channelId, ResultCallback callback)
{
    deleteRequest("leave channel", channelPath(channelId, "/members/me"), std::move(callback));
}

void ChannelActionsService::reassignRole(const QString &channelId, qint64 fromRoleId, qint64 toRoleId,
                                         ResultCallback callback)
{
    const QJsonObject body{{QStringLiteral("toRoleId"), roleIdValue(toRoleId)}};
    postRequest("reassign channel role", rolePath(channelId, fromRoleId, "/reassign"), body, std::move(callback));
}

void ChannelActionsService::reorderRoles(const QString &channelId, const QList<qint64> &roleIds,
                                         ResultCallback callback)
{
    QJsonArray ids;
    for (const qint64 roleId : roleIds)
        ids.append(roleIdValue(roleId));
    const QJsonObject body{{QStringLiteral("roleIds"), ids}};
    putRequest("reorder channel roles", channelPath(channelId, "/role-order"), body, std::move(callback));
}

void ChannelActionsService::reorderRooms(const QString &channelId, const QStringList &roomIds, ResultCallback callback)
{
    const QJsonObject body{{QStringLiteral("roomIds"), stringArray(roomIds)}};
    putRequest("reorder attached rooms", channelPath(channelId, "/room-order"), body, std::move(callback));
}

void ChannelActionsService::setCodeEnabled(const QString &channelId, bool enabled, ResultCallback callback)
{
    const QJsonObject body{{QStringLiteral("codeEnabled"), enabled}};
    patchRequest("set channel code enabled", channelPath(channelId), body, std::move(callback));
}

void ChannelActionsService::setMemberRole(const QString &channelId, const QString &userId, qint64 roleId,
                                          ResultCallback callback)
{
    const QJsonObject body{{QStringLiteral("roleId"), roleIdValue(roleId)}};
    putRequest("set channel member role",
               apiPath(QStringLiteral("/v1/channels/%1/members/%2/role"), {channelId, userId}), body,
               std::move(callback));
}

void ChannelActionsService::updateRole(const QString &channelId, qint64 roleId, const QString &name,
                                       const QList<QString> &permissions, ResultCallback callback)
{
    const QJsonObject body{{QStringLiteral("name"), name}, {QStringLiteral("permissions"), stringArray(permissions)}};
    patchRequest("update channel role", rolePath(channelId, roleId), body, std::move(callback));
}

void ChannelActionsService::updateSettings(const QString &channelId, const QString *name, const QString *description,
                                           ResultCallback callback)
{
    QJsonObject body;
    if (name)
        body.insert(QStringLiteral("name"), *name);
    if (description)
        body.insert(QStringLiteral("description"), *description);
    patchRequest("update channel settings", channelPath(channelId), body, std::move(callback));
}

void ChannelActionsService::deleteRequest(const char *label, const QString &path, ResultCallback callback)
{
    http->del(path, finish(label, std::move(callback)));
}

void ChannelActionsService::patchRequest(const char *label, const QString &path, const QJsonObject &body,
                                         ResultCallback callback)
{
    http->patch(path, body, finish(label, std::move(callback)));
}

void ChannelActionsService::postRequest(const char *label, const QString &path, const QJsonObject &body,
                                        ResultCallback callback)
{
    http->post(path, body, finish(label, std::move(callback)));
}

void ChannelActionsService::putRequest(const char *label, const QString &path, const QJsonObject &body,
                                       ResultCallback callback)
{
    http->put(path, body, finish(label, std::move(callback)));
}
