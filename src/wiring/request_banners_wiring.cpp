#include "wiring/request_banners_wiring.h"

#include "room/active_room_session.h"
#include "room/room_apply_service.h"
#include "room/room_attach_apply_service.h"
#include "room/room_request_service.h"
#include "room/room_view_model.h"
#include "ui/chat/messages_tab.h"
#include "ui/connect/request_banner_overlay.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "user/abstract_user_resolver.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/wiring_common.h"

#include <QTimer>

namespace wiring {

QString requesterLabel(AbstractUserResolver *users, const QString &userId)
{
    // The username is read before the display name asks the resolver for an unknown
    // user; the answer arrives later and the name timer rewrites the banner.
    const QString username = users != nullptr ? users->username(userId) : QString();
    return QStringLiteral("%1（%2）").arg(displayNameFor(users, userId), username);
}

QString joinRequestText(AbstractUserResolver *users, const QString &userId)
{
    return requesterLabel(users, userId) + QStringLiteral("申请加入房间");
}

QString attachRequestText(AbstractUserResolver *users, const QString &userId)
{
    return requesterLabel(users, userId) + QStringLiteral("申请挂载为子房间");
}

bool canApproveJoinRequests(ActiveRoomSession *activeRoom, UserState *user, ChannelEntityStore *channelStore)
{
    return roomPermission({activeRoom, nullptr, channelStore, user}, QString(),
                          QStringLiteral("core.room.approve_requests"));
}

bool canApproveSubroomRequests(ActiveRoomSession *activeRoom, UserState *user, ChannelEntityStore *channelStore)
{
    return roomPermission({activeRoom, nullptr, channelStore, user}, QString(),
                          QStringLiteral("core.room.approve_subroom_attach"));
}

void refreshIncomingRequests(RequestBannerOverlay *overlay, ActiveRoomSession *activeRoom, UserState *user,
                             AbstractUserResolver *users, ChannelEntityStore *channelStore)
{
    const RoomViewModel *room = activeRoom != nullptr ? activeRoom->currentViewModel() : nullptr;
    if (room == nullptr) {
        overlay->clearIncomingRequests();
        return;
    }
    // Nothing is removed here: decided requests leave through the room's events, and a
    // banner already shown only gets its text replaced.
    if (canApproveJoinRequests(activeRoom, user, channelStore)) {
        for (const roomdata::PendingJoinRequest &req : room->pendingJoinRequests())
            overlay->addRequest(req.requestId, RequestBannerOverlay::Join, joinRequestText(users, req.fromUserId),
                                req.createdAt, req.expiresAtMs);
    }
    if (canApproveSubroomRequests(activeRoom, user, channelStore)) {
        for (const roomdata::PendingSubroomRequest &req : room->pendingSubrooms())
            overlay->addRequest(req.requestId, RequestBannerOverlay::Attach, attachRequestText(users, req.fromUserId),
                                req.createdAt, req.expiresAtMs);
    }
}

void refreshRequestTexts(RequestBannerOverlay *overlay, ActiveRoomSession *activeRoom, AbstractUserResolver *users)
{
    const RoomViewModel *room = activeRoom != nullptr ? activeRoom->currentViewModel() : nullptr;
    if (room == nullptr)
        return;
    for (const roomdata::PendingJoinRequest &req : room->pendingJoinRequests())
        overlay->setRequestText(req.requestId, joinRequestText(users, req.fromUserId));
    for (const roomdata::PendingSubroomRequest &req : room->pendingSubrooms())
        overlay->setRequestText(req.requestId, attachRequestText(users, req.fromUserId));
}

namespace {

QString ownJoinPendingText(const QString &room)
{
    return QStringLiteral("你已申请加入%1房间，请等待管理员审核").arg(room);
}

QString ownAttachPendingText(const QString &parent)
{
    return QStringLiteral("你已申请将本房挂载到%1房间，请等待管理员审核").arg(parent);
}

} // namespace

void wireRequestBanners(RequestBannerOverlay *overlay, MainStatusBar *statusBar, QObject *owner,
                        ActiveRoomSession *activeRoom, RoomRequestService *requests, RoomApplyService *roomApply,
                        RoomAttachApplyService *roomAttachApply, UserState *user, AbstractUserResolver *users,
                        ChannelEntityStore *channelStore)
{
    if (overlay == nullptr || activeRoom == nullptr)
        return;

    refreshIncomingRequests(overlay, activeRoom, user, users, channelStore);
    QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, overlay,
                     [=] { refreshIncomingRequests(overlay, activeRoom, user, users, channelStore); });
    QObject::connect(activeRoom, &ActiveRoomSession::joinRequestAdded, overlay,
                     [=](const roomdata::PendingJoinRequest &req) {
                         if (canApproveJoinRequests(activeRoom, user, channelStore))
                             overlay->addRequest(req.requestId, RequestBannerOverlay::Join,
                                                 joinRequestText(users, req.fromUserId), req.createdAt,
                                                 req.expiresAtMs);
                     });
    QObject::connect(activeRoom, &ActiveRoomSession::subroomRequestAdded, overlay,
                     [=](const roomdata::PendingSubroomRequest &req) {
                         if (canApproveSubroomRequests(activeRoom, user, channelStore))
                             overlay->addRequest(req.requestId, RequestBannerOverlay::Attach,
                                                 attachRequestText(users, req.fromUserId), req.createdAt,
                                                 req.expiresAtMs);
                     });
    QObject::connect(activeRoom, &ActiveRoomSession::requestResolved, overlay,
                     [overlay, users](const QString &requestId, const QString &byUserId, bool approved) {
                         overlay->resolveRequest(requestId, requesterLabel(users, byUserId), approved);
                     });
    QObject::connect(activeRoom, &ActiveRoomSession::requestRemoved, overlay, &RequestBannerOverlay::removeRequest);

    // A click only sends the decision; the banner changes when the room's events report it.
    if (requests != nullptr) {
        QObject::connect(overlay, &RequestBannerOverlay::approveClicked, requests,
                         [requests](const QString &requestId, RequestBannerOverlay::Kind kind) {
                             if (kind == RequestBannerOverlay::Join)
                                 requests->approveJoin(requestId);
                             else
                                 requests->approveSubroom(requestId);
                         });
        QObject::connect(overlay, &RequestBannerOverlay::rejectClicked, requests,
                         [requests](const QString &requestId, RequestBannerOverlay::Kind kind) {
                             if (kind == RequestBannerOverlay::Join)
                                 requests->rejectJoin(requestId);
                             else
                                 requests->rejectSubroom(requestId);
                         });
    }

    if (roomApply != nullptr) {
        QObject::connect(roomApply, &RoomApplyService::applyCreated, overlay,
                         [overlay](const QString &requestId, const QString &roomId, qlonglong startMs,
                                   qlonglong expiresAtMs) {
                             // An empty expiry text keeps the overlay's own.
                             overlay->addOwnRequest(requestId, ownJoinPendingText(roomId), startMs, expiresAtMs,
                                                    QString());
                         });
        QObject::connect(roomApply, &RoomApplyService::applyNameResolved, overlay,
                         [overlay](const QString &requestId, const QString &roomName) {
                             overlay->setRequestText(requestId, ownJoinPendingText(roomName));
                         });
        QObject::connect(overlay, &RequestBannerOverlay::cancelClicked, roomApply, &RoomApplyService::cancel);
        QObject::connect(roomApply, &RoomApplyService::applyApproved, overlay, [overlay](const QString &requestId) {
            overlay->showNotice(requestId, QStringLiteral("你已加入房间"));
        });
        QObject::connect(roomApply, &RoomApplyService::applyCancelled, overlay, &RequestBannerOverlay::removeRequest);
        QObject::connect(roomApply, &RoomApplyService::applyRejected, overlay,
                         [overlay](const QString &requestId, const QString &roomId, const QString &roomName) {
                             overlay->showNotice(requestId, QStringLiteral("你已被%1房间管理员拒绝")
                                                                .arg(roomName.isEmpty() ? roomId : roomName));
                         });
        QObject::connect(roomApply, &RoomApplyService::applyExpired, overlay, [overlay](const QString &requestId) {
            overlay->showNotice(requestId, QStringLiteral("申请加入已超时"));
        });
    }

    if (roomAttachApply != nullptr) {
        QObject::connect(roomAttachApply, &RoomAttachApplyService::attachApplyCreated, overlay,
                         [overlay](const QString &requestId, const QString &parentRoomId, qlonglong startMs,
                                   qlonglong expiresAtMs) {
                             overlay->addOwnRequest(requestId, ownAttachPendingText(parentRoomId), startMs, expiresAtMs,
                                                    QStringLiteral("挂载申请已超时"));
                         });
        QObject::connect(roomAttachApply, &RoomAttachApplyService::attachNameResolved, overlay,
                         [overlay](const QString &requestId, const QString &parentName) {
                             overlay->setRequestText(requestId, ownAttachPendingText(parentName));
                         });
        // Each service acts only on the ids it tracks, so a cancel goes to both.
        QObject::connect(overlay, &RequestBannerOverlay::cancelClicked, roomAttachApply,
                         &RoomAttachApplyService::cancel);
        QObject::connect(roomAttachApply, &RoomAttachApplyService::attachApproved, overlay,
                         [overlay](const QString &requestId, const QString &parentLabel) {
                             overlay->showNotice(requestId, QStringLiteral("本房已挂载到%1房间").arg(parentLabel));
                         });
        QObject::connect(roomAttachApply, &RoomAttachApplyService::attachRejected, overlay,
                         [overlay](const QString &requestId, const QString &parentLabel) {
                             overlay->showNotice(requestId,
                                                 QStringLiteral("挂载申请已被%1房间管理员拒绝").arg(parentLabel));
                         });
        QObject::connect(roomAttachApply, &RoomAttachApplyService::attachExpired, overlay,
                         [overlay](const QString &requestId) {
                             overlay->showNotice(requestId, QStringLiteral("挂载申请已超时"));
                         });
    }

    if (requests != nullptr) {
        QObject::connect(requests, &RoomRequestService::requestActionFailed, overlay,
                         [statusBar](RoomErrorCode, const QString &msg) {
                             showFailure(statusBar, msg, QStringLiteral("审批操作失败，请稍后重试"));
                         });
    }
    if (roomApply != nullptr) {
        QObject::connect(roomApply, &RoomApplyService::applyFailed, overlay,
                         [statusBar](RoomErrorCode, const QString &msg) {
                             showFailure(statusBar, msg, QStringLiteral("申请加入失败，请稍后重试"));
                         });
    }
    if (roomAttachApply != nullptr) {
        QObject::connect(roomAttachApply, &RoomAttachApplyService::attachApplyFailed, overlay,
                         [statusBar](RoomErrorCode, const QString &msg) {
                             showFailure(statusBar, msg, QStringLiteral("挂载操作失败，请稍后重试"));
                         });
    }

    // Names learnt from the resolver rewrite the banners once per turn of the event loop.
    auto *nameTimer = new QTimer(owner != nullptr ? owner : overlay);
    nameTimer->setSingleShot(true);
    nameTimer->setInterval(0);
    QObject::connect(nameTimer, &QTimer::timeout, overlay,
                     [overlay, activeRoom, users] { refreshRequestTexts(overlay, activeRoom, users); });
    if (users != nullptr) {
        QObject::connect(users, &AbstractUserResolver::userInfoReady, nameTimer, [nameTimer] { nameTimer->start(); });
    }
}

void wireRoomRequests(MainWindow *window, ActiveRoomSession *activeRoom, RoomRequestService *requests,
                      RoomApplyService *roomApply, RoomAttachApplyService *roomAttachApply, UserState *user,
                      AbstractUserResolver *users, ChannelEntityStore *channelStore)
{
    if (window == nullptr)
        return;
    // The overlay belongs to the chat tab; a window without one has no banners to drive.
    MessagesTab *tab = window->messagesTab();
    RequestBannerOverlay *overlay = tab != nullptr ? tab->requestBannerOverlay() : nullptr;
    wireRequestBanners(overlay, window->statusBar(), window, activeRoom, requests, roomApply, roomAttachApply, user,
                       users, channelStore);
}

} // namespace wiring
