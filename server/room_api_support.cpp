#include "room_api_support.h"

#include "rooms_api.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace localservice::roomapi {

QString perm(const char *name)
{
    return QStringLiteral("core.room.") + QLatin1String(name);
}

std::optional<QJsonObject> jsonObject(const QByteArray &raw)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(raw, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<QJsonObject> objectBody(const ApiRequest &request)
{
    if (request.body.trimmed().isEmpty())
        return QJsonObject{};
    return jsonObject(request.body);
}

ApiReply malformed()
{
    return roomreply::invalid(QStringLiteral("request.malformed_json"), QStringLiteral("请求内容必须是一个 JSON 对象"));
}

bool isWholeNumber(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == double(qint64(value.toDouble()));
}

std::optional<QList<qint64>> roleIdList(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<qint64> ids;
    for (const QJsonValue &id : value.toArray()) {
        if (!isWholeNumber(id))
            return std::nullopt;
        ids << qint64(id.toDouble());
    }
    return ids;
}

} // namespace localservice::roomapi
