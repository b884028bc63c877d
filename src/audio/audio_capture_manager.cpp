#include "audio/audio_capture_manager.h"

#include "audio/audio_frame_sink_slot.h"
#include "audio/audio_pipeline.h"
#include "audio/capture_log.h"
#include "audio/i_audio_storage.h"
#include "audio/neural_suppressor.h"
#include "audio/thread_handoff.h"
#include "platform/audio/realtime_scheduling.h"

#include <QSet>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#ifndef QT_NO_DEBUG
#define ASSERT_GUI_THREAD() Q_ASSERT_X(QThread::currentThread() == thread(), Q_FUNC_INFO, "GUI thread only")
#else
#define ASSERT_GUI_THREAD()
#endif

namespace {
const QString kDefaultNoiseMode = QStringLiteral("fastenhancer");
constexpr int kFrame = 480;

// Where the model-loading worker leaves a loaded suppressor for the capture thread. The queued
// call that tells the engine carries no model itself: the hand-over goes through this one
// mutex, held only for the exchange of a pointer.
struct SuppressorMailbox
{
    std::mutex mutex;
    std::shared_ptr<NeuralSuppressor> loaded; // guarded by mutex

    void put(std::shared_ptr<NeuralSuppressor> suppressor)
    {
        std::lock_guard lock(mutex);
        loaded = std::move(suppressor);
    }
    std::shared_ptr<NeuralSuppressor> take()
    {
        std::lock_guard lock(mutex);
        return std::exchange(loaded, nullptr);
    }
};

double volumeForGain(int db)
{
    return db <= -30 ? 0.0 : std::pow(10.0, db / 20.0);
}
} // namespace

struct AudioCaptureManager::Impl
{
    IAudioStorage *storage = nullptr;
    QThread thread;
    AudioCaptureEngine *engine = nullptr;
    std::shared_ptr<AudioFrameSinkSlot> sinkSlot;
    std::unique_ptr<AudioPipelineSlot> pipelineSlot = std::make_unique<AudioPipelineSlot>();
    std::function<QList<AudioDeviceInfo>()> listCaptureDevices;
    std::function<std::unique_ptr<NeuralSuppressor>(NoiseMode)> loadSuppressor;
    // One worker loads models, one at a time, in the order the modes were chosen.
    QThreadPool modelLoader;
    std::shared_ptr<SuppressorMailbox> mailbox = std::make_shared<SuppressorMailbox>();
    NoiseMode loadedMode = NoiseMode::Off; // the neural mode last sent to the loader; Off after another mode
    QString deviceId;
    int inputGainDb = 0;
    QString noiseMode;
    QSet<const void *> captureOwners; // every holder of a capture request
    int reopenBudget = 0;
    bool aec = true;
    bool agc = false;
    bool hpf = true;
    int vadThresholdPct = 50;
    int vadHangoverMs = 300;
    bool vadSilentStop = true;
};

template<typename... Args>
void AudioCaptureManager::queue(void (AudioCaptureEngine::*slot)(Args...), std::decay_t<Args>... args)
{
    AudioCaptureEngine *engine = d->engine;
    QMetaObject::invokeMethod(
        engine, [engine, slot, args...] { (engine->*slot)(args...); }, Qt::QueuedConnection);
}

AudioCaptureManager::AudioCaptureManager(IAudioStorage *storage, QObject *parent, Dependencies dependencies)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    d->storage = storage;
    d->listCaptureDevices = dependencies.listCaptureDevices ? std::move(dependencies.listCaptureDevices)
                                                            : std::function<QList<AudioDeviceInfo>()>(captureDevices);
    d->loadSuppressor = dependencies.loadSuppressor
                            ? std::move(dependencies.loadSuppressor)
                            : [](NoiseMode mode) { return loadNeuralSuppressor(mode, kFrame); };
    d->modelLoader.setMaxThreadCount(1);
    d->deviceId = storage->inputDeviceId();
    d->inputGainDb = std::clamp(storage->inputGainDb(), -30, 30);
    d->noiseMode = storage->noiseMode();
    if (d->noiseMode.isEmpty())
        d->noiseMode = kDefaultNoiseMode;
    d->aec = storage->aecEnabled();
    d->agc = storage->agcEnabled();
    d->hpf = storage->hpfEnabled();
    d->vadThresholdPct = storage->vadThresholdPct();
    d->vadHangoverMs = storage->vadHangoverMs();
    d->vadSilentStop = storage->vadSilentStop();

    d->sinkSlot = std::make_shared<AudioFrameSinkSlot>();
    d->engine = new AudioCaptureEngine(d->sinkSlot, d->pipelineSlot.get(), std::move(dependencies.engine));
    d->engine->moveToThread(&d->thread);
    d->thread.setObjectName(QStringLiteral("audio-capture"));

    // On the capture thread itself (the engine lives there), before anything else runs there.
    connect(&d->thread, &QThread::started, d->engine,
            [] { requestRealtimeScheduling(QStringLiteral("audio-capture")); });
    connect(&d->thread, &QThread::started, d->engine, &AudioCaptureEngine::initializeOnThread);
    connect(&d->thread, &QThread::finished, d->engine, &AudioCaptureEngine::shutdownOnThread);
    connect(d->engine, &AudioCaptureEngine::captureFailed, this, &AudioCaptureManager::onCaptureFailed);
    connect(d->engine, &AudioCaptureEngine::captureStarted, this, &AudioCaptureManager::onCaptureStarted);
    connect(d->engine, &AudioCaptureEngine::vadBitrateChangeRequested, this,
            &AudioCaptureManager::vadBitrateChangeRequested);
    connect(d->engine, &AudioCaptureEngine::vadStateChanged, this, &AudioCaptureManager::vadStateChanged);
    connect(d->engine, &AudioCaptureEngine::vadSpeakingChanged, this, &AudioCaptureManager::vadSpeakingChanged);
    connect(d->engine, &AudioCaptureEngine::vadProbabilityChanged, this, &AudioCaptureManager::vadProbabilityChanged);
    connect(d->engine, &AudioCaptureEngine::processingLoadChanged, this, &AudioCaptureManager::processingLoadChanged);
    connect(d->engine, &AudioCaptureEngine::calibrationFinished, this, &AudioCaptureManager::calibrationFinished);
    connect(d->engine, &AudioCaptureEngine::loopRecordFinished, this, &AudioCaptureManager::loopRecordFinished);

    // One snapshot of the settings, applied on the capture thread in this order.
    AudioCaptureEngine *engine = d->engine;
    const QString deviceId = d->deviceId;
    const double volume = volumeForGain(d->inputGainDb);
    const QString mode = d->noiseMode;
    const bool aec = d->aec, agc = d->agc, hpf = d->hpf, silentStop = d->vadSilentStop;
    const int threshold = d->vadThresholdPct, hangover = d->vadHangoverMs;
    QMetaObject::invokeMethod(
        engine,
        [=] {
            engine->setDeviceId(deviceId);
            engine->setInputVolume(volume);
            engine->setNoiseMode(mode);
            engine->setAecEnabled(aec);
            engine->setAgcEnabled(agc);
            engine->setHpfEnabled(hpf);
            engine->setVadThresholdPct(threshold);
            engine->setVadHangoverMs(hangover);
            engine->setVadSilentStop(silentStop);
        },
        Qt::QueuedConnection);
    loadModelFor(mode);

    d->thread.start(QThread::InheritPriority);
}

void AudioCaptureManager::loadModelFor(const QString &mode)
{
    const NoiseMode parsed = parseNoiseMode(mode);
    if (parsed != NoiseMode::FastEnhancer && parsed != NoiseMode::DpdfNet) {
        d->loadedMode = NoiseMode::Off;
        return;
    }
    // The engine keeps the suppressor while its mode stays the same.
    if (parsed == d->loadedMode)
        return;
    d->loadedMode = parsed;
    AudioCaptureEngine *engine = d->engine;
    d->modelLoader.start([engine, parsed, load = d->loadSuppressor, mailbox = d->mailbox] {
        QThread::currentThread()->setObjectName(QStringLiteral("audio-model-loader"));
        std::shared_ptr<NeuralSuppressor> loaded = load(parsed);
        if (!loaded)
            return;
        mailbox->put(std::move(loaded));
        // Queued after the mode change that asked for it; the engine drops a suppressor whose
        // mode it has moved on from.
        QMetaObject::invokeMethod(
            engine,
            [engine, mailbox] {
                if (std::shared_ptr<NeuralSuppressor> suppressor = mailbox->take())
                    engine->installSuppressor(std::move(suppressor));
            },
            Qt::QueuedConnection);
    });
}

AudioCaptureManager::~AudioCaptureManager()
{
    // A model still loading hands its result to the engine: let it finish first.
    d->modelLoader.clear();
    d->modelLoader.waitForDone();
    // The thread's finish stops capture and the detector on the capture thread.
    quitAndJoin(d->thread);
    delete d->engine;
    d->engine = nullptr;
}

QString AudioCaptureManager::deviceId() const
{
    return d->deviceId;
}
int AudioCaptureManager::inputGainDb() const
{
    return d->inputGainDb;
}
QString AudioCaptureManager::noiseMode() const
{
    return d->noiseMode;
}
bool AudioCaptureManager::aecEnabled() const
{
    return d->aec;
}
bool AudioCaptureManager::agcEnabled() const
{
    return d->agc;
}
bool AudioCaptureManager::hpfEnabled() const
{
    return d->hpf;
}
int AudioCaptureManager::vadThresholdPct() const
{
    return d->vadThresholdPct;
}
int AudioCaptureManager::vadHangoverMs() const
{
    return d->vadHangoverMs;
}
bool AudioCaptureManager::vadSilentStop() const
{
    return d->vadSilentStop;
}
bool AudioCaptureManager::captureRequested() const
{
    return d->captureOwners.contains(this);
}

bool AudioCaptureManager::captureActive() const
{
    return !d->captureOwners.isEmpty();
}

float AudioCaptureManager::inputPeak() const
{
    const std::shared_ptr<AudioPipeline> pipeline = d->pipelineSlot->load();
    return pipeline ? pipeline->peakLevel() : 0.0f;
}

AudioPipelineSlot *AudioCaptureManager::pipelineSlot() const
{
    return d->pipelineSlot.get();
}

void AudioCaptureManager::setDeviceId(const QString &id)
{
    ASSERT_GUI_THREAD();
    if (id == d->deviceId)
        return;
    d->deviceId = id;
    d->storage->setInputDeviceId(id);
    queue(&AudioCaptureEngine::setDeviceId, id);
}

void AudioCaptureManager::setInputGainDb(int db)
{
    ASSERT_GUI_THREAD();
    d->inputGainDb = std::clamp(db, -30, 30);
    d->storage->setInputGainDb(d->inputGainDb);
    queue(&AudioCaptureEngine::setInputVolume, volumeForGain(d->inputGainDb));
}

void AudioCaptureManager::setNoiseMode(const QString &mode)
{
    ASSERT_GUI_THREAD();
    d->noiseMode = mode.isEmpty() ? kDefaultNoiseMode : mode;
    d->storage->setNoiseMode(d->noiseMode);
    queue(&AudioCaptureEngine::setNoiseMode, d->noiseMode);
    loadModelFor(d->noiseMode);
}

void AudioCaptureManager::setAecEnabled(bool enabled)
{
    ASSERT_GUI_THREAD();
    d->aec = enabled;
    d->storage->setAecEnabled(enabled);
    queue(&AudioCaptureEngine::setAecEnabled, enabled);
}

void AudioCaptureManager::setAgcEnabled(bool enabled)
{
    ASSERT_GUI_THREAD();
    d->agc = enabled;
    d->storage->setAgcEnabled(enabled);
    queue(&AudioCaptureEngine::setAgcEnabled, enabled);
}

void AudioCaptureManager::setHpfEnabled(bool enabled)
{
    ASSERT_GUI_THREAD();
    d->hpf = enabled;
    d->storage->setHpfEnabled(enabled);
    queue(&AudioCaptureEngine::setHpfEnabled, enabled);
}

void AudioCaptureManager::setVadThresholdPct(int pct)
{
    ASSERT_GUI_THREAD();
    d->vadThresholdPct = std::clamp(pct, 5, 95);
    d->storage->setVadThresholdPct(d->vadThresholdPct);
    queue(&AudioCaptureEngine::setVadThresholdPct, d->vadThresholdPct);
}

void AudioCaptureManager::setVadHangoverMs(int ms)
{
    ASSERT_GUI_THREAD();
    d->vadHangoverMs = std::clamp(ms, 100, 1000);
    d->storage->setVadHangoverMs(d->vadHangoverMs);
    queue(&AudioCaptureEngine::setVadHangoverMs, d->vadHangoverMs);
}

void AudioCaptureManager::setVadSilentStop(bool stop)
{
    ASSERT_GUI_THREAD();
    d->vadSilentStop = stop;
    d->storage->setVadSilentStop(stop);
    queue(&AudioCaptureEngine::setVadSilentStop, stop);
}

void AudioCaptureManager::setMicMuted(bool muted)
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::setMicMuted, muted);
}

void AudioCaptureManager::setForceMuted(bool muted)
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::setForceMuted, muted);
}

void AudioCaptureManager::setPttActive(bool active)
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::setPttActive, active);
}

void AudioCaptureManager::setBroadcastActive(bool active)
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::setBroadcastActive, active);
}

void AudioCaptureManager::setVadRoomBitrate(int bps)
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::setVadRoomBitrate, bps);
}

void AudioCaptureManager::startCapture()
{
    ASSERT_GUI_THREAD();
    const bool othersOnly = !d->captureOwners.isEmpty() && !d->captureOwners.contains(this);
    d->captureOwners.insert(this);
    if (othersOnly)
        return;
    d->reopenBudget = 1;
    queue(&AudioCaptureEngine::startCapture);
}

void AudioCaptureManager::acquireCapture(const void *owner)
{
    ASSERT_GUI_THREAD();
    const bool idle = d->captureOwners.isEmpty();
    d->captureOwners.insert(owner);
    if (!idle)
        return;
    d->reopenBudget = 1;
    queue(&AudioCaptureEngine::startCapture);
}

void AudioCaptureManager::releaseCapture(const void *owner)
{
    ASSERT_GUI_THREAD();
    if (!d->captureOwners.remove(owner) || !d->captureOwners.isEmpty())
        return;
    queue(&AudioCaptureEngine::stopCapture);
}

void AudioCaptureManager::stopCapture()
{
    ASSERT_GUI_THREAD();
    d->captureOwners.remove(this);
    if (d->captureOwners.isEmpty())
        queue(&AudioCaptureEngine::stopCapture);
}

void AudioCaptureManager::startCalibration()
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::startCalibration);
}

void AudioCaptureManager::stopCalibration()
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::stopCalibration);
}

void AudioCaptureManager::startLoopRecord()
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::startLoopRecord);
}

void AudioCaptureManager::stopLoopRecord()
{
    ASSERT_GUI_THREAD();
    queue(&AudioCaptureEngine::stopLoopRecord);
}

void AudioCaptureManager::setFrameSink(std::function<void(const qint16 *, int, int, int)> sink)
{
    ASSERT_GUI_THREAD();
    std::lock_guard lock(d->sinkSlot->mutex);
    // The old sink is destroyed here, under the mutex, so it never dies while it runs.
    d->sinkSlot->sink = std::move(sink);
}

void AudioCaptureManager::onCaptureStarted(const QString &endpointId, bool rawMode)
{
    d->reopenBudget = 1;
    QString name = endpointId;
    for (const AudioDeviceInfo &device : d->listCaptureDevices()) {
        if (device.id == endpointId) {
            name = device.name;
            break;
        }
    }
    emit captureDeviceChanged(name, rawMode);
}

void AudioCaptureManager::onCaptureFailed(const QString &reason, bool canRetry)
{
    if (canRetry && !d->captureOwners.isEmpty() && d->reopenBudget > 0) {
        --d->reopenBudget;
        qCInfo(lcAudioCapture) << "reopening capture after device loss";
        queue(&AudioCaptureEngine::reopenDevice);
        return;
    }
    d->captureOwners.clear();
    emit captureFailed(reason);
}

void AudioCaptureManager::onDefaultInputChanged()
{
    ASSERT_GUI_THREAD();
    if (d->deviceId.isEmpty() && !d->captureOwners.isEmpty()) {
        qCInfo(lcAudioCapture) << "default communications input changed, reopening";
        queue(&AudioCaptureEngine::reopenDevice);
    }
}

void AudioCaptureManager::onDefaultConsoleInputChanged()
{
    ASSERT_GUI_THREAD();
    if (d->deviceId == QLatin1String("default") && !d->captureOwners.isEmpty()) {
        qCInfo(lcAudioCapture) << "default console input changed, reopening";
        queue(&AudioCaptureEngine::reopenDevice);
    }
}
