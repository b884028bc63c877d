#include "api_router.h"

namespace localservice {

namespace {

QStringList segmentsOf(const QString &path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

} // namespace

void ApiRouter::add(const QByteArray &method, const QString &pattern, Access access, Handler handler)
{
    routes.append(Route{method, segmentsOf(pattern), access, std::move(handler)});
}

void ApiRouter::addWithBodyLimit(const QByteArray &method, const QString &pattern, Access access, qint64 maxBytes,
                                 Handler handler)
{
    routes.append(Route{method, segmentsOf(pattern), access, std::move(handler), maxBytes});
}

void ApiRouter::setAuthenticator(Authenticator authenticator)
{
    authenticate = std::move(authenticator);
}

bool ApiRouter::matches(const Route &route, const QStringList &segments, QStringList *captures)
{
    if (route.segments.size() != segments.size())
        return false;
    QStringList captured;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (route.segments.at(i) == QLatin1String("{}"))
            captured << segments.at(i);
        else if (route.segments.at(i) != segments.at(i))
            return false;
    }
    *captures = captured;
    return true;
}

ApiReply ApiRouter::dispatch(ApiRequest request) const
{
    // A path with an empty segment ("//") or a trailing slash names nothing here.
    const QStringList segments = segmentsOf(request.path);
    if (request.path.isEmpty() || request.path.contains(QLatin1String("//"))
        || (request.path.size() > 1 && request.path.endsWith(QLatin1Char('/'))))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个接口"));

    const Route *found = nullptr;
    bool pathKnown = false;
    for (const Route &route : routes) {
        QStringList captures;
        if (!matches(route, segments, &captures))
            continue;
        pathKnown = true;
        if (route.method == request.method) {
            found = &route;
            request.captures = captures;
            break;
        }
    }
    if (!found) {
        return pathKnown ? ApiReply::error(405, QStringLiteral("method_not_allowed"),
                                           QStringLiteral("该接口不支持此请求方式"))
                         : ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个接口"));
    }
    const qint64 limit = found->maxBodyBytes >= 0 ? found->maxBodyBytes : maxBodyBytes;
    if (request.body.size() > limit) {
        return ApiReply::error(413, QStringLiteral("request.too_large"),
                               QStringLiteral("请求内容超过 %1 字节").arg(limit));
    }
    if (found->access == Access::SignedIn) {
        const QByteArray authorization = request.header("Authorization");
        const QByteArray prefix = "Bearer ";
        std::optional<AccessGrant> grant;
        if (authorization.startsWith(prefix) && authenticate)
            grant = authenticate(QString::fromLatin1(authorization.mid(prefix.size())));
        if (!grant) {
            return ApiReply::error(401, QStringLiteral("auth.unauthorized"), QStringLiteral("请先登录"));
        }
        request.userId = grant->userId;
        request.signInId = grant->signInId;
    }
    return found->handler(request);
}

} // namespace localservice
