#pragma once

#include "ui/settings/room_settings_dialog.h"

#include <QString>

class AbstractUserResolver;
class ChannelEntityStore;
class GatewayService;
class MainWindow;
class RoomAdapterRegistry;
class RoomChatService;
class RoomCreateConfigService;
class RoomCreateService;
class RoomEntityStore;
class RoomSettingsService;
class RoomViewModel;
class UserState;

// The room settings dialog and the editor of saved room-creation configurations, with
// the room creation requests of the main window and the connection tab. GUI thread only.
namespace wiring {

// The signed-in user's nickname followed by "的房间".
QString defaultRoomName(UserState *user);

// Opens a new editor of the saved room-creation configurations with `index` selected
// (-1: the none row). Window-modal; deletes itself on close.
void openCreateConfigEditor(MainWindow *window, RoomCreateConfigService *configs, UserState *user, int index);

// The room creation requests of the connection tab and of the main window's menus, and
// their failures. Made by the room panels' wiring once per main window.
void wireRoomCreation(MainWindow *window, RoomCreateService *roomCreate);

// Opens a new settings dialog for the room, filled from the store and refilled on the
// next loop turn after a relevant change. Nothing for an empty room id.
void openRoomSettings(MainWindow *window, RoomEntityStore *roomStore, RoomAdapterRegistry *adapters,
                      RoomSettingsService *roomSettings, UserState *user, AbstractUserResolver *users,
                      GatewayService *gateway, ChannelEntityStore *channelStore, RoomChatService *roomChat,
                      const QString &roomId);

// The user's fourteen rights in the room; all false until the room's first snapshot.
RoomSettingsDialog::Permissions roomSettingsPermissions(RoomViewModel *room, UserState *user,
                                                        ChannelEntityStore *channelStore);

// The records of the dialog's lists: preference members in the room's order, members in
// user-id order (code units, case-sensitive), roles highest level first.
QList<PrefMemberEntry> roomSettingsPrefMembers(RoomViewModel *room, AbstractUserResolver *users);
QList<MemberEntry> roomSettingsMembers(RoomViewModel *room, AbstractUserResolver *users);
QList<RoleEntry> roomSettingsRoles(RoomViewModel *room, UserState *user, ChannelEntityStore *channelStore);

// The fill steps of an open dialog.
void pushRoomSettingsPermissions(RoomSettingsDialog *dialog, RoomViewModel *room, UserState *user,
                                 ChannelEntityStore *channelStore);
void pushRoomSettingsValues(RoomSettingsDialog *dialog, RoomViewModel *room);
void pushRoomSettingsLists(RoomSettingsDialog *dialog, RoomViewModel *room, AbstractUserResolver *users,
                           UserState *user, ChannelEntityStore *channelStore);

} // namespace wiring
