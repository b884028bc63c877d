#include "auth/login_service.h"
#include "auth/session_service.h"
#include "match/code_attach_service.h"
#include "match/code_match_service.h"
#include "realtime/gateway_service.h"
#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_apply_service.h"
#include "room/room_attach_apply_service.h"
#include "room/room_chat_service.h"
#include "room/room_create_service.h"
#include "room/room_entity_feed.h"
#include "room/room_list_service.h"
#include "room/room_settings_service.h"
#include "room/room_view_model.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/main/main_window.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/service_wiring.h"

#include <QPointer>

namespace {

// The gateway's current realtime session id, empty before the first session and after a stop.
std::function<QString()> sessionIdOf(GatewayService *gateway)
{
    QPointer<GatewayService> guard(gateway);
    return [guard] { return guard ? guard->sessionId() : QString(); };
}

} // namespace

namespace wiring {

void wireMatchRealtime(GatewayService *gateway, CodeMatchService *codeMatch)
{
    codeMatch->setSessionIdProvider(sessionIdOf(gateway));
}

void wireRoomLifecycle(CodeMatchService *codeMatch, CodeAttachService *codeAttach, RoomCreateService *roomCreate,
                       SessionService *session, ActiveRoomSession *activeRoom, UserState *user,
                       RoomChatService *roomChat, RoomApplyService *roomApply, RoomAttachApplyService *roomAttachApply,
                       LoginService *login, RoomListService *roomList)
{
    QObject::connect(login, &LoginService::loginSucceeded, roomList, [roomList] { roomList->bootstrap(); });
    QObject::connect(session, &SessionService::sessionResumed, roomList, [roomList] { roomList->bootstrap(); });
    QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, roomChat,
                     &RoomChatService::onActiveRoomChanged);
    QObject::connect(login, &LoginService::loginSucceeded, roomChat, [roomChat] { roomChat->fetchSubscriptions(); });
    QObject::connect(session, &SessionService::sessionResumed, roomChat,
                     [roomChat] { roomChat->fetchSubscriptions(); });
    QObject::connect(session, &SessionService::loggedOut, roomChat, &RoomChatService::reset);
    QObject::connect(session, &SessionService::sessionExpired, roomChat, &RoomChatService::reset);

    QPointer<UserState> userGuard(user);
    activeRoom->setUserIdProvider([userGuard] { return userGuard ? userGuard->userId() : QString(); });
    QObject::connect(codeMatch, &CodeMatchService::roomEntering, activeRoom, &ActiveRoomSession::enter);
    QObject::connect(roomCreate, &RoomCreateService::tempRoomEntering, activeRoom, &ActiveRoomSession::enter);
    QObject::connect(session, &SessionService::loggedOut, activeRoom, &ActiveRoomSession::reset);
    QObject::connect(session, &SessionService::sessionExpired, activeRoom, &ActiveRoomSession::reset);
    // The next account starts clean: no rooms of this one listed or watched again, and no
    // join, join by code or created room answered after the sign-out entered.
    QObject::connect(session, &SessionService::loggedOut, roomList, &RoomListService::reset);
    QObject::connect(session, &SessionService::sessionExpired, roomList, &RoomListService::reset);
    QObject::connect(session, &SessionService::loggedOut, codeMatch, &CodeMatchService::reset);
    QObject::connect(session, &SessionService::sessionExpired, codeMatch, &CodeMatchService::reset);
    QObject::connect(session, &SessionService::loggedOut, roomCreate, &RoomCreateService::reset);
    QObject::connect(session, &SessionService::sessionExpired, roomCreate, &RoomCreateService::reset);

    QObject::connect(activeRoom, &ActiveRoomSession::joinNeedsApply, roomApply, &RoomApplyService::beginApply);
    QObject::connect(codeMatch, &CodeMatchService::joinNeedsApply, roomApply, &RoomApplyService::beginApply);
    QObject::connect(roomApply, &RoomApplyService::applyApproved, activeRoom,
                     [activeRoom](const QString &, const QString &roomId) { activeRoom->join(roomId); });
    QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, roomApply, &RoomApplyService::withdrawOnEnter);
    QObject::connect(session, &SessionService::loggedOut, roomApply, &RoomApplyService::reset);
    QObject::connect(session, &SessionService::sessionExpired, roomApply, &RoomApplyService::reset);

    QObject::connect(codeAttach, &CodeAttachService::attachPending, roomAttachApply, &RoomAttachApplyService::track);
    QObject::connect(session, &SessionService::loggedOut, roomAttachApply, &RoomAttachApplyService::reset);
    QObject::connect(session, &SessionService::sessionExpired, roomAttachApply, &RoomAttachApplyService::reset);
}

WatchRegistry *wireRoomRealtime(GatewayService *gateway, RoomEntityFeed *roomFeed, ActiveRoomSession *activeRoom,
                                RoomCreateService *roomCreate, RoomChatService *roomChat, RoomListService *roomList,
                                RoomSettingsService *roomSettings, RoomApplyService *roomApply,
                                RoomAttachApplyService *roomAttachApply)
{
    auto *watches = new WatchRegistry(gateway);
    // Watch and unwatch frames, watch results and the re-watch after a resync, plus the
    // registry's own care of watches that a lost session left unanswered. The re-watch is
    // connected here, before the room services' resync handlers.
    watches->connectGateway(gateway);
    activeRoom->setWatchRegistry(watches);
    roomList->setWatchRegistry(watches);
    roomSettings->setWatchRegistry(watches);

    QObject::connect(gateway, &GatewayService::eventReceived, roomFeed, &RoomEntityFeed::onGatewayEvent);
    QObject::connect(gateway, &GatewayService::streamSnapshotReceived, roomFeed, &RoomEntityFeed::onStreamSnapshot);
    QObject::connect(watches, &WatchRegistry::streamReady, activeRoom, &ActiveRoomSession::onStreamReady);
    QObject::connect(watches, &WatchRegistry::streamDenied, activeRoom, &ActiveRoomSession::onStreamDenied);

    QObject::connect(gateway, &GatewayService::eventReceived, roomChat, &RoomChatService::handleGatewayEvent);
    QObject::connect(gateway, &GatewayService::resyncRequired, roomChat, &RoomChatService::onResync);
    QObject::connect(gateway, &GatewayService::resyncRequired, roomChat, &RoomChatService::fetchSubscriptions);
    QObject::connect(roomChat, &RoomChatService::subscribeRequested, gateway, &GatewayService::subscribeRoomChat);
    QObject::connect(roomChat, &RoomChatService::unsubscribeRequested, gateway, &GatewayService::unsubscribeRoomChat);

    roomCreate->setSessionIdProvider(sessionIdOf(gateway));
    activeRoom->setSessionIdProvider(sessionIdOf(gateway));

    QObject::connect(gateway, &GatewayService::eventReceived, roomList, &RoomListService::handleGatewayEvent);
    QObject::connect(gateway, &GatewayService::resyncRequired, roomList, &RoomListService::onResync);
    QObject::connect(gateway, &GatewayService::eventReceived, roomApply, &RoomApplyService::handleGatewayEvent);
    QObject::connect(gateway, &GatewayService::eventReceived, roomAttachApply,
                     &RoomAttachApplyService::handleGatewayEvent);
    return watches;
}

void wireCodeJoin(MainWindow *window, CodeMatchService *codeMatch, CodeAttachService *codeAttach,
                  ActiveRoomSession *activeRoom)
{
    auto *tab = qobject_cast<ConnectSettingsTab *>(window->connectSettingsTab());
    if (!tab)
        return;
    QObject::connect(tab, &ConnectSettingsTab::joinByCodeRequested, codeMatch, &CodeMatchService::joinByCode);
    QObject::connect(codeMatch, &CodeMatchService::roomEntering, tab, &ConnectSettingsTab::applyCodeSuccess);
    QObject::connect(codeMatch, &CodeMatchService::channelJoined, tab, &ConnectSettingsTab::applyChannelJoined);
    QObject::connect(codeMatch, &CodeMatchService::joinNeedsApply, tab, &ConnectSettingsTab::applyJoinPending);
    QObject::connect(codeMatch, &CodeMatchService::joinByCodeFailed, tab, &ConnectSettingsTab::applyJoinError);
    // The tab's connection ends with the tab, whose window owns it, so the lambda never
    // outlives the window it was made for.
    QObject::connect(tab, &ConnectSettingsTab::attachByCodeRequested, codeAttach,
                     [codeAttach, activeRoom](const QString &code) {
                         RoomViewModel *room = activeRoom->currentViewModel();
                         if (!room)
                             return;
                         codeAttach->attachByCode(code, room->roomId());
                     });
    QObject::connect(codeAttach, &CodeAttachService::attached, tab, &ConnectSettingsTab::applyCodeSuccess);
    QObject::connect(codeAttach, &CodeAttachService::attachPending, tab, &ConnectSettingsTab::applyAttachPending);
    QObject::connect(codeAttach, &CodeAttachService::attachFailed, tab, &ConnectSettingsTab::applyAttachError);
}

} // namespace wiring
