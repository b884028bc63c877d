#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireSpeakers(MainWindow *, MediaSessionService *, RoomPanelsFeed *)
{
}

void wireControlPanel(MainWindow *, AudioControlService *, ActiveRoomSession *, UserState *)
{
}

void wireParticipantVolume(MainWindow *, AudioPlaybackManager *, MediaSessionService *)
{
}

} // namespace wiring
