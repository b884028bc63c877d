#include "net/http_reply.h"

#include "net/http_types.h"

namespace {
constexpr int kLoggedBodyBytes = 512;
}

QString errorCodeOf(const HttpResponse &response)
{
    return response.json.value(QLatin1String("code")).toString();
}

QString errorMessageOf(const HttpResponse &response)
{
    return response.json.value(QLatin1String("message")).toString();
}

QString loggedBodyOf(const HttpResponse &response)
{
    return QString::fromUtf8(response.body.left(kLoggedBodyBytes));
}

QString describeFailedReply(const HttpResponse &response)
{
    return QStringLiteral("status=%1 code=%2 net_err=%3 body=%4")
        .arg(response.status)
        .arg(errorCodeOf(response), response.error, loggedBodyOf(response));
}
