#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "channel/channel_rooms_watch.h"
#include "channel_test_support.h"
#include "realtime/watch_registry.h"
#include "room/room_entity_store.h"
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

QStringList flatten(const QSignalSpy &spy)
{
    QStringList all;
    for (const QList<QVariant> &arguments : spy)
        all += arguments.at(0).toStringList();
    return all;
}

QJsonObject channelSnapshot(const QString &channelId, const QStringList &roomIds)
{
    return QJsonObject{{"channelId", channelId}, {"roomIds", QJsonArray::fromStringList(roomIds)}};
}

// The channel module with a rooms watch as the wiring builds it: the watch is a
// child of the list service.
struct Fixture
{
    FakeHttpClient http;
    ChannelEntityStore channels;
    ChannelEntityFeed feed{&channels};
    RoomEntityStore rooms;
    WatchRegistry registry;
    ChannelListService list{&http, &channels};
    ChannelRoomsWatch *watch = new ChannelRoomsWatch(&list, &channels, &rooms, &registry, &list);

    Fixture() { list.setWatchRegistry(&registry); }

    void load(const QStringList &ids)
    {
        list.bootstrap();
        http.reply(http.calls.size() - 1, jsonReply(200, QJsonObject{{"channels", QJsonArray::fromStringList(ids)}}));
    }

    // Lets the zero-delay timer run.
    static void turn() { QCoreApplication::processEvents(); }
};

} // namespace

class ChannelRoomsWatchTest : public QObject
{
    Q_OBJECT

private slots:
    void sharedRoomIsHeldOnce()
    {
        Fixture f;
        QSignalSpy watched(&f.registry, &WatchRegistry::watchNeeded);
        QSignalSpy unwatched(&f.registry, &WatchRegistry::unwatchNeeded);
        QSignalSpy removed(&f.rooms, &RoomEntityStore::removed);
        f.load({"c1", "c2"});
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"R", "A"}));
        f.feed.handleBundle("channel:c2", channelSnapshot("c2", {"B", "R"}));
        watched.clear();
        Fixture::turn();

        QCOMPARE(f.watch->heldRoomIds(), (QStringList{"R", "A", "B"}));
        QCOMPARE(flatten(watched), (QStringList{"room:R", "room:A", "room:B"}));
        QCOMPARE(f.rooms.find("R")->refCount, 1);

        // c1 drops R: c2 still lists it, so nothing changes hands.
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"A"}));
        Fixture::turn();
        QCOMPARE(f.watch->heldRoomIds(), (QStringList{"R", "A", "B"}));
        QVERIFY(unwatched.isEmpty());
        QCOMPARE(f.rooms.find("R")->refCount, 1);

        // c2 leaves the list: B and R go, once each.
        f.list.handleGatewayEvent("channel.deleted", json(R"({"channelId": "c2"})"), 0);
        Fixture::turn();
        QCOMPARE(f.watch->heldRoomIds(), QStringList{"A"});
        QCOMPARE(flatten(unwatched).filter("room:"), (QStringList{"room:R", "room:B"}));
        QCOMPARE(removed.count(), 2);
        QCOMPARE(f.rooms.find("R"), nullptr);
        QVERIFY(f.rooms.find("A"));
    }

    void manyChangesOneReconcile()
    {
        Fixture f;
        QSignalSpy watched(&f.registry, &WatchRegistry::watchNeeded);
        LogCapture logs;
        f.load({"c1", "c2", "c3"});
        for (int i = 0; i < 20; ++i) {
            f.feed.handleBundle("channel:c1", channelSnapshot("c1", {QStringLiteral("r%1").arg(i)}));
            f.feed.handleGatewayEvent("channel.room.created", json(R"({"channelId": "c2", "roomId": "shared"})"), 0);
        }
        f.feed.handleBundle("channel:c2", channelSnapshot("c2", {"shared", "r19"}));
        f.feed.handleBundle("channel:c3", channelSnapshot("c3", {"own"}));
        QCOMPARE(logs.count("channel.list", "channel rooms watch reconciled"), 0);
        watched.clear();

        Fixture::turn();

        QCOMPARE(logs.count("channel.list", "channel rooms watch reconciled"), 1);
        QVERIFY(logs.contains("channel.list", "channel rooms watch reconciled held=3 added=3 gone=0"));
        QCOMPARE(watched.count(), 1);
        QCOMPARE(flatten(watched), (QStringList{"room:r19", "room:shared", "room:own"}));
        QCOMPARE(f.rooms.find("r19")->refCount, 1);

        // Nothing new: a reconcile that changes nothing logs nothing.
        f.feed.handleBundle("channel:c3", channelSnapshot("c3", {"own"}));
        Fixture::turn();
        QCOMPARE(logs.count("channel.list", "channel rooms watch reconciled"), 1);
    }

    void channelWithoutSnapshotContributesNothing()
    {
        Fixture f;
        f.load({"c1"});
        f.channels.retain("c1")->roomIds = QStringList{"early"}; // not valid yet
        f.watch->reconcile();
        QVERIFY(f.watch->heldRoomIds().isEmpty());
        QCOMPARE(f.rooms.find("early"), nullptr);

        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"late"}));
        Fixture::turn();
        QCOMPARE(f.watch->heldRoomIds(), QStringList{"late"});
    }

    void unlistedChannelsContributeNothing()
    {
        Fixture f;
        f.load({"c1"});
        f.channels.retain("other");
        f.feed.handleBundle("channel:other", channelSnapshot("other", {"x"}));
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"y"}));
        Fixture::turn();
        QCOMPARE(f.watch->heldRoomIds(), QStringList{"y"});
    }

    void emptyRoomIdsAreNotWatched()
    {
        Fixture f;
        QSignalSpy watched(&f.registry, &WatchRegistry::watchNeeded);
        f.load({"c1"});
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"a"}));
        f.feed.handleGatewayEvent("channel.room.created", json(R"({"channelId": "c1", "roomId": ""})"), 0);
        f.feed.handleGatewayEvent("channel.rooms.reordered", json(R"({"channelId": "c1", "roomIds": ["", "a"]})"), 0);
        watched.clear();
        Fixture::turn();
        QCOMPARE(f.watch->heldRoomIds(), QStringList{"a"});
        QCOMPARE(flatten(watched), QStringList{"room:a"});
    }

    void resetReleasesTheRooms()
    {
        Fixture f;
        QSignalSpy unwatched(&f.registry, &WatchRegistry::unwatchNeeded);
        f.load({"c1"});
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"a", "b"}));
        Fixture::turn();
        f.list.reset();
        Fixture::turn();
        QVERIFY(f.watch->heldRoomIds().isEmpty());
        QCOMPARE(flatten(unwatched), (QStringList{"channel:c1", "room:a", "room:b"}));
        QCOMPARE(f.rooms.find("a"), nullptr);
    }

    // Another holder of the same room keeps it when the watch lets go.
    void otherHoldersKeepTheirRooms()
    {
        Fixture f;
        f.rooms.retain("a");
        f.registry.acquire({"room:a"});
        QSignalSpy unwatched(&f.registry, &WatchRegistry::unwatchNeeded);
        f.load({"c1"});
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {"a"}));
        Fixture::turn();
        QCOMPARE(f.rooms.find("a")->refCount, 2);
        f.feed.handleBundle("channel:c1", channelSnapshot("c1", {}));
        Fixture::turn();
        QCOMPARE(f.rooms.find("a")->refCount, 1);
        QVERIFY(unwatched.isEmpty());
    }
};

KESTOVA_TEST_MAIN(ChannelRoomsWatchTest)
#include "test_channel_rooms_watch.moc"
