#include "realtime/gateway_service.h"
#include "realtime/realtime_assembly.h"
#include "realtime/socket_client.h"
#include "realtime/watch_registry.h"
#include "support/log_capture.h"
#include "support/loopback_gateway_server.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

using testsupport::LogCapture;
using testsupport::LoopbackGatewayServer;

class GatewayLoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    // The real socket against a loopback gateway: a whole session life.
    void sessionLifeOverTheRealSocket()
    {
        LogCapture logs;
        LoopbackGatewayServer server;
        QVERIFY(server.listen());

        SocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        // A pong is due before the next heartbeat, which would restart its timer.
        timings.heartbeatMs = 150;
        timings.pongTimeoutMs = 120;
        timings.reconnectInitialMs = 10;
        timings.reconnectMaxMs = 40;
        timings.reconnectJitterMs = 10;
        gateway.setTimings(timings);
        gateway.setGatewayUrl(GatewayService::gatewayUrlForApiBase(server.apiBaseUrl()));
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("tok+en/1=")); });
        auto *registry = new WatchRegistry(&gateway);
        registry->connectGateway(&gateway);

        QSignalSpy ready(&gateway, &GatewayService::sessionReady);
        QSignalSpy lost(&gateway, &GatewayService::sessionLost);
        QSignalSpy resync(&gateway, &GatewayService::resyncRequired);
        QSignalSpy events(&gateway, &GatewayService::eventReceived);
        QSignalSpy snapshots(&gateway, &GatewayService::streamSnapshotReceived);
        QSignalSpy streamReady(registry, &WatchRegistry::streamReady);

        // First session: fresh, with a resync.
        gateway.start();
        QTRY_COMPARE(ready.count(), 1);
        QCOMPARE(resync.count(), 1);
        QCOMPARE(server.lastToken(), QStringLiteral("tok+en/1="));
        QVERIFY(server.lastRequestedSessionId().isEmpty());
        QCOMPARE(gateway.sessionId(), server.currentSessionId());

        // A watch, its answer, a snapshot and events.
        registry->acquire({"room:1"});
        QTRY_COMPARE(server.receivedEvents("watch").size(), 1);
        server.sendWatched({{"room:1", true}});
        server.sendStreamSnapshot("room:1", {{"name", "lobby"}});
        server.sendEvent("room.updated", {{"roomId", "1"}}, 4, 17.5);
        server.sendText("not json at all");
        QTRY_COMPARE(events.count(), 2);
        QCOMPARE(streamReady.count(), 1);
        QCOMPARE(snapshots.count(), 1);
        QCOMPARE(events.at(0).at(2).value<qint64>(), qint64(17));
        QVERIFY(events.at(1).at(0).toString().isEmpty());

        // Heartbeats are answered, so the connection stays.
        QTRY_VERIFY(server.receivedEvents("heartbeat").size() >= 3);
        QCOMPARE(server.acceptedCount(), 1);

        // A graceful server restart: close code 4000, then a resume with the last sequence.
        server.sendPleaseReconnect();
        QTRY_COMPARE(ready.count(), 2);
        QCOMPARE(server.closeCodes().value(0), 4000);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(resync.count(), 1);
        QCOMPARE(server.lastRequestedSessionId(), gateway.sessionId());
        QCOMPARE(server.receivedEvents("resume").last().value("data").toObject().value("lastSeq").toInt(), 4);

        // Silence after a heartbeat: pong time-out, close 4000, resume again.
        server.setAnswerHeartbeats(false);
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 3, 5000);
        QCOMPARE(server.closeCodes().value(1), 4000);
        QVERIFY(logs.contains("base.realtime", "gateway pong timeout, connection dead, reconnecting"));
        server.setAnswerHeartbeats(true);

        // A dropped TCP connection while the server is gone: reconnects fail until it is back.
        // The port stays this server's: a released port may be taken by anything meanwhile.
        server.setAccepting(false);
        server.dropConnection();
        QTRY_COMPARE(lost.count(), 3);
        QTRY_VERIFY(logs.count("base.realtime", "gateway socket error reason=") >= 2);
        QCOMPARE(ready.count(), 3);
        // The resume after the outage is refused by the server: a fresh session resyncs.
        server.setResumeAccepted(false);
        server.setAccepting(true);
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 4, 5000);
        QCOMPARE(resync.count(), 2);
        QVERIFY(logs.contains("base.realtime", "gateway new session, prior stream lost, resync required"));
        QTRY_COMPARE(server.receivedEvents("watch").size(), 2); // re-watched on resync

        // Stop: normal closure, no session lost.
        const int lostBefore = lost.count();
        gateway.stop();
        QTRY_COMPARE(server.openCount(), 0);
        QCOMPARE(server.closeCodes().last(), 1000);
        QTest::qWait(100);
        QCOMPARE(lost.count(), lostBefore);
        QCOMPARE(server.acceptedCount(), 4);
    }

    // A reconnect whose upgrade is refused and held open by the server, with a token
    // provider that answers late: the failed attempt's leftovers (its error, the end of
    // its held connection) must not schedule another connect over the resumed session.
    void failedAttemptLeavesNoRetryBehind()
    {
        LogCapture logs;
        LoopbackGatewayServer server;
        QVERIFY(server.listen());

        SocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        timings.reconnectInitialMs = 50;
        timings.reconnectMaxMs = 400;
        timings.reconnectJitterMs = 1;
        gateway.setTimings(timings);
        gateway.setGatewayUrl(GatewayService::gatewayUrlForApiBase(server.apiBaseUrl()));
        // Every token comes 150 ms after it was asked for (a refresh on its way).
        gateway.setTokenProvider([&gateway](GatewayService::TokenCallback done) {
            QTimer::singleShot(150, &gateway, [done] { done(QStringLiteral("slow-token")); });
        });
        auto *registry = new WatchRegistry(&gateway);
        registry->connectGateway(&gateway);
        QSignalSpy ready(&gateway, &GatewayService::sessionReady);
        QSignalSpy lost(&gateway, &GatewayService::sessionLost);
        QSignalSpy streamReady(registry, &WatchRegistry::streamReady);

        gateway.start();
        QTRY_COMPARE(ready.count(), 1);

        // The refused connection stays open 150 ms: it ends while the next token is awaited.
        server.refuseUpgrades(1, 503, 150);
        server.sendPleaseReconnect();
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 2, 5000);
        QCOMPARE(server.refusedCount(), 1);
        QCOMPARE(server.lastRequestedSessionId(), gateway.sessionId());

        // A watch on the resumed session is answered there.
        registry->acquire({"room:7"});
        QTRY_COMPARE(server.receivedEvents("watch").size(), 1);
        server.sendWatched({{"room:7", true}});
        QTRY_COMPARE(streamReady.count(), 1);

        // Longer than any back-off this test can reach: nothing replaces the healthy connection.
        QTest::qWait(1200);
        QCOMPARE(server.acceptedCount(), 2);
        QCOMPARE(server.openCount(), 1);
        QCOMPARE(ready.count(), 2);
        QCOMPARE(lost.count(), 1);
        QVERIFY(gateway.isSessionEstablished());
        QVERIFY(logs.contains("base.realtime", "gateway socket error reason="));
        gateway.stop();
    }

    // A proxy that quotes the request line (with "?token=...") in its refusal: no log line
    // of the gateway shows the token, neither at the refusal nor at later errors.
    void refusalQuotingTheUrlKeepsTheTokenOutOfTheLog()
    {
        LogCapture logs;
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.refuseUpgrades(2, 503, 0, true);

        SocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        timings.reconnectInitialMs = 10;
        timings.reconnectMaxMs = 20;
        timings.reconnectJitterMs = 1;
        gateway.setTimings(timings);
        gateway.setGatewayUrl(GatewayService::gatewayUrlForApiBase(server.apiBaseUrl()));
        int issued = 0;
        gateway.setTokenProvider(
            [&issued](GatewayService::TokenCallback done) { done(QStringLiteral("SECRET-gw/%1+x=").arg(++issued)); });
        QSignalSpy ready(&gateway, &GatewayService::sessionReady);
        gateway.start();
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 5000);
        QCOMPARE(server.refusedCount(), 2);
        QCOMPARE(server.lastToken(), QStringLiteral("SECRET-gw/3+x="));
        gateway.stop();

        int errors = 0;
        for (const auto &entry : logs.entries()) {
            QVERIFY2(!entry.message.contains(QLatin1String("SECRET"), Qt::CaseInsensitive), qPrintable(entry.message));
            QVERIFY2(!entry.message.contains(QLatin1String("gw%2F"), Qt::CaseInsensitive), qPrintable(entry.message));
            if (entry.message.startsWith(QLatin1String("gateway socket error reason=")))
                ++errors;
        }
        QVERIFY(errors >= 2);
        QVERIFY(logs.contains("base.realtime", "token=<redacted>"));
    }

    // Two rooms watched, the connection dropped, one released while it is down: the
    // resumed session hears the unwatch, so the server stops streaming that room.
    void releaseWhileDisconnectedReachesTheResumedSession()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        SocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        timings.reconnectInitialMs = 20;
        timings.reconnectJitterMs = 1;
        gateway.setTimings(timings);
        gateway.setGatewayUrl(GatewayService::gatewayUrlForApiBase(server.apiBaseUrl()));
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("t")); });
        auto *registry = new WatchRegistry(&gateway);
        registry->connectGateway(&gateway);
        QSignalSpy ready(&gateway, &GatewayService::sessionReady);
        QSignalSpy lost(&gateway, &GatewayService::sessionLost);

        gateway.start();
        QTRY_COMPARE(ready.count(), 1);
        registry->acquire({"room:1", "room:2"});
        QTRY_COMPARE(server.receivedEvents("watch").size(), 1);

        server.setAccepting(false);
        server.dropConnection();
        QTRY_COMPARE(lost.count(), 1);
        registry->release({"room:2"});
        server.setAccepting(true);
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 2, 5000);
        QCOMPARE(server.lastRequestedSessionId(), gateway.sessionId());

        QTRY_COMPARE(server.receivedEvents("unwatch").size(), 1);
        QCOMPARE(server.receivedEvents("unwatch").first().value("data").toObject().value("targets").toArray(),
                 QJsonArray({"room:2"}));
        gateway.stop();
    }

    // The order that once brought an event to the client twice: on a resumed connection the
    // server sends a live event before it has read the client's "resume", whose replay then
    // carries that event again. Each number reaches the client once; the lost one too.
    void liveEventAheadOfTheReplayArrivesOnce()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        SocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        timings.reconnectInitialMs = 10;
        timings.reconnectMaxMs = 40;
        timings.reconnectJitterMs = 10;
        gateway.setTimings(timings);
        gateway.setGatewayUrl(server.gatewayUrl());
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("token")); });
        QList<qint64> seen;
        connect(&gateway, &GatewayService::eventReceived, this,
                [&seen](const QString &, const QJsonObject &, qint64 version) { seen.append(version); });
        const auto event = [&server](int seq) { server.sendEvent(QStringLiteral("e"), {}, seq, seq); };

        gateway.start();
        QTRY_VERIFY(gateway.isSessionEstablished());
        event(1);
        event(2);
        QTRY_COMPARE(seen.size(), 2);

        // The connection drops with event 3 unsent; the next one is resumed by hand.
        server.setAutoEstablish(false);
        connect(&server, &LoopbackGatewayServer::clientConnected, this, [&] {
            server.sendSessionEstablished(server.currentSessionId(), true);
            event(4); // live, ahead of the replay
        });
        connect(&server, &LoopbackGatewayServer::frameReceived, this, [&](const QString &text) {
            if (text.contains(QLatin1String("\"resume\""))) {
                for (int seq : {3, 4})
                    event(seq);
                event(5);
            }
        });
        server.dropConnection();
        QTRY_COMPARE(seen.size(), 5);
        QCOMPARE(server.receivedEvents("resume").value(0).value("data").toObject().value("lastSeq").toInt(), 2);
        QCOMPARE(seen, (QList<qint64>{1, 2, 4, 3, 5}));
        // Nothing more comes after the last one.
        event(6);
        QTRY_COMPARE(seen.size(), 6);
        QCOMPARE(seen.last(), qint64(6));
    }

    void refusedConnectionReportsAnError()
    {
        QTcpServer placeholder; // a port that is surely closed once this is gone
        QVERIFY(placeholder.listen(QHostAddress::LocalHost, 0));
        const quint16 port = placeholder.serverPort();
        placeholder.close();

        SocketClient socket;
        QSignalSpy errors(&socket, &AbstractSocketClient::errorOccurred);
        QSignalSpy connected(&socket, &AbstractSocketClient::connected);
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
        QTRY_COMPARE(errors.count(), 1);
        QVERIFY(!errors.at(0).at(0).toString().isEmpty());
        QCOMPARE(connected.count(), 0);
    }

    void reopenDropsTheOldConnectionQuietly()
    {
        LoopbackGatewayServer server;
        server.setAutoEstablish(false);
        QVERIFY(server.listen());
        SocketClient socket;
        QSignalSpy connected(&socket, &AbstractSocketClient::connected);
        QSignalSpy disconnected(&socket, &AbstractSocketClient::disconnected);
        QSignalSpy texts(&socket, &AbstractSocketClient::textMessageReceived);

        socket.sendText("before open"); // not connected: nothing goes out
        socket.open(server.gatewayUrl());
        QTRY_COMPARE(connected.count(), 1);
        socket.open(server.gatewayUrl());
        QTRY_COMPARE(connected.count(), 2);
        QTRY_COMPARE(server.openCount(), 1);
        QCOMPARE(server.acceptedCount(), 2);
        QCOMPARE(disconnected.count(), 0);

        socket.sendText("hello");
        server.sendText("welcome");
        QTRY_COMPARE(texts.count(), 1);
        QCOMPARE(texts.at(0).at(0).toString(), QStringLiteral("welcome"));
        QTRY_COMPARE(server.receivedFrames(), QStringList({"hello"}));

        socket.close();
        QTRY_COMPARE(disconnected.count(), 1);
        QTRY_COMPARE(server.closeCodes().last(), 1000);
    }

    void assemblyOwnsAStoppedGateway()
    {
        RealtimeAssembly assembly;
        QVERIFY(assembly.gateway());
        QVERIFY(assembly.gateway()->sessionId().isEmpty());
        QVERIFY(!assembly.gateway()->isSessionEstablished());
    }
};

KESTOVA_TEST_MAIN(GatewayLoopbackTest)
#include "test_gateway_loopback.moc"
