#include "match/match_logging.h"

#include "net/http_reply.h"
#include "net/http_types.h"

#include <QDebug>

Q_LOGGING_CATEGORY(lcMatchCode, "match.code", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMatchPreference, "match.preference", QtInfoMsg)

QString failedReplySuffix(const HttpResponse &response)
{
    QString out;
    QDebug(&out).nospace() << " status=" << response.status << " code=" << errorCodeOf(response)
                           << " net_err=" << response.error << " body=" << loggedBodyOf(response);
    return out;
}
