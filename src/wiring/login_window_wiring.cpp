#include "wiring/login_window_wiring.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireLegal(LoginWindow *, LegalService *)
{
}

void wireLicenses(LoginWindow *)
{
}

void wireLoginForm(LoginWindow *, SmsService *, LoginService *, LegalService *)
{
}

void wireAudioSettings(LoginWindow *, AudioDeviceCatalog *, AudioCaptureManager *, AudioPlaybackManager *, SoundManager *)
{
}

} // namespace wiring
