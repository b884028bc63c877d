#pragma once

#include "ui/panels/block_list_panel.h"
#include "ui/panels/room_context_menu_builder.h"

#include <functional>

// The user's rooms. Double-clicking a room asks to enter it; right-clicking a room opens
// the room menu, whose choices leave as request signals.
class MyRoomPanel : public blocks::BlockListPanel
{
    Q_OBJECT
public:
    explicit MyRoomPanel(QWidget *parent = nullptr);

    // An empty function clears the provider; without one no room menu opens.
    void setRoomStateProvider(std::function<RoomContextMenuBuilder::State(const QString &)> provider);

signals:
    void roomEnterRequested(QString roomId);
    void roomSettingsRequested(QString roomId);
    void roomChatSubscribeRequested(QString roomId);
    void leaveRoomRequested();
    void dissolveRequested();
    void detachFromParentRequested();
    void detachChildRequested(QString childRoomId);
    void childOverrideToggled(QString childRoomId, bool broadcastField, bool denied);
    void attachToRoomRequested(QString parentRoomId);

private:
    void showRoomContextMenu(const QString &roomId, const QPoint &globalPos);

    std::function<RoomContextMenuBuilder::State(const QString &)> roomStateProvider;
};
