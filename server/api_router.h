#pragma once

#include "api_types.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace localservice {

// Who an access token speaks for.
struct AccessGrant
{
    QString userId;
    QString signInId;
};

// Picks the handler for a request by method and path, refuses what no handler may see
// (an oversized body, a missing or refused access token) and answers every failure with
// the JSON error shape. Patterns are paths whose "{}" segments match any one non-empty
// segment, handed to the handler in `ApiRequest::captures`. GUI thread only.
class ApiRouter
{
public:
    enum class Access { Public, SignedIn };
    using Handler = std::function<ApiReply(const ApiRequest &request)>;
    // Answers who the bearer token speaks for, or nothing when it is refused.
    using Authenticator = std::function<std::optional<AccessGrant>(const QString &token)>;

    void add(const QByteArray &method, const QString &pattern, Access access, Handler handler);
    // A route that takes bodies up to its own limit instead of the common one (uploads).
    void addWithBodyLimit(const QByteArray &method, const QString &pattern, Access access, qint64 maxBytes,
                          Handler handler);
    void setAuthenticator(Authenticator authenticator);
    // Bodies above this size are refused with 413 before any handler runs.
    void setMaxBodyBytes(qint64 bytes) { maxBodyBytes = bytes; }
    qint64 maxBodyBytesAllowed() const { return maxBodyBytes; }

    ApiReply dispatch(ApiRequest request) const;

private:
    struct Route
    {
        QByteArray method;
        QStringList segments;
        Access access = Access::Public;
        Handler handler;
        qint64 maxBodyBytes = -1; // -1: the router's common limit
    };

    static bool matches(const Route &route, const QStringList &segments, QStringList *captures);

    QList<Route> routes;
    Authenticator authenticate;
    qint64 maxBodyBytes = 64 * 1024;
};

} // namespace localservice
