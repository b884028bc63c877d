#include "realtime/watch_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_list_service.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::RoomSnapshotBuilder;

namespace {

const QString kMine = QStringLiteral("/v1/rooms/mine");

HttpResponse roomsReply(const QJsonArray &rooms, const QString &active = {})
{
    QJsonObject body{{"rooms", rooms}};
    if (!active.isEmpty())
        body.insert("activeRoomId", active);
    return jsonReply(200, body);
}

struct Fixture
{
    FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    WatchRegistry watches;
    RoomListService list{&http, &store};
    QSignalSpy changed{&list, &RoomListService::listChanged};
    QStringList watchLog; // "+target" / "-target", in order

    Fixture()
    {
        list.setWatchRegistry(&watches);
        list.setUserIdProvider([] { return QStringLiteral("me"); });
        QObject::connect(&watches, &WatchRegistry::watchNeeded, [this](const QStringList &targets) {
            for (const QString &t : targets)
                watchLog << "+" + t;
        });
        QObject::connect(&watches, &WatchRegistry::unwatchNeeded, [this](const QStringList &targets) {
            for (const QString &t : targets)
                watchLog << "-" + t;
        });
    }

    // Loads and answers the latest request.
    void load(const HttpResponse &reply)
    {
        list.bootstrap();
        http.reply(http.calls.size() - 1, reply);
    }

    QStringList listedIds() const
    {
        QStringList ids;
        for (const MyRoomEntry &e : list.entries())
            ids << e.roomId;
        return ids;
    }
};

} // namespace

class RoomListServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void loadReadsRoomsAndActiveRoom()
    {
        Fixture f;
        LogCapture log;
        f.list.bootstrap();
        QCOMPARE(f.http.calls.at(0).method, HttpMethod::Get);
        QCOMPARE(f.http.calls.at(0).path, kMine);
        f.http.reply(0, roomsReply({"a", "", "a", 5, "b"}, "b"));
        QCOMPARE(f.listedIds(), (QStringList{"a", "b"}));
        QCOMPARE(f.list.activeRoomId(), QStringLiteral("b"));
        QCOMPARE(f.changed.count(), 1);
        QCOMPARE(f.watchLog, (QStringList{"+" + publicStreamTarget("a"), "+" + publicStreamTarget("b")}));
        QVERIFY(f.store.find("a") && f.store.find("b"));
        QVERIFY(log.contains("room.list", "my rooms loaded count=2 active_room=\"b\""));
    }

    void oddBodies_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::newRow("no rooms") << QJsonObject{{"activeRoomId", 3}};
        QTest::newRow("rooms not an array") << QJsonObject{{"rooms", "a"}};
        QTest::newRow("only non-strings") << QJsonObject{{"rooms", QJsonArray{1, true, QJsonObject{}}}};
    }

    // A body without a usable list is an empty list: everything is released.
    void oddBodies()
    {
        QFETCH(QJsonObject, body);
        Fixture f;
        f.load(roomsReply({"a"}, "z"));
        f.watchLog.clear();
        f.load(jsonReply(200, body));
        QVERIFY(f.list.entries().isEmpty());
        QCOMPARE(f.list.activeRoomId(), QString());
        QCOMPARE(f.watchLog, (QStringList{"-" + publicStreamTarget("a"), "-" + publicStreamTarget("z")}));
        QCOMPARE(f.store.find("a"), nullptr);
        QCOMPARE(f.changed.count(), 2);
    }

    // 1000, 2000, 4000, 8000, 16000, then 30000 ms; a success starts over.
    void backOffTable()
    {
        Fixture f;
        LogCapture log;
        const int expected[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
        for (int i = 0; i < 7; ++i) {
            f.load(jsonReply(503, {{"code", "busy"}}));
            QVERIFY(f.list.isRetryScheduled());
            const QString line =
                QStringLiteral("list my rooms retry scheduled attempt=%1 delay_ms=%2").arg(i + 1).arg(expected[i]);
            QVERIFY2(log.contains("room.list", line), qPrintable(line));
        }
        QCOMPARE(log.count("room.list", "list my rooms failed status=503 code=\"busy\" net_err=\"\" body="), 7);
        f.load(roomsReply({"a"}));
        QVERIFY(!f.list.isRetryScheduled());
        log.clear();
        f.load(testsupport::timedOutReply());
        QVERIFY(log.contains("room.list", "list my rooms retry scheduled attempt=1 delay_ms=1000"));
        QCOMPARE(f.listedIds(), QStringList{"a"}); // a failure keeps the list
        QCOMPARE(f.changed.count(), 1);
    }

    void retriedOnlyWithoutStatusOrFrom500_data()
    {
        QTest::addColumn<HttpResponse>("reply");
        QTest::addColumn<bool>("retried");
        QTest::newRow("network error") << testsupport::networkErrorReply() << true;
        QTest::newRow("time-out") << testsupport::timedOutReply() << true;
        QTest::newRow("500") << jsonReply(500) << true;
        QTest::newRow("599") << jsonReply(599) << true;
        QTest::newRow("404") << jsonReply(404) << false;
        QTest::newRow("401") << jsonReply(401) << false;
        QTest::newRow("499") << jsonReply(499) << false;
        QTest::newRow("302") << jsonReply(302) << false;
    }

    void retriedOnlyWithoutStatusOrFrom500()
    {
        QFETCH(HttpResponse, reply);
        QFETCH(bool, retried);
        Fixture f;
        LogCapture log;
        f.load(reply);
        QCOMPARE(f.list.isRetryScheduled(), retried);
        QCOMPARE(log.count("room.list", "list my rooms failed status="), 1);
        QCOMPARE(log.contains("room.list", "retry scheduled"), retried);
        QCOMPARE(f.changed.count(), 0);
    }

    // The timer really loads again, on the shortened back-off.
    void retryTimerLoadsAgain()
    {
        Fixture f;
        f.list.setRetryDelays(1, 4);
        f.load(jsonReply(502));
        QTRY_COMPARE(f.http.calls.size(), 2);
        f.http.reply(1, roomsReply({"a"}));
        QCOMPARE(f.listedIds(), QStringList{"a"});
    }

    // A reply overtaken by a newer load is dropped: no log, no retry, no change.
    void staleGenerationsIgnored()
    {
        Fixture f;
        LogCapture log;
        f.list.bootstrap();
        f.list.bootstrap();
        f.http.reply(0, jsonReply(500));
        f.http.reply(0, roomsReply({"old"}));
        QVERIFY(log.entries().isEmpty());
        QVERIFY(!f.list.isRetryScheduled());
        QCOMPARE(f.changed.count(), 0);
        f.http.reply(1, roomsReply({"new"}));
        QCOMPARE(f.listedIds(), QStringList{"new"});

        // A bootstrap cancels a pending retry; attempts keep counting until a success.
        f.load(jsonReply(500));
        f.load(jsonReply(500));
        QVERIFY(log.contains("room.list", "attempt=2 delay_ms=2000"));
    }

    // From A, B to B, C: retain C, unwatch A, watch C, release A; the same list again
    // touches nothing.
    void reconciliationOrder()
    {
        Fixture f;
        f.load(roomsReply({"A", "B"}));
        f.watchLog.clear();
        QStringList order;
        QObject::connect(&f.watches, &WatchRegistry::watchNeeded, [&](const QStringList &t) {
            order << QStringLiteral("watch %1 held=%2").arg(t.join(',')).arg(f.store.find("C") != nullptr);
        });
        QObject::connect(&f.watches, &WatchRegistry::unwatchNeeded, [&](const QStringList &t) {
            order << QStringLiteral("unwatch %1 held=%2").arg(t.join(',')).arg(f.store.find("A") != nullptr);
        });
        QObject::connect(&f.store, &RoomEntityStore::removed, [&](const QString &id) { order << "removed " + id; });
        f.load(roomsReply({"B", "C"}));
        QCOMPARE(order, (QStringList{"unwatch room:A held=1", "watch room:C held=1", "removed A"}));

        order.clear();
        f.load(roomsReply({"B", "C"}));
        QVERIFY(order.isEmpty());
        QCOMPARE(f.changed.count(), 3);
    }

    // The server's active room outside the list is held and relayed, but not listed.
    void heldButUnlistedActiveRoom()
    {
        Fixture f;
        f.load(roomsReply({"a"}, "z"));
        QCOMPARE(f.watchLog, (QStringList{"+room:a", "+room:z"}));
        QCOMPARE(f.listedIds(), QStringList{"a"});
        f.changed.clear();
        f.feed.onStreamSnapshot("room:z",
                                RoomSnapshotBuilder("z").present({"me"}).disconnected({"me"}).publicSnapshot());
        QCOMPARE(f.changed.count(), 1);
        QVERIFY(f.list.isActiveRoomLoaded());
        QVERIFY(f.list.isDisconnectedInActiveRoom("me"));
        QVERIFY(!f.list.isDisconnectedInActiveRoom("u2"));
        QVERIFY(!f.list.isDisconnectedInActiveRoom(""));

        // A room that is neither listed nor active is not relayed, whatever changed.
        f.store.retain("x");
        f.feed.onStreamSnapshot("room:x", RoomSnapshotBuilder("x").name("x").publicSnapshot());
        QCOMPARE(f.changed.count(), 1);
    }

    void reconnectQueriesWithoutActiveRoom()
    {
        Fixture f;
        QVERIFY(!f.list.isActiveRoomLoaded());
        QVERIFY(!f.list.isDisconnectedInActiveRoom("me"));
        f.load(roomsReply({"a"}, "a"));
        QVERIFY(!f.list.isActiveRoomLoaded()); // held, no snapshot yet
    }

    void entriesFromTheStore()
    {
        Fixture f;
        f.load(roomsReply({"a", "b"}));
        f.feed.onStreamSnapshot("room:a", RoomSnapshotBuilder("a")
                                              .name("lobby")
                                              .persistent(true)
                                              .present({"u2", "u1"})
                                              .disconnected({"u1"})
                                              .parent("p")
                                              .child("c1")
                                              .child("c2")
                                              .publicSnapshot());
        const QList<MyRoomEntry> entries = f.list.entries();
        QCOMPARE(entries.size(), 2);
        MyRoomEntry a;
        a.roomId = "a";
        a.name = "lobby";
        a.temporary = false;
        a.loaded = true;
        a.members = {MyRoomMember{"u2", false}, MyRoomMember{"u1", true}};
        a.parentRoomId = "p";
        a.childRoomIds = {"c1", "c2"};
        QCOMPARE(entries.at(0), a);
        MyRoomEntry b;
        b.roomId = "b";
        b.temporary = true; // held, not yet filled: not persistent
        QCOMPARE(entries.at(1), b);
    }

    void gatewayEvents()
    {
        Fixture f;
        LogCapture log;
        f.load(roomsReply({"a", "b"}));
        f.changed.clear();

        f.list.handleGatewayEvent("room.hidden", {{"roomId", "x"}}, 1);
        QCOMPARE(f.changed.count(), 0);
        f.list.handleGatewayEvent("room.hidden", {{"roomId", "a"}}, 1);
        QCOMPARE(f.listedIds(), QStringList{"b"});
        QCOMPARE(f.changed.count(), 1);
        QCOMPARE(f.store.find("a"), nullptr);

        f.list.handleGatewayEvent("room.restored", {}, 0);
        QCOMPARE(f.http.calls.size(), 2);
        QVERIFY(log.contains("room.list", "room restored, refetching my rooms"));

        // Membership: only the own user's, with a room id.
        f.list.handleGatewayEvent("room.membership.changed", {{"roomId", "c"}, {"userId", "u2"}, {"member", true}});
        f.list.handleGatewayEvent("room.membership.changed", {{"roomId", ""}, {"userId", "me"}, {"member", true}});
        f.list.handleGatewayEvent("room.membership.changed", {{"roomId", "b"}, {"userId", "me"}, {"member", true}});
        QCOMPARE(f.http.calls.size(), 2);
        f.list.handleGatewayEvent("room.membership.changed", {{"roomId", "c"}, {"userId", "me"}, {"member", true}});
        QCOMPARE(f.http.calls.size(), 3);
        QVERIFY(log.contains("room.list", "membership gained, refetching my rooms room_id=\"c\""));

        f.list.handleGatewayEvent("room.membership.changed",
                                  {{"roomId", "q"}, {"userId", "me"}, {"member", false}, {"reason", "kicked"}});
        QVERIFY(log.contains("room.list", "membership lost, removing from my rooms room_id=\"q\" reason=\"kicked\""));
        QCOMPARE(f.changed.count(), 1);
        f.list.handleGatewayEvent("room.membership.changed", {{"roomId", "b"}, {"userId", "me"}});
        QVERIFY(f.list.entries().isEmpty());
        QCOMPARE(f.changed.count(), 2);

        f.list.handleGatewayEvent("room.created", {{"roomId", "b"}});
        f.list.onResync();
        QCOMPARE(f.http.calls.size(), 4);
        QVERIFY(log.contains("room.list", "resync, refetching my rooms"));
    }

    void membershipWithoutProviderIgnored()
    {
        FakeHttpClient http;
        RoomEntityStore store;
        RoomListService list(&http, &store);
        list.handleGatewayEvent("room.membership.changed", {{"roomId", "c"}, {"userId", ""}, {"member", true}});
        QVERIFY(http.calls.isEmpty());
    }

    // Logout: nothing of the previous user stays listed, held, watched or retried.
    void resetForgetsTheUser()
    {
        Fixture f;
        f.load(roomsReply({"a"}, "z"));
        f.list.setRetryDelays(1, 1);
        f.load(jsonReply(503));
        QVERIFY(f.list.isRetryScheduled());
        f.list.bootstrap(); // in flight at logout
        f.watchLog.clear();
        f.changed.clear();

        f.list.reset();
        QVERIFY(!f.list.isRetryScheduled());
        QVERIFY(f.list.entries().isEmpty());
        QCOMPARE(f.list.activeRoomId(), QString());
        QCOMPARE(f.watchLog, (QStringList{"-room:a", "-room:z"}));
        QCOMPARE(f.store.find("a"), nullptr);
        QCOMPARE(f.store.find("z"), nullptr);
        QCOMPARE(f.changed.count(), 1);

        f.http.reply(f.http.calls.size() - 1, roomsReply({"old"}));
        QVERIFY(f.list.entries().isEmpty());
        f.list.reset(); // nothing left: no signal
        QCOMPARE(f.changed.count(), 1);

        // The next user's first failure starts the back-off over.
        LogCapture log;
        f.list.setRetryDelays(1000, 30000);
        f.load(jsonReply(500));
        QVERIFY(log.contains("room.list", "attempt=1 delay_ms=1000"));
    }
};

KESTOVA_TEST_MAIN(RoomListServiceTest)
#include "test_room_list_service.moc"
