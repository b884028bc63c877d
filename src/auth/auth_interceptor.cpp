#include "auth/auth_interceptor.h"

#include "auth/auth_log.h"
#include "auth/i_session_store.h"
#include "auth/session_service.h"

#include <QNetworkRequest>
#include <QPointer>

#include <utility>

AuthInterceptor::AuthInterceptor(ISessionStore *store_, SessionService *sessionService_, QObject *parent)
    : QObject(parent)
    , store(store_)
    , sessionService(sessionService_)
{}

void AuthInterceptor::onRequest(QNetworkRequest &request, const HttpOptions &options)
{
    if (options.skipAuth || !store)
        return;
    const QString token = store->accessToken();
    if (token.isEmpty())
        return;
    request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + token.toUtf8());
}

bool AuthInterceptor::onResponse(const HttpResponse &response, const QString &, const HttpOptions &options, int attempt,
                                 ResponseControl control)
{
    if (response.status != 401 || options.skipAuth || attempt >= 1 || !store || !store->hasRefreshToken())
        return false;

    pending.append(PendingRequest{std::move(control), response});
    if (!refreshing) {
        refreshing = true;
        sessionService->refreshAccessToken([self = QPointer<AuthInterceptor>(this)](bool ok) {
            if (!self)
                return;
            self->refreshing = false;
            self->replayOrFail(ok);
        });
    }
    return true;
}

void AuthInterceptor::replayOrFail(bool ok)
{
    // Taken out first: a 401 that arrives while these are handled starts a new refresh.
    const QList<PendingRequest> held = std::exchange(pending, {});
    if (ok)
        qCInfo(lcAuthSession) << "refresh ok, replaying" << held.size() << "pending requests";
    else
        qCWarning(lcAuthSession) << "refresh failed, failing" << held.size() << "pending requests";
    for (const PendingRequest &request : held) {
        if (ok)
            request.control.replay();
        else
            request.control.deliver(request.response);
    }
}
