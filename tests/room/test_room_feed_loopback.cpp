#include "realtime/gateway_service.h"
#include "realtime/realtime_assembly.h"
#include "realtime/watch_registry.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_field_flag.h"
#include "room/room_stream_target.h"
#include "room/room_view_model.h"
#include "support/loopback_gateway_server.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::LoopbackGatewayServer;
using testsupport::RoomSnapshotBuilder;

class RoomFeedLoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    // The feed behind the real gateway: a watched room is filled by its two snapshots,
    // kept current by events, and read through its view model.
    void watchedRoomThroughTheRealGateway()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());

        RealtimeAssembly realtime;
        GatewayService *gateway = realtime.gateway();
        gateway->setGatewayUrl(GatewayService::gatewayUrlForApiBase(server.apiBaseUrl()));
        gateway->setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("token")); });
        WatchRegistry watches;
        watches.connectGateway(gateway);

        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        RoomAdapterRegistry registry(&store);
        connect(gateway, &GatewayService::eventReceived, &feed, &RoomEntityFeed::onGatewayEvent);
        connect(gateway, &GatewayService::streamSnapshotReceived, &feed, &RoomEntityFeed::onStreamSnapshot);

        RoomViewModel *lobby = registry.viewModel("r1");
        QSignalSpy available(lobby, &RoomViewModel::availableChanged);
        QSignalSpy changed(lobby, &RoomViewModel::roomChanged);
        QSignalSpy applied(&feed, &RoomEntityFeed::eventApplied);

        QSignalSpy ready(gateway, &GatewayService::sessionReady);
        gateway->start();
        QTRY_COMPARE(ready.count(), 1);

        // The room is held and its two streams watched.
        store.retain("r1");
        const QStringList targets{publicStreamTarget("r1"), privateStreamTarget("r1")};
        watches.acquire(targets);
        QTRY_COMPARE(server.receivedEvents("watch").size(), 1);
        const QJsonArray watched =
            server.receivedEvents("watch").at(0).value("data").toObject().value("targets").toArray();
        QCOMPARE(watched.size(), 2);
        server.sendWatched({{targets.at(0), true}, {targets.at(1), true}});

        const RoomSnapshotBuilder room = RoomSnapshotBuilder("r1")
                                             .name("lobby")
                                             .version(5)
                                             .present({"u1"})
                                             .memberRole("u1", 1)
                                             .role(1, "member", 1, {"core.room.speak"}, true)
                                             .setting("bitrate", 64000)
                                             .followCode("F-1", 777)
                                             .joinRequest("q1", "u9", 10, 20);
        server.sendStreamSnapshot(room.publicTarget(), room.publicSnapshot());
        server.sendStreamSnapshot(room.privateTarget(), room.privateSnapshot());
        // Another room's stream and a channel stream pass by without effect.
        server.sendStreamSnapshot("channel:c1", QJsonObject{{"channelId", "c1"}});
        server.sendStreamSnapshot("room:r2", RoomSnapshotBuilder("r2").name("other").publicSnapshot());

        QTRY_COMPARE(lobby->followCode(), QStringLiteral("F-1"));
        QCOMPARE(lobby->available(), true);
        QCOMPARE(available.count(), 2); // public, then private snapshot
        QCOMPARE(lobby->roomName(), QStringLiteral("lobby"));
        QCOMPARE(lobby->bitrate(), 64000);
        QCOMPARE(lobby->followCodeExpiresAtMs(), qint64(777));
        QCOMPARE(lobby->pendingJoinRequests().size(), 1);
        QCOMPARE(lobby->isSpeechBlocked("u1"), false);
        QCOMPARE(store.find("r2"), nullptr);

        // Events keep the room current; a stale one is offered and changes nothing.
        changed.clear();
        server.sendEvent("room.presence.joined", {{"roomId", "r1"}, {"userId", "u2"}}, 1, 6);
        server.sendEvent("room.name.changed", {{"roomId", "r1"}, {"newName", "stale"}}, 2, 6);
        server.sendEvent("room.request.approved", {{"roomId", "r1"}, {"requestId", "q1"}}, 3, 7);
        server.sendEvent("im.message.sent", {{"roomId", "r1"}}, 4);
        QTRY_COMPARE(applied.count(), 3);
        QCOMPARE(applied.at(0).at(2).toUInt(), RoomFieldFlag::Presence);
        QCOMPARE(applied.at(1).at(2).toUInt(), 0u);
        QCOMPARE(applied.at(2).at(2).toUInt(), RoomFieldFlag::Requests);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(store.find("r1")->publicState.present, (QStringList{"u1", "u2"}));
        QCOMPARE(lobby->roomName(), QStringLiteral("lobby"));
        QVERIFY(lobby->pendingJoinRequests().isEmpty());
        QCOMPARE(lobby->isSpeechBlocked("u2"), true); // no role yet: nothing lets u2 speak
        QCOMPARE(store.find("r1")->version, qint64(7));

        gateway->stop();
    }
};

KESTOVA_TEST_MAIN(RoomFeedLoopbackTest)
#include "test_room_feed_loopback.moc"
