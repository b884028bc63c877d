#include "match/pref_match_service.h"

#include "match/match_logging.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>

PrefMatchService::PrefMatchService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
{}

void PrefMatchService::start(const QList<QString> &memberIds)
{
    const QJsonObject body{{QStringLiteral("memberIds"), QJsonArray::fromStringList(memberIds)}};
    QPointer<PrefMatchService> self(this);
    http->post(QStringLiteral("/v1/match/preference"), body, [self](const HttpResponse &response) {
        if (self)
            self->onMatchReply(response);
    });
}

void PrefMatchService::onMatchReply(const HttpResponse &response)
{
    if (!response.isSuccess()) {
        const MatchErrorCode code = classifyMatchError(errorCodeOf(response));
        qCWarning(lcMatchPreference).nospace().noquote() << "preference match failed" << failedReplySuffix(response);
        emit matchFailed(code, errorMessageOf(response));
        return;
    }

    const QString status = response.json.value(QLatin1String("status")).toString();
    if (status != QLatin1String("candidates")) {
        qCWarning(lcMatchPreference).nospace()
            << "preference match unexpected status status=" << status << " body=" << loggedBodyOf(response);
        emit matchFailed(MatchErrorCode::Other, QString());
        return;
    }

    QList<Candidate> candidates;
    const QJsonArray array = response.json.value(QLatin1String("candidates")).toArray();
    candidates.reserve(array.size());
    for (const QJsonValue &element : array) {
        // A malformed element still counts: it reads as empty ids, in its place.
        const QJsonObject object = element.toObject();
        candidates.append(Candidate{object.value(QLatin1String("userId")).toString(),
                                    object.value(QLatin1String("roomId")).toString()});
    }
    qCInfo(lcMatchPreference).nospace() << "preference match candidates count=" << candidates.size();
    emit candidatesReady(candidates);
}
