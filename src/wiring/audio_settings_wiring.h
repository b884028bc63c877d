#pragma once

class AudioCaptureManager;
class AudioDeviceCatalog;
class AudioPlaybackManager;
class QWidget;
class SoundManager;

namespace wiring {

// Brings the parent window's audio settings dialog to the front, or opens one fed by the
// audio services, with its meters, its loop test and its own hold on the microphone.
void openAudioSettings(QWidget *parent, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                       AudioPlaybackManager *playback, SoundManager *sounds);

// The meters' scale: 20·log10 of a linear peak, -120 for silence (a peak of 1e-6 or less).
double peakToDb(float peak);

} // namespace wiring
