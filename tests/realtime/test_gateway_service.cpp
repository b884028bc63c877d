#include "build_config.h"
#include "fake_socket_client.h"
#include "realtime/gateway_service.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

using testsupport::LogCapture;

namespace {

const QString kCategory = QStringLiteral("base.realtime");

GatewayTimings fastTimings()
{
    GatewayTimings timings;
    timings.heartbeatMs = 600000; // out of the way unless a test is about it
    timings.pongTimeoutMs = 600000;
    timings.reconnectInitialMs = 10;
    timings.reconnectMaxMs = 300;
    timings.reconnectJitterMs = 10;
    timings.shutdownWaitMs = 20;
    return timings;
}

QString queryItem(const QUrl &url, const QString &key)
{
    return QUrlQuery(url).queryItemValue(key, QUrl::FullyDecoded);
}

// The (in_ms, attempt) pairs of every "reconnect scheduled" line so far.
QList<QPair<int, int>> scheduledReconnects(const LogCapture &logs)
{
    static const QRegularExpression pattern(QStringLiteral("in_ms=(\\d+) attempt=(\\d+)"));
    QList<QPair<int, int>> result;
    for (const auto &entry : logs.entries()) {
        if (entry.category != kCategory || !entry.message.startsWith(QLatin1String("gateway reconnect scheduled")))
            continue;
        const auto match = pattern.match(entry.message);
        if (match.hasMatch())
            result.append({match.captured(1).toInt(), match.captured(2).toInt()});
    }
    return result;
}

// One gateway over a fake socket, with a token provider that answers at once and a
// log of the session signals in emission order.
struct Rig
{
    FakeSocketClient socket;
    GatewayService gateway{&socket};
    QStringList emitted;
    QString token = QStringLiteral("token-1");

    Rig()
    {
        gateway.setTimings(fastTimings());
        gateway.setGatewayUrl(QUrl(QStringLiteral("wss://gateway.test/ws")));
        gateway.setTokenProvider([this](GatewayService::TokenCallback done) { done(token); });
        QObject::connect(&gateway, &GatewayService::resyncRequired, &gateway, [this] { emitted << "resync"; });
        QObject::connect(&gateway, &GatewayService::sessionReady, &gateway, [this] { emitted << "ready"; });
        QObject::connect(&gateway, &GatewayService::sessionLost, &gateway, [this] { emitted << "lost"; });
    }

    void establish(const QString &sessionId = QStringLiteral("s1"), bool resumed = false)
    {
        socket.deliverConnected();
        socket.deliverSession(sessionId, resumed);
    }

    void startAndEstablish(const QString &sessionId = QStringLiteral("s1"))
    {
        gateway.start();
        establish(sessionId, false);
    }

    // Drops the connection and waits for the reconnect to open the socket again.
    bool dropAndReopen()
    {
        const auto opened = socket.openedUrls.size();
        socket.deliverDisconnected();
        return QTest::qWaitFor([&] { return socket.openedUrls.size() > opened; }, 2000);
    }
};

} // namespace

class GatewayServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void gatewayUrlFollowsApiBase_data()
    {
        QTest::addColumn<QString>("apiBase");
        QTest::addColumn<QString>("expected");
        QTest::newRow("https") << "https://api.kestova.com"
                               << "wss://api.kestova.com/ws";
        QTest::newRow("http with port") << "http://127.0.0.1:8080"
                                        << "ws://127.0.0.1:8080/ws";
        QTest::newRow("base with a path") << "https://host.example/api/v1/"
                                          << "wss://host.example/ws";
    }

    void gatewayUrlFollowsApiBase()
    {
        QFETCH(QString, apiBase);
        QFETCH(QString, expected);
        QCOMPARE(GatewayService::gatewayUrlForApiBase(QUrl(apiBase)), QUrl(expected));
    }

    void defaultGatewayUrlIsTheBuiltInApiHost()
    {
        FakeSocketClient socket;
        GatewayService gateway(&socket);
        QCOMPARE(gateway.gatewayUrl(),
                 GatewayService::gatewayUrlForApiBase(QUrl(QString::fromUtf8(buildconfig::kApiBaseUrl))));
    }

    void reconnectDelay_data()
    {
        QTest::addColumn<int>("attempt");
        QTest::addColumn<quint32>("random");
        QTest::addColumn<int>("expected");
        QTest::newRow("first, no jitter") << 0 << 0u << 1000;
        QTest::newRow("first, largest jitter") << 0 << 0xFFFFFFFFu << 1999;
        QTest::newRow("first, half jitter") << 0 << 0x80000000u << 1500;
        QTest::newRow("second") << 1 << 0u << 2000;
        QTest::newRow("third, quarter jitter") << 2 << 0x40000000u << 4250;
        QTest::newRow("fifth") << 4 << 0u << 16000;
        QTest::newRow("sixth is capped") << 5 << 0u << 30000;
        QTest::newRow("seventh, largest jitter") << 6 << 0xFFFFFFFFu << 30999;
        QTest::newRow("very late") << 1000000 << 0u << 30000;
    }

    void reconnectDelay()
    {
        QFETCH(int, attempt);
        QFETCH(quint32, random);
        QFETCH(int, expected);
        QCOMPARE(GatewayService::reconnectDelayMs(attempt, random, GatewayTimings{}), expected);
    }

    void startWithoutProviderNeverConnects()
    {
        LogCapture logs;
        FakeSocketClient socket;
        GatewayService gateway(&socket);
        gateway.setTimings(fastTimings());
        gateway.start();
        QVERIFY(socket.openedUrls.isEmpty());
        QVERIFY(!logs.contains(kCategory, "reconnect scheduled"));
    }

    void emptyTokenBacksOffWithGrowingDelays()
    {
        LogCapture logs;
        Rig rig;
        rig.token.clear();
        rig.gateway.start();
        // Delays 10, 20, 40, 80, 160 ms, then the 300 ms ceiling, each plus up to 9 ms.
        QTRY_VERIFY_WITH_TIMEOUT(scheduledReconnects(logs).size() >= 7, 5000);
        const auto reconnects = scheduledReconnects(logs);
        const int bases[] = {10, 20, 40, 80, 160, 300, 300};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(reconnects.at(i).second, i + 1);
            QVERIFY2(reconnects.at(i).first >= bases[i] && reconnects.at(i).first < bases[i] + 10,
                     qPrintable(QString::number(reconnects.at(i).first)));
        }
        QCOMPARE(logs.count(kCategory, "gateway connect: no access token, will retry"), reconnects.size());
        QVERIFY(rig.socket.openedUrls.isEmpty());

        // A token at the next attempt opens the socket; the session resets the count.
        rig.token = QStringLiteral("late-token");
        QTRY_COMPARE_WITH_TIMEOUT(rig.socket.openedUrls.size(), 1, 2000);
        rig.establish();
        logs.clear();
        rig.socket.deliverDisconnected();
        QCOMPARE(scheduledReconnects(logs).size(), 1);
        QCOMPARE(scheduledReconnects(logs).at(0).second, 1);
    }

    void connectUrlCarriesTokenAndSession_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("sessionId");
        QTest::newRow("fresh") << "jwt.payload.sig"
                               << "";
        QTest::newRow("resume") << "jwt.payload.sig"
                                << "s-42";
        QTest::newRow("reserved characters") << "a+b&c=d e"
                                             << "x&y";
    }

    void connectUrlCarriesTokenAndSession()
    {
        QFETCH(QString, token);
        QFETCH(QString, sessionId);
        LogCapture logs;
        Rig rig;
        rig.token = token;
        rig.gateway.start();
        if (!sessionId.isEmpty()) {
            rig.establish(sessionId);
            QVERIFY(rig.dropAndReopen());
        }
        const QUrl url = rig.socket.openedUrls.last();
        QCOMPARE(url.scheme(), QStringLiteral("wss"));
        QCOMPARE(url.host(), QStringLiteral("gateway.test"));
        QCOMPARE(url.path(), QStringLiteral("/ws"));
        QCOMPARE(queryItem(url, "token"), token);
        QCOMPARE(QUrlQuery(url).hasQueryItem("sessionId"), !sessionId.isEmpty());
        QCOMPARE(queryItem(url, "sessionId"), sessionId);
        const QString expectedLog =
            sessionId.isEmpty() ? "gateway opening resume=false" : "gateway opening resume=true";
        QVERIFY(logs.contains(kCategory, expectedLog));
    }

    void sessionWithoutIdIsNotResumed()
    {
        Rig rig;
        rig.gateway.start();
        rig.socket.deliverConnected();
        rig.socket.deliverEvent("session-established", {{"resumed", false}});
        QVERIFY(rig.gateway.sessionId().isEmpty());
        QVERIFY(rig.dropAndReopen());
        QVERIFY(!QUrlQuery(rig.socket.openedUrls.last()).hasQueryItem("sessionId"));
    }

    void firstSessionAndResume()
    {
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish("s1");
        QCOMPARE(rig.emitted, QStringList({"resync", "ready"}));
        QCOMPARE(rig.gateway.sessionId(), QStringLiteral("s1"));
        QVERIFY(rig.gateway.isSessionEstablished());
        QVERIFY(!logs.contains(kCategory, "prior stream lost"));
        QVERIFY(logs.contains(kCategory, "gateway connected resumed=false"));
        QVERIFY(rig.socket.sentFrames.isEmpty());

        rig.socket.deliverFrame({{"event", "room.updated"}, {"seq", 5}});
        rig.socket.deliverFrame({{"event", "room.updated"}, {"seq", 9}});
        QVERIFY(rig.dropAndReopen());
        QCOMPARE(rig.emitted, QStringList({"resync", "ready", "lost"}));
        QVERIFY(!rig.gateway.isSessionEstablished());
        QCOMPARE(rig.gateway.sessionId(), QStringLiteral("s1"));

        rig.emitted.clear();
        rig.establish("s1", true);
        QCOMPARE(rig.emitted, QStringList({"ready"}));
        QCOMPARE(rig.socket.sentFrames, QStringList({R"({"data":{"lastSeq":9},"event":"resume"})"}));
        QVERIFY(logs.contains(kCategory, "gateway connected resumed=true"));
    }

    void freshSessionAfterLostOneResyncs()
    {
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish("s1");
        rig.socket.deliverFrame({{"event", "room.updated"}, {"seq", 4}});
        QVERIFY(rig.dropAndReopen());
        rig.emitted.clear();
        rig.establish("s2", false);
        QCOMPARE(rig.emitted, QStringList({"resync", "ready"}));
        QVERIFY(logs.contains(kCategory, "gateway new session, prior stream lost, resync required"));
        QCOMPARE(rig.gateway.sessionId(), QStringLiteral("s2"));

        // The sequence started over with the new session.
        QVERIFY(rig.dropAndReopen());
        rig.establish("s2", true);
        QCOMPARE(rig.socket.sentEvents("resume").last().value("data").toObject().value("lastSeq").toInt(), 0);
    }

    void sessionLostAlsoWithoutSession()
    {
        Rig rig;
        rig.gateway.start();
        rig.socket.deliverConnected();
        rig.socket.deliverDisconnected();
        QCOMPARE(rig.emitted, QStringList({"lost"}));
    }

    void controlEventsThatReconnect_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("keepsSession");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("please-reconnect")
            << "please-reconnect" << true << "gateway please-reconnect (server graceful shutdown)";
        QTest::newRow("session-invalid") << "session-invalid" << false
                                         << "gateway session invalid, resync + reconnect fresh";
    }

    void controlEventsThatReconnect()
    {
        QFETCH(QString, event);
        QFETCH(bool, keepsSession);
        QFETCH(QString, logLine);
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish("s1");
        rig.socket.deliverFrame({{"event", "chat.x"}, {"seq", 6}});
        rig.emitted.clear();

        rig.socket.deliverEvent(event);
        QCOMPARE(rig.socket.closeCodes, QList<int>({FakeSocketClient::kReconnectClose}));
        QVERIFY(logs.contains(kCategory, logLine));
        QCOMPARE(rig.gateway.sessionId(), keepsSession ? QStringLiteral("s1") : QString());
        QCOMPARE(rig.emitted, keepsSession ? QStringList() : QStringList({"resync"}));

        QVERIFY(rig.dropAndReopen());
        QCOMPARE(queryItem(rig.socket.openedUrls.last(), "sessionId"), keepsSession ? QStringLiteral("s1") : QString());
        if (keepsSession) {
            rig.establish("s1", true);
            QCOMPARE(rig.socket.sentEvents("resume").last().value("data").toObject().value("lastSeq").toInt(), 6);
        } else {
            rig.emitted.clear();
            rig.establish("s2", false);
            // The fresh session resyncs again, without the warning: the old stream was already given up.
            QCOMPARE(rig.emitted, QStringList({"resync", "ready"}));
            QVERIFY(!logs.contains(kCategory, "prior stream lost"));
        }
    }

    void bufferMissResyncsAndKeepsSession()
    {
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish("s1");
        rig.socket.deliverFrame({{"event", "chat.x"}, {"seq", 3}});
        rig.emitted.clear();
        rig.socket.deliverEvent("buffer-miss");
        QCOMPARE(rig.emitted, QStringList({"resync"}));
        QVERIFY(logs.contains(kCategory, "gateway buffer miss, resync required"));
        QVERIFY(rig.socket.closeCodes.isEmpty());
        QVERIFY(rig.dropAndReopen());
        QCOMPARE(queryItem(rig.socket.openedUrls.last(), "sessionId"), QStringLiteral("s1"));
        rig.establish("s1", true);
        QCOMPARE(rig.socket.sentEvents("resume").last().value("data").toObject().value("lastSeq").toInt(), 3);
    }

    void sessionKickAndResumedOnlyLog()
    {
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish("s1");
        rig.emitted.clear();
        rig.socket.deliverEvent("session-kick");
        rig.socket.deliverEvent("resumed", {{"count", 12}});
        rig.socket.deliverEvent("resumed");
        QVERIFY(logs.contains(kCategory, "gateway session-kick (force-logout handling deferred)"));
        QVERIFY(logs.contains(kCategory, "gateway resumed replayed=12"));
        QVERIFY(logs.contains(kCategory, "gateway resumed replayed=0"));
        QVERIFY(rig.emitted.isEmpty());
        QVERIFY(rig.socket.closeCodes.isEmpty());
        QCOMPARE(rig.gateway.sessionId(), QStringLiteral("s1"));
    }

    void heartbeatAndPongTimeout()
    {
        LogCapture logs;
        Rig rig;
        GatewayTimings timings = fastTimings();
        timings.heartbeatMs = 60;
        timings.pongTimeoutMs = 40;
        rig.gateway.setTimings(timings);

        // Answered heartbeats keep the connection.
        bool answer = true;
        QObject::connect(&rig.socket, &FakeSocketClient::textSent, &rig.gateway, [&](const QString &text) {
            if (answer && text == QLatin1String(R"({"event":"heartbeat"})"))
                QTimer::singleShot(0, &rig.socket, [&] { rig.socket.deliverEvent("pong"); });
        });
        rig.startAndEstablish();
        QTRY_VERIFY_WITH_TIMEOUT(rig.socket.sentFrames.size() >= 4, 3000);
        QVERIFY(rig.socket.closeCodes.isEmpty());
        for (const QString &frame : std::as_const(rig.socket.sentFrames))
            QCOMPARE(frame, QStringLiteral(R"({"event":"heartbeat"})"));

        // A heartbeat without answer closes with 4000 once the pong time-out passes.
        answer = false;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.socket.closeCodes.isEmpty(), 3000);
        QCOMPARE(rig.socket.closeCodes.first(), FakeSocketClient::kReconnectClose);
        QVERIFY(logs.contains(kCategory, "gateway pong timeout, connection dead, reconnecting"));

        // The reconnect follows from the socket's end; heartbeats stop with it.
        QVERIFY(rig.dropAndReopen());
        const auto sent = rig.socket.sentFrames.size();
        QTest::qWait(100);
        QCOMPARE(rig.socket.sentFrames.size(), sent);
    }

    void stopWhileReconnectPending()
    {
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish("s1");
        rig.socket.deliverDisconnected();
        QCOMPARE(scheduledReconnects(logs).size(), 1);
        rig.emitted.clear();

        rig.gateway.stop();
        QVERIFY(logs.contains(kCategory, "gateway closed"));
        QCOMPARE(rig.socket.closeCodes, QList<int>({FakeSocketClient::kNormalClose}));
        QVERIFY(rig.gateway.sessionId().isEmpty());
        rig.socket.deliverDisconnected();
        QTest::qWait(100); // well past the scheduled delay
        QCOMPARE(rig.socket.openedUrls.size(), 1);
        QVERIFY(rig.emitted.isEmpty());
    }

    void stopIgnoresLateTokenAndFrames()
    {
        Rig rig;
        GatewayService::TokenCallback pending;
        rig.gateway.setTokenProvider([&](GatewayService::TokenCallback done) { pending = std::move(done); });
        rig.gateway.start();
        QVERIFY(pending);
        rig.gateway.stop();
        pending(QStringLiteral("token"));
        QVERIFY(rig.socket.openedUrls.isEmpty());

        // Frames that were in flight when the gateway stopped change nothing.
        QSignalSpy events(&rig.gateway, &GatewayService::eventReceived);
        rig.socket.deliverConnected();
        rig.socket.deliverSession("s9", false);
        rig.socket.deliverFrame({{"event", "room.updated"}, {"seq", 1}});
        QVERIFY(rig.emitted.isEmpty());
        QCOMPARE(events.count(), 0);
        QVERIFY(rig.gateway.sessionId().isEmpty());
        QVERIFY(!rig.gateway.isSessionEstablished());
    }

    void startWhileUnderWayKeepsOneConnection_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::newRow("awaiting token") << "token";
        QTest::newRow("opening") << "opening";
        QTest::newRow("established") << "established";
        QTest::newRow("reconnect pending") << "pending";
        QTest::newRow("restarted after stop") << "restarted";
    }

    void startWhileUnderWayKeepsOneConnection()
    {
        QFETCH(QString, phase);
        Rig rig;
        QList<GatewayService::TokenCallback> pending;
        rig.gateway.setTokenProvider([&](GatewayService::TokenCallback done) { pending.append(std::move(done)); });
        auto answerAll = [&] {
            const auto callbacks = std::exchange(pending, {});
            for (const auto &done : callbacks)
                done(QStringLiteral("token"));
        };

        rig.gateway.start();
        int expectedOpens = 1;
        if (phase == "token") {
            rig.gateway.start();
            answerAll();
        } else if (phase == "opening") {
            answerAll();
            rig.gateway.start();
            answerAll();
        } else if (phase == "established") {
            answerAll();
            rig.establish();
            rig.gateway.start();
            answerAll();
            QCOMPARE(rig.gateway.sessionId(), QStringLiteral("s1"));
        } else if (phase == "pending") {
            answerAll();
            rig.socket.deliverError("refused");
            rig.gateway.start(); // connects at once instead of waiting
            answerAll();
            expectedOpens = 2;
        } else if (phase == "restarted") {
            rig.gateway.stop();
            rig.gateway.start();
            answerAll(); // the answer to the request before stop is stale
            expectedOpens = 1;
        }
        QCOMPARE(rig.socket.openedUrls.size(), expectedOpens);
        QTest::qWait(100); // nothing left scheduled opens another
        answerAll();
        QCOMPARE(rig.socket.openedUrls.size(), expectedOpens);
    }

    void tokenAnswerIsUsedOnce()
    {
        Rig rig;
        rig.gateway.setTokenProvider([](GatewayService::TokenCallback done) {
            done(QStringLiteral("a"));
            done(QStringLiteral("b"));
        });
        rig.gateway.start();
        QCOMPARE(rig.socket.openedUrls.size(), 1);
        QCOMPARE(queryItem(rig.socket.openedUrls.first(), "token"), QStringLiteral("a"));
    }

    void errorsBeforeOpenScheduleOneReconnect()
    {
        LogCapture logs;
        Rig rig;
        rig.gateway.start();
        rig.socket.deliverError("connection refused");
        rig.socket.deliverError("connection refused");
        rig.socket.deliverDisconnected();
        QCOMPARE(scheduledReconnects(logs).size(), 1);
        QCOMPARE(logs.count(kCategory, "gateway socket error reason=connection refused"), 2);

        // An error on an open socket waits for its disconnected.
        QTRY_COMPARE_WITH_TIMEOUT(rig.socket.openedUrls.size(), 2, 2000);
        rig.establish();
        logs.clear();
        rig.socket.deliverError("reset");
        QCOMPARE(scheduledReconnects(logs).size(), 0);
        rig.socket.deliverDisconnected();
        QCOMPARE(scheduledReconnects(logs).size(), 1);
    }

    void shutdownWaitsForTheSocket()
    {
        Rig rig;
        GatewayTimings timings = fastTimings();
        timings.shutdownWaitMs = 60;
        rig.gateway.setTimings(timings);
        QElapsedTimer clock;
        clock.start();
        rig.gateway.shutdown(); // nothing to wait for: the whole wait passes
        QVERIFY(clock.elapsed() >= 60);

        timings.shutdownWaitMs = 5000;
        rig.gateway.setTimings(timings);
        rig.startAndEstablish();
        QTimer::singleShot(10, &rig.socket, &FakeSocketClient::deliverDisconnected);
        clock.restart();
        rig.gateway.shutdown();
        QVERIFY(clock.elapsed() < 4000);
        QVERIFY(rig.gateway.sessionId().isEmpty());
        QCOMPARE(rig.emitted, QStringList({"resync", "ready"}));
    }

    void watchResults()
    {
        LogCapture logs;
        Rig rig;
        rig.startAndEstablish();
        QSignalSpy results(&rig.gateway, &GatewayService::watchResultReceived);
        rig.socket.deliverEvent("watched", {{"results", QJsonArray{QJsonObject{{"target", "room:1"}, {"ok", true}},
                                                                   QJsonObject{{"ok", true}},
                                                                   QJsonObject{{"target", "channel:2"}}}}});
        QCOMPARE(results.count(), 2);
        QCOMPARE(results.at(0), QVariantList({"room:1", true}));
        QCOMPARE(results.at(1), QVariantList({"channel:2", false}));
        QCOMPARE(logs.count(kCategory, "gateway watch denied target=channel:2"), 1);
        QCOMPARE(logs.count(kCategory, "gateway watch denied"), 1);

        rig.socket.deliverEvent("watched");
        QCOMPARE(results.count(), 2);
    }

    void streamSnapshots()
    {
        Rig rig;
        rig.startAndEstablish();
        QSignalSpy snapshots(&rig.gateway, &GatewayService::streamSnapshotReceived);
        QSignalSpy events(&rig.gateway, &GatewayService::eventReceived);
        const QJsonObject snapshot{{"name", "lobby"}, {"version", 3}};
        rig.socket.deliverEvent("stream-snapshot", {{"target", "room:1"}, {"snapshot", snapshot}});
        rig.socket.deliverEvent("stream-snapshot", {{"target", "room:1:private"}});
        rig.socket.deliverEvent("stream-snapshot", {{"snapshot", snapshot}});
        QCOMPARE(snapshots.count(), 2);
        QCOMPARE(snapshots.at(0), QVariantList({"room:1", snapshot}));
        QCOMPARE(snapshots.at(1), QVariantList({"room:1:private", QJsonObject()}));
        QCOMPARE(events.count(), 0);
    }

    void serverEvents_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<qint64>("version");
        QTest::addColumn<int>("resumeSeq"); // lastSeq after an earlier event with seq 5

        const QJsonObject payload{{"roomId", "r1"}};
        QTest::newRow("plain") << R"({"event":"room.updated","data":{"roomId":"r1"},"seq":7,"version":12})"
                               << "room.updated" << payload << qint64(12) << 7;
        QTest::newRow("fractional numbers")
            << R"({"event":"room.updated","data":{"roomId":"r1"},"seq":8.9,"version":12.9})"
            << "room.updated" << payload << qint64(12) << 8;
        QTest::newRow("older seq") << R"({"event":"room.updated","data":{"roomId":"r1"},"seq":3})"
                                   << "room.updated" << payload << qint64(0) << 5;
        QTest::newRow("no seq, data not an object") << R"({"event":"chat.x","data":[1,2]})"
                                                    << "chat.x" << QJsonObject() << qint64(0) << 5;
        QTest::newRow("64-bit version") << R"({"event":"room.updated","version":4294967296123})"
                                        << "room.updated" << QJsonObject() << qint64(4294967296123) << 5;
        QTest::newRow("out of range numbers") << R"({"event":"room.updated","seq":1e300,"version":-1e300})"
                                              << "room.updated" << QJsonObject() << qint64(0) << 5;
        QTest::newRow("not json") << "hello, gateway"
                                  << "" << QJsonObject() << qint64(0) << 5;
        QTest::newRow("json array") << R"([{"event":"room.updated","seq":99}])"
                                    << "" << QJsonObject() << qint64(0) << 5;
        QTest::newRow("no event") << R"({"data":{"roomId":"r1"},"seq":99})"
                                  << "" << QJsonObject() << qint64(0) << 5;
        QTest::newRow("pong with seq") << R"({"event":"pong","seq":50})"
                                       << "<none>" << QJsonObject() << qint64(0) << 5;
        QTest::newRow("case differs") << R"({"event":"Pong","seq":6})"
                                      << "Pong" << QJsonObject() << qint64(0) << 6;
    }

    void serverEvents()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QJsonObject, payload);
        QFETCH(qint64, version);
        QFETCH(int, resumeSeq);
        Rig rig;
        rig.startAndEstablish("s1");
        rig.socket.deliverFrame({{"event", "room.created"}, {"seq", 5}});
        QSignalSpy events(&rig.gateway, &GatewayService::eventReceived);
        rig.socket.deliverText(text);
        if (name == "<none>") {
            QCOMPARE(events.count(), 0);
        } else {
            QCOMPARE(events.count(), 1);
            QCOMPARE(events.at(0).at(0).toString(), name);
            QCOMPARE(events.at(0).at(1).value<QJsonObject>(), payload);
            QCOMPARE(events.at(0).at(2).value<qint64>(), version);
        }
        QVERIFY(rig.dropAndReopen());
        rig.establish("s1", true);
        QCOMPARE(rig.socket.sentEvents("resume").last().value("data").toObject().value("lastSeq").toInteger(),
                 qint64(resumeSeq));
    }

    void eventsPassedOnInArrivalOrder()
    {
        Rig rig;
        rig.startAndEstablish("s1");
        QSignalSpy events(&rig.gateway, &GatewayService::eventReceived);
        for (int seq : {5, 3, 7, 7})
            rig.socket.deliverFrame({{"event", "e"}, {"seq", seq}, {"version", seq}});
        // The older 3 was not seen before and is passed on; the second 7 is the same event.
        QCOMPARE(events.count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(events.at(i).at(2).value<qint64>(), QList<qint64>({5, 3, 7}).at(i));
        QVERIFY(rig.dropAndReopen());
        rig.establish("s1", true);
        QCOMPARE(rig.socket.sentFrames.last(), QStringLiteral(R"({"data":{"lastSeq":7},"event":"resume"})"));
    }

    void eachNumberPassedOnOncePerSession_data()
    {
        // A script of steps: a number is an event with that seq (and version), "-" one
        // without a number, "drop" ends the connection and waits for the reconnect, "s1+"
        // resumes session s1, "s2" establishes a fresh session s2, "invalid" is the
        // server's "session-invalid".
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<qint64>>("passedOn"); // versions of the emitted events
        QTest::addColumn<qint64>("resumeSeq"); // lastSeq of the last "resume" sent

        // The order that made a session's event reach the client twice: a live event
        // came on the resumed connection before the server read the "resume", and the
        // replay that followed carried it again.
        QTest::newRow("live event ahead of the replay")
            << "1 2 drop s1+ 4 3 4 5" << QList<qint64>{1, 2, 4, 3, 5} << qint64(2);
        QTest::newRow("replay from before the resume point")
            << "1 2 3 drop s1+ 2 3 4" << QList<qint64>{1, 2, 3, 4} << qint64(3);
        QTest::newRow("two drops, replays overlapping")
            << "1 drop s1+ 3 2 drop s1+ 2 3 4" << QList<qint64>{1, 3, 2, 4} << qint64(3);
        QTest::newRow("same number twice on one connection") << "1 1 2" << QList<qint64>{1, 2} << qint64(0);
        QTest::newRow("fresh session numbers again")
            << "1 2 drop s2 1 2 drop s2+" << QList<qint64>{1, 2, 1, 2} << qint64(2);
        QTest::newRow("invalid session numbers again")
            << "1 2 invalid drop s2 2 1" << QList<qint64>{1, 2, 2, 1} << qint64(0);
        QTest::newRow("events without a number all passed on") << "- - 1 -" << QList<qint64>{0, 0, 1, 0} << qint64(0);
    }

    void eachNumberPassedOnOncePerSession()
    {
        QFETCH(QString, script);
        QFETCH(QList<qint64>, passedOn);
        QFETCH(qint64, resumeSeq);
        Rig rig;
        rig.startAndEstablish("s1");
        QSignalSpy events(&rig.gateway, &GatewayService::eventReceived);
        for (const QString &step : script.split(u' ')) {
            if (step == "drop") {
                QVERIFY(rig.dropAndReopen());
            } else if (step == "invalid") {
                rig.socket.deliverEvent("session-invalid");
            } else if (step.startsWith(u's')) {
                rig.establish(step.chopped(step.endsWith(u'+') ? 1 : 0), step.endsWith(u'+'));
            } else if (step == "-") {
                rig.socket.deliverFrame({{"event", "e"}});
            } else {
                rig.socket.deliverFrame({{"event", "e"}, {"seq", step.toInt()}, {"version", step.toInt()}});
            }
        }
        QList<qint64> versions;
        for (const QList<QVariant> &event : std::as_const(events))
            versions.append(event.at(2).value<qint64>());
        QCOMPARE(versions, passedOn);
        const QList<QJsonObject> resumes = rig.socket.sentEvents("resume");
        QCOMPARE(resumes.isEmpty() ? 0 : resumes.last().value("data").toObject().value("lastSeq").toInteger(),
                 resumeSeq);
    }

    void longGapDoesNotKeepEveryLaterNumber()
    {
        // Event 1 never comes. The record of later numbers is bounded: once far behind
        // the newest, the gap counts as passed (a late 1 is no longer taken), while
        // numbers already seen stay duplicates.
        Rig rig;
        rig.startAndEstablish("s1");
        QSignalSpy events(&rig.gateway, &GatewayService::eventReceived);
        const int count = 10000;
        for (int seq = 2; seq <= count + 1; ++seq)
            rig.socket.deliverFrame({{"event", "e"}, {"seq", seq}});
        QCOMPARE(events.count(), count);
        for (int seq : {1, 2, 5000, count + 1})
            rig.socket.deliverFrame({{"event", "e"}, {"seq", seq}});
        QCOMPARE(events.count(), count);
    }

    void outgoingFrames_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // empty: nothing sent

        QTest::newRow("chat subscribe") << "subscribeRoomChat" << QStringList{"r1"}
                                        << R"({"data":{"roomId":"r1"},"event":"chat-subscribe"})";
        QTest::newRow("chat subscribe, empty id") << "subscribeRoomChat" << QStringList{""} << "";
        QTest::newRow("chat unsubscribe") << "unsubscribeRoomChat" << QStringList{"r\"2"}
                                          << "{\"data\":{\"roomId\":\"r\\\"2\"},\"event\":\"chat-unsubscribe\"}";
        QTest::newRow("chat unsubscribe, empty id") << "unsubscribeRoomChat" << QStringList{""} << "";
        QTest::newRow("profile subscribe") << "subscribeProfiles" << QStringList{"u2", "u1", "u2", ""}
                                           << R"({"data":{"userIds":["u2","u1","u2",""]},"event":"profile-subscribe"})";
        QTest::newRow("profile subscribe, none") << "subscribeProfiles" << QStringList{} << "";
        QTest::newRow("profile unsubscribe") << "unsubscribeProfiles" << QStringList{"u1"}
                                             << R"({"data":{"userIds":["u1"]},"event":"profile-unsubscribe"})";
        QTest::newRow("profile unsubscribe, none") << "unsubscribeProfiles" << QStringList{} << "";
        QTest::newRow("watch") << "watch" << QStringList{"room:1", "channel:2"}
                               << R"({"data":{"targets":["room:1","channel:2"]},"event":"watch"})";
        QTest::newRow("watch, none") << "watch" << QStringList{} << "";
        QTest::newRow("unwatch") << "unwatch" << QStringList{"room:1:private"}
                                 << R"({"data":{"targets":["room:1:private"]},"event":"unwatch"})";
        QTest::newRow("unwatch, none") << "unwatch" << QStringList{} << "";
    }

    void outgoingFrames()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        // The gateway hands commands to the socket whatever the connection state.
        Rig rig;
        GatewayService &g = rig.gateway;
        if (command == "subscribeRoomChat")
            g.subscribeRoomChat(arguments.value(0));
        else if (command == "unsubscribeRoomChat")
            g.unsubscribeRoomChat(arguments.value(0));
        else if (command == "subscribeProfiles")
            g.subscribeProfiles(arguments);
        else if (command == "unsubscribeProfiles")
            g.unsubscribeProfiles(arguments);
        else if (command == "watch")
            g.watch(arguments);
        else if (command == "unwatch")
            g.unwatch(arguments);
        QCOMPARE(rig.socket.sentFrames, expected.isEmpty() ? QStringList() : QStringList{expected});
    }
};

KESTOVA_TEST_MAIN(GatewayServiceTest)
#include "test_gateway_service.moc"
