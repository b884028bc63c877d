#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "channel_test_support.h"
#include "realtime/watch_registry.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QSignalSpy>

using channeltest::json;
using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

const QString kListPath = QStringLiteral("/v1/channels");

HttpResponse channelsReply(const QStringList &ids)
{
    return jsonReply(200, QJsonObject{{"channels", QJsonArray::fromStringList(ids)}});
}

// A list service with its store, a watch registry without a gateway and the own user "me".
struct Fixture
{
    FakeHttpClient http;
    ChannelEntityStore store;
    WatchRegistry registry;
    ChannelListService list{&http, &store};

    Fixture()
    {
        list.setWatchRegistry(&registry);
        list.setUserIdProvider([] { return QStringLiteral("me"); });
    }

    // Bootstraps and answers with `ids`.
    void load(const QStringList &ids)
    {
        list.bootstrap();
        http.reply(http.calls.size() - 1, channelsReply(ids));
    }
};

QStringList flatten(const QSignalSpy &spy)
{
    QStringList all;
    for (const QList<QVariant> &arguments : spy)
        all += arguments.at(0).toStringList();
    return all;
}

} // namespace

class ChannelListServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void loadKeepsOrderAndDropsEmptyAndRepeatedIds()
    {
        Fixture f;
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        QSignalSpy watched(&f.registry, &WatchRegistry::watchNeeded);
        LogCapture logs;
        f.list.bootstrap();
        QCOMPARE(f.http.calls.size(), 1);
        QCOMPARE(f.http.calls.at(0).method, HttpMethod::Get);
        QCOMPARE(f.http.calls.at(0).path, kListPath);

        f.http.reply(0, jsonReply(200, json(R"({"channels": ["a", "", "b", "a", 7, "B"]})")));

        QCOMPARE(f.list.channelIds(), (QStringList{"a", "b", "B"}));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(watched.count(), 1);
        QCOMPARE(flatten(watched), (QStringList{"channel:a", "channel:b", "channel:B"}));
        for (const char *id : {"a", "b", "B"}) {
            QVERIFY(f.store.find(id));
            QVERIFY(!f.store.find(id)->valid);
        }
        QVERIFY(logs.contains("channel.list", "my channels loaded count=3"));
    }

    void reloadWatchesOnlyTheDifference()
    {
        Fixture f;
        f.load({"a", "b"});
        QSignalSpy watched(&f.registry, &WatchRegistry::watchNeeded);
        QSignalSpy unwatched(&f.registry, &WatchRegistry::unwatchNeeded);
        QSignalSpy removed(&f.store, &ChannelEntityStore::removed);
        const ChannelEntity *b = f.store.find("b");

        f.load({"b", "c"});

        QCOMPARE(flatten(watched), QStringList{"channel:c"});
        QCOMPARE(flatten(unwatched), QStringList{"channel:a"});
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QString("a"));
        QCOMPARE(f.store.find("b"), b);
    }

    void retryDelays()
    {
        Fixture f;
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        LogCapture logs;
        const QList<int> expected{1000, 2000, 4000, 8000, 16000, 30000, 30000};
        for (qsizetype i = 0; i < expected.size(); ++i) {
            f.list.bootstrap();
            QVERIFY(!f.list.pendingRetryDelayMs());
            f.http.reply(i, i % 2 ? testsupport::timedOutReply() : jsonReply(0));
            QCOMPARE(f.list.pendingRetryDelayMs(), std::optional<int>(expected.at(i)));
        }
        QVERIFY(logs.contains("channel.list", "list my channels retry scheduled attempt=7 delay_ms=30000"));
        QVERIFY(logs.contains("channel.list", "list my channels failed status=0"));

        // A success starts the count again.
        f.list.bootstrap();
        f.http.reply(expected.size(), channelsReply({"a"}));
        f.list.bootstrap();
        f.http.reply(expected.size() + 1, jsonReply(502));
        QCOMPARE(f.list.pendingRetryDelayMs(), std::optional<int>(1000));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(f.list.channelIds(), QStringList{"a"});
    }

    void retryRunsOnTheTimer()
    {
        Fixture f;
        f.list.setRetryUnitMs(1);
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        f.list.bootstrap();
        f.http.reply(0, jsonReply(503, QJsonObject{{"code", "busy"}}));
        QTRY_COMPARE(f.http.calls.size(), 2);
        f.http.reply(1, channelsReply({"a"}));
        QCOMPARE(f.list.channelIds(), QStringList{"a"});
        QCOMPARE(changed.count(), 1);
        QVERIFY(!f.list.pendingRetryDelayMs());
    }

    void clientErrorsAreNotRetried_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("not found") << 404;
        QTest::newRow("forbidden") << 403;
        QTest::newRow("redirect") << 302;
        QTest::newRow("too many") << 429;
    }

    void clientErrorsAreNotRetried()
    {
        QFETCH(int, status);
        Fixture f;
        f.load({"a"});
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        LogCapture logs;
        f.list.bootstrap();
        f.http.reply(1, jsonReply(status, QJsonObject{{"code", "nope"}}));
        QVERIFY(!f.list.pendingRetryDelayMs());
        QCOMPARE(f.list.channelIds(), QStringList{"a"});
        QCOMPARE(changed.count(), 0);
        QVERIFY(logs.contains("channel.list",
                              QStringLiteral("list my channels failed status=%1 code=\"nope\"").arg(status)));
    }

    void olderRepliesAreIgnored()
    {
        Fixture f;
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        f.list.bootstrap();
        f.list.bootstrap();
        f.http.reply(0, channelsReply({"old"}));
        QVERIFY(f.list.channelIds().isEmpty());
        QCOMPARE(changed.count(), 0);
        f.http.reply(1, channelsReply({"new"}));
        QCOMPARE(f.list.channelIds(), QStringList{"new"});

        // An older failure neither retries nor logs.
        f.list.bootstrap();
        f.list.bootstrap();
        f.http.reply(2, jsonReply(500));
        QVERIFY(!f.list.pendingRetryDelayMs());

        // A reset drops the reply in flight and a pending retry.
        f.http.reply(3, jsonReply(500));
        QVERIFY(f.list.pendingRetryDelayMs());
        f.list.bootstrap();
        f.list.reset();
        QVERIFY(!f.list.pendingRetryDelayMs());
        f.http.reply(4, channelsReply({"late"}));
        QVERIFY(f.list.channelIds().isEmpty());
    }

    void replyAfterTheServiceIsGone()
    {
        FakeHttpClient http;
        ChannelEntityStore store;
        {
            ChannelListService list(&http, &store);
            list.bootstrap();
        }
        http.reply(0, channelsReply({"a"}));
        QCOMPARE(store.find("a"), nullptr);
    }

    void membershipEvents_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QStringList>("listAfter");
        QTest::addColumn<QString>("lostReason"); // empty: no membershipLost
        QTest::addColumn<QString>("gained");     // empty: no membershipGained
        QTest::addColumn<int>("listChanges");

        const QStringList ab{"a", "b"};
        QTest::newRow("own removal") << "channel.member.removed"
                                     << R"({"channelId": "a", "userId": "me"})" << QStringList{"b"} << "removed"
                                     << "" << 1;
        QTest::newRow("other's removal") << "channel.member.removed"
                                         << R"({"channelId": "a", "userId": "you"})" << ab << ""
                                         << "" << 0;
        QTest::newRow("own ban") << "channel.member.banned"
                                 << R"({"channelId": "b", "userId": "me"})" << QStringList{"a"} << "banned"
                                 << "" << 1;
        QTest::newRow("own departure") << "channel.member.left"
                                       << R"({"channelId": "a", "userId": "me"})" << QStringList{"b"} << ""
                                       << "" << 1;
        QTest::newRow("deleted") << "channel.deleted"
                                 << R"({"channelId": "a"})" << QStringList{"b"} << "deleted"
                                 << "" << 1;
        QTest::newRow("deleted, not listed") << "channel.deleted"
                                             << R"({"channelId": "z"})" << ab << ""
                                             << "" << 0;
        QTest::newRow("restored, listed") << "channel.restored"
                                          << R"({"channelId": "a"})" << ab << ""
                                          << "" << 0;
        QTest::newRow("restored, new") << "channel.restored"
                                       << R"({"channelId": "c"})" << QStringList{"a", "b", "c"} << ""
                                       << "c" << 1;
        QTest::newRow("own join") << "channel.member.joined"
                                  << R"({"channelId": "c", "userId": "me"})" << QStringList{"a", "b", "c"} << ""
                                  << "c" << 1;
        QTest::newRow("own join, listed") << "channel.member.joined"
                                          << R"({"channelId": "a", "userId": "me"})" << ab << ""
                                          << "" << 0;
        QTest::newRow("other's join") << "channel.member.joined"
                                      << R"({"channelId": "c", "userId": "you"})" << ab << ""
                                      << "" << 0;
        QTest::newRow("user id letter case") << "channel.member.removed"
                                             << R"({"channelId": "a", "userId": "ME"})" << ab << ""
                                             << "" << 0;
        QTest::newRow("own role change") << "channel.member.role_changed"
                                         << R"({"channelId": "a", "userId": "me"})" << ab << ""
                                         << "" << 0;
        QTest::newRow("empty channel id") << "channel.deleted"
                                          << R"({"channelId": ""})" << ab << ""
                                          << "" << 0;
        QTest::newRow("numeric channel id") << "channel.deleted"
                                            << R"({"channelId": 5})" << ab << ""
                                            << "" << 0;
        QTest::newRow("room event") << "room.member.removed"
                                    << R"({"channelId": "a", "userId": "me"})" << ab << ""
                                    << "" << 0;
    }

    void membershipEvents()
    {
        QFETCH(QString, name);
        QFETCH(QString, payload);
        QFETCH(QStringList, listAfter);
        QFETCH(QString, lostReason);
        QFETCH(QString, gained);
        QFETCH(int, listChanges);

        Fixture f;
        f.load({"a", "b"});
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        QSignalSpy lost(&f.list, &ChannelListService::membershipLost);
        QSignalSpy gainedSpy(&f.list, &ChannelListService::membershipGained);
        QSignalSpy unwatched(&f.registry, &WatchRegistry::unwatchNeeded);
        QSignalSpy watched(&f.registry, &WatchRegistry::watchNeeded);
        // Signals in order: a loss notice comes before the list change.
        QStringList order;
        connect(&f.list, &ChannelListService::membershipLost, this, [&order] { order << "lost"; });
        connect(&f.list, &ChannelListService::membershipGained, this, [&order] { order << "gained"; });
        connect(&f.list, &ChannelListService::listChanged, this, [&order] { order << "list"; });

        f.list.handleGatewayEvent(name, json(payload.toUtf8().constData()), 3);

        QCOMPARE(f.list.channelIds(), listAfter);
        QCOMPARE(changed.count(), listChanges);
        QCOMPARE(lost.count(), lostReason.isEmpty() ? 0 : 1);
        if (!lostReason.isEmpty())
            QCOMPARE(lost.at(0).at(1).toString(), lostReason);
        QCOMPARE(gainedSpy.count(), gained.isEmpty() ? 0 : 1);
        if (!gained.isEmpty())
            QCOMPARE(gainedSpy.at(0).at(0).toString(), gained);
        if (!lostReason.isEmpty())
            QCOMPARE(order, (QStringList{"lost", "list"}));
        if (!gained.isEmpty())
            QCOMPARE(order, (QStringList{"gained", "list"}));

        // Store references and watches follow the list.
        for (const QString &id : QStringList{"a", "b", "c"})
            QCOMPARE(f.store.find(id) != nullptr, listAfter.contains(id));
        QCOMPARE(flatten(unwatched).size() + flatten(watched).size(), listChanges);
    }

    // The list the server read before a membership event must not undo the event: a channel
    // joined (or left) while the load is in flight stays joined (or left) after the reply.
    void eventsDuringALoadSurviveItsReply()
    {
        Fixture f;
        f.load({"a", "gone"});
        f.list.bootstrap();
        f.list.handleGatewayEvent(QStringLiteral("channel.member.joined"), json(R"({"channelId":"new","userId":"me"})"),
                                  4);
        f.list.handleGatewayEvent(QStringLiteral("channel.member.left"), json(R"({"channelId":"gone","userId":"me"})"),
                                  5);
        // Joined and left again while in flight: the last word holds.
        f.list.handleGatewayEvent(QStringLiteral("channel.member.joined"),
                                  json(R"({"channelId":"brief","userId":"me"})"), 6);
        f.list.handleGatewayEvent(QStringLiteral("channel.deleted"), json(R"({"channelId":"brief"})"), 7);
        f.http.reply(f.http.calls.size() - 1, channelsReply({"a", "gone"}));
        QCOMPARE(f.list.channelIds(), (QStringList{"a", "new"}));
        QVERIFY(f.store.find("new"));
        QVERIFY(!f.store.find("gone"));
        QVERIFY(!f.store.find("brief"));

        // Events after the reply are not replayed on the next load's reply.
        f.list.handleGatewayEvent(QStringLiteral("channel.member.left"), json(R"({"channelId":"new","userId":"me"})"),
                                  8);
        f.load({"a", "b"});
        QCOMPARE(f.list.channelIds(), (QStringList{"a", "b"}));
    }

    void ownEventsNeedTheUserIdProvider()
    {
        FakeHttpClient http;
        ChannelEntityStore store;
        ChannelListService list(&http, &store);
        list.bootstrap();
        http.reply(0, channelsReply({"a"}));
        list.handleGatewayEvent("channel.member.removed", json(R"({"channelId": "a", "userId": ""})"), 0);
        list.handleGatewayEvent("channel.member.removed", json(R"({"channelId": "a", "userId": "me"})"), 0);
        QCOMPARE(list.channelIds(), QStringList{"a"});
        list.setUserIdProvider([] { return QStringLiteral("me"); });
        list.handleGatewayEvent("channel.member.removed", json(R"({"channelId": "a", "userId": "me"})"), 0);
        QVERIFY(list.channelIds().isEmpty());
        // Without a watch registry the store references are still taken and given up.
        QCOMPARE(store.find("a"), nullptr);
    }

    void reset()
    {
        Fixture f;
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        f.list.reset();
        QCOMPARE(changed.count(), 0);

        f.load({"a", "b"});
        QSignalSpy unwatched(&f.registry, &WatchRegistry::unwatchNeeded);
        QSignalSpy removed(&f.store, &ChannelEntityStore::removed);
        f.list.reset();
        QVERIFY(f.list.channelIds().isEmpty());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(unwatched.count(), 1);
        QCOMPARE(flatten(unwatched), (QStringList{"channel:a", "channel:b"}));
        QCOMPARE(removed.count(), 2);
        QCOMPARE(f.store.find("a"), nullptr);
    }

    void resyncLoadsAgain()
    {
        Fixture f;
        LogCapture logs;
        f.list.onResync();
        QCOMPARE(f.http.callsTo(kListPath).size(), 1);
        QVERIFY(logs.contains("channel.list", "resync, refetching my channels"));
    }

    void storeChangesOfListedChannelsChangeTheList()
    {
        Fixture f;
        ChannelEntityFeed feed(&f.store);
        f.load({"a"});
        f.store.retain("x"); // held by someone else, not listed
        QSignalSpy changed(&f.list, &ChannelListService::listChanged);
        feed.handleBundle("channel:x", json(R"({"channelId": "x"})"));
        QCOMPARE(changed.count(), 0);
        feed.handleBundle("channel:a", json(R"({"channelId": "a", "name": "A"})"));
        QCOMPARE(changed.count(), 1);
    }

    // The feed is connected first, so a member event reaches the record before the list reacts.
    void feedThenListOnOneEvent()
    {
        Fixture f;
        ChannelEntityFeed feed(&f.store);
        f.load({"a"});
        feed.handleBundle("channel:a", json(R"({"channelId": "a", "members": [{"userId": "me"}, {"userId": "you"}]})"));
        QSignalSpy lost(&f.list, &ChannelListService::membershipLost);
        QSignalSpy removed(&f.store, &ChannelEntityStore::removed);
        const QJsonObject payload = json(R"({"channelId": "a", "userId": "me", "byUserId": "you"})");
        feed.handleGatewayEvent("channel.member.banned", payload, 4);
        QCOMPARE(f.store.find("a")->bans.size(), 1);
        f.list.handleGatewayEvent("channel.member.banned", payload, 4);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(f.store.find("a"), nullptr);
    }
};

KESTOVA_TEST_MAIN(ChannelListServiceTest)
#include "test_channel_list_service.moc"
