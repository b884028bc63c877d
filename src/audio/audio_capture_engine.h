#pragma once

#include "audio/vad_detector.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AudioPipeline;
class AudioPipelineSlot;
class IAudioCaptureBackend;
class NeuralSuppressor;
class QSocketNotifier;
struct AudioFrameSinkSlot;

// Turns the microphone into 10 ms frames (480 samples, 48 kHz, mono) for the frame sink: each
// time the backend's event fires, the captured audio goes into a backlog bounded to 50 ms,
// and every whole frame runs through the optional loop recording (of the raw frame), the echo
// module (echo cancellation, automatic gain, high-pass filter), voice-activity detection,
// level calibration, the noise suppressor and limiter, the load meter and the sink.
//
// Per frame the engine takes no lock that another thread can hold for long and allocates
// nothing: the neural model arrives loaded (installSuppressor), the echo module is rebuilt only
// when an option changes, and the sink slot is only tried (a frame that meets the GUI thread
// replacing the sink is dropped).
//
// Threads: built on the GUI thread and moved to the "audio-capture" thread before that thread
// starts; from then on every slot, every timer and every signal runs on the capture thread
// (debug builds assert it), and the capture manager reaches it only through queued calls.
// Shared with other threads, and nothing else:
// - the frame sink slot, under its own mutex (held while the sink runs);
// - the pipeline slot, which this thread alone writes (the new pipeline after it is built,
//   null before it is let go) and the render and GUI threads read atomically.
class AudioCaptureEngine : public QObject
{
    Q_OBJECT
public:
    using BackendFactory = std::function<std::unique_ptr<IAudioCaptureBackend>()>;

    // What the engine is built from besides its two slots; tests replace the backend and the
    // detector library.
    struct Dependencies
    {
        BackendFactory backendFactory;                            // empty: the system's backend
        std::optional<VadDetector::LibraryCalls> detectorLibrary; // empty: load "ten_vad"
    };

    AudioCaptureEngine(std::shared_ptr<AudioFrameSinkSlot> sink, AudioPipelineSlot *pipelineSlot,
                       Dependencies dependencies = {});
    ~AudioCaptureEngine() override;

    // Capture thread: whether a capture is running (a device may be lost meanwhile).
    bool isCapturing() const;

signals:
    void captureStarted(const QString &endpointId, bool rawMode);
    void captureStopped();
    void captureFailed(const QString &reason, bool canRetry);
    void vadBitrateChangeRequested(int bps);
    void vadStateChanged(int state);
    void vadSpeakingChanged(bool speaking);
    void vadProbabilityChanged(float probability);
    void processingLoadChanged(double singleCorePercent);
    void calibrationFinished(bool ok, int recommendedGainDb);
    void loopRecordFinished(const QList<qint16> &samples);

public slots:
    void initializeOnThread();
    void shutdownOnThread();
    void startCapture();
    void stopCapture();
    void reopenDevice();
    void setDeviceId(const QString &id);
    void setMicMuted(bool muted);
    void setForceMuted(bool muted);
    void setPttActive(bool active);
    void setBroadcastActive(bool active);
    void setInputVolume(double volume);
    void setNoiseMode(const QString &mode);
    void setAudioRestricted(bool restricted);
    void setVadRoomBitrate(int bps);
    void setAecEnabled(bool enabled);
    void setAgcEnabled(bool enabled);
    void setHpfEnabled(bool enabled);
    void setVadThresholdPct(int pct);
    void setVadHangoverMs(int ms);
    void setVadSilentStop(bool stop);
    void startCalibration();
    void stopCalibration();
    void startLoopRecord();
    void stopLoopRecord();
    // The backend's event fired: read, bound the backlog, run every whole frame.
    void onCaptureEvent();
    // A suppressor loaded on a worker thread for a neural mode; kept while the engine's mode is
    // that one, and handed to every pipeline of that mode. Ignored for another mode.
    void installSuppressor(std::shared_ptr<NeuralSuppressor> suppressor);

private:
    bool openDevice();
    void closeDevice();
    void runFrame(qint16 *frame);
    void finishLoopRecord();
    void updateDetectorMute();
    void onDetectorState(VadDetector::VadState state);

    std::shared_ptr<AudioFrameSinkSlot> sinkSlot;
    AudioPipelineSlot *pipelineSlot = nullptr;
    BackendFactory backendFactory;
    std::unique_ptr<IAudioCaptureBackend> backend;
    QSocketNotifier *eventNotifier = nullptr;
    std::shared_ptr<AudioPipeline> pipeline;
    std::shared_ptr<NeuralSuppressor> suppressor;
    VadDetector *detector = nullptr;
    bool speaking = false;
    bool schedulerRegistered = false;
    bool capturing = false;
    QString deviceId;
    bool micMuted = false;
    bool forceMuted = false;
    bool pttActive = false;
    bool broadcastActive = false;
    bool audioRestricted = false;
    int vadRoomBitrate = 0;
    double inputVolume = 1.0;
    QString noiseModeName;
    bool aecEnabled = true;
    bool agcEnabled = false;
    bool hpfEnabled = true;
    bool silentStop = true;
    double loadAverageUs = 0;
    int loadFrames = 0;
    int lastLoadTenths = -1;
    bool loopRecording = false;
    QList<qint16> loopBuffer;
    bool calibrating = false;
    double calibrationSumSquares = 0;
    qint64 calibrationSamples = 0;
    std::vector<qint16> backlog;
    std::vector<qint16> silenceFrame;
    bool backlogOverflow = false;
    qint64 droppedSamples = 0;
};
