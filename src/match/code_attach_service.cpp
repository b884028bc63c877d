#include "match/code_attach_service.h"

#include "match/match_logging.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>

#include <cmath>
#include <limits>

namespace {

// A JSON number as a whole number of milliseconds: truncated toward zero, 0 when it is
// missing or not a number, and held to the 64-bit range when it lies beyond it.
qint64 jsonMillis(const QJsonValue &value)
{
    const double number = value.toDouble();
    if (!std::isfinite(number))
        return 0;
    // Converting a double outside the 64-bit range is undefined; a hostile reply must not reach it.
    if (number >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (number <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(number);
}

} // namespace

CodeAttachService::CodeAttachService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
{}

void CodeAttachService::attachByCode(const QString &code, const QString &childRoomId)
{
    const QJsonObject body{{QStringLiteral("code"), code}, {QStringLiteral("childRoomId"), childRoomId}};
    QPointer<CodeAttachService> self(this);
    http->post(QStringLiteral("/v1/match/attach"), body, [self, childRoomId](const HttpResponse &response) {
        if (self)
            self->onAttachReply(childRoomId, response);
    });
}

void CodeAttachService::onAttachReply(const QString &childRoomId, const HttpResponse &response)
{
    if (!response.isSuccess()) {
        const MatchErrorCode code = classifyMatchError(errorCodeOf(response));
        qCWarning(lcMatchCode).nospace().noquote() << "attach by code failed" << failedReplySuffix(response);
        emit attachFailed(code, errorMessageOf(response));
        return;
    }

    const QJsonObject &json = response.json;
    const QString status = json.value(QLatin1String("status")).toString();
    if (status == QLatin1String("attached")) {
        const QString parentRoomId = json.value(QLatin1String("roomId")).toString();
        qCInfo(lcMatchCode).nospace() << "attach by code attached parent_room_id=" << parentRoomId;
        emit attached(parentRoomId);
    } else if (status == QLatin1String("attachPending")) {
        const QString parentRoomId = json.value(QLatin1String("roomId")).toString();
        const QString requestId = json.value(QLatin1String("requestId")).toString();
        const qint64 expiresAtMs = jsonMillis(json.value(QLatin1String("expiresAtMs")));
        const QString parentRoomName = json.value(QLatin1String("roomName")).toString();
        qCInfo(lcMatchCode).nospace() << "attach by code pending parent_room_id=" << parentRoomId
                                      << " request_id=" << requestId;
        emit attachPending(requestId, parentRoomId, childRoomId, expiresAtMs, parentRoomName);
    } else if (status == QLatin1String("error")) {
        const QString reason = json.value(QLatin1String("reason")).toString();
        qCInfo(lcMatchCode).nospace() << "attach by code rejected reason=" << reason;
        emit attachFailed(classifyMatchError(reason), json.value(QLatin1String("message")).toString());
    } else {
        qCWarning(lcMatchCode).nospace() << "attach by code unexpected status status=" << status
                                         << " body=" << loggedBodyOf(response);
        emit attachFailed(MatchErrorCode::Other, QString());
    }
}
