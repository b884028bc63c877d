#include "net/http_client.h"
#include "realtime/gateway_service.h"
#include "realtime/realtime_assembly.h"
#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_list_service.h"
#include "room/room_view_model.h"
#include "support/loopback_gateway_server.h"
#include "support/loopback_http_server.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using testsupport::LoopbackGatewayServer;
using testsupport::LoopbackHttpServer;
using testsupport::RoomSnapshotBuilder;
using testsupport::ScriptedReply;

class RoomSessionLoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    // The user's list loads, a join is answered "joined", the room is entered through
    // the real gateway's watch answers, and its events reach the session's signals.
    void joinAndEnterThroughTheRealGateway()
    {
        LoopbackHttpServer api;
        QVERIFY(api.listen());
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        api.on("GET", "/v1/rooms/mine", ScriptedReply::json(200, QJsonObject{{"rooms", QJsonArray{"r1"}}}));
        api.on("POST", "/v1/rooms/r1/join", ScriptedReply::json(200, QJsonObject{{"outcome", "joined"}}));

        HttpClient http;
        http.setBaseUrl(api.baseUrl());
        RealtimeAssembly realtime;
        GatewayService *gateway = realtime.gateway();
        gateway->setGatewayUrl(server.gatewayUrl());
        gateway->setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("token")); });
        WatchRegistry watches;
        watches.connectGateway(gateway);

        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        RoomAdapterRegistry registry(&store);
        connect(gateway, &GatewayService::eventReceived, &feed, &RoomEntityFeed::onGatewayEvent);
        connect(gateway, &GatewayService::streamSnapshotReceived, &feed, &RoomEntityFeed::onStreamSnapshot);

        RoomListService list(&http, &store);
        list.setWatchRegistry(&watches);
        list.setUserIdProvider([] { return QStringLiteral("me"); });
        ActiveRoomSession session(&http, &store, &feed, &registry);
        session.setWatchRegistry(&watches);
        session.setUserIdProvider([] { return QStringLiteral("me"); });
        session.setSessionIdProvider([gateway] { return gateway->sessionId(); });
        connect(&watches, &WatchRegistry::streamReady, &session, &ActiveRoomSession::onStreamReady);
        connect(&watches, &WatchRegistry::streamDenied, &session, &ActiveRoomSession::onStreamDenied);

        QSignalSpy ready(gateway, &GatewayService::sessionReady);
        gateway->start();
        QTRY_COMPARE(ready.count(), 1);

        // The list holds the room's public stream; the server confirms it.
        QSignalSpy listChanged(&list, &RoomListService::listChanged);
        list.bootstrap();
        QTRY_COMPARE(listChanged.count(), 1);
        QTRY_COMPARE(server.receivedEvents("watch").size(), 1);
        QCOMPARE(server.receivedEvents("watch").at(0).value("data").toObject().value("targets").toArray(),
                 (QJsonArray{"room:r1"}));
        server.sendWatched({{"room:r1", true}});
        const RoomSnapshotBuilder room = RoomSnapshotBuilder("r1").name("lobby").version(3).present({"u2"});
        server.sendStreamSnapshot(room.publicTarget(), room.publicSnapshot());
        QTRY_VERIFY(list.entries().value(0).loaded);

        // Joining sends the gateway's session id; entering only adds the private stream.
        QSignalSpy changed(&session, &ActiveRoomSession::activeRoomChanged);
        session.join("r1");
        QTRY_COMPARE(server.receivedEvents("watch").size(), 2);
        const QJsonObject joinBody = QJsonDocument::fromJson(api.requests().last().body).object();
        QCOMPARE(joinBody.value("sessionId").toString(), server.currentSessionId());
        QCOMPARE(server.receivedEvents("watch").at(1).value("data").toObject().value("targets").toArray(),
                 (QJsonArray{"room:r1:private"}));
        QCOMPARE(session.currentViewModel(), nullptr);
        server.sendWatched({{"room:r1:private", true}});
        QTRY_COMPARE(session.activeRoomId(), QStringLiteral("r1"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(session.currentViewModel()->roomName(), QStringLiteral("lobby"));

        // The room's events through the gateway: the own presence is no member arrival.
        QSignalSpy joined(&session, &ActiveRoomSession::memberJoined);
        server.sendEvent("room.presence.joined", {{"roomId", "r1"}, {"userId", "me"}}, 1, 4);
        server.sendEvent("room.presence.joined", {{"roomId", "r1"}, {"userId", "u3"}}, 2, 5);
        QTRY_COMPARE(joined.count(), 1);
        QCOMPARE(joined.at(0).at(0).toString(), QStringLiteral("u3"));

        // Being kicked leaves the view; the list's public watch stays.
        server.sendEvent("room.member.kicked", {{"roomId", "r1"}, {"userId", "me"}}, 3, 6);
        QTRY_COMPARE(session.activeRoomId(), QString());
        QTRY_COMPARE(server.receivedEvents("unwatch").size(), 1);
        QCOMPARE(server.receivedEvents("unwatch").at(0).value("data").toObject().value("targets").toArray(),
                 (QJsonArray{"room:r1:private"}));
        QVERIFY(store.find("r1"));

        gateway->stop();
    }
};

KESTOVA_TEST_MAIN(RoomSessionLoopbackTest)
#include "test_room_session_loopback.moc"
