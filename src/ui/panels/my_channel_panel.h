#pragma once

#include "ui/panels/block_list_panel.h"
#include "ui/panels/room_context_menu_builder.h"

#include <functional>

// The user's channels with their rooms. Right-clicking a channel opens the channel menu,
// a room the room menu; double-clicking a room asks to enter it.
class MyChannelPanel : public blocks::BlockListPanel
{
    Q_OBJECT
public:
    struct MenuState
    {
        // The user may create a room in the channel.
        bool canCreateRoom = false;
        // The user holds the owner's role and cannot leave the channel.
        bool ownerLike = false;
    };

    explicit MyChannelPanel(QWidget *parent = nullptr);

    // An empty function clears the provider; without one the menu that needs it stays away.
    void setMenuStateProvider(std::function<MenuState(const QString &)> provider);
    void setRoomStateProvider(std::function<RoomContextMenuBuilder::State(const QString &)> provider);

signals:
    void channelSettingsRequested(QString channelId);
    void createRoomRequested(QString channelId);
    void leaveChannelRequested(QString channelId);
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
    void showChannelContextMenu(const QString &channelId, const QPoint &globalPos);

    std::function<MenuState(const QString &)> menuStateProvider;
    std::function<RoomContextMenuBuilder::State(const QString &)> roomStateProvider;
};
