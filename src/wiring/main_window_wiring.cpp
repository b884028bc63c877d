#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

RoomPanelsFeed *wireRoomPanels(MainWindow *, ActiveRoomSession *, RoomEntityStore *, RoomCreateService *, RoomModerationService *, RoomChatService *, RoomFollowCodeService *, RoomListService *, RoomSubroomService *, UserState *, AbstractUserResolver *, ChannelEntityStore *, IRawDownloader *)
{
    return nullptr;
}

void wireRoomSettings(MainWindow *, ActiveRoomSession *, RoomEntityStore *, RoomAdapterRegistry *, RoomSettingsService *, UserState *, AbstractUserResolver *, GatewayService *, ChannelEntityStore *, RoomChatService *)
{
}

void wireRoomCreateConfigs(MainWindow *, RoomCreateConfigService *, UserState *)
{
}

void wirePrefConfigs(MainWindow *, PreferenceService *, AbstractUserResolver *)
{
}

void wirePrefMatch(MainWindow *, PreferenceService *, PrefMatchService *, RoomEntityStore *, ActiveRoomSession *, RoomCreateService *, RoomSettingsService *, AbstractUserResolver *)
{
}

void wireRoomRequests(MainWindow *, ActiveRoomSession *, RoomRequestService *, RoomApplyService *, RoomAttachApplyService *, UserState *, AbstractUserResolver *, ChannelEntityStore *)
{
}

void wireSpeakers(MainWindow *, MediaSessionService *, RoomPanelsFeed *)
{
}

void wireControlPanel(MainWindow *, AudioControlService *, ActiveRoomSession *, UserState *)
{
}

void wireBroadcastHotkey(MainWindow *, HotkeyService *)
{
}

void wireHotkeySettings(MainWindow *, HotkeyService *)
{
}

void wireAudioSettings(MainWindow *, AudioDeviceCatalog *, AudioCaptureManager *, AudioPlaybackManager *, SoundManager *)
{
}

void wireParticipantVolume(MainWindow *, AudioPlaybackManager *, MediaSessionService *)
{
}

void wireMyRoomOrder(MainWindow *, IUiStorage *)
{
}

void wireChannelPanels(MainWindow *, ChannelListService *, ChannelEntityStore *, ChannelActionsService *, UserState *, AbstractUserResolver *, IUiStorage *, RoomEntityStore *, ActiveRoomSession *, RoomPanelsFeed *)
{
}

} // namespace wiring
