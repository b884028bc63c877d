#pragma once

#include <memory>

class AudioCaptureManager;
class AudioDeviceCatalog;
class AudioDeviceNotifier;
class AudioPlaybackManager;
class IAudioStorage;

// The audio module: settings store, devices, capture and playback. Built and destroyed on the
// GUI thread; members are built in declaration order and destroyed in reverse.
class AudioAssembly
{
public:
    AudioAssembly();
    ~AudioAssembly();

    AudioCaptureManager *captureManager() const { return capture.get(); }
    AudioPlaybackManager *playbackManager() const { return playback.get(); }
    AudioDeviceCatalog *deviceCatalog() const { return catalog.get(); }

private:
    std::unique_ptr<IAudioStorage> store;
    std::unique_ptr<AudioDeviceNotifier> notifier;
    std::unique_ptr<AudioDeviceCatalog> catalog;
    std::unique_ptr<AudioCaptureManager> capture;
    std::unique_ptr<AudioPlaybackManager> playback;
};
