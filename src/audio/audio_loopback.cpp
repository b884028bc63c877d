#include "audio/audio_loopback.h"

#include "audio/audio_pipeline.h"
#include "audio/avx_state.h"
#include "audio/noise_mode.h"
#include "audio/playback_log.h"
#include "audio/thread_handoff.h"
#include "audio/vad_detector.h"
#include "platform/audio/audio_device_info.h"

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kFrame = 480;
constexpr int kFrameBytes = kFrame * 2;
constexpr int kMaxFramesPerTick = 6;
// What the stall checks of one decode compare.
struct DecodeProgress
{
    qint64 buffersRead = 0;
    qint64 buffersAtCheck = 0;
    qint64 positionAtCheck = -1;
    qint64 durationAtCheck = -1;
    QElapsedTimer sinceCheck;
};

QAudioFormat loopFormat()
{
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

class SinkOutput : public ILoopbackOutput
{
public:
    explicit SinkOutput(const QAudioDevice &device)
        : sink(device, loopFormat())
    {}
    ~SinkOutput() override { sink.stop(); }

    bool start() override
    {
        io = sink.start();
        return io != nullptr;
    }
    qint64 bytesFree() const override { return io ? sink.bytesFree() : 0; }
    qint64 write(const char *data, qint64 bytes) override { return io ? io->write(data, bytes) : -1; }

private:
    QAudioSink sink;
    QIODevice *io = nullptr; // owned by the sink
};

QAudioDevice resolveOutputDevice(const QString &endpointId)
{
    if (endpointId == QLatin1String("default"))
        return QMediaDevices::defaultAudioOutput();
    QString wanted = endpointId;
    if (wanted.isEmpty()) {
        wanted = defaultEndpointId(AudioDirection::Render, true);
        if (wanted.isEmpty())
            return QMediaDevices::defaultAudioOutput();
    }
    for (const QAudioDevice &device : QMediaDevices::audioOutputs()) {
        const QByteArray id = device.id();
        const QString asUtf16 = QString::fromUtf16(reinterpret_cast<const char16_t *>(id.constData()), id.size() / 2);
        if (QString::fromUtf8(id) == wanted || asUtf16 == wanted)
            return device;
    }
    qCWarning(lcAudioPlayback) << "loopback output endpoint not matched in qt devices,"
                               << "falling back to default output";
    return QMediaDevices::defaultAudioOutput();
}

double inputGainLinear(int dB)
{
    return dB <= -30 ? 0.0 : std::pow(10.0, std::min(dB, 30) / 20.0);
}

// One decoded buffer as 48 kHz mono 16-bit samples; empty for a sample format we do not read.
std::vector<qint16> convertBuffer(const QAudioBuffer &buffer)
{
    const QAudioFormat format = buffer.format();
    const int count = int(buffer.sampleCount());
    std::vector<qint16> samples;
    if (format.sampleFormat() == QAudioFormat::Int16) {
        const qint16 *data = buffer.constData<qint16>();
        samples.assign(data, data + count);
    } else if (format.sampleFormat() == QAudioFormat::Float) {
        const float *data = buffer.constData<float>();
        samples.resize(std::size_t(count));
        for (int i = 0; i < count; ++i)
            samples[std::size_t(i)] = qint16(std::clamp(std::lround(data[i] * 32768.0f), -32768L, 32767L));
    } else {
        return {};
    }
    if (format.sampleRate() == kRate && format.channelCount() == 1)
        return samples;
    return downmixResample(samples.data(), count, format.channelCount(), format.sampleRate(), kRate);
}

} // namespace

DecodeStallGauge::DecodeStallGauge(int boundMs, int checks)
    : checksToGiveUp(std::max(1, checks))
    , intervalMs(std::max(1, boundMs / std::max(1, checks)))
{}

bool DecodeStallGauge::check(qint64 sinceLastMs, bool progressed)
{
    if (progressed) {
        idleChecks = 0;
        return false;
    }
    // A check that comes late found this thread starved: the decoder's threads shared the
    // same busy machine, so the gap says nothing about the decoder.
    if (sinceLastMs > 2 * qint64(intervalMs))
        return false;
    return ++idleChecks >= checksToGiveUp;
}

AudioLoopback::Worker::Worker(AudioLoopbackDependencies dependencies)
    : deps(std::move(dependencies))
{}

AudioLoopback::Worker::~Worker() = default;

void AudioLoopback::Worker::start()
{
    pipeline = std::make_unique<AudioPipeline>(kRate, 1);
    pipeline->setAecEnabled(false); // the loop test has no far-end signal
    vad = deps.makeDetector ? deps.makeDetector() : std::make_unique<VadDetector>();
    startSink(QMediaDevices::defaultAudioOutput());
    if (deps.tickIntervalMs > 0) {
        tickTimer = new QTimer(this);
        tickTimer->setInterval(deps.tickIntervalMs);
        connect(tickTimer, &QTimer::timeout, this, &Worker::tick);
        tickTimer->start();
    }
}

void AudioLoopback::Worker::startSink(const QAudioDevice &device)
{
    sink.reset();
    sinkStarted = false;
    sinkDeviceId = device.id();
    sink = deps.openOutput ? deps.openOutput(device) : std::make_unique<SinkOutput>(device);
    sinkStarted = sink && sink->start();
    if (!sinkStarted)
        qCWarning(lcAudioPlayback) << "loopback sink start failed";
}

void AudioLoopback::Worker::tick()
{
    if (!playing || samples.isEmpty() || !sink || !sinkStarted)
        return;
    qint16 frame[kFrame];
    for (int written = 0; written < kMaxFramesPerTick && sink->bytesFree() >= kFrameBytes; ++written) {
        const int take = int(std::min<qint64>(kFrame, samples.size() - position));
        std::copy_n(samples.constData() + position, take, frame);
        std::fill(frame + take, frame + kFrame, qint16(0));
        // The same order as the live voice: the echo module (automatic gain, high-pass filter;
        // no far end here) first, then the detector, then suppression and gain.
        clearAvxUpperState();
        pipeline->processNearEnd(frame, kFrame);
        vad->feed(frame, kFrame);
        pipeline->process(frame, kFrame);
        if (silentStop && vad->state() == VadDetector::Silent)
            std::fill(frame, frame + kFrame, qint16(0));
        sink->write(reinterpret_cast<const char *>(frame), kFrameBytes);
        position += take;
        if (position >= samples.size()) {
            if (looping) {
                position = 0;
                continue;
            }
            playing = false;
            emit stoppedAtEnd();
            break;
        }
    }
    if (++tickCount >= 5) {
        tickCount = 0;
        emit progressReported(double(position) / kRate, double(samples.size()) / kRate);
    }
}

AudioLoopback::AudioLoopback(QObject *parent, AudioLoopbackDependencies dependencies)
    : QObject(parent)
    , worker(new Worker(dependencies))
    , decodeStallMs(dependencies.decodeStallMs)
{
    worker->moveToThread(&thread);
    thread.setObjectName(QStringLiteral("audio-loopback"));
    connect(&thread, &QThread::started, worker, &Worker::start);
    connect(worker, &Worker::progressReported, this, &AudioLoopback::progressChanged, Qt::QueuedConnection);
    connect(worker, &Worker::stoppedAtEnd, this, &AudioLoopback::playbackStopped, Qt::QueuedConnection);
    thread.start(QThread::InheritPriority);
}

AudioLoopback::~AudioLoopback()
{
    // The output, the timers and the processing belong to the loop-test thread, so they go
    // there, before the thread ends.
    QMetaObject::invokeMethod(
        worker,
        [w = worker] {
            delete w->tickTimer;
            w->tickTimer = nullptr;
            w->sink.reset();
            w->vad.reset();
            w->pipeline.reset();
        },
        Qt::BlockingQueuedConnection);
    quitAndJoin(thread);
    delete worker;
}

void AudioLoopback::installSource(QList<qint16> samples, const QString &label)
{
    // The samples were written on this thread and are read on the loop-test thread from now on.
    annotateHappensBefore(worker);
    QMetaObject::invokeMethod(
        worker,
        [w = worker, samples = std::move(samples), label]() mutable {
            annotateHappensAfter(w);
            w->samples = std::move(samples);
            w->label = label;
            w->position = 0;
            w->playing = false;
            emit w->progressReported(0.0, double(w->samples.size()) / kRate);
        },
        Qt::QueuedConnection);
}

void AudioLoopback::setSource(QList<qint16> samples, const QString &label)
{
    const double seconds = double(samples.size()) / kRate;
    installSource(std::move(samples), label);
    emit sourceChanged(label, seconds);
}

void AudioLoopback::loadFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        qCWarning(lcAudioPlayback) << "loopback decode failed:"
                                   << "file not readable" << path;
        emit decodeFailed();
        return;
    }
    decode(path, 0);
}

void AudioLoopback::decode(const QString &path, int attempt)
{
    auto *decoder = new QAudioDecoder(this);
    decoder->setAudioFormat(loopFormat());
    auto gathered = std::make_shared<QList<qint16>>();
    auto done = std::make_shared<bool>(false); // one outcome per file, whatever the decoder reports
    auto progress = std::make_shared<DecodeProgress>();
    auto gauge = std::make_shared<DecodeStallGauge>(decodeStallMs);
    auto *stall = new QTimer(decoder);
    stall->setInterval(gauge->checkIntervalMs());
    connect(stall, &QTimer::timeout, this, [this, decoder, done, progress, gauge, path, attempt] {
        if (*done)
            return;
        // Decoded data waiting for this thread is progress that its handler has not seen yet.
        const bool moved = progress->buffersRead != progress->buffersAtCheck || decoder->bufferAvailable()
                           || decoder->position() != progress->positionAtCheck
                           || decoder->duration() != progress->durationAtCheck;
        progress->buffersAtCheck = progress->buffersRead;
        progress->positionAtCheck = decoder->position();
        progress->durationAtCheck = decoder->duration();
        if (!gauge->check(progress->sinceCheck.restart(), moved))
            return;
        *done = true;
        decoder->stop();
        decoder->deleteLater();
        // The media backend's decoder can stall for good on a busy machine where a fresh one
        // goes through: one more try before the file counts as undecodable.
        if (attempt == 0) {
            qCWarning(lcAudioPlayback) << "loopback decode stalled, starting again:" << path;
            decode(path, attempt + 1);
            return;
        }
        qCWarning(lcAudioPlayback) << "loopback decode failed:"
                                   << "decoder made no progress";
        emit decodeFailed();
    });
    connect(decoder, &QAudioDecoder::bufferReady, this, [decoder, gathered, progress] {
        ++progress->buffersRead;
        const QAudioBuffer buffer = decoder->read();
        if (!buffer.isValid() || gathered->size() >= kMaxSamples)
            return;
        const std::vector<qint16> samples = convertBuffer(buffer);
        gathered->append(QList<qint16>(samples.begin(), samples.end()));
    });
    connect(decoder, &QAudioDecoder::finished, this, [this, decoder, gathered, done, path] {
        if (std::exchange(*done, true))
            return;
        decoder->deleteLater();
        if (gathered->isEmpty()) {
            qCWarning(lcAudioPlayback) << "loopback decode produced no samples:" << path;
            emit decodeFailed();
            return;
        }
        if (gathered->size() > kMaxSamples)
            gathered->resize(kMaxSamples);
        const QString label = QFileInfo(path).fileName();
        const double seconds = double(gathered->size()) / kRate;
        installSource(std::move(*gathered), label);
        emit sourceChanged(label, seconds);
    });
    connect(decoder, QOverload<QAudioDecoder::Error>::of(&QAudioDecoder::error), this, [this, decoder, done] {
        if (std::exchange(*done, true))
            return;
        qCWarning(lcAudioPlayback) << "loopback decode failed:" << decoder->errorString();
        decoder->deleteLater();
        emit decodeFailed();
    });
    // The source is set only once the handlers are connected: opening an unreadable file may
    // report its error at once.
    decoder->setSource(QUrl::fromLocalFile(path));
    decoder->start();
    progress->sinceCheck.start();
    stall->start();
}

void AudioLoopback::clear()
{
    QMetaObject::invokeMethod(
        worker,
        [w = worker] {
            w->samples.clear();
            w->label.clear();
            w->position = 0;
            w->playing = false;
            emit w->progressReported(0.0, 0.0);
        },
        Qt::QueuedConnection);
    emit playbackStopped();
}

void AudioLoopback::setPlaying(bool playing)
{
    QMetaObject::invokeMethod(
        worker,
        [w = worker, playing] {
            if (w->samples.isEmpty())
                return;
            w->playing = playing;
            if (playing && w->position >= w->samples.size())
                w->position = 0;
        },
        Qt::QueuedConnection);
}

void AudioLoopback::setLooping(bool looping)
{
    QMetaObject::invokeMethod(
        worker, [w = worker, looping] { w->looping = looping; }, Qt::QueuedConnection);
}

void AudioLoopback::setOutputDeviceId(const QString &endpointId)
{
    const QAudioDevice device = resolveOutputDevice(endpointId);
    QMetaObject::invokeMethod(
        worker,
        [w = worker, device] {
            if (w->sink && w->sinkDeviceId == device.id())
                return;
            w->startSink(device);
        },
        Qt::QueuedConnection);
}

void AudioLoopback::setNoiseMode(const QString &name)
{
    const NoiseMode mode = parseNoiseMode(name);
    QMetaObject::invokeMethod(
        worker, [w = worker, mode] { w->pipeline->setNoiseMode(mode); }, Qt::QueuedConnection);
}

void AudioLoopback::setInputGainDb(int dB)
{
    const double gain = inputGainLinear(dB);
    QMetaObject::invokeMethod(
        worker, [w = worker, gain] { w->pipeline->setVolume(gain); }, Qt::QueuedConnection);
}

void AudioLoopback::setAgcEnabled(bool enabled)
{
    QMetaObject::invokeMethod(
        worker, [w = worker, enabled] { w->pipeline->setAgcEnabled(enabled); }, Qt::QueuedConnection);
}

void AudioLoopback::setHpfEnabled(bool enabled)
{
    QMetaObject::invokeMethod(
        worker, [w = worker, enabled] { w->pipeline->setHpfEnabled(enabled); }, Qt::QueuedConnection);
}

void AudioLoopback::setVadThresholdPct(int percent)
{
    const float threshold = float(percent) / 100.0f;
    QMetaObject::invokeMethod(
        worker, [w = worker, threshold] { w->vad->setThreshold(threshold); }, Qt::QueuedConnection);
}

void AudioLoopback::setVadHangoverMs(int ms)
{
    QMetaObject::invokeMethod(
        worker, [w = worker, ms] { w->vad->setHangoverMs(ms); }, Qt::QueuedConnection);
}

void AudioLoopback::setVadSilentStop(bool stop)
{
    QMetaObject::invokeMethod(
        worker, [w = worker, stop] { w->silentStop = stop; }, Qt::QueuedConnection);
}

void AudioLoopback::tickNow()
{
    QMetaObject::invokeMethod(
        worker, [w = worker] { w->tick(); }, Qt::BlockingQueuedConnection);
}
