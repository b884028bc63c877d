#pragma once

#include <memory>

class AudioCaptureManager;
class AudioPlaybackManager;

// The audio module: settings store, devices, capture and playback.
class AudioAssembly
{
public:
    AudioAssembly();
    ~AudioAssembly();

    AudioCaptureManager *captureManager() const { return capture.get(); }
    AudioPlaybackManager *playbackManager() const { return playback.get(); }

private:
    std::unique_ptr<AudioCaptureManager> capture;
    std::unique_ptr<AudioPlaybackManager> playback;
};
