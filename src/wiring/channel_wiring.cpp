#include "wiring/service_wiring.h"

#include "auth/login_service.h"
#include "auth/session_service.h"
#include "channel/channel_entity_feed.h"
#include "channel/channel_list_service.h"
#include "channel/channel_rooms_watch.h"
#include "realtime/gateway_service.h"
#include "user/user_state.h"

namespace wiring {

void wireChannelLifecycle(LoginService *login, SessionService *session, ChannelListService *channelList,
                          UserState *user)
{
    if (channelList == nullptr)
        return;
    channelList->setUserIdProvider([user] { return user != nullptr ? user->userId() : QString(); });
    if (login != nullptr)
        QObject::connect(login, &LoginService::loginSucceeded, channelList, &ChannelListService::bootstrap);
    if (session != nullptr) {
        QObject::connect(session, &SessionService::sessionResumed, channelList, &ChannelListService::bootstrap);
        QObject::connect(session, &SessionService::loggedOut, channelList, &ChannelListService::reset);
        QObject::connect(session, &SessionService::sessionExpired, channelList, &ChannelListService::reset);
    }
}

void wireChannelRealtime(GatewayService *gateway, ChannelEntityFeed *channelFeed, ChannelListService *channelList,
                         ChannelEntityStore *channelStore, RoomEntityStore *roomStore, WatchRegistry *watches)
{
    if (channelList == nullptr)
        return;
    if (watches != nullptr) {
        channelList->setWatchRegistry(watches);
        // Holds the rooms of the user's channels; lives as long as the list service.
        if (channelStore != nullptr && roomStore != nullptr)
            new ChannelRoomsWatch(channelList, channelStore, roomStore, watches, channelList);
    }
    if (gateway == nullptr)
        return;
    // The channel feed applies an event before the list service looks at the same event.
    if (channelFeed != nullptr) {
        QObject::connect(gateway, &GatewayService::eventReceived, channelFeed, &ChannelEntityFeed::handleGatewayEvent);
        QObject::connect(gateway, &GatewayService::streamSnapshotReceived, channelFeed,
                         &ChannelEntityFeed::handleBundle);
    }
    QObject::connect(gateway, &GatewayService::eventReceived, channelList, &ChannelListService::handleGatewayEvent);
    QObject::connect(gateway, &GatewayService::resyncRequired, channelList, &ChannelListService::onResync);
}

} // namespace wiring
