#include "ui/panels/my_room_panel.h"

#include "ui/panels/room_menu_requests.h"

MyRoomPanel::MyRoomPanel(QWidget *parent)
    : BlockListPanel(parent)
{
    connect(this, &BlockListPanel::roomDoubleClicked, this, &MyRoomPanel::roomEnterRequested);
    connect(this, &BlockListPanel::roomMenuRequested, this, &MyRoomPanel::showRoomContextMenu);
}

void MyRoomPanel::setRoomStateProvider(std::function<RoomContextMenuBuilder::State(const QString &)> provider)
{
    roomStateProvider = std::move(provider);
}

void MyRoomPanel::showRoomContextMenu(const QString &roomId, const QPoint &globalPos)
{
    if (roomId.isEmpty() || !roomStateProvider)
        return;
    const RoomContextMenuBuilder::State state = roomStateProvider(roomId);
    RoomContextMenuBuilder::exec(this, globalPos, state, panels::roomMenuActions(this, roomId));
}
