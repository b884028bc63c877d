#include "wiring/service_wiring.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireLiveKitSession(ActiveRoomSession *, RoomEntityStore *, UserState *, MediaSessionService *)
{
}

void wireAudioTransmit(ActiveRoomSession *, AudioControlService *, AudioCaptureManager *, MediaSessionService *, SoundManager *)
{
}

} // namespace wiring
