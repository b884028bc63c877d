#include "wiring/channel_panel_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panel_state.h"
#include "wiring/room_panels_feed.h"
#include "wiring/window_views.h"
#include "wiring/wiring_common.h"

#include "channel/channel_actions_service.h"
#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "room/active_room_session.h"
#include "room/room_entity_store.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/shell/i_ui_storage.h"
#include "user/abstract_user_resolver.h"
#include "user/user_state.h"

#include <QInputDialog>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "wiring/picker_wiring.h"

namespace wiring {

namespace {

const ChannelRole *ownRole(ChannelEntityStore *store, const QString &ownUserId, const QString &channelId)
{
    return store != nullptr ? ChannelEntity::memberRole(store->find(channelId), ownUserId) : nullptr;
}

template<class Callback>
Callback guardedFailure(QPointer<MainStatusBar> statusBar, const QString &fixedText)
{
    return [statusBar, fixedText](bool ok, ChannelErrorCode, const QString &message) {
        if (!ok && statusBar)
            showFailure(statusBar, message, fixedText);
    };
}

void promptCreateChannel(QWidget *parent, ChannelActionsService *actions, ChannelListService *channelList,
                         QPointer<MainStatusBar> statusBar)
{
    // The window may go away (a sign-out) while the name is asked for: then nothing is created.
    const QPointer<QWidget> guard = parent;
    bool accepted = false;
    const QString name =
        QInputDialog::getText(parent, QStringLiteral("创建频道"), QStringLiteral("频道名称 (最多 20 字)"),
                              QLineEdit::Normal, QString(), &accepted)
            .trimmed();
    if (!guard || !accepted || name.isEmpty())
        return;
    actions->create(name, [statusBar, channelList](bool ok, const QString &, ChannelErrorCode, const QString &message) {
        if (ok) {
            channelList->bootstrap();
        } else if (statusBar) {
            showFailure(statusBar, message, QStringLiteral("创建频道失败"));
        }
    });
}

} // namespace

QString channelMemberName(AbstractUserResolver *users, const QString &userId)
{
    const QString nickname = users != nullptr ? users->nickname(userId) : QString();
    if (!nickname.isEmpty())
        return nickname;
    // Only a user not yet answered is asked for; one answered without a nickname stays
    // shown by id, or every answer would start the next rebuild.
    if (users != nullptr && !users->isKnown(userId))
        users->request(userId);
    return userId;
}

MyChannelPanel::MenuState channelMenuState(ChannelEntityStore *store, const QString &ownUserId,
                                           const QString &channelId)
{
    MyChannelPanel::MenuState state;
    const ChannelRole *role = ownRole(store, ownUserId, channelId);
    if (role == nullptr)
        return state;
    state.canCreateRoom = channelHasPermission(role, "core.channel.create_attached_room");
    state.ownerLike = role->roleId == -1;
    return state;
}

blocks::BlockListData buildMyChannelPanelState(const ChannelPanelInput &input)
{
    blocks::BlockListData data;
    data.emptyText = QStringLiteral("无频道");
    blocks::BlockSection section;
    for (const QString &channelId : input.channelIds) {
        const ChannelEntity *entity = input.store != nullptr ? input.store->find(channelId) : nullptr;
        const bool known = entity != nullptr && entity->valid;
        blocks::ChannelBlockData block;
        block.channelId = channelId;
        if (!known)
            block.name = QStringLiteral("加载中…");
        else
            block.name = entity->name.isEmpty() ? QStringLiteral("频道") : entity->name;
        block.draggable = true;
        block.expanded = false;
        block.roomsReorderable =
            channelHasPermission(ChannelEntity::memberRole(entity, input.ownUserId), "core.channel.reorder_rooms");
        if (known && input.roomBlock) {
            for (const QString &roomId : entity->roomIds) {
                blocks::RoomBlockData room = input.roomBlock(roomId);
                // A channel orders its rooms itself, not the panel's saved order.
                room.draggable = false;
                block.rooms.append(room);
            }
        }
        section.channels.append(block);
    }
    if (!section.channels.isEmpty()) {
        data.sections.append(section);
        data.hasContent = true;
    }
    return data;
}

void wireChannelPanels(MainWindow *window, ChannelListService *channelList, ChannelEntityStore *channelStore,
                       ChannelActionsService *channelActions, UserState *user, AbstractUserResolver *users,
                       IUiStorage *storage, RoomEntityStore *roomStore, ActiveRoomSession *activeRoom,
                       RoomPanelsFeed *feed)
{
    auto *panel = windowView<MyChannelPanel>(window->myChannelPanel());
    if (panel == nullptr || channelList == nullptr)
        return;
    const auto ownUserId = [user] { return user != nullptr ? user->userId() : QString(); };
    QPointer<MainStatusBar> statusBar = window->statusBar();

    auto *rebuild = new QTimer(panel);
    rebuild->setSingleShot(true);
    rebuild->setInterval(0);
    QObject::connect(rebuild, &QTimer::timeout, panel,
                     [panel, channelList, channelStore, roomStore, activeRoom, users, ownUserId,
                      feed = QPointer<RoomPanelsFeed>(feed)] {
                         ChannelPanelInput input;
                         input.store = channelStore;
                         input.channelIds = channelList->channelIds();
                         input.ownUserId = ownUserId();
                         // The room part, as the room panels see it on this turn.
                         RoomPanelsInput rooms;
                         rooms.store = roomStore;
                         rooms.activeRoomId = activeRoom != nullptr ? activeRoom->activeRoomId() : QString();
                         if (feed) {
                             rooms.ownSpeakers = feed->ownSpeakers();
                             rooms.parentSpeakers = feed->parentSpeakers();
                             rooms.parentBroadcastAllowed = feed->parentBroadcastAllowed();
                         }
                         rooms.displayName = [users](const QString &userId) {
                             return channelMemberName(users, userId);
                         };
                         const ActiveRoomContext context = buildActiveRoomContext(rooms);
                         input.roomBlock = [rooms, context](const QString &roomId) {
                             return buildListRoomBlock(rooms, context, roomId, QString());
                         };
                         panel->setBlocks(buildMyChannelPanelState(input));
                     });
    QObject::connect(channelList, &ChannelListService::listChanged, rebuild, qOverload<>(&QTimer::start));
    if (channelStore != nullptr)
        QObject::connect(channelStore, &ChannelEntityStore::changed, rebuild, qOverload<>(&QTimer::start));
    if (roomStore != nullptr)
        QObject::connect(roomStore, &RoomEntityStore::changed, rebuild, qOverload<>(&QTimer::start));
    // Every rebuild of the room panels (speaking dots, member rows) is followed here.
    if (feed != nullptr)
        QObject::connect(feed, &RoomPanelsFeed::assembleTicked, rebuild, qOverload<>(&QTimer::start));
    rebuild->start();

    if (channelActions != nullptr) {
        QObject::connect(panel, &blocks::BlockListPanel::roomOrderChanged, channelActions,
                         [channelActions, statusBar](const QString &channelId, const QStringList &orderedRoomIds) {
                             channelActions->reorderRooms(channelId, orderedRoomIds,
                                                          guardedFailure<ChannelActionsService::ResultCallback>(
                                                              statusBar, QStringLiteral("调整房间顺序失败")));
                         });
    }
    if (storage != nullptr) {
        panel->setOrder(storage->myChannelOrder());
        QObject::connect(panel, &blocks::BlockListPanel::orderChanged, window,
                         [storage](const QStringList &order) { storage->setMyChannelOrder(order); });
    }
    panel->setMenuStateProvider([channelStore, ownUserId](const QString &channelId) {
        return channelMenuState(channelStore, ownUserId(), channelId);
    });

    if (channelActions != nullptr) {
        QObject::connect(window, &MainWindow::createChannelRequested, panel,
                         [panel, channelActions, channelList, statusBar] {
                             promptCreateChannel(panel, channelActions, channelList, statusBar);
                         });
        QObject::connect(panel, &MyChannelPanel::createRoomRequested, channelActions,
                         [channelActions, statusBar](const QString &channelId) {
                             channelActions->createRoom(channelId, [statusBar](bool ok, const QString &,
                                                                               const QString &, ChannelErrorCode,
                                                                               const QString &message) {
                                 if (!ok && statusBar)
                                     showFailure(statusBar, message, QStringLiteral("创建房间失败"));
                             });
                         });
        QObject::connect(
            panel, &MyChannelPanel::leaveChannelRequested, channelActions,
            [channelActions, statusBar](const QString &channelId) {
                channelActions->leave(channelId, [statusBar](bool ok, ChannelErrorCode code, const QString &message) {
                    if (ok || !statusBar)
                        return;
                    if (code == ChannelErrorCode::OwnerCannotLeave) {
                        statusBar->showTransientMessage(QStringLiteral("频道主不能直接退出, 请先转让频道主或解散频道"),
                                                        MainStatusBar::Normal);
                    } else {
                        showFailure(statusBar, message, QStringLiteral("退出频道失败"));
                    }
                });
            });
    }
    QObject::connect(panel, &MyChannelPanel::channelSettingsRequested, window,
                     [window, channelList, channelStore, channelActions, user, users](const QString &channelId) {
                         openChannelSettings(window, channelId, channelList, channelStore, channelActions, user, users);
                     });
    if (statusBar) {
        QObject::connect(channelList, &ChannelListService::membershipLost, statusBar.data(),
                         [statusBar](const QString &, const QString &reason) {
                             QString text;
                             if (reason == QLatin1String("removed"))
                                 text = QStringLiteral("你已被移出频道");
                             else if (reason == QLatin1String("banned"))
                                 text = QStringLiteral("你已被频道封禁");
                             else if (reason == QLatin1String("deleted"))
                                 text = QStringLiteral("频道已解散");
                             if (!text.isEmpty())
                                 statusBar->showTransientMessage(text, MainStatusBar::Normal);
                         });
    }
}

} // namespace wiring
