#include "audio/audio_pipeline.h"

#include "audio/avx_state.h"
#include "audio/neural_suppressor.h"
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_processing_module.h"

#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <string>

namespace {
Q_LOGGING_CATEGORY(lcPipeline, "audio.pipeline", QtInfoMsg)

constexpr double kMaxVolume = 31.622776601683793;         // 10^1.5, +30 dB
constexpr double kLimiterThreshold = 0.70794578438413791; // 10^(-0.15), -3 dBFS
constexpr double kCompressionExponent = -11.0 / 12.0;     // 12:1 above the threshold
constexpr float kPeakDecay = 0.9772f;                     // per 10 ms frame: 20 dB per second
// The level of WebRTC's noise suppressor: the highest, since on generated speech with hum, brown
// and white noise every level keeps the speech's level within 0.6 dB and its distortion within
// 0.9 dB of the gentlest, while each step takes 2 to 6 dB more noise out of the pauses
// (test_noise_modes, bench/RESULTS.md).
constexpr auto kWebRtcNoiseLevel = livekit::AudioProcessingModule::NoiseLevel::VeryHigh;

qint16 clampRound(double v)
{
    const double r = std::round(v); // halves away from zero
    return static_cast<qint16>(std::clamp(r, -32768.0, 32767.0));
}

#ifndef QT_NO_DEBUG
#define ASSERT_OWNER_THREAD() Q_ASSERT_X(QThread::currentThread() == thread(), Q_FUNC_INFO, "owner thread only")
#else
#define ASSERT_OWNER_THREAD()
#endif
} // namespace

std::vector<qint16> downmixResample(const qint16 *samples, int count, int channels, int sourceRate, int targetRate)
{
    if (!samples || count <= 0 || channels <= 0 || sourceRate <= 0 || targetRate <= 0)
        return {};
    const int frames = count / channels;
    if (frames == 0)
        return {};

    std::vector<double> mono(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        double sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += samples[static_cast<std::size_t>(i) * channels + c];
        mono[static_cast<std::size_t>(i)] = sum / channels;
    }

    const double exact = static_cast<double>(frames) * targetRate / sourceRate;
    const auto n = static_cast<std::size_t>(std::max(1.0, std::round(exact)));
    std::vector<qint16> out(n);
    if (frames == 1 || n == 1) {
        std::fill(out.begin(), out.end(), clampRound(mono[0]));
        return out;
    }
    const double step = static_cast<double>(frames - 1) / static_cast<double>(n - 1);
    for (std::size_t j = 0; j < n; ++j) {
        const double p = static_cast<double>(j) * step;
        const auto i = static_cast<std::size_t>(std::floor(p));
        const std::size_t i2 = std::min(i + 1, static_cast<std::size_t>(frames - 1));
        out[j] = clampRound(mono[i] + (mono[i2] - mono[i]) * (p - static_cast<double>(i)));
    }
    return out;
}

// One echo module with what the render side keeps beside it. Built whole on the owner thread
// and published through the echo slot; a changed option builds a new one.
struct EchoPath
{
    EchoPath(const livekit::AudioProcessingModule::Options &options, int chunk)
        : module(options)
        , echoCancellation(options.echoCancellation)
        , renderFrame(std::vector<std::int16_t>(std::size_t(chunk), 0), chunk * 100, 1, chunk)
    {
        // A second of far-end audio: pushes of any usual size never grow it.
        renderBacklog.reserve(std::size_t(chunk) * 100);
    }

    livekit::AudioProcessingModule module;
    const bool echoCancellation;
    // Render thread only.
    std::vector<qint16> renderBacklog;
    livekit::AudioFrame renderFrame;
    bool reverseFailed = false;
    // Written by one thread each, read by any.
    std::atomic<int> chunksFed{0};
    std::atomic<int> backlogSamples{0};
    std::atomic<int> nearFrames{0};
};

struct AudioPipeline::State
{
    int sampleRate = 48000;
    int channels = 1;
    NoiseMode mode = NoiseMode::Off;
    double volume = 1.0;
    std::atomic<bool> enabled{true};
    bool aec = true;
    bool agc = false;
    bool hpf = true;
    double attack = 0;
    double release = 0;
    double envelope = 0;

    // The echo slot: the owner thread replaces the module under `echoMutex`, holding it only
    // for the swap of one pointer; the render thread only tries it, and a push that meets a
    // swap is skipped (10 ms of reference, at an option change).
    mutable std::mutex echoMutex;
    std::shared_ptr<EchoPath> echo; // guarded by echoMutex
    std::shared_ptr<EchoPath> ownEcho;                 // owner thread: the module in the slot
    std::vector<std::shared_ptr<EchoPath>> retired;    // owner thread: replaced, maybe still in use
    livekit::AudioFrame nearFrame;                     // owner thread: the near-end frame buffer
    bool nearFailed = false;                           // owner thread: a failure was logged
    std::atomic<int> modulesCreated{0};

    // Owner thread: the suppressor stage.
    bool loadsModelsItself = true;
    std::shared_ptr<NeuralSuppressor> neural;
    std::unique_ptr<livekit::AudioProcessingModule> webrtcNs;
    livekit::AudioFrame nsFrame;
    bool nsFailed = false;

    std::atomic<float> peak{0.0f};
    std::atomic<double> lastProcessUs{0.0};

    int chunk() const { return std::max(1, sampleRate / 100); }

    // Frees replaced echo modules that the render thread no longer holds, here on the owner
    // thread rather than on the render thread.
    void pruneRetired()
    {
        std::erase_if(retired, [](const std::shared_ptr<EchoPath> &p) { return p.use_count() == 1; });
    }

    // Publishes a module built from the current options, or none while the pipeline is off,
    // all three options are off, or the pipeline is not mono.
    void rebuildEcho()
    {
        std::shared_ptr<EchoPath> fresh;
        if (enabled.load(std::memory_order_relaxed) && (aec || agc || hpf) && channels == 1) {
            livekit::AudioProcessingModule::Options options;
            options.echoCancellation = aec;
            options.noiseSuppression = false;
            options.highPassFilter = hpf;
            options.autoGainControl = agc;
            try {
                fresh = std::make_shared<EchoPath>(options, chunk());
                modulesCreated.fetch_add(1, std::memory_order_relaxed);
            } catch (const std::exception &e) {
                qCCritical(lcPipeline).noquote() << "webrtc apm creation failed:" << e.what();
            }
        }
        {
            std::lock_guard lock(echoMutex);
            echo = fresh;
        }
        if (ownEcho)
            retired.push_back(std::move(ownEcho));
        ownEcho = std::move(fresh);
        nearFailed = false;
        pruneRetired();
    }

    // Owner thread. WebRTC's noise suppressor, built on first need and kept.
    void runWebRtcNs(qint16 *samples, int count)
    {
        if (count != chunk() || channels != 1 || nsFailed)
            return;
        try {
            if (!webrtcNs) {
                livekit::AudioProcessingModule::Options options;
                options.noiseSuppression = true;
                options.noiseLevel = kWebRtcNoiseLevel;
                webrtcNs = std::make_unique<livekit::AudioProcessingModule>(options);
                nsFrame = livekit::AudioFrame(std::vector<std::int16_t>(std::size_t(count), 0), sampleRate, 1, count);
            }
            std::copy_n(samples, count, nsFrame.data().begin());
            webrtcNs->processStream(nsFrame);
            std::copy_n(nsFrame.data().begin(), count, samples);
        } catch (const std::exception &e) {
            // Logged once; the frames pass unchanged from then on.
            nsFailed = true;
            qCCritical(lcPipeline).noquote() << "webrtc noise suppression failed, passing audio through:" << e.what();
        }
    }

    void denoise(qint16 *samples, int count)
    {
        switch (mode) {
        case NoiseMode::WebRtc:
            runWebRtcNs(samples, count);
            return;
        case NoiseMode::FastEnhancer:
        case NoiseMode::DpdfNet:
            if (!neural && loadsModelsItself)
                neural = loadNeuralSuppressor(mode, count);
            if (!neural || !neural->isReady())
                return; // missing, broken or still loading: the frame passes unchanged
            if (neural->isPassThrough())
                runWebRtcNs(samples, count);
            else
                neural->process(samples, count);
            return;
        default:
            return;
        }
    }
};

AudioPipeline::AudioPipeline(int sampleRate, int channels, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<State>())
{
    d->sampleRate = sampleRate;
    d->channels = channels;
    d->attack = 1.0 - std::exp(-1.0 / (sampleRate * 3.0 / 1000.0));
    d->release = 1.0 - std::exp(-1.0 / (sampleRate * 50.0 / 1000.0));
    if (channels == 1 && sampleRate >= 100)
        d->nearFrame = livekit::AudioFrame(std::vector<std::int16_t>(std::size_t(d->chunk()), 0), sampleRate, 1,
                                           d->chunk());
    d->rebuildEcho();
}

AudioPipeline::~AudioPipeline() = default;

bool AudioPipeline::processNearEnd(qint16 *samples, int count)
{
    ASSERT_OWNER_THREAD();
    if (!d->retired.empty())
        d->pruneRetired();
    EchoPath *path = d->ownEcho.get();
    if (!samples || !path || d->nearFailed || count != d->chunk())
        return false;
    clearAvxUpperState();
    try {
        std::copy_n(samples, count, d->nearFrame.data().begin());
        path->module.processStream(d->nearFrame);
        std::copy_n(d->nearFrame.data().begin(), count, samples);
        path->nearFrames.fetch_add(1, std::memory_order_relaxed);
        return true;
    } catch (const std::exception &e) {
        // Logged once per module; the frames pass unchanged until an option change rebuilds it.
        d->nearFailed = true;
        qCWarning(lcPipeline).noquote() << "webrtc process stream failed:" << e.what();
        return false;
    }
}

int AudioPipeline::process(qint16 *samples, int count)
{
    ASSERT_OWNER_THREAD();
    if (!samples || count < 1)
        return 0;
    clearAvxUpperState();

    if (!d->enabled.load(std::memory_order_relaxed)) {
        d->peak.store(d->peak.load(std::memory_order_relaxed) * kPeakDecay, std::memory_order_relaxed);
        return count;
    }

    if (d->mode == NoiseMode::Off) {
        d->lastProcessUs.store(0.0, std::memory_order_relaxed);
    } else {
        const auto start = std::chrono::steady_clock::now();
        d->denoise(samples, count);
        const auto end = std::chrono::steady_clock::now();
        d->lastProcessUs.store(std::chrono::duration<double, std::micro>(end - start).count(),
                               std::memory_order_relaxed);
    }

    const double volume = d->volume;
    if (volume <= 0) {
        std::fill(samples, samples + count, qint16(0));
        d->envelope = 0;
    } else {
        double envelope = d->envelope;
        const double attack = d->attack;
        const double release = d->release;
        for (int i = 0; i < count; ++i) {
            double x = samples[i] / 32768.0 * volume;
            const double magnitude = std::fabs(x);
            envelope += (magnitude - envelope) * (magnitude > envelope ? attack : release);
            if (envelope > kLimiterThreshold)
                x *= std::pow(envelope / kLimiterThreshold, kCompressionExponent);
            samples[i] = clampRound(x * 32768.0);
        }
        d->envelope = envelope;
    }

    int largest = 0;
    for (int i = 0; i < count; ++i)
        largest = std::max(largest, std::abs(static_cast<int>(samples[i])));
    const float framePeak = static_cast<float>(largest) / 32768.0f;
    const float decayed = d->peak.load(std::memory_order_relaxed) * kPeakDecay;
    d->peak.store(std::max(decayed, framePeak), std::memory_order_relaxed);
    return count;
}

void AudioPipeline::pushRenderReference(const qint16 *samples, int count, int sampleRate, int channels)
{
    if (!d->enabled.load(std::memory_order_acquire))
        return;
    if (!samples || count <= 0 || sampleRate <= 0 || channels <= 0)
        return;
    // The render thread's own reference keeps the module alive for this push even when the
    // owner replaces it meanwhile; the replaced one then simply misses these samples.
    std::shared_ptr<EchoPath> path;
    {
        std::unique_lock lock(d->echoMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        path = d->echo;
    }
    if (!path || !path->echoCancellation)
        return;
    clearAvxUpperState();

    std::vector<qint16> &backlog = path->renderBacklog;
    if (sampleRate == d->sampleRate && channels == 1) {
        backlog.insert(backlog.end(), samples, samples + count);
    } else {
        const std::vector<qint16> converted = downmixResample(samples, count, channels, sampleRate, d->sampleRate);
        if (converted.empty())
            return;
        backlog.insert(backlog.end(), converted.begin(), converted.end());
    }

    const std::size_t chunk = static_cast<std::size_t>(d->chunk());
    std::size_t consumed = 0;
    while (backlog.size() - consumed >= chunk) {
        std::copy_n(backlog.begin() + static_cast<std::ptrdiff_t>(consumed), chunk, path->renderFrame.data().begin());
        consumed += chunk;
        try {
            path->module.processReverseStream(path->renderFrame);
            path->chunksFed.fetch_add(1, std::memory_order_relaxed);
        } catch (const std::exception &e) {
            if (!path->reverseFailed)
                qCWarning(lcPipeline).noquote() << "webrtc process reverse stream failed:" << e.what();
            path->reverseFailed = true;
            break;
        }
    }
    backlog.erase(backlog.begin(), backlog.begin() + static_cast<std::ptrdiff_t>(consumed));
    path->backlogSamples.store(static_cast<int>(backlog.size()), std::memory_order_relaxed);
}

void AudioPipeline::setNoiseMode(NoiseMode mode)
{
    ASSERT_OWNER_THREAD();
    if (mode == d->mode)
        return;
    d->neural.reset();
    d->mode = mode;
    d->envelope = 0;
    qCInfo(lcPipeline).noquote() << "noise mode changed to" << noiseModeName(mode);
}

void AudioPipeline::setVolume(double gain)
{
    ASSERT_OWNER_THREAD();
    d->volume = gain > 0 ? std::min(gain, kMaxVolume) : 0.0;
}

void AudioPipeline::setAecEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    if (d->aec == enabled)
        return;
    d->aec = enabled;
    d->rebuildEcho();
    qCInfo(lcPipeline).noquote() << "aec" << (enabled ? "enabled" : "disabled");
}

void AudioPipeline::setAgcEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    if (d->agc == enabled)
        return;
    d->agc = enabled;
    d->rebuildEcho();
    qCInfo(lcPipeline).noquote() << "agc" << (enabled ? "enabled" : "disabled");
}

void AudioPipeline::setHpfEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    if (d->hpf == enabled)
        return;
    d->hpf = enabled;
    d->rebuildEcho();
    qCInfo(lcPipeline).noquote() << "hpf" << (enabled ? "enabled" : "disabled");
}

void AudioPipeline::setEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    if (d->enabled.load(std::memory_order_relaxed) == enabled)
        return;
    d->enabled.store(enabled, std::memory_order_release);
    d->rebuildEcho();
    if (enabled)
        return;
    d->neural.reset();
    d->envelope = 0;
}

void AudioPipeline::setLoadsModelsItself(bool loads)
{
    ASSERT_OWNER_THREAD();
    d->loadsModelsItself = loads;
}

void AudioPipeline::setNeuralSuppressor(std::shared_ptr<NeuralSuppressor> suppressor)
{
    ASSERT_OWNER_THREAD();
    if (suppressor && suppressor->mode() != d->mode)
        return;
    if (suppressor)
        suppressor->reset();
    d->neural = std::move(suppressor);
}

float AudioPipeline::peakLevel() const
{
    return d->peak.load(std::memory_order_relaxed);
}

double AudioPipeline::lastProcessUs() const
{
    return d->lastProcessUs.load(std::memory_order_relaxed);
}

double AudioPipeline::volume() const
{
    ASSERT_OWNER_THREAD();
    return d->volume;
}

NoiseMode AudioPipeline::noiseMode() const
{
    ASSERT_OWNER_THREAD();
    return d->mode;
}

AudioPipeline::Suppressor AudioPipeline::activeSuppressor() const
{
    ASSERT_OWNER_THREAD();
    switch (d->mode) {
    case NoiseMode::WebRtc:
        return Suppressor::WebRtc;
    case NoiseMode::FastEnhancer:
    case NoiseMode::DpdfNet:
        if (!d->neural || !d->neural->isReady())
            return Suppressor::None;
        return d->neural->isPassThrough() ? Suppressor::WebRtc : Suppressor::Neural;
    default:
        return Suppressor::None;
    }
}

AudioPipeline::EchoPathState AudioPipeline::echoPathState() const
{
    std::shared_ptr<EchoPath> path;
    {
        std::lock_guard lock(d->echoMutex);
        path = d->echo;
    }
    EchoPathState s;
    s.modulesCreated = d->modulesCreated.load(std::memory_order_relaxed);
    if (path) {
        s.moduleExists = true;
        s.echoCancellation = path->echoCancellation;
        s.chunksFed = path->chunksFed.load(std::memory_order_relaxed);
        s.backlogSamples = path->backlogSamples.load(std::memory_order_relaxed);
        s.nearFramesProcessed = path->nearFrames.load(std::memory_order_relaxed);
    }
    return s;
}
