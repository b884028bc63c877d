#pragma once

#include "audio/audio_capture_engine.h"
#include "audio/noise_mode.h"
#include "platform/audio/audio_device_info.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AudioPipelineSlot;
class IAudioStorage;
class NeuralSuppressor;

// The GUI-thread face of microphone capture: owns the "audio-capture" thread and the engine on
// it, keeps the capture settings (clamped, persisted through the audio store), forwards each
// setting to the engine as a queued call, relays the engine's results as its own signals,
// installs the media session's frame sink, and reopens the device after a loss or a change of
// the default device.
//
// The model of a neural noise mode is loaded on the manager's own worker thread, at
// construction and whenever the mode changes, and handed to the engine loaded, so neither a
// capture start nor a room join ever loads a model on the capture thread.
//
// Threads: every function here runs on the GUI thread (debug builds assert it). The engine
// runs on the capture thread and is reached only through queued calls, in call order; its
// signals arrive queued. The model-loading worker touches nothing of the manager: it hands its
// result to the engine as a queued call. Shared with the capture thread: the frame sink slot (its mutex is the
// only lock the two threads share) and the pipeline slot (atomic; read here for inputPeak()).
class AudioCaptureManager : public QObject
{
    Q_OBJECT
public:
    // What the manager is built from besides the store; tests replace the engine's
    // dependencies and the device list used to name the opened device.
    struct Dependencies
    {
        AudioCaptureEngine::Dependencies engine;
        std::function<QList<AudioDeviceInfo>()> listCaptureDevices; // empty: the system's list
        // Loads the suppressor of a neural mode; runs on the manager's model-loading worker.
        // Empty: the model from the models folder.
        std::function<std::unique_ptr<NeuralSuppressor>(NoiseMode)> loadSuppressor;
    };

    explicit AudioCaptureManager(IAudioStorage *storage, QObject *parent = nullptr, Dependencies dependencies = {});
    ~AudioCaptureManager() override;

    QString deviceId() const;
    int inputGainDb() const;
    QString noiseMode() const;
    bool aecEnabled() const;
    bool agcEnabled() const;
    bool hpfEnabled() const;
    int vadThresholdPct() const;
    int vadHangoverMs() const;
    bool vadSilentStop() const;
    // Whether the voice session's own request (startCapture) is held; other owners' requests
    // (acquireCapture) do not count here.
    bool captureRequested() const;
    // Whether any request is held, the session's or another owner's.
    bool captureActive() const;
    // The current pipeline's peak meter (linear 0..1); 0 while nothing is captured.
    float inputPeak() const;
    // For the playback side's echo reference.
    AudioPipelineSlot *pipelineSlot() const;

    void setDeviceId(const QString &id);
    void setInputGainDb(int db);
    void setNoiseMode(const QString &mode);
    void setAecEnabled(bool enabled);
    void setAgcEnabled(bool enabled);
    void setHpfEnabled(bool enabled);
    void setVadThresholdPct(int pct);
    void setVadHangoverMs(int ms);
    void setVadSilentStop(bool stop);

    // Forwarded to the engine as they come; nothing is stored.
    void setMicMuted(bool muted);
    void setForceMuted(bool muted);
    void setPttActive(bool active);
    void setBroadcastActive(bool active);
    void setVadRoomBitrate(int bps);

    // startCapture/stopCapture hold and drop the voice session's request. Starting while only
    // other owners hold capture joins the running capture instead of reopening the device.
    void startCapture();
    void stopCapture();
    // A further, independent request for the microphone, e.g. a settings window's meters: the
    // device runs while any request is held, so one owner letting go never stops another's
    // capture. Acquiring while capture already runs does not reopen the device; acquiring twice
    // with one owner counts once.
    void acquireCapture(const void *owner);
    void releaseCapture(const void *owner);
    void startCalibration();
    void stopCalibration();
    void startLoopRecord();
    void stopLoopRecord();

    // Replaces the frame sink under the sink slot's mutex; an empty function uninstalls. The
    // sink runs on the capture thread.
    void setFrameSink(std::function<void(const qint16 *, int, int, int)> sink);

signals:
    void vadBitrateChangeRequested(int bps);
    void vadSpeakingChanged(bool speaking);
    void vadStateChanged(int state);
    void vadProbabilityChanged(float probability);
    void processingLoadChanged(double singleCorePercent);
    void calibrationFinished(bool ok, int recommendedGainDb);
    void loopRecordFinished(const QList<qint16> &samples);
    void captureDeviceChanged(const QString &deviceName, bool rawMode);
    // The microphone could not be opened, or was lost and could not be reopened; capture stopped.
    void captureFailed(const QString &reason);

public slots:
    void onDefaultInputChanged();
    void onDefaultConsoleInputChanged();

private:
    void onCaptureStarted(const QString &endpointId, bool rawMode);
    void onCaptureFailed(const QString &reason, bool canRetry);
    void loadModelFor(const QString &mode);
    template<typename... Args>
    void queue(void (AudioCaptureEngine::*slot)(Args...), std::decay_t<Args>... args);

    struct Impl;
    std::unique_ptr<Impl> d;
};
