#pragma once

// One client of the local service as the client builds it: transport, start-up gate,
// sign-in, gateway, and the room, match and channel services wired the way the client
// wires them, so that tests drive the client's own services against the service.
#include "client_core.h"
#include "local_service_rig.h"

#include "auth/login_service.h"
#include "auth/sms_service.h"
#include "channel/channel_assembly.h"
#include "channel/channel_entity_feed.h"
#include "channel/channel_list_service.h"
#include "match/code_match_service.h"
#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_assembly.h"
#include "room/room_chat_service.h"
#include "room/room_create_service.h"
#include "room/room_entity.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_settings_service.h"
#include "room/room_view_model.h"

#include <QSignalSpy>

namespace servertest {

// One client: its transport, sign-in, gateway and room services, joined the way the
// client joins them.
struct Client : ClientCore
{
    explicit Client(const QString &deviceId)
        : ClientCore(deviceId)
    {
        ActiveRoomSession *session = rooms.session();
        registry.connectGateway(&gateway);
        session->setWatchRegistry(&registry);
        session->setUserIdProvider([this] { return auth.sessionStore()->userId(); });
        session->setSessionIdProvider([this] { return gateway.sessionId(); });
        rooms.createService()->setSessionIdProvider([this] { return gateway.sessionId(); });
        rooms.settingsService()->setWatchRegistry(&registry);
        codes.setSessionIdProvider([this] { return gateway.sessionId(); });
        QObject::connect(&registry, &WatchRegistry::streamReady, session, &ActiveRoomSession::onStreamReady);
        QObject::connect(&registry, &WatchRegistry::streamDenied, session, &ActiveRoomSession::onStreamDenied);
        QObject::connect(&gateway, &GatewayService::streamSnapshotReceived, rooms.entityFeed(),
                         &RoomEntityFeed::onStreamSnapshot);
        QObject::connect(&gateway, &GatewayService::eventReceived, rooms.entityFeed(), &RoomEntityFeed::onGatewayEvent);
        QObject::connect(&gateway, &GatewayService::eventReceived, rooms.chatService(),
                         &RoomChatService::handleGatewayEvent);
        QObject::connect(rooms.createService(), &RoomCreateService::tempRoomEntering, session,
                         &ActiveRoomSession::enter);
        QObject::connect(&codes, &CodeMatchService::roomEntering, session, &ActiveRoomSession::enter);
        QObject::connect(session, &ActiveRoomSession::activeRoomChanged, rooms.chatService(),
                         &RoomChatService::onActiveRoomChanged);
        QObject::connect(rooms.chatService(), &RoomChatService::subscribeRequested, &gateway,
                         &GatewayService::subscribeRoomChat);
        QObject::connect(rooms.chatService(), &RoomChatService::unsubscribeRequested, &gateway,
                         &GatewayService::unsubscribeRoomChat);

        ChannelListService *list = channels.listService();
        list->setUserIdProvider([this] { return auth.sessionStore()->userId(); });
        list->setWatchRegistry(&registry);
        QObject::connect(&gateway, &GatewayService::eventReceived, list, &ChannelListService::handleGatewayEvent);
        QObject::connect(&gateway, &GatewayService::eventReceived, channels.entityFeed(),
                         &ChannelEntityFeed::handleGatewayEvent);
        QObject::connect(&gateway, &GatewayService::streamSnapshotReceived, channels.entityFeed(),
                         &ChannelEntityFeed::handleBundle);
    }
    ~Client() { shutDown(); }

    // Who the client's room store holds as present in the room.
    QStringList present(const QString &roomId) const
    {
        const RoomEntity *room = rooms.entityStore()->find(roomId);
        return room ? room->publicState.present : QStringList();
    }

    QString activeRoomId() const
    {
        const RoomViewModel *room = rooms.session()->currentViewModel();
        return room ? room->roomId() : QString();
    }

    WatchRegistry registry;
    RoomAssembly rooms{transport.api(), transport.uploader()};
    CodeMatchService codes{transport.api()};
    ChannelAssembly channels{transport.api()};
    QString userId;
};

// Passes the start-up gate, signs in with the code the service shows, opens the gateway.
inline bool connectClient(ServiceRig &rig, Client &client, const QString &phone)
{
    bool passed = false;
    client.gate.start([&passed] { passed = true; });
    if (!QTest::qWaitFor([&] { return passed; }, kWaitMs))
        return false;
    QSignalSpy codes(rig.service.get(), &localservice::LocalService::codeSent);
    QSignalSpy sent(client.auth.smsService(), &SmsService::sendCodeSucceeded);
    client.auth.smsService()->sendCode(phone);
    if (!QTest::qWaitFor([&] { return sent.size() == 1; }, kWaitMs) || codes.size() != 1)
        return false;
    QSignalSpy succeeded(client.auth.loginService(), &LoginService::loginSucceeded);
    client.auth.loginService()->login(phone, codes.at(0).at(1).toString(), client.legal.versionTag());
    if (!QTest::qWaitFor([&] { return succeeded.size() == 1; }, kWaitMs))
        return false;
    client.userId = succeeded.at(0).at(0).toString();
    QSignalSpy ready(&client.gateway, &GatewayService::sessionReady);
    client.gateway.start();
    return QTest::qWaitFor([&] { return ready.size() == 1; }, kWaitMs);
}

} // namespace servertest
