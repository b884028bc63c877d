#pragma once

#include <memory>

class AudioCaptureManager;
class AudioControlService;
class AudioDeviceCatalog;
class AudioDeviceNotifier;
class AudioPlaybackManager;
class IAudioStorage;
class SoundManager;

// The audio module: settings store, devices, capture, playback, the audio switches and the
// cues. Built and destroyed on the GUI thread; members are built in declaration order and
// destroyed in reverse.
class AudioAssembly
{
public:
    AudioAssembly();
    ~AudioAssembly();

    IAudioStorage *storage() const { return store.get(); }
    AudioDeviceNotifier *deviceNotifier() const { return notifier.get(); }
    AudioDeviceCatalog *deviceCatalog() const { return catalog.get(); }
    AudioCaptureManager *captureManager() const { return capture.get(); }
    AudioPlaybackManager *playbackManager() const { return playback.get(); }
    AudioControlService *controlService() const { return control.get(); }
    SoundManager *soundManager() const { return sounds.get(); }

private:
    std::unique_ptr<IAudioStorage> store;
    std::unique_ptr<AudioDeviceNotifier> notifier;
    std::unique_ptr<AudioDeviceCatalog> catalog;
    std::unique_ptr<AudioCaptureManager> capture;
    std::unique_ptr<AudioPlaybackManager> playback;
    std::unique_ptr<AudioControlService> control;
    std::unique_ptr<SoundManager> sounds;
};
