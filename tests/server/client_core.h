#pragma once

// The client's transport, start-up gate, sign-in and gateway, joined the way the client
// context joins them: what every client of the local service in these tests is built on.
#include "app/startup_gate.h"
#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "legal/legal_service.h"
#include "net/http_transport.h"
#include "realtime/gateway_service.h"
#include "realtime/socket_client.h"
#include "update/update_service.h"

#include <QDeadlineTimer>
#include <QTest>

namespace servertest {

inline constexpr int kWaitMs = 10000;

struct ClientCore
{
    explicit ClientCore(const QString &deviceId)
        : auth(transport.api(), deviceId)
    {
        transport.addRequestInterceptor(auth.interceptor());
        transport.addResponseInterceptor(auth.interceptor());
        GatewayTimings timings;
        timings.reconnectInitialMs = 20;
        timings.reconnectJitterMs = 1;
        gateway.setTimings(timings);
        gateway.setTokenProvider([this](GatewayService::TokenCallback done) {
            auth.sessionService()->ensureFreshAccessToken(std::move(done));
        });
        gate.setRetryDelayMs(10);
    }

    // Stops the gateway and signs out. A derived client calls it first in its destructor,
    // so that the gateway is stopped before the services that listen to it go.
    void shutDown()
    {
        gateway.stop();
        auth.sessionStore()->clear();
        // Credential-store writes finish on their own; wait so none outlives the test, also
        // after a failed check (when QTRY would not wait).
        QDeadlineTimer deadline(kWaitMs);
        while (!auth.sessionStore()->findChildren<QObject *>().isEmpty() && !deadline.hasExpired())
            QTest::qWait(10);
    }

    HttpTransport transport;
    UpdateService update{transport.downloader()};
    LegalService legal{transport.downloader()};
    StartupGate gate{transport.downloader(), &update, &legal};
    AuthAssembly auth;
    SocketClient socket;
    GatewayService gateway{&socket};
};

} // namespace servertest
