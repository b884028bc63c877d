#include "api_types.h"

#include <QJsonDocument>

namespace localservice {

QByteArray ApiRequest::header(const QByteArray &name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return {};
}

ApiReply ApiReply::json(int status, const QJsonObject &object)
{
    ApiReply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

ApiReply ApiReply::error(int status, const QString &code, const QString &message, const QJsonObject &details)
{
    QJsonObject object{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}};
    if (!details.isEmpty())
        object.insert(QStringLiteral("details"), details);
    return json(status, object);
}

ApiReply ApiReply::bytes(int status, const QByteArray &body, const QByteArray &contentType)
{
    ApiReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = contentType;
    return reply;
}

} // namespace localservice
