#include "ui/panels/my_channel_panel.h"

#include "ui/panels/popup_menu.h"
#include "ui/panels/room_menu_requests.h"

#include <QPointer>

MyChannelPanel::MyChannelPanel(QWidget *parent)
    : BlockListPanel(parent)
{
    connect(this, &BlockListPanel::channelMenuRequested, this, &MyChannelPanel::showChannelContextMenu);
    connect(this, &BlockListPanel::roomMenuRequested, this, &MyChannelPanel::showRoomContextMenu);
    connect(this, &BlockListPanel::roomDoubleClicked, this, &MyChannelPanel::roomEnterRequested);
}

void MyChannelPanel::setMenuStateProvider(std::function<MenuState(const QString &)> provider)
{
    menuStateProvider = std::move(provider);
}

void MyChannelPanel::setRoomStateProvider(std::function<RoomContextMenuBuilder::State(const QString &)> provider)
{
    roomStateProvider = std::move(provider);
}

void MyChannelPanel::showRoomContextMenu(const QString &roomId, const QPoint &globalPos)
{
    if (roomId.isEmpty() || !roomStateProvider)
        return;
    const RoomContextMenuBuilder::State state = roomStateProvider(roomId);
    RoomContextMenuBuilder::exec(this, globalPos, state, panels::roomMenuActions(this, roomId));
}

void MyChannelPanel::showChannelContextMenu(const QString &channelId, const QPoint &globalPos)
{
    if (channelId.isEmpty() || !menuStateProvider)
        return;
    const MenuState state = menuStateProvider(channelId);
    const QPointer<MyChannelPanel> guard(this);
    PopupMenu menu(this);
    menu.addAction(QStringLiteral("频道设置"), [guard, channelId] {
        if (guard)
            emit guard->channelSettingsRequested(channelId);
    });
    if (state.canCreateRoom) {
        menu.addAction(QStringLiteral("创建房间"), [guard, channelId] {
            if (guard)
                emit guard->createRoomRequested(channelId);
        });
    }
    if (!state.ownerLike) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("退出频道"), [guard, channelId] {
            if (guard)
                emit guard->leaveChannelRequested(channelId);
        });
    }
    menu.exec(globalPos);
}
