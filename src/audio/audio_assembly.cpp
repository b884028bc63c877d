#include "audio/audio_assembly.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"

AudioAssembly::AudioAssembly()
    : capture(std::make_unique<AudioCaptureManager>())
    , playback(std::make_unique<AudioPlaybackManager>())
{
}

AudioAssembly::~AudioAssembly() = default;
