#include "wiring/login_window_wiring.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireAudioSettings(LoginWindow *, AudioDeviceCatalog *, AudioCaptureManager *, AudioPlaybackManager *, SoundManager *)
{
}

} // namespace wiring
