#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class AudioPipeline;
class QTimer;
class VadDetector;

// Where the loop test writes its audio: a push-mode output with room for `bytesFree()` bytes.
class ILoopbackOutput
{
public:
    virtual ~ILoopbackOutput() = default;
    // False when the output did not start.
    virtual bool start() = 0;
    virtual qint64 bytesFree() const = 0;
    virtual qint64 write(const char *data, qint64 bytes) = 0;
};

// What the loop test is built from; tests replace the output and drive the ticks.
struct AudioLoopbackDependencies
{
    // Makes the output for a device on the loop-test thread; empty: a Qt audio sink.
    std::function<std::unique_ptr<ILoopbackOutput>(const QAudioDevice &)> openOutput;
    int tickIntervalMs = 20; // 0: no timer, the owner calls tickNow()
    // Makes the voice detector on the loop-test thread; empty: the detector over its library.
    std::function<std::unique_ptr<VadDetector>()> makeDetector;
    // A decoder that shows no progress (no buffer, no position or duration change) for this
    // long is given up as failed: the media backend here reports neither an error nor the end
    // for some unreadable files. Checks that ran late because this thread was starved do not
    // count, so a slow decode on a busy machine is not a stall.
    int decodeStallMs = 10000;
};

// Decides when a file decoder has stalled by counting checks that found no progress, not
// by time: a decode that is slow on a busy machine keeps making progress, and a check that
// comes late (the checking thread was starved itself) is no evidence against the decoder.
class DecodeStallGauge
{
public:
    // Gives up after `checks` checks in a row, on time and without progress, spread over
    // `boundMs`.
    explicit DecodeStallGauge(int boundMs, int checks = 10);
    int checkIntervalMs() const { return intervalMs; }
    // One check, `sinceLastMs` after the previous one (or the start); true when the decoder
    // is to be given up.
    bool check(qint64 sinceLastMs, bool progressed);

private:
    int checksToGiveUp;
    int intervalMs;
    int idleChecks = 0;
};

// The audio settings dialog's loop test: a short microphone recording or a decoded file played
// through the same processing and voice gate as the live voice, on the chosen output. The
// samples are 48 kHz mono 16-bit; a frame is 480 samples.
//
// Threads: this object, the file decoder and the device resolution run on the GUI thread; the
// worker owns the samples, the pipeline, the detector and the output on the "audio-loopback"
// thread. Every setter crosses as a queued call carrying its values, so nothing is shared.
class AudioLoopback : public QObject
{
    Q_OBJECT
public:
    class Worker;
    static constexpr int kMaxSamples = 2880000; // 60 s

    explicit AudioLoopback(QObject *parent = nullptr, AudioLoopbackDependencies dependencies = {});
    ~AudioLoopback() override;

    void setSource(QList<qint16> samples, const QString &label);
    void loadFile(const QString &path);
    void clear();
    void setPlaying(bool playing);
    void setLooping(bool looping);
    void setOutputDeviceId(const QString &endpointId);
    void setNoiseMode(const QString &name);
    void setInputGainDb(int dB);
    void setAgcEnabled(bool enabled);
    void setHpfEnabled(bool enabled);
    void setVadThresholdPct(int percent);
    void setVadHangoverMs(int ms);
    void setVadSilentStop(bool stop);

    // Runs one worker tick and returns once it is done (for owners without the timer).
    void tickNow();

signals:
    void sourceChanged(QString label, double seconds);
    void progressChanged(double positionSec, double totalSec);
    void playbackStopped();
    void decodeFailed();

private:
    void installSource(QList<qint16> samples, const QString &label);
    // `attempt` 0 is the first decode of `path`; a decode that stalls is started once more.
    void decode(const QString &path, int attempt);

    QThread thread;
    Worker *worker = nullptr; // owned; lives on `thread`
    int decodeStallMs = 10000;
};

class AudioLoopback::Worker : public QObject
{
    Q_OBJECT
public:
    explicit Worker(AudioLoopbackDependencies dependencies);
    ~Worker() override;

    void start();
    void startSink(const QAudioDevice &device);
    void tick();

    std::unique_ptr<AudioPipeline> pipeline;
    std::unique_ptr<VadDetector> vad;
    bool silentStop = true;
    std::unique_ptr<ILoopbackOutput> sink;
    QByteArray sinkDeviceId;
    bool sinkStarted = false;
    QTimer *tickTimer = nullptr;
    QList<qint16> samples;
    QString label;
    qint64 position = 0;
    bool playing = false;
    bool looping = false;
    int tickCount = 0;

signals:
    void progressReported(double positionSec, double totalSec);
    void stoppedAtEnd();

private:
    AudioLoopbackDependencies deps;
};
