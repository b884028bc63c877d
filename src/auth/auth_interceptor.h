#pragma once

#include "net/interceptors.h"

#include <QList>
#include <QObject>

class ISessionStore;
class SessionService;

// Puts the bearer token on every request that wants one; holds requests refused
// with 401, gets one new access token for all of them, then replays them in
// arrival order, or hands each its own 401 when no token could be had.
// GUI thread only.
class AuthInterceptor : public QObject, public IRequestInterceptor, public IResponseInterceptor
{
public:
    AuthInterceptor(ISessionStore *store, SessionService *sessionService, QObject *parent = nullptr);

    void onRequest(QNetworkRequest &request, const HttpOptions &options) override;
    bool onResponse(const HttpResponse &response, const QString &path, const HttpOptions &options, int attempt,
                    ResponseControl control) override;

    struct PendingRequest
    {
        ResponseControl control;
        HttpResponse response;
    };

private:
    void replayOrFail(bool ok);

    ISessionStore *store;
    SessionService *sessionService;
    bool refreshing = false;
    QList<PendingRequest> pending;
};
