#include "audio/audio_capture_engine.h"

#include "audio/audio_frame_sink_slot.h"
#include "audio/audio_pipeline.h"
#include "audio/avx_state.h"
#include "audio/capture_log.h"
#include "audio/neural_suppressor.h"
#include "audio/noise_mode.h"
#include "platform/audio/i_audio_capture_backend.h"

#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kFrame = 480;
constexpr int kRate = 48000;
constexpr std::size_t kBacklogLimit = 5 * kFrame; // 50 ms
constexpr qsizetype kLoopRecordLimit = 1440000;   // 30 s
constexpr qint64 kCalibrationMinSamples = 24000;  // 0.5 s of speech
constexpr double kCalibrationTarget = 0.0708;     // about -23 dBFS RMS
} // namespace

#ifndef QT_NO_DEBUG
#define ASSERT_ENGINE_THREAD() Q_ASSERT_X(QThread::currentThread() == thread(), Q_FUNC_INFO, "capture thread only")
#else
#define ASSERT_ENGINE_THREAD()
#endif

AudioCaptureEngine::AudioCaptureEngine(std::shared_ptr<AudioFrameSinkSlot> sink, AudioPipelineSlot *pipelineSlot_,
                                       Dependencies dependencies)
    : sinkSlot(std::move(sink))
    , pipelineSlot(pipelineSlot_)
    , backendFactory(std::move(dependencies.backendFactory))
    , silenceFrame(kFrame, 0)
{
    detector =
        dependencies.detectorLibrary ? new VadDetector(*dependencies.detectorLibrary, this) : new VadDetector(this);
    connect(detector, &VadDetector::bitrateChangeRequested, this, &AudioCaptureEngine::vadBitrateChangeRequested);
    connect(detector, &VadDetector::probabilityUpdated, this, &AudioCaptureEngine::vadProbabilityChanged);
    connect(detector, &VadDetector::stateChanged, this, &AudioCaptureEngine::onDetectorState);
}

AudioCaptureEngine::~AudioCaptureEngine()
{
    // Normally shutdownOnThread has run; an engine that never ran a thread cleans up here.
    if (pipelineSlot && pipeline)
        pipelineSlot->store(nullptr);
}

bool AudioCaptureEngine::isCapturing() const
{
    return capturing;
}

void AudioCaptureEngine::onDetectorState(VadDetector::VadState state)
{
    emit vadStateChanged(int(state));
    const bool nowSpeaking = state == VadDetector::Active;
    if (nowSpeaking != speaking) {
        speaking = nowSpeaking;
        emit vadSpeakingChanged(speaking);
    }
}

void AudioCaptureEngine::initializeOnThread()
{
    ASSERT_ENGINE_THREAD();
    // No apartment to enter on this platform.
    qCInfo(lcAudioCapture) << "audio capture thread ready";
}

void AudioCaptureEngine::shutdownOnThread()
{
    ASSERT_ENGINE_THREAD();
    stopCapture();
    // The detector's timers belong to this thread: stop them here, before the engine is
    // deleted on the GUI thread.
    delete detector;
    detector = nullptr;
}

void AudioCaptureEngine::startCapture()
{
    ASSERT_ENGINE_THREAD();
    stopCapture();
    if (audioRestricted)
        return;

    auto fresh = std::make_shared<AudioPipeline>(kRate, 1);
    // Models are never loaded here: the capture manager loads them on a worker thread.
    fresh->setLoadsModelsItself(false);
    fresh->setNoiseMode(parseNoiseMode(noiseModeName));
    if (suppressor)
        fresh->setNeuralSuppressor(suppressor);
    fresh->setVolume(inputVolume);
    fresh->setAecEnabled(aecEnabled);
    fresh->setAgcEnabled(agcEnabled);
    fresh->setHpfEnabled(hpfEnabled);
    fresh->setEnabled(true);
    pipeline = fresh;
    if (pipelineSlot)
        pipelineSlot->store(fresh);

    if (openDevice()) {
        capturing = true;
        // The platform has no real-time scheduling class to join; capture runs as it is.
        schedulerRegistered = true;
        return;
    }
    if (pipelineSlot)
        pipelineSlot->store(nullptr);
    pipeline.reset();
}

void AudioCaptureEngine::stopCapture()
{
    ASSERT_ENGINE_THREAD();
    const bool wasCapturing = capturing;
    capturing = false;
    closeDevice();
    schedulerRegistered = false;
    if (pipeline) {
        if (pipelineSlot)
            pipelineSlot->store(nullptr);
        // What the pipeline owns goes here, on this thread; other threads may still hold the
        // pipeline itself, and the last of them destroys what is left of it.
        pipeline->setEnabled(false);
        pipeline.reset();
    }
    backlog.clear();
    backlogOverflow = false;
    droppedSamples = 0;
    if (wasCapturing)
        emit captureStopped();
}

void AudioCaptureEngine::closeDevice()
{
    delete eventNotifier;
    eventNotifier = nullptr;
    if (backend)
        backend->close();
}

bool AudioCaptureEngine::openDevice()
{
    if (!backend)
        backend = backendFactory ? backendFactory() : createCaptureBackend();
    const CaptureOpenResult result = backend->open(deviceId, kRate, 1);
    if (!result.ok) {
        qCWarning(lcAudioCapture).noquote() << "capture open failed:" << result.error;
        emit captureFailed(result.error, false);
        return false;
    }
    eventNotifier = new QSocketNotifier(backend->eventHandle(), QSocketNotifier::Read, this);
    connect(eventNotifier, &QSocketNotifier::activated, this, &AudioCaptureEngine::onCaptureEvent);
    qCInfo(lcAudioCapture).noquote().nospace()
        << "wasapi capture started endpoint=" << result.endpointId << " raw=" << result.rawMode;
    emit captureStarted(result.endpointId, result.rawMode);
    return true;
}

void AudioCaptureEngine::reopenDevice()
{
    ASSERT_ENGINE_THREAD();
    if (!capturing)
        return;
    closeDevice();
    backlog.clear();
    if (!openDevice())
        stopCapture();
}

void AudioCaptureEngine::setDeviceId(const QString &id)
{
    ASSERT_ENGINE_THREAD();
    if (id == deviceId)
        return;
    deviceId = id;
    reopenDevice();
}

void AudioCaptureEngine::updateDetectorMute()
{
    if (detector)
        detector->setMuted(forceMuted || (micMuted && !pttActive && !broadcastActive));
}

void AudioCaptureEngine::setMicMuted(bool muted)
{
    ASSERT_ENGINE_THREAD();
    micMuted = muted;
    updateDetectorMute();
}

void AudioCaptureEngine::setForceMuted(bool muted)
{
    ASSERT_ENGINE_THREAD();
    forceMuted = muted;
    updateDetectorMute();
}

void AudioCaptureEngine::setPttActive(bool active)
{
    ASSERT_ENGINE_THREAD();
    pttActive = active;
    updateDetectorMute();
}

void AudioCaptureEngine::setBroadcastActive(bool active)
{
    ASSERT_ENGINE_THREAD();
    broadcastActive = active;
    updateDetectorMute();
}

void AudioCaptureEngine::setInputVolume(double volume)
{
    ASSERT_ENGINE_THREAD();
    inputVolume = volume;
    if (pipeline)
        pipeline->setVolume(volume);
}

void AudioCaptureEngine::setNoiseMode(const QString &mode)
{
    ASSERT_ENGINE_THREAD();
    noiseModeName = mode;
    const NoiseMode parsed = parseNoiseMode(mode);
    if (suppressor && suppressor->mode() != parsed)
        suppressor.reset();
    if (pipeline) {
        pipeline->setNoiseMode(parsed);
        if (suppressor)
            pipeline->setNeuralSuppressor(suppressor);
    }
}

void AudioCaptureEngine::installSuppressor(std::shared_ptr<NeuralSuppressor> loaded)
{
    ASSERT_ENGINE_THREAD();
    if (!loaded || loaded->mode() != parseNoiseMode(noiseModeName))
        return;
    suppressor = std::move(loaded);
    if (pipeline)
        pipeline->setNeuralSuppressor(suppressor);
}

void AudioCaptureEngine::setAudioRestricted(bool restricted)
{
    ASSERT_ENGINE_THREAD();
    audioRestricted = restricted;
}

void AudioCaptureEngine::setVadRoomBitrate(int bps)
{
    ASSERT_ENGINE_THREAD();
    vadRoomBitrate = bps;
    if (detector)
        detector->setRoomBitrate(std::max(bps, 8000));
}

void AudioCaptureEngine::setAecEnabled(bool enabled)
{
    ASSERT_ENGINE_THREAD();
    aecEnabled = enabled;
    if (pipeline)
        pipeline->setAecEnabled(enabled);
}

void AudioCaptureEngine::setAgcEnabled(bool enabled)
{
    ASSERT_ENGINE_THREAD();
    agcEnabled = enabled;
    if (pipeline)
        pipeline->setAgcEnabled(enabled);
}

void AudioCaptureEngine::setHpfEnabled(bool enabled)
{
    ASSERT_ENGINE_THREAD();
    hpfEnabled = enabled;
    if (pipeline)
        pipeline->setHpfEnabled(enabled);
}

void AudioCaptureEngine::setVadThresholdPct(int pct)
{
    ASSERT_ENGINE_THREAD();
    if (detector)
        detector->setThreshold(float(pct) / 100.0f);
}

void AudioCaptureEngine::setVadHangoverMs(int ms)
{
    ASSERT_ENGINE_THREAD();
    if (detector)
        detector->setHangoverMs(ms);
}

void AudioCaptureEngine::setVadSilentStop(bool stop)
{
    ASSERT_ENGINE_THREAD();
    silentStop = stop;
    qCInfo(lcAudioCapture).noquote() << "vad silent behavior:" << (stop ? "stop transmission" : "low bitrate");
}

void AudioCaptureEngine::startCalibration()
{
    ASSERT_ENGINE_THREAD();
    calibrating = true;
    calibrationSumSquares = 0;
    calibrationSamples = 0;
    qCInfo(lcAudioCapture) << "level calibration started";
}

void AudioCaptureEngine::stopCalibration()
{
    ASSERT_ENGINE_THREAD();
    if (!calibrating)
        return;
    calibrating = false;
    bool ok = false;
    int db = 0;
    if (calibrationSamples >= kCalibrationMinSamples) {
        const double rms = std::sqrt(calibrationSumSquares / double(calibrationSamples));
        if (rms > 1e-6) {
            ok = true;
            db = int(std::clamp(std::lround(20.0 * std::log10(kCalibrationTarget / rms)), -29L, 30L));
        }
    }
    qCInfo(lcAudioCapture).nospace() << "level calibration finished samples=" << calibrationSamples << " ok=" << ok
                                     << " recommended_db=" << db;
    emit calibrationFinished(ok, db);
}

void AudioCaptureEngine::startLoopRecord()
{
    ASSERT_ENGINE_THREAD();
    loopRecording = true;
    loopBuffer.clear();
    // The whole recording's room at once, so recording frames allocate nothing.
    loopBuffer.reserve(kLoopRecordLimit);
    qCInfo(lcAudioCapture) << "loop record started";
}

void AudioCaptureEngine::stopLoopRecord()
{
    ASSERT_ENGINE_THREAD();
    if (loopRecording)
        finishLoopRecord();
}

void AudioCaptureEngine::finishLoopRecord()
{
    loopRecording = false;
    QList<qint16> samples;
    samples.swap(loopBuffer);
    qCInfo(lcAudioCapture).nospace() << "loop record finished, samples=" << samples.size();
    emit loopRecordFinished(samples);
}

void AudioCaptureEngine::onCaptureEvent()
{
    ASSERT_ENGINE_THREAD();
    if (!backend || !backend->isOpen())
        return;
    if (!backend->readPackets(backlog)) {
        closeDevice();
        backlog.clear();
        qCWarning(lcAudioCapture) << "capture device invalidated";
        emit captureFailed(QStringLiteral("capture device invalidated"), true);
        return;
    }
    if (audioRestricted) {
        backlog.clear();
        return;
    }

    const std::size_t n = backlog.size();
    if (n > kBacklogLimit) {
        backlog.erase(backlog.begin(), backlog.begin() + std::ptrdiff_t(n - kBacklogLimit));
        droppedSamples += qint64(n - kBacklogLimit);
        if (!backlogOverflow) {
            backlogOverflow = true;
            qCWarning(lcAudioCapture) << "capture backlog overflow, dropping oldest frames";
        }
    } else if (backlogOverflow) {
        qCWarning(lcAudioCapture).nospace()
            << "capture backlog recovered, dropped_ms=" << droppedSamples * 1000 / kRate;
        backlogOverflow = false;
        droppedSamples = 0;
    }

    std::size_t consumed = 0;
    while (backlog.size() - consumed >= std::size_t(kFrame)) {
        runFrame(backlog.data() + consumed);
        consumed += kFrame;
        // A sink or signal may have stopped the capture meanwhile.
        if (backlog.empty())
            return;
    }
    backlog.erase(backlog.begin(), backlog.begin() + std::ptrdiff_t(consumed));
}

void AudioCaptureEngine::runFrame(qint16 *frame)
{
    // The thread's event loop may have left the vector state dirty; every stage below is SSE code.
    clearAvxUpperState();

    // The loop test plays the recording through its own copy of the processing, so it gets the
    // frame as the microphone gave it.
    if (loopRecording) {
        const qsizetype at = loopBuffer.size();
        loopBuffer.resize(at + kFrame);
        std::copy_n(frame, kFrame, loopBuffer.data() + at);
        if (loopBuffer.size() >= kLoopRecordLimit)
            finishLoopRecord();
    }

    // Echo cancellation, automatic gain and the high-pass filter come first: the detector and
    // the calibration then measure the user's voice, not the far end played back.
    if (pipeline)
        pipeline->processNearEnd(frame, kFrame);

    if (detector)
        detector->feed(frame, kFrame);

    const VadDetector::VadState state = detector ? detector->state() : VadDetector::Silent;
    if (calibrating && state == VadDetector::Active) {
        double sum = 0;
        for (int i = 0; i < kFrame; ++i) {
            const double x = frame[i] / 32768.0;
            sum += x * x;
        }
        calibrationSumSquares += sum;
        calibrationSamples += kFrame;
    }

    const bool muted = forceMuted || (micMuted && !pttActive && !broadcastActive);

    if (pipeline) {
        pipeline->process(frame, kFrame);
        const double t = pipeline->lastProcessUs();
        if (t < 50000) {
            loadAverageUs = loadAverageUs > 0 ? loadAverageUs * 0.9 + t * 0.1 : t;
            if (++loadFrames >= 50) {
                loadFrames = 0;
                const int tenths = int(std::lround(loadAverageUs / 10000.0 * 100.0 * 10.0));
                if (tenths != lastLoadTenths) {
                    lastLoadTenths = tenths;
                    emit processingLoadChanged(tenths / 10.0);
                }
            }
        }
    }

    const bool silent = silentStop && !muted && state == VadDetector::Silent && !pttActive && !broadcastActive;
    // The GUI thread holds this lock only while it swaps the sink; a frame that meets it then
    // is dropped rather than waited for.
    std::unique_lock lock(sinkSlot->mutex, std::try_to_lock);
    if (lock.owns_lock() && sinkSlot->sink)
        sinkSlot->sink(muted || silent ? silenceFrame.data() : frame, kFrame, kRate, 1);
}
