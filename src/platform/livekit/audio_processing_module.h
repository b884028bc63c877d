#pragma once

#include <memory>

namespace livekit {

class AudioFrame;

// Echo cancellation, noise suppression, high-pass filter and automatic gain control on
// 10 ms frames, over WebRTC's audio processing module.
//
// Threads: the far-end (reverse) stream and the near-end stream may be fed from two
// different threads; the module serialises them internally. Calls on one stream must not
// overlap. Failures throw std::runtime_error (construction included).
class AudioProcessingModule
{
public:
    // How hard the noise suppressor works: higher levels remove more noise and distort
    // speech more.
    enum class NoiseLevel { Low, Moderate, High, VeryHigh };

    struct Options
    {
        bool echoCancellation = false;
        bool noiseSuppression = false;
        bool highPassFilter = false;
        bool autoGainControl = false;
        NoiseLevel noiseLevel = NoiseLevel::High;
    };

    explicit AudioProcessingModule(const Options &options);
    ~AudioProcessingModule();
    AudioProcessingModule(const AudioProcessingModule &) = delete;
    AudioProcessingModule &operator=(const AudioProcessingModule &) = delete;

    // Cleans one 10 ms near-end (microphone) frame in place. With echo cancellation on, the
    // delay given to setStreamDelayMs is handed to the module before every frame.
    void processStream(AudioFrame &frame);
    // Feeds one 10 ms far-end frame (what the speaker plays) as the echo reference. The
    // frame itself is left as it is.
    void processReverseStream(AudioFrame &frame);
    // The delay between a far-end frame being fed and its echo reaching the microphone.
    void setStreamDelayMs(int delayMs);

    const Options &options() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace livekit
