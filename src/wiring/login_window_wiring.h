#pragma once

// The wiring of one login window, called by the shell in the order below for every
// login window it builds. GUI thread only.

class AudioCaptureManager;
class AudioDeviceCatalog;
class AudioPlaybackManager;
class LegalService;
class LoginService;
class LoginWindow;
class SmsService;
class SoundManager;

namespace wiring {

void wireLegal(LoginWindow *window, LegalService *legal);
void wireLicenses(LoginWindow *window);
void wireLoginForm(LoginWindow *window, SmsService *sms, LoginService *login, LegalService *legal);
void wireAudioSettings(LoginWindow *window, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                       AudioPlaybackManager *playback, SoundManager *sounds);

} // namespace wiring
