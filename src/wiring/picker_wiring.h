#pragma once

#include <QString>

#include "ui/settings/member_entry.h"
#include "ui/settings/room_member_pick_view.h"

#include <QStringList>

#include <QList>

class AbstractUserResolver;
class ActiveRoomSession;
class RoomListService;
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

// Where the picker of a preference group finds people: the members of the active room
// and of the user's rooms, as the client holds them. Any pointer may be null.
struct PrefPickSources
{
    ActiveRoomSession *activeRoom = nullptr;
    RoomListService *roomList = nullptr;
    UserState *user = nullptr;
    AbstractUserResolver *users = nullptr;
};

// The candidates of a preference group's picker: every user of the sources but the user
// themself, the active room's members first (by role level), then the other rooms' in
// list order; those in `groupMembers` are marked picked.
QList<PickEntry> prefGroupCandidates(const PrefPickSources &sources, const QStringList &groupMembers);

// The picker of a machine-local preference group, filled from the sources and refilled
// on the next loop turn after a change of the groups, the rooms or a name: its requests
// go to the group that the editor selects at that moment.
void openPrefGroupPicker(ConfigWindow *editor, PreferenceService *preferences, const PrefPickSources &sources);

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
