#pragma once

#include <QString>

#include "ui/settings/member_entry.h"

#include <QList>

class AbstractUserResolver;
struct ChannelEntity;
class ChannelActionsService;
class ChannelEntityStore;
class ChannelListService;
class ChannelSettingsDialog;
class ConfigWindow;
class MainWindow;
class PreferenceService;
class QWidget;
class RoomSettingsService;
class RoomViewModel;
class UserPickerDialog;
class UserState;

// The user pickers of the preference groups and the channel settings dialog. GUI thread
// only.
namespace wiring {

// The picker of the room's preference group, filled from the room's members and refilled
// on the next loop turn after a change or a failed request. Window-modal; deletes itself
// on close.
void openRoomPrefPicker(QWidget *parent, RoomViewModel *room, const QString &roomId, RoomSettingsService *roomSettings,
                        AbstractUserResolver *users);
void fillRoomPickSource(UserPickerDialog *picker, RoomViewModel *room, AbstractUserResolver *users);

// The picker of a machine-local preference group: its requests go to the group that the
// editor selects at that moment.
void openPrefGroupPicker(ConfigWindow *editor, PreferenceService *preferences);

// The settings dialog of one channel, filled from the channel store and refilled on the
// next loop turn after a change; closed when the user loses the channel.
void openChannelSettings(MainWindow *window, const QString &channelId, ChannelListService *channelList,
                         ChannelEntityStore *channelStore, ChannelActionsService *channelActions, UserState *user,
                         AbstractUserResolver *users);
// The dialog's records: roles highest level first ("*" shown as every channel key), members
// in the channel's own order with the cached nickname, else the user id.
QList<RoleEntry> channelSettingsRoles(const ChannelEntity &entity, const QString &ownUserId);
QList<MemberEntry> channelSettingsMembers(const ChannelEntity &entity, AbstractUserResolver *users);
void refreshChannelSettings(ChannelSettingsDialog *dialog, ChannelEntityStore *channelStore, UserState *user,
                            AbstractUserResolver *users, const QString &channelId);

} // namespace wiring
