#include "match/code_match_service.h"

#include "match/match_logging.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"

#include <QJsonObject>
#include <QPointer>

namespace {
const QString kStatusKey = QStringLiteral("status");
const QString kRoomIdKey = QStringLiteral("roomId");
} // namespace

CodeMatchService::CodeMatchService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
{}

void CodeMatchService::setSessionIdProvider(SessionIdProvider provider)
{
    sessionIdProvider = std::move(provider);
}

void CodeMatchService::joinByCode(const QString &code)
{
    const QString sessionId = sessionIdProvider ? sessionIdProvider() : QString();
    const QJsonObject body{{QStringLiteral("code"), code}, {QStringLiteral("sessionId"), sessionId}};
    QPointer<CodeMatchService> self(this);
    const quint64 forGeneration = generation;
    http->post(QStringLiteral("/v1/match/code"), body, [self, forGeneration](const HttpResponse &response) {
        if (!self)
            return;
        if (forGeneration != self->generation) {
            qCInfo(lcMatchCode) << "join by code reply dropped after reset";
            return;
        }
        self->onJoinReply(response);
    });
}

void CodeMatchService::reset()
{
    ++generation;
}

void CodeMatchService::onJoinReply(const HttpResponse &response)
{
    if (!response.isSuccess()) {
        const MatchErrorCode code = classifyMatchError(errorCodeOf(response));
        qCWarning(lcMatchCode).nospace().noquote() << "join by code failed" << failedReplySuffix(response);
        emit joinByCodeFailed(code, errorMessageOf(response));
        return;
    }

    const QString status = response.json.value(kStatusKey).toString();
    const QString roomId = response.json.value(kRoomIdKey).toString();
    const bool namesRoom = status == QLatin1String("entering") || status == QLatin1String("needApply");
    if (namesRoom && roomId.isEmpty()) {
        // Entering or applying for no room would do nothing while the caller shows success.
        qCWarning(lcMatchCode).nospace() << "join by code reply without room id status=" << status
                                         << " body=" << loggedBodyOf(response);
        emit joinByCodeFailed(MatchErrorCode::Other, QString());
        return;
    }

    if (status == QLatin1String("entering")) {
        qCInfo(lcMatchCode).nospace() << "join by code entering room room_id=" << roomId;
        emit roomEntering(roomId);
    } else if (status == QLatin1String("ok")) {
        qCInfo(lcMatchCode).nospace() << "join by code joined channel";
        emit channelJoined();
    } else if (status == QLatin1String("needApply")) {
        qCInfo(lcMatchCode).nospace() << "join by code needs apply room_id=" << roomId;
        emit joinNeedsApply(roomId);
    } else if (status == QLatin1String("error")) {
        const QString reason = response.json.value(QLatin1String("reason")).toString();
        qCInfo(lcMatchCode).nospace() << "join by code rejected reason=" << reason;
        emit joinByCodeFailed(classifyMatchError(reason), response.json.value(QLatin1String("message")).toString());
    } else {
        qCWarning(lcMatchCode).nospace() << "join by code unexpected status status=" << status
                                         << " body=" << loggedBodyOf(response);
        emit joinByCodeFailed(MatchErrorCode::Other, QString());
    }
}
