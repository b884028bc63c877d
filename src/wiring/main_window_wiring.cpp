#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireLicenses(MainWindow *)
{
}

void wireLogout(MainWindow *, SessionService *)
{
}

void wireNicknameLabel(MainWindow *, UserState *)
{
}

void wireStatusAnnouncer(MainWindow *, ActiveRoomSession *, GatewayService *)
{
}

void wireAccountDialog(MainWindow *, UserState *, NicknameService *)
{
}

void wireCodeJoin(MainWindow *, CodeMatchService *, CodeAttachService *, ActiveRoomSession *)
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

void wireUserReconsent(MainWindow *, ConsentService *, LegalService *, SessionService *)
{
}

} // namespace wiring
