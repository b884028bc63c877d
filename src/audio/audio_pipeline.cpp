#include "audio/audio_pipeline.h"

#ifdef KESTOVA_HAVE_ORT
#include "audio/dpdfnet_denoiser.h"
#include "audio/fast_enhancer_denoiser.h"
#endif
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_processing_module.h"

#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>

namespace {
Q_LOGGING_CATEGORY(lcPipeline, "audio.pipeline", QtInfoMsg)

constexpr double kMaxVolume = 31.622776601683793;         // 10^1.5, +30 dB
constexpr double kLimiterThreshold = 0.70794578438413791; // 10^(-0.15), -3 dBFS
constexpr double kCompressionExponent = -11.0 / 12.0;     // 12:1 above the threshold
constexpr float kPeakDecay = 0.9772f;                     // per 10 ms frame: 20 dB per second

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

struct AudioPipeline::State
{
    int sampleRate = 48000;
    int channels = 1;
    NoiseMode mode = NoiseMode::Off;
    double volume = 1.0;
    std::atomic<bool> enabled{true};
    std::atomic<bool> aec{true};
    bool agc = false; // guarded by moduleMutex
    bool hpf = true;  // guarded by moduleMutex
    double attack = 0;
    double release = 0;
    double envelope = 0;

    mutable std::mutex moduleMutex;
    std::unique_ptr<livekit::AudioProcessingModule> module; // guarded by moduleMutex
    std::vector<qint16> renderBacklog;                      // guarded by moduleMutex
    livekit::AudioFrame referenceChunk;                     // guarded by moduleMutex: one 10 ms chunk
    int modulesCreated = 0;                                 // guarded by moduleMutex
    int chunksFed = 0;                                      // guarded by moduleMutex
    std::atomic<int> referencesSkipped{0};                  // the render thread found the module busy

    std::atomic<float> peak{0.0f};
    std::atomic<double> lastProcessUs{0.0};

    // Called with moduleMutex held.
    void releaseModuleLocked()
    {
        module.reset();
        renderBacklog.clear();
    }
    // Called with moduleMutex held, on the owner thread: the echo module is built here, never on the
    // render thread, which only feeds a module that exists.
    void rebuildModuleLocked()
    {
        releaseModuleLocked();
        if (!enabled.load(std::memory_order_relaxed) || !aec.load(std::memory_order_relaxed) || channels != 1)
            return;
        livekit::AudioProcessingModule::Options options;
        options.echoCancellation = true;
        options.noiseSuppression = false;
        options.highPassFilter = hpf;
        options.autoGainControl = agc;
        try {
            module = std::make_unique<livekit::AudioProcessingModule>(options);
            ++modulesCreated;
        } catch (const std::exception &e) {
            qCCritical(lcPipeline).noquote() << "webrtc apm creation failed:" << e.what();
        }
    }
    void rebuildModule()
    {
        std::lock_guard lock(moduleMutex);
        rebuildModuleLocked();
    }
    void releaseModule()
    {
        std::lock_guard lock(moduleMutex);
        releaseModuleLocked();
    }
#ifdef KESTOVA_HAVE_ORT
    std::unique_ptr<FastEnhancerDenoiser> fastEnhancer; // owner thread
    std::unique_ptr<DpdfnetDenoiser> dpdfnet;           // owner thread
#endif
    void destroyDenoisers()
    {
#ifdef KESTOVA_HAVE_ORT
        fastEnhancer.reset();
        dpdfnet.reset();
#endif
    }
    // Without the inference runtime in the build, the neural modes pass audio through.
    void denoise(qint16 *samples, int count)
    {
#ifdef KESTOVA_HAVE_ORT
        if (mode == NoiseMode::FastEnhancer) {
            if (!fastEnhancer)
                fastEnhancer = std::make_unique<FastEnhancerDenoiser>();
            fastEnhancer->process(samples, count);
        } else if (mode == NoiseMode::DpdfNet) {
            if (!dpdfnet)
                dpdfnet = std::make_unique<DpdfnetDenoiser>();
            dpdfnet->process(samples, count);
        }
#else
        Q_UNUSED(samples)
        Q_UNUSED(count)
#endif
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
    // The render thread appends at most a mix (20 ms) to less than a chunk: room for that and more,
    // so that it never allocates.
    const int chunk = std::max(1, sampleRate / 100);
    d->renderBacklog.reserve(std::size_t(sampleRate / 10 + chunk));
    d->referenceChunk = livekit::AudioFrame(std::vector<std::int16_t>(std::size_t(chunk), 0), sampleRate, 1, chunk);
    d->rebuildModule();
}

AudioPipeline::~AudioPipeline()
{
    d->destroyDenoisers();
    d->releaseModule();
}

int AudioPipeline::process(qint16 *samples, int count)
{
    ASSERT_OWNER_THREAD();
    if (!samples || count < 1)
        return 0;

    if (!d->enabled.load(std::memory_order_relaxed)) {
        d->peak.store(d->peak.load(std::memory_order_relaxed) * kPeakDecay, std::memory_order_relaxed);
        return count;
    }

    if (d->mode == NoiseMode::Off) {
        d->lastProcessUs.store(0.0, std::memory_order_relaxed);
    } else {
        const auto start = std::chrono::steady_clock::now();
        // Suppressor stage; "webrtc" and "deepfilter" have none.
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
    if (!d->enabled.load(std::memory_order_acquire) || !d->aec.load(std::memory_order_acquire))
        return;
    if (!samples || count <= 0 || sampleRate <= 0 || channels <= 0)
        return;

    // The render thread never waits: when a setter holds the module (it is being rebuilt), this
    // reference is skipped.
    std::unique_lock lock(d->moduleMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        d->referencesSkipped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // Looked at again under the lock: a setter that switched either flag off in between has
    // already released the module.
    if (!d->enabled.load(std::memory_order_acquire) || !d->aec.load(std::memory_order_acquire) || !d->module)
        return;
    if (d->channels != 1)
        return;

    if (sampleRate == d->sampleRate && channels == 1) {
        // Within the reserved capacity: no allocation.
        d->renderBacklog.insert(d->renderBacklog.end(), samples, samples + count);
    } else {
        const std::vector<qint16> converted = downmixResample(samples, count, channels, sampleRate, d->sampleRate);
        if (converted.empty())
            return;
        d->renderBacklog.insert(d->renderBacklog.end(), converted.begin(), converted.end());
    }

    const std::size_t chunk = d->referenceChunk.data().size();
    std::size_t consumed = 0;
    while (d->renderBacklog.size() - consumed >= chunk) {
        const auto first = d->renderBacklog.begin() + static_cast<std::ptrdiff_t>(consumed);
        std::copy(first, first + static_cast<std::ptrdiff_t>(chunk), d->referenceChunk.data().begin());
        consumed += chunk;
        try {
            d->module->processReverseStream(d->referenceChunk);
            ++d->chunksFed;
        } catch (const std::exception &e) {
            qCWarning(lcPipeline).noquote() << "webrtc process reverse stream failed:" << e.what();
            break;
        }
    }
    d->renderBacklog.erase(d->renderBacklog.begin(), d->renderBacklog.begin() + static_cast<std::ptrdiff_t>(consumed));
}

void AudioPipeline::setNoiseMode(NoiseMode mode)
{
    ASSERT_OWNER_THREAD();
    if (mode == d->mode)
        return;
    if (d->mode == NoiseMode::FastEnhancer || d->mode == NoiseMode::DpdfNet)
        d->destroyDenoisers();
    if (d->mode != NoiseMode::Off)
        d->rebuildModule();
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
    std::lock_guard lock(d->moduleMutex);
    if (d->aec.load(std::memory_order_relaxed) == enabled)
        return;
    d->aec.store(enabled, std::memory_order_release);
    d->rebuildModuleLocked();
    qCInfo(lcPipeline).noquote() << "aec" << (enabled ? "enabled" : "disabled");
}

void AudioPipeline::setAgcEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    std::lock_guard lock(d->moduleMutex);
    if (d->agc == enabled)
        return;
    d->agc = enabled;
    d->rebuildModuleLocked();
    qCInfo(lcPipeline).noquote() << "agc" << (enabled ? "enabled" : "disabled");
}

void AudioPipeline::setHpfEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    std::lock_guard lock(d->moduleMutex);
    if (d->hpf == enabled)
        return;
    d->hpf = enabled;
    d->rebuildModuleLocked();
    qCInfo(lcPipeline).noquote() << "hpf" << (enabled ? "enabled" : "disabled");
}

void AudioPipeline::setEnabled(bool enabled)
{
    ASSERT_OWNER_THREAD();
    if (d->enabled.load(std::memory_order_relaxed) == enabled)
        return;
    d->enabled.store(enabled, std::memory_order_release);
    if (enabled) {
        d->rebuildModule();
        return;
    }
    d->destroyDenoisers();
    d->releaseModule();
    d->envelope = 0;
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

AudioPipeline::EchoPathState AudioPipeline::echoPathState() const
{
    std::lock_guard lock(d->moduleMutex);
    EchoPathState s;
    s.moduleExists = d->module != nullptr;
    s.modulesCreated = d->modulesCreated;
    s.chunksFed = d->chunksFed;
    s.backlogSamples = static_cast<int>(d->renderBacklog.size());
    return s;
}
