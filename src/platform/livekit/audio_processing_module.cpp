#include "platform/livekit/audio_processing_module.h"

#include "platform/livekit/audio_frame.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace livekit {

namespace {
// The module works on 10 ms blocks only.
void requireTenMilliseconds(const AudioFrame &frame, const char *what)
{
    if (frame.sampleRate() <= 0 || frame.numChannels() <= 0 || frame.samplesPerChannel() * 100 != frame.sampleRate())
        throw std::runtime_error(std::string(what) + ": frames must hold exactly 10 ms, got "
                                 + std::to_string(frame.samplesPerChannel()) + " samples at "
                                 + std::to_string(frame.sampleRate()) + " Hz");
}

void check(int code, const char *what)
{
    if (code != webrtc::AudioProcessing::kNoError)
        throw std::runtime_error(std::string(what) + " failed, code " + std::to_string(code));
}

// Interleaved 16-bit PCM <-> one float buffer per channel in [-1, 1].
struct Planar
{
    std::vector<std::vector<float>> channels;
    std::vector<float *> pointers;

    void fill(const AudioFrame &frame)
    {
        const int n = frame.samplesPerChannel();
        const int ch = frame.numChannels();
        channels.resize(static_cast<std::size_t>(ch));
        pointers.resize(static_cast<std::size_t>(ch));
        const std::int16_t *in = frame.data().data();
        for (int c = 0; c < ch; ++c) {
            auto &buffer = channels[static_cast<std::size_t>(c)];
            buffer.resize(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i)
                buffer[static_cast<std::size_t>(i)] = in[i * ch + c] / 32768.0f;
            pointers[static_cast<std::size_t>(c)] = buffer.data();
        }
    }

    void store(AudioFrame &frame) const
    {
        const int n = frame.samplesPerChannel();
        const int ch = frame.numChannels();
        std::int16_t *out = frame.data().data();
        for (int c = 0; c < ch; ++c) {
            const auto &buffer = channels[static_cast<std::size_t>(c)];
            for (int i = 0; i < n; ++i) {
                float v = buffer[static_cast<std::size_t>(i)] * 32768.0f;
                v = v > 32767.0f ? 32767.0f : (v < -32768.0f ? -32768.0f : v);
                out[i * ch + c] = static_cast<std::int16_t>(v >= 0 ? v + 0.5f : v - 0.5f);
            }
        }
    }
};
} // namespace

struct AudioProcessingModule::Impl
{
    Options options;
    std::unique_ptr<webrtc::AudioProcessing> apm;
    // Each stream keeps its own scratch buffers and lock, so the two streams never wait on
    // each other here; the module itself serialises what they share.
    std::mutex captureMutex;
    Planar capture;
    std::mutex renderMutex;
    Planar render;
    int delayMs = 0;
};

AudioProcessingModule::AudioProcessingModule(const Options &options)
    : d(std::make_unique<Impl>())
{
    d->options = options;
    webrtc::Config config;
    // Delay-agnostic mode estimates the echo path delay itself, since neither the render nor
    // the capture side here can report its hardware delay reliably.
    config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
    config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(true));
    d->apm.reset(webrtc::AudioProcessing::Create(config));
    if (!d->apm)
        throw std::runtime_error("audio processing module could not be created");

    check(d->apm->high_pass_filter()->Enable(options.highPassFilter), "high-pass filter");
    if (options.echoCancellation) {
        auto *aec = d->apm->echo_cancellation();
        check(aec->enable_drift_compensation(false), "echo drift compensation");
        check(aec->set_suppression_level(webrtc::EchoCancellation::kHighSuppression), "echo suppression level");
    }
    check(d->apm->echo_cancellation()->Enable(options.echoCancellation), "echo cancellation");
    if (options.noiseSuppression) {
        webrtc::NoiseSuppression::Level level = webrtc::NoiseSuppression::kHigh;
        switch (options.noiseLevel) {
        case NoiseLevel::Low: level = webrtc::NoiseSuppression::kLow; break;
        case NoiseLevel::Moderate: level = webrtc::NoiseSuppression::kModerate; break;
        case NoiseLevel::High: level = webrtc::NoiseSuppression::kHigh; break;
        case NoiseLevel::VeryHigh: level = webrtc::NoiseSuppression::kVeryHigh; break;
        }
        check(d->apm->noise_suppression()->set_level(level), "noise suppression level");
    }
    check(d->apm->noise_suppression()->Enable(options.noiseSuppression), "noise suppression");
    if (options.autoGainControl) {
        auto *agc = d->apm->gain_control();
        // No analogue microphone control here: the gain is applied digitally.
        check(agc->set_mode(webrtc::GainControl::kAdaptiveDigital), "gain control mode");
        check(agc->set_target_level_dbfs(3), "gain control target");
        check(agc->set_compression_gain_db(9), "gain control compression");
        check(agc->enable_limiter(true), "gain control limiter");
    }
    check(d->apm->gain_control()->Enable(options.autoGainControl), "gain control");
}

AudioProcessingModule::~AudioProcessingModule() = default;

void AudioProcessingModule::processStream(AudioFrame &frame)
{
    requireTenMilliseconds(frame, "process stream");
    std::lock_guard lock(d->captureMutex);
    d->capture.fill(frame);
    const webrtc::StreamConfig config(frame.sampleRate(), frame.numChannels(), false);
    if (d->options.echoCancellation)
        check(d->apm->set_stream_delay_ms(d->delayMs), "set stream delay");
    check(d->apm->ProcessStream(d->capture.pointers.data(), config, config, d->capture.pointers.data()),
          "process stream");
    d->capture.store(frame);
}

void AudioProcessingModule::processReverseStream(AudioFrame &frame)
{
    requireTenMilliseconds(frame, "process reverse stream");
    std::lock_guard lock(d->renderMutex);
    d->render.fill(frame);
    const webrtc::StreamConfig config(frame.sampleRate(), frame.numChannels(), false);
    check(d->apm->ProcessReverseStream(d->render.pointers.data(), config, config, d->render.pointers.data()),
          "process reverse stream");
}

void AudioProcessingModule::setStreamDelayMs(int delayMs)
{
    std::lock_guard lock(d->captureMutex);
    d->delayMs = delayMs < 0 ? 0 : delayMs;
}

const AudioProcessingModule::Options &AudioProcessingModule::options() const
{
    return d->options;
}

} // namespace livekit
