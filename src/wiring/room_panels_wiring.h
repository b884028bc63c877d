#pragma once

#include "ui/panels/participant_context_menu_builder.h"
#include "ui/panels/room_context_menu_builder.h"

#include <QSet>
#include <QString>

#include <functional>

class AbstractUserResolver;
class ActiveRoomSession;
class ChannelEntityStore;
class ConnectSettingsTab;
class MainWindow;
class MixedFeedView;
class QPoint;
class QWidget;
class RoomChatService;
class RoomEntityStore;
class RoomListService;
class UserState;

// The pieces of the room panel wiring that act on their own: the two context-menu
// rules, the rebuild of the room panels, the room actions pushed into the connection
// tab and the control panel, the chat dock that follows the active room and the
// one-shot reconnect question. GUI thread only.
namespace wiring {

class RoomPanelsFeed;

// What the two menu rules read. Any pointer may be missing; a missing one reads as
// "nothing there".
struct RoomMenuContext
{
    ActiveRoomSession *activeRoom = nullptr;
    RoomEntityStore *roomStore = nullptr;
    UserState *user = nullptr;
    ChannelEntityStore *channelStore = nullptr;
    RoomChatService *roomChat = nullptr;
};

// What the user may do to a member of the active room. A member whose role is not
// strictly below the user's own gets no moderation entry; the channel cascade lifts
// the user's own level above every role.
ParticipantContextMenuBuilder::State participantMenuState(const RoomMenuContext &context, const QString &targetUserId);
// How a room relates to the active room and what the user may do with it there.
RoomContextMenuBuilder::State roomMenuState(const RoomMenuContext &context, const QString &roomId);

// Rebuilds both room panels of the window from the stores: the current-room panel
// first, then the my-rooms panel.
void assembleRoomPanels(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                        RoomListService *roomList, AbstractUserResolver *users, const RoomPanelsFeed *feed);

// Where the room actions are pushed and what they are computed from.
struct RoomActionsContext
{
    MainWindow *window = nullptr;
    ConnectSettingsTab *connectTab = nullptr;
    ActiveRoomSession *activeRoom = nullptr;
    UserState *user = nullptr;
    AbstractUserResolver *users = nullptr;
    ChannelEntityStore *channelStore = nullptr;
};

// Pushes the complete current state of the active room's actions: in-room layout,
// follow code, attach and follow-code rights, preference members, broadcast row.
void refreshRoomActions(const RoomActionsContext &context);

// On every change of the active room to another non-empty room: brings the chat dock
// forward and hands the room id to `selectFeed` (which makes that room's chat current).
// Leaving a room forgets it, so entering it again follows again.
void wireChatDockFollow(MainWindow *window, ActiveRoomSession *activeRoom,
                        std::function<void(const QString &roomId)> selectFeed);

// The merged chat feed's menu at a global position: one check box per subscribed room
// ("当前" for the active room, "父房" for its parent, then each followed room by name
// after a separator), checked unless `hiddenRooms` holds the room; toggling one shows
// or hides the room in `feed`. The room picked for viewing gets no entry; an empty
// menu does not open. Modal: returns when the menu closes.
void showMergedFeedMenu(QWidget *anchor, MixedFeedView *feed, const QSet<QString> &hiddenRooms,
                        RoomChatService *roomChat, RoomEntityStore *roomStore, const QPoint &globalPos);

// Asks whether to rejoin a room; true to rejoin.
using ReconnectQuestion = std::function<bool(const QString &roomName, QWidget *parent)>;

// The one-shot check after the first room list: when the server still lists the user
// as disconnected in its active room while others there are online, asks `ask` and
// joins the room again or leaves it. Runs on every room list change until it has
// decided, and again when the profile arrives, so that a user id learnt late still
// gets the question.
void wireReconnectPrompt(MainWindow *window, RoomListService *roomList, ActiveRoomSession *activeRoom, UserState *user,
                         ReconnectQuestion ask);

} // namespace wiring
