#pragma once

#include <QString>

class AbstractUserResolver;
class ActiveRoomSession;
class ChannelEntityStore;
class MainStatusBar;
class QObject;
class RequestBannerOverlay;
class RoomApplyService;
class RoomAttachApplyService;
class RoomRequestService;
class UserState;

// The request banners over the chat: join and sub-room requests waiting for the active
// room, with approve and reject for members who may decide, and the user's own join
// and attach applications with cancel and their outcome. The overlay keeps the banners,
// their queue and their countdowns. GUI thread only.
namespace wiring {

// "nickname（username）": the display name, then the cached username in full-width
// brackets (empty when not cached).
QString requesterLabel(AbstractUserResolver *users, const QString &userId);
QString joinRequestText(AbstractUserResolver *users, const QString &userId);
QString attachRequestText(AbstractUserResolver *users, const QString &userId);

// Whether the signed-in user may decide the active room's requests of each kind;
// false when no room is active.
bool canApproveJoinRequests(ActiveRoomSession *activeRoom, UserState *user, ChannelEntityStore *channelStore);
bool canApproveSubroomRequests(ActiveRoomSession *activeRoom, UserState *user, ChannelEntityStore *channelStore);

// Shows the active room's pending requests that the user may decide (replacing the
// texts of those already shown); without an active room clears the incoming banners.
void refreshIncomingRequests(RequestBannerOverlay *overlay, ActiveRoomSession *activeRoom, UserState *user,
                             AbstractUserResolver *users, ChannelEntityStore *channelStore);
// Rewrites the texts of the active room's request banners with the names known now.
void refreshRequestTexts(RequestBannerOverlay *overlay, ActiveRoomSession *activeRoom, AbstractUserResolver *users);

// Joins the overlay to the request services; failures go to `statusBar`, and the name
// timer is a child of `owner`. Nothing without an overlay or an active room session.
void wireRequestBanners(RequestBannerOverlay *overlay, MainStatusBar *statusBar, QObject *owner,
                        ActiveRoomSession *activeRoom, RoomRequestService *requests, RoomApplyService *roomApply,
                        RoomAttachApplyService *roomAttachApply, UserState *user, AbstractUserResolver *users,
                        ChannelEntityStore *channelStore);

} // namespace wiring
