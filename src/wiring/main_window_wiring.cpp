#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireBroadcastHotkey(MainWindow *, HotkeyService *)
{
}

void wireHotkeySettings(MainWindow *, HotkeyService *)
{
}

void wireAudioSettings(MainWindow *, AudioDeviceCatalog *, AudioCaptureManager *, AudioPlaybackManager *, SoundManager *)
{
}

void wireMyRoomOrder(MainWindow *, IUiStorage *)
{
}

} // namespace wiring
