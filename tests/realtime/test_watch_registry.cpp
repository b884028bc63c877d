#include "fake_socket_client.h"
#include "realtime/gateway_service.h"
#include "realtime/watch_registry.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QSignalSpy>

#include <algorithm>

using testsupport::LogCapture;

namespace {

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QStringList targetsOf(const QSignalSpy &spy, int index)
{
    return spy.at(index).at(0).toStringList();
}

// The targets of every "watch" frame the socket was given, one list per frame.
QList<QStringList> watchFrames(const FakeSocketClient &socket)
{
    QList<QStringList> frames;
    for (const QJsonObject &frame : socket.sentEvents(QStringLiteral("watch"))) {
        QStringList targets;
        for (const QJsonValue &value : frame.value("data").toObject().value("targets").toArray())
            targets.append(value.toString());
        frames.append(sorted(targets));
    }
    return frames;
}

} // namespace

class WatchRegistryTest : public QObject
{
    Q_OBJECT

private slots:
    void acquireAndReleaseCountHolders()
    {
        WatchRegistry registry;
        QSignalSpy needed(&registry, &WatchRegistry::watchNeeded);
        QSignalSpy unneeded(&registry, &WatchRegistry::unwatchNeeded);

        registry.acquire({"room:b", "", "room:a", "room:b"});
        QCOMPARE(needed.count(), 1);
        QCOMPARE(targetsOf(needed, 0), QStringList({"room:b", "room:a"}));

        registry.acquire({"room:a", "channel:c"}); // only the new target is announced
        QCOMPARE(needed.count(), 2);
        QCOMPARE(targetsOf(needed, 1), QStringList({"channel:c"}));

        registry.release({"room:b", "room:a", "room:zz"});
        QCOMPARE(unneeded.count(), 0);
        registry.release({"room:b", "room:a", "channel:c"});
        QCOMPARE(unneeded.count(), 1);
        QCOMPARE(targetsOf(unneeded, 0), QStringList({"room:b", "room:a", "channel:c"}));

        registry.release({"room:b"}); // already gone
        QCOMPARE(unneeded.count(), 1);
        registry.acquire({"room:b"}); // held anew: watched again
        QCOMPARE(needed.count(), 3);
    }

    void watchResults()
    {
        WatchRegistry registry;
        QSignalSpy ready(&registry, &WatchRegistry::streamReady);
        QSignalSpy denied(&registry, &WatchRegistry::streamDenied);
        registry.acquire({"room:1", "room:2"});

        registry.onWatchResult("room:1", true);
        registry.onWatchResult("room:1", true); // every answer is reported
        registry.onWatchResult("room:2", false);
        registry.onWatchResult("room:3", true); // not held
        QCOMPARE(ready.count(), 2);
        QCOMPARE(denied.count(), 1);
        QCOMPARE(denied.at(0).at(0).toString(), QStringLiteral("room:2"));

        registry.release({"room:1"});
        registry.onWatchResult("room:1", true); // arrives after the last release
        QCOMPARE(ready.count(), 2);
    }

    void resolveReportsKnownAnswersLater()
    {
        LogCapture logs;
        WatchRegistry registry;
        QSignalSpy ready(&registry, &WatchRegistry::streamReady);
        QSignalSpy denied(&registry, &WatchRegistry::streamDenied);
        registry.acquire({"room:ready", "room:denied", "room:pending", "room:gone", "room:flips"});
        registry.onWatchResult("room:ready", true);
        registry.onWatchResult("room:denied", false);
        registry.onWatchResult("room:gone", true);
        registry.onWatchResult("room:flips", true);
        ready.clear();
        denied.clear();

        registry.resolve({"room:ready", "room:denied", "room:pending", "room:gone", "room:flips", "room:unheld"});
        QCOMPARE(ready.count() + denied.count(), 0); // not before the caller has returned
        QVERIFY(logs.contains("base.realtime", "resolve on unheld watch target=room:unheld"));
        registry.release({"room:gone"});
        registry.onWatchResult("room:flips", false);
        denied.clear();

        QTRY_COMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0).at(0).toString(), QStringLiteral("room:ready"));
        QCOMPARE(denied.count(), 2);
        QCOMPARE(denied.at(0).at(0).toString(), QStringLiteral("room:denied"));
        QCOMPARE(denied.at(1).at(0).toString(), QStringLiteral("room:flips")); // looked at again when it runs

        // Back to Pending before the queued call runs: nothing.
        ready.clear();
        registry.resolve({"room:ready"});
        registry.rewatchAll();
        QTest::qWait(20);
        QCOMPARE(ready.count(), 0);
    }

    void rewatch()
    {
        WatchRegistry registry;
        registry.acquire({"room:1", "room:2"});
        registry.onWatchResult("room:1", true);
        QSignalSpy needed(&registry, &WatchRegistry::watchNeeded);
        QSignalSpy ready(&registry, &WatchRegistry::streamReady);

        registry.rewatch({"room:9", "room:8"});
        QCOMPARE(needed.count(), 0);
        registry.rewatch({"room:2", "room:9", "room:1"});
        QCOMPARE(needed.count(), 1);
        QCOMPARE(targetsOf(needed, 0), QStringList({"room:2", "room:1"}));

        // Counts and states are untouched: the answer is still known, one release removes.
        registry.resolve({"room:1"});
        QTRY_COMPARE(ready.count(), 1);
        QSignalSpy unneeded(&registry, &WatchRegistry::unwatchNeeded);
        registry.release({"room:1", "room:2"});
        QCOMPARE(unneeded.count(), 1);
    }

    void rewatchAll()
    {
        WatchRegistry registry;
        QSignalSpy needed(&registry, &WatchRegistry::watchNeeded);
        registry.rewatchAll();
        QCOMPARE(needed.count(), 0);

        registry.acquire({"room:1", "channel:2"});
        registry.onWatchResult("room:1", true);
        registry.onWatchResult("channel:2", false);
        needed.clear();
        registry.rewatchAll();
        QCOMPARE(needed.count(), 1);
        QCOMPARE(sorted(targetsOf(needed, 0)), QStringList({"channel:2", "room:1"}));

        // Both are Pending again: resolve has nothing to report.
        QSignalSpy ready(&registry, &WatchRegistry::streamReady);
        QSignalSpy denied(&registry, &WatchRegistry::streamDenied);
        registry.resolve({"room:1", "channel:2"});
        QTest::qWait(20);
        QCOMPARE(ready.count() + denied.count(), 0);
    }

    // With the gateway: a watch is re-sent at a new session unless it already went out
    // on that session or has been answered.
    void unansweredWatchesAreSentAgain_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<bool>("resumed");
        QTest::newRow("while disconnected, resumed") << "disconnected" << true;
        QTest::newRow("while disconnected, fresh") << "disconnected" << false;
        QTest::newRow("before session-established, resumed") << "open" << true;
        QTest::newRow("on the lost session, resumed") << "established" << true;
    }

    void unansweredWatchesAreSentAgain()
    {
        QFETCH(QString, when);
        QFETCH(bool, resumed);
        FakeSocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        timings.reconnectInitialMs = 1;
        timings.reconnectJitterMs = 1;
        gateway.setTimings(timings);
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("t")); });
        auto *registry = new WatchRegistry(&gateway);
        registry->connectGateway(&gateway);

        gateway.start();
        socket.deliverConnected();
        socket.deliverSession("s1", false);
        registry->acquire({"room:answered"});
        registry->onWatchResult("room:answered", true);

        if (when == "established")
            registry->acquire({"room:x"});
        socket.deliverDisconnected();
        if (when == "disconnected")
            registry->acquire({"room:x"});
        QTRY_COMPARE(socket.openedUrls.size(), 2);
        socket.deliverConnected();
        if (when == "open")
            registry->acquire({"room:x"});
        socket.sentFrames.clear();

        socket.deliverSession(resumed ? "s1" : "s2", resumed);
        const QList<QStringList> expected =
            resumed ? QList<QStringList>{{"room:x"}} : QList<QStringList>{{"room:answered", "room:x"}};
        QCOMPARE(watchFrames(socket), expected);

        // Once sent on the established session, a later session-ready on it sends nothing more.
        socket.sentFrames.clear();
        registry->onSessionReady();
        QVERIFY(watchFrames(socket).isEmpty());
    }

    void freshSessionWatchesEachTargetOnce()
    {
        FakeSocketClient socket;
        GatewayService gateway(&socket);
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("t")); });
        auto *registry = new WatchRegistry(&gateway);
        registry->connectGateway(&gateway);
        QSignalSpy ready(registry, &WatchRegistry::streamReady);

        registry->acquire({"room:1", "channel:2"}); // before start: the frame goes nowhere
        gateway.start();
        socket.deliverConnected();
        socket.sentFrames.clear();
        socket.deliverSession("s1", false);
        QCOMPARE(watchFrames(socket), QList<QStringList>({{"channel:2", "room:1"}}));

        socket.deliverEvent("watched", {{"results", QJsonArray{QJsonObject{{"target", "room:1"}, {"ok", true}}}}});
        QCOMPARE(ready.count(), 1);
        registry->release({"room:1", "channel:2"});
        QCOMPARE(socket.sentEvents("unwatch").size(), 1);
    }

    void unwatchWhileDisconnected_data()
    {
        QTest::addColumn<bool>("resumed");
        QTest::addColumn<bool>("reacquired");
        QTest::addColumn<QStringList>("unwatched");
        QTest::newRow("resumed session ends the stream") << true << false << QStringList{"room:2"};
        QTest::newRow("fresh session has nothing to end") << false << false << QStringList{};
        QTest::newRow("held again before the resume") << true << true << QStringList{};
    }

    // A release made while no session is established reaches the session that is resumed.
    void unwatchWhileDisconnected()
    {
        QFETCH(bool, resumed);
        QFETCH(bool, reacquired);
        QFETCH(QStringList, unwatched);
        FakeSocketClient socket;
        GatewayService gateway(&socket);
        GatewayTimings timings;
        timings.reconnectInitialMs = 1;
        timings.reconnectJitterMs = 1;
        gateway.setTimings(timings);
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("t")); });
        auto *registry = new WatchRegistry(&gateway);
        registry->connectGateway(&gateway);

        gateway.start();
        socket.deliverConnected();
        socket.deliverSession("s1", false);
        registry->acquire({"room:1", "room:2"});
        socket.deliverDisconnected();
        registry->release({"room:2"});
        if (reacquired)
            registry->acquire({"room:2"});
        QTRY_COMPARE(socket.openedUrls.size(), 2);
        socket.deliverConnected();
        socket.sentFrames.clear();
        socket.deliverSession(resumed ? "s1" : "s2", resumed);

        QStringList sent;
        for (const QJsonObject &frame : socket.sentEvents("unwatch")) {
            for (const QJsonValue &value : frame.value("data").toObject().value("targets").toArray())
                sent.append(value.toString());
        }
        QCOMPARE(sent, unwatched);
        if (reacquired)
            QCOMPARE(watchFrames(socket), QList<QStringList>({{"room:1", "room:2"}})); // both unanswered

        // Sent once: a later disconnect and resume sends nothing again.
        socket.deliverDisconnected();
        QTRY_COMPARE(socket.openedUrls.size(), 3);
        socket.deliverConnected();
        socket.sentFrames.clear();
        socket.deliverSession(resumed ? "s1" : "s2", true);
        QVERIFY(socket.sentEvents("unwatch").isEmpty());
    }

    void unboundRegistrySendsEveryPendingTargetAtSessionReady()
    {
        WatchRegistry registry;
        registry.acquire({"room:1", "room:2"});
        registry.onWatchResult("room:1", true);
        QSignalSpy needed(&registry, &WatchRegistry::watchNeeded);
        registry.onSessionReady();
        QCOMPARE(needed.count(), 1);
        QCOMPARE(targetsOf(needed, 0), QStringList({"room:2"}));
    }
};

KESTOVA_TEST_MAIN(WatchRegistryTest)
#include "test_watch_registry.moc"
