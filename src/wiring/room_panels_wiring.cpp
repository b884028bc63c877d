#include "wiring/room_panels_wiring.h"

#include "ui/chat/messages_tab.h"
#include "wiring/chat_wiring_tab.h"
#include "wiring/room_settings_wiring.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "room/active_room_session.h"
#include "room/room_chat_service.h"
#include "room/room_create_service.h"
#include "room/room_entity.h"
#include "room/room_entity_store.h"
#include "room/room_follow_code_service.h"
#include "room/room_list_service.h"
#include "room/room_logging.h"
#include "room/room_moderation_service.h"
#include "room/room_subroom_service.h"
#include "room/room_view_model.h"
#include "ui/chat/mixed_feed_view.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/dialogs/reconnect_prompt.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/panels/popup_menu.h"
#include "user/abstract_user_resolver.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panel_state.h"
#include "wiring/room_panels_feed.h"
#include "wiring/wiring_common.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include <climits>
#include <memory>
#include <optional>

namespace wiring {

namespace {

const QString kKeyDissolve = QStringLiteral("core.room.dissolve");
const QString kKeyManageAttach = QStringLiteral("core.room.manage_attach_to_parent_room");
const QString kKeyApproveSubroom = QStringLiteral("core.room.approve_subroom_attach");
const QString kKeyOverrideBroadcast = QStringLiteral("core.room.override_child_broadcast");
const QString kKeyOverrideChat = QStringLiteral("core.room.override_child_chat");
const QString kKeyFollowCode = QStringLiteral("core.room.manage_follow_code");

QString ownIdOf(const UserState *user)
{
    return user != nullptr ? user->userId() : QString();
}

PermissionContext permissionContextOf(const RoomMenuContext &context)
{
    return {context.activeRoom, context.roomStore, context.channelStore, context.user};
}

bool channelCascade(ChannelEntityStore *channels, const QString &channelId, const QString &userId)
{
    if (channels == nullptr || channelId.isEmpty() || userId.isEmpty())
        return false;
    return channelHasPermission(ChannelEntity::memberRole(channels->find(channelId), userId),
                                "core.channel.cascade_rooms");
}

// The level of a member's role; -1 without a role, with role id 0 or with a role id
// the list does not know.
std::optional<int> roleLevel(const QHash<QString, qint64> &memberRoles, const QList<RoomAclRole> &roles,
                             const QString &userId)
{
    const auto it = memberRoles.constFind(userId);
    if (it == memberRoles.cend() || it.value() == 0)
        return std::nullopt;
    for (const RoomAclRole &role : roles) {
        if (role.roleId == it.value())
            return role.level;
    }
    return std::nullopt;
}

// The views of the window that the room panels are; made here when the window holds
// only its placeholder, and reused when something made them before.
template<typename View>
View *ensureView(MainWindow *window, QWidget *(MainWindow::*get)() const, void (MainWindow::*set)(QWidget *))
{
    if (auto *view = qobject_cast<View *>((window->*get)()))
        return view;
    auto *view = new View;
    (window->*set)(view);
    return view;
}

// The failure of a room service: its message, else the action's fixed text.
template<typename Sender, typename Signal>
void toastFailure(MainWindow *window, Sender *sender, Signal signal, const QString &fixedText)
{
    if (sender == nullptr)
        return;
    MainStatusBar *bar = window->statusBar();
    QObject::connect(sender, signal, bar,
                     [bar, fixedText](RoomErrorCode, const QString &message) { showFailure(bar, message, fixedText); });
}

// The override action of the room menus: a denied flag sends false, a lifted one
// clears the override (no value).
void setChildOverride(RoomSubroomService *subrooms, const QString &childRoomId, bool broadcastField, bool denied)
{
    subrooms->setChildOverride(childRoomId, broadcastField, denied ? std::optional<bool>(false) : std::nullopt);
}

// The room actions shared by the three room panels.
template<typename Panel>
void connectRoomActions(Panel *panel, ActiveRoomSession *activeRoom, RoomModerationService *moderation,
                        RoomSubroomService *subrooms)
{
    if (subrooms != nullptr) {
        QObject::connect(panel, &Panel::detachChildRequested, subrooms, &RoomSubroomService::detachChild);
        QObject::connect(panel, &Panel::detachFromParentRequested, subrooms, &RoomSubroomService::detachFromParent);
        QObject::connect(panel, &Panel::childOverrideToggled, subrooms,
                         [subrooms](const QString &childRoomId, bool broadcastField, bool denied) {
                             setChildOverride(subrooms, childRoomId, broadcastField, denied);
                         });
    }
    if (activeRoom != nullptr)
        QObject::connect(panel, &Panel::leaveRoomRequested, activeRoom, &ActiveRoomSession::leave);
    if (moderation != nullptr)
        QObject::connect(panel, &Panel::dissolveRequested, moderation, &RoomModerationService::dissolve);
}

// The room actions of a list panel (my rooms, my channels): enter and attach as well.
template<typename Panel>
void connectListPanelActions(Panel *panel, ActiveRoomSession *activeRoom, RoomModerationService *moderation,
                             RoomSubroomService *subrooms)
{
    if (activeRoom != nullptr)
        QObject::connect(panel, &Panel::roomEnterRequested, activeRoom, &ActiveRoomSession::join);
    if (subrooms != nullptr)
        QObject::connect(panel, &Panel::attachToRoomRequested, subrooms, &RoomSubroomService::attachToParent);
    connectRoomActions(panel, activeRoom, moderation, subrooms);
}

// Makes the room's chat the current feed of the window's chat tab.
std::function<void(const QString &)> selectChatFeed(MainWindow *window)
{
    return [window = QPointer<MainWindow>(window)](const QString &roomId) {
        if (window && window->messagesTab() != nullptr)
            window->messagesTab()->setCurrentFeed(roomId);
    };
}

// The state of the one-shot reconnect check, shared by its two connections.
struct ReconnectCheck
{
    QPointer<MainWindow> window;
    RoomListService *roomList = nullptr;
    ActiveRoomSession *activeRoom = nullptr;
    UserState *user = nullptr;
    ReconnectQuestion ask;
    QMetaObject::Connection onList;
    QMetaObject::Connection onProfile;

    void stop()
    {
        QObject::disconnect(onList);
        QObject::disconnect(onProfile);
    }
};

QString quoted(const QString &id)
{
    return QLatin1Char('"') + id + QLatin1Char('"');
}

void maybePromptReconnect(ReconnectCheck &check)
{
    const QString roomId = check.roomList->activeRoomId();
    if (roomId.isEmpty()) {
        check.stop();
        qCInfo(lcRoomList).noquote() << "reconnect prompt skip reason=no_active_room";
        return;
    }
    // The room's snapshot has not arrived yet: the next list change tries again.
    if (!check.roomList->isActiveRoomLoaded())
        return;
    // Nobody can be found disconnected before the user's own id is known: the profile's
    // arrival tries again.
    const QString ownId = ownIdOf(check.user);
    if (ownId.isEmpty())
        return;

    check.stop();
    if (!check.roomList->isDisconnectedInActiveRoom(ownId)) {
        qCInfo(lcRoomList).noquote() << QStringLiteral("reconnect prompt skip active_room=") + quoted(roomId)
                                            + QStringLiteral(" reason=not_disconnected");
        return;
    }
    const QList<MyRoomEntry> entries = check.roomList->entries();
    const auto entry =
        std::find_if(entries.cbegin(), entries.cend(), [&roomId](const MyRoomEntry &e) { return e.roomId == roomId; });
    if (entry == entries.cend()) {
        qCInfo(lcRoomList).noquote() << QStringLiteral("reconnect prompt skip active_room=") + quoted(roomId)
                                            + QStringLiteral(" reason=room_not_in_list");
        return;
    }
    const bool othersOnline =
        std::any_of(entry->members.cbegin(), entry->members.cend(),
                    [&ownId](const MyRoomMember &m) { return m.userId != ownId && !m.disconnected; });
    qCInfo(lcRoomList).noquote() << QStringLiteral("reconnect prompt check room_id=") + quoted(roomId)
                                        + QStringLiteral(" others_online=")
                                        + (othersOnline ? QStringLiteral("true") : QStringLiteral("false"));
    if (!othersOnline)
        return;
    const QString shownName = entry->name.isEmpty() ? roomId : entry->name;
    const bool rejoin = check.ask(shownName, check.window.data());
    // The question ran its own event loop: a sign-out or another room meanwhile spends
    // the answer on nothing.
    if (!check.window || check.roomList->activeRoomId() != roomId) {
        qCInfo(lcRoomList).noquote() << QStringLiteral("reconnect prompt dropped room_id=") + quoted(roomId);
        return;
    }
    if (rejoin)
        check.activeRoom->join(roomId);
    else
        check.activeRoom->leaveRoom(roomId);
}

} // namespace

ParticipantContextMenuBuilder::State participantMenuState(const RoomMenuContext &context, const QString &targetUserId)
{
    ParticipantContextMenuBuilder::State state;
    const QString ownId = ownIdOf(context.user);
    RoomViewModel *room = context.activeRoom != nullptr ? context.activeRoom->currentViewModel() : nullptr;
    if (ownId.isEmpty() || room == nullptr)
        return state;

    const bool cascade = channelCascade(context.channelStore, room->channelId(), ownId);
    const QHash<QString, qint64> memberRoles = room->memberRoles();
    const QList<RoomAclRole> roles = room->roles();
    const int ownLevel = cascade ? INT_MAX : roleLevel(memberRoles, roles, ownId).value_or(-1);
    const std::optional<int> targetLevel = roleLevel(memberRoles, roles, targetUserId);
    if (targetLevel.has_value() && *targetLevel >= 0 && *targetLevel < ownLevel) {
        const PermissionContext permissions = permissionContextOf(context);
        state.canVoiceMute = roomPermission(permissions, QString(), QStringLiteral("core.room.mute_voice_members"));
        state.canTextMute = roomPermission(permissions, QString(), QStringLiteral("core.room.mute_text_members"));
        state.canKick = roomPermission(permissions, QString(), QStringLiteral("core.room.kick_members"));
        state.canBan = roomPermission(permissions, QString(), QStringLiteral("core.room.ban_members"));
    }
    state.voiceMuted = room->hasVoiceMute(targetUserId);
    state.textMuted = room->hasTextMute(targetUserId);
    state.invitePlaceholder = false;
    state.gainDb = 0;
    return state;
}

RoomContextMenuBuilder::State roomMenuState(const RoomMenuContext &context, const QString &roomId)
{
    RoomContextMenuBuilder::State state;
    if (roomId.isEmpty())
        return state;

    const QString activeId = context.activeRoom != nullptr ? context.activeRoom->activeRoomId() : QString();
    const RoomEntity *room = context.roomStore != nullptr ? context.roomStore->find(roomId) : nullptr;
    const RoomEntity *active =
        context.roomStore != nullptr && !activeId.isEmpty() ? context.roomStore->find(activeId) : nullptr;
    const QString activeParent = active != nullptr ? active->publicState.parentRoomId : QString();

    if (!activeId.isEmpty()) {
        if (roomId == activeId)
            state.relation = 0;
        else if (room != nullptr && room->publicState.parentRoomId == activeId)
            state.relation = 1;
        else if (!activeParent.isEmpty() && roomId == activeParent)
            state.relation = 2;
        else if (room != nullptr && !activeParent.isEmpty() && room->publicState.parentRoomId == activeParent)
            state.relation = 3;
    }
    state.currentHasParent = !activeParent.isEmpty();

    const QString ownId = ownIdOf(context.user);
    if (!ownId.isEmpty()) {
        const PermissionContext permissions = permissionContextOf(context);
        if (room != nullptr) {
            state.isMember = room->publicState.memberRoles.contains(ownId);
            state.canDissolve = roomPermission(permissions, roomId, kKeyDissolve);
        }
        if (active != nullptr) {
            state.canManageAttach = roomPermission(permissions, activeId, kKeyManageAttach);
            state.canApproveSubroomAttach = roomPermission(permissions, activeId, kKeyApproveSubroom);
            state.canOverrideChildBroadcast = roomPermission(permissions, activeId, kKeyOverrideBroadcast);
            state.canOverrideChildChat = roomPermission(permissions, activeId, kKeyOverrideChat);
            state.canAttachHere = state.canManageAttach && roomId != activeId && activeParent.isEmpty()
                                  && active->publicState.childRoomIds.isEmpty();
            if (state.relation == 1) {
                const RoomChildOverride override = active->publicState.childOverrides.value(roomId);
                state.childBroadcastDenied = override.allowBroadcast == std::optional<bool>(false);
                state.childChatDenied = override.allowChat == std::optional<bool>(false);
            }
        }
    }
    state.chatSubscribed = context.roomChat != nullptr && context.roomChat->followedRoomIds().contains(roomId);
    return state;
}

void assembleRoomPanels(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                        RoomListService *roomList, AbstractUserResolver *users, const RoomPanelsFeed *feed)
{
    RoomPanelsInput input;
    input.store = roomStore;
    input.activeRoomId = activeRoom != nullptr ? activeRoom->activeRoomId() : QString();
    if (roomList != nullptr)
        input.rooms = roomList->entries();
    if (feed != nullptr) {
        input.ownSpeakers = feed->ownSpeakers();
        input.parentSpeakers = feed->parentSpeakers();
        input.parentBroadcastAllowed = feed->parentBroadcastAllowed();
    }
    input.displayName = [users](const QString &userId) { return displayNameFor(users, userId); };

    if (auto *current = qobject_cast<CurrentRoomPanel *>(window->currentRoomPanel()))
        current->setBlocks(buildCurrentRoomPanelState(input));
    if (auto *mine = qobject_cast<MyRoomPanel *>(window->myRoomPanel()))
        mine->setBlocks(buildMyRoomPanelState(input));
}

void refreshRoomActions(const RoomActionsContext &context)
{
    ConnectSettingsTab *tab = context.connectTab;
    ControlPanel *controls = context.window != nullptr ? context.window->controlPanel() : nullptr;
    RoomViewModel *room = context.activeRoom != nullptr ? context.activeRoom->currentViewModel() : nullptr;
    if (room == nullptr) {
        if (tab != nullptr) {
            tab->setInRoom(false);
            tab->setFollowCode(QString(), 0);
            tab->setCanAttach(false);
            tab->setCanManageFollowCode(false);
            tab->setRoomPrefMembers({});
        }
        if (context.window != nullptr) {
            context.window->setInRoom(false);
            context.window->setControlPanelVisible(false);
        }
        if (controls != nullptr) {
            controls->setBroadcastVisible(false);
            controls->setBroadcastAllowed(true);
        }
        return;
    }

    const QString ownId = ownIdOf(context.user);
    if (tab != nullptr) {
        tab->setInRoom(true);
        tab->setFollowCode(room->followCode(), room->followCodeExpiresAtMs());
        const PermissionContext permissions{context.activeRoom, nullptr, context.channelStore, context.user};
        tab->setCanAttach(roomPermission(permissions, QString(), kKeyManageAttach));
        tab->setCanManageFollowCode(roomPermission(permissions, QString(), kKeyFollowCode));
        QList<ConnectSettingsTab::MemberEntry> members;
        const QStringList prefMembers = room->prefMembers();
        members.reserve(prefMembers.size());
        for (const QString &id : prefMembers)
            members.append({id, displayNameFor(context.users, id)});
        tab->setRoomPrefMembers(members);
    }
    if (context.window != nullptr) {
        context.window->setInRoom(true);
        context.window->setControlPanelVisible(true);
    }
    if (controls != nullptr) {
        controls->setBroadcastVisible(!room->parentRoomId().isEmpty());
        controls->setBroadcastAllowed(!room->isSpeechBlocked(ownId));
    }
}

void showMergedFeedMenu(QWidget *anchor, MixedFeedView *feed, const QSet<QString> &hiddenRooms,
                        RoomChatService *roomChat, RoomEntityStore *roomStore, const QPoint &globalPos)
{
    if (roomChat == nullptr || feed == nullptr)
        return;
    PopupMenu menu(anchor);
    bool followedStarted = false;
    for (const RoomChatService::Subscription &sub : roomChat->subscriptions()) {
        QString title;
        if (sub.role == RoomChatService::ActiveRole) {
            title = QStringLiteral("当前");
        } else if (sub.role == RoomChatService::ParentRole) {
            title = QStringLiteral("父房");
        } else if (sub.role == RoomChatService::FollowedRole) {
            if (!followedStarted) {
                menu.addSeparator();
                followedStarted = true;
            }
            const RoomEntity *room = roomStore != nullptr ? roomStore->find(sub.roomId) : nullptr;
            title = room != nullptr ? room->name : QString();
            if (title.isEmpty())
                title = roomChat->subscribedRoomName(sub.roomId);
            if (title.isEmpty())
                title = sub.roomId;
        } else {
            continue;
        }
        const QString roomId = sub.roomId;
        QAction *action = menu.addAction(title, {});
        action->setCheckable(true);
        action->setChecked(!hiddenRooms.contains(roomId));
        QObject::connect(action, &QAction::toggled, feed,
                         [feed, roomId](bool checked) { feed->setRoomVisible(roomId, checked); });
    }
    menu.exec(globalPos);
}

void wireChatDockFollow(MainWindow *window, ActiveRoomSession *activeRoom,
                        std::function<void(const QString &roomId)> selectFeed)
{
    if (activeRoom == nullptr)
        return;
    auto remembered = std::make_shared<QString>();
    QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, window,
                     [window, activeRoom, remembered, selectFeed] {
                         const QString roomId = activeRoom->activeRoomId();
                         if (roomId == *remembered)
                             return;
                         *remembered = roomId;
                         if (roomId.isEmpty())
                             return;
                         window->showChatDock();
                         if (selectFeed)
                             selectFeed(roomId);
                     });
}

void wireReconnectPrompt(MainWindow *window, RoomListService *roomList, ActiveRoomSession *activeRoom, UserState *user,
                         ReconnectQuestion ask)
{
    if (roomList == nullptr || activeRoom == nullptr)
        return;
    auto check = std::make_shared<ReconnectCheck>();
    check->window = window;
    check->roomList = roomList;
    check->activeRoom = activeRoom;
    check->user = user;
    check->ask = std::move(ask);
    // The closures hold the check; stopping it drops both, and the check with them.
    // A weak reference inside keeps the check from owning itself.
    std::weak_ptr<ReconnectCheck> weak = check;
    const auto run = [weak] {
        if (const std::shared_ptr<ReconnectCheck> alive = weak.lock())
            maybePromptReconnect(*alive);
    };
    check->onList = QObject::connect(roomList, &RoomListService::listChanged, window, [check, run] { run(); });
    if (user != nullptr)
        check->onProfile = QObject::connect(user, &UserState::profileApplied, window, run);
}

RoomPanelsFeed *wireRoomPanels(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                               RoomCreateService *roomCreate, RoomModerationService *moderation,
                               RoomChatService *roomChat, RoomFollowCodeService *followCode, RoomListService *roomList,
                               RoomSubroomService *subrooms, UserState *user, AbstractUserResolver *users,
                               ChannelEntityStore *channelStore, IRawDownloader *downloader)
{
    wireRoomCreation(window, roomCreate);

    auto *current =
        ensureView<CurrentRoomPanel>(window, &MainWindow::currentRoomPanel, &MainWindow::setCurrentRoomPanel);
    auto *mine = ensureView<MyRoomPanel>(window, &MainWindow::myRoomPanel, &MainWindow::setMyRoomPanel);
    auto *channels = ensureView<MyChannelPanel>(window, &MainWindow::myChannelPanel, &MainWindow::setMyChannelPanel);
    auto *connectTab =
        ensureView<ConnectSettingsTab>(window, &MainWindow::connectSettingsTab, &MainWindow::setConnectSettingsTab);

    // Providers.
    const RoomMenuContext menus{activeRoom, roomStore, user, channelStore, roomChat};
    current->setSelfIdProvider([user] { return ownIdOf(user); });
    current->setParticipantStateProvider(
        [menus](const QString &userId) { return participantMenuState(menus, userId); });
    const auto roomState = [menus](const QString &roomId) { return roomMenuState(menus, roomId); };
    current->setRoomStateProvider(roomState);
    mine->setRoomStateProvider(roomState);
    channels->setRoomStateProvider(roomState);

    // Room actions of the connection tab and the control panel.
    const RoomActionsContext actions{window, connectTab, activeRoom, user, users, channelStore};
    refreshRoomActions(actions);
    if (activeRoom != nullptr)
        QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, window,
                         [actions] { refreshRoomActions(actions); });
    if (users != nullptr)
        QObject::connect(users, &AbstractUserResolver::userInfoReady, window,
                         [actions] { refreshRoomActions(actions); });

    wireChatDockFollow(window, activeRoom, selectChatFeed(window));
    wireChat<MessagesTab>(window, activeRoom, roomStore, moderation, roomChat, user, users, channelStore, downloader,
                          [window, roomChat, roomStore](const QPoint &globalPos) {
                              MessagesTab *tab = window->messagesTab();
                              MixedFeedView *mixed = tab != nullptr ? tab->mixedFeed() : nullptr;
                              if (mixed != nullptr)
                                  showMergedFeedMenu(tab, mixed, mixed->hiddenRoomIds(), roomChat, roomStore,
                                                     globalPos);
                          });

    // The panel feed.
    auto *feed = new RoomPanelsFeed(window);
    feed->setAssembler([window, activeRoom, roomStore, roomList, users, feed] {
        assembleRoomPanels(window, activeRoom, roomStore, roomList, users, feed);
    });
    if (activeRoom != nullptr)
        QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, feed, &RoomPanelsFeed::markDirty);
    if (roomList != nullptr)
        QObject::connect(roomList, &RoomListService::listChanged, feed, &RoomPanelsFeed::markDirty);
    if (users != nullptr)
        QObject::connect(users, &AbstractUserResolver::userInfoReady, feed, &RoomPanelsFeed::markDirty);
    feed->markDirty();

    if (activeRoom != nullptr)
        QObject::connect(window->controlPanel(), &ControlPanel::disconnectRoomRequested, activeRoom,
                         &ActiveRoomSession::leave);

    // The current-room panel's actions.
    connectRoomActions(current, activeRoom, moderation, subrooms);
    if (moderation != nullptr) {
        QObject::connect(current, &CurrentRoomPanel::kickRequested, moderation, &RoomModerationService::kick);
        QObject::connect(current, &CurrentRoomPanel::forceMuteRequested, moderation, &RoomModerationService::muteVoice);
        QObject::connect(current, &CurrentRoomPanel::banRequested, moderation, &RoomModerationService::ban);
        QObject::connect(current, &CurrentRoomPanel::textMuteRequested, moderation, &RoomModerationService::muteText);
        QObject::connect(current, &CurrentRoomPanel::textUnmuteRequested, moderation,
                         &RoomModerationService::unmuteText);
        QObject::connect(current, &CurrentRoomPanel::forceUnmuteRequested, moderation,
                         &RoomModerationService::unmuteVoice);
    }

    // Failures and notices.
    toastFailure(window, activeRoom, &ActiveRoomSession::enterFailed, QStringLiteral("进入房间失败，请稍后重试"));
    toastFailure(window, activeRoom, &ActiveRoomSession::leaveFailed, QStringLiteral("离开房间失败，请稍后重试"));
    toastFailure(window, moderation, &RoomModerationService::moderationFailed, QStringLiteral("操作失败，请稍后重试"));
    toastFailure(window, subrooms, &RoomSubroomService::subroomFailed, QStringLiteral("子房间操作失败，请稍后重试"));
    if (subrooms != nullptr) {
        MainStatusBar *bar = window->statusBar();
        QObject::connect(subrooms, &RoomSubroomService::attachPending, bar, [bar] {
            bar->showTransientMessage(QStringLiteral("挂载申请已发送，等待对方房间同意"), MainStatusBar::Normal);
        });
    }

    // Follow code.
    if (followCode != nullptr) {
        QObject::connect(connectTab, &ConnectSettingsTab::followCodeAssignRequested, followCode,
                         &RoomFollowCodeService::attach);
        QObject::connect(connectTab, &ConnectSettingsTab::followCodeInvalidateRequested, followCode,
                         &RoomFollowCodeService::detach);
    }
    QObject::connect(connectTab, &ConnectSettingsTab::followCodeCopyRequested, connectTab, [activeRoom] {
        RoomViewModel *room = activeRoom != nullptr ? activeRoom->currentViewModel() : nullptr;
        if (room != nullptr)
            QGuiApplication::clipboard()->setText(room->followCode());
    });
    toastFailure(window, followCode, &RoomFollowCodeService::followCodeFailed,
                 QStringLiteral("跟随码操作失败，请稍后重试"));

    // The room list's own id and the reconnect question after the first list.
    if (roomList != nullptr)
        roomList->setUserIdProvider([user] { return ownIdOf(user); });
    wireReconnectPrompt(window, roomList, activeRoom, user, askReconnect);

    connectListPanelActions(mine, activeRoom, moderation, subrooms);
    connectListPanelActions(channels, activeRoom, moderation, subrooms);

    // A burst of names refreshes the room actions once more on the next turn.
    if (users != nullptr) {
        auto *refreshTimer = new QTimer(window);
        refreshTimer->setSingleShot(true);
        refreshTimer->setInterval(0);
        QObject::connect(refreshTimer, &QTimer::timeout, window, [actions] { refreshRoomActions(actions); });
        QObject::connect(users, &AbstractUserResolver::userInfoReady, refreshTimer, qOverload<>(&QTimer::start));
    }
    return feed;
}

} // namespace wiring
