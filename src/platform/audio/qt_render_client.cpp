#include "platform/audio/qt_render_client.h"

#include "platform/audio/audio_device_info.h"
#include "platform/audio/audio_event.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QLoggingCategory>
#include <QMediaDevices>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {
Q_LOGGING_CATEGORY(lcRender, "audio.playback", QtInfoMsg)
constexpr int kBufferMs = 40;
constexpr int kPeriodMs = 5;

QAudioDevice findOutput(const QString &id)
{
    const QByteArray wanted = id.toUtf8();
    for (const QAudioDevice &candidate : QMediaDevices::audioOutputs())
        if (candidate.id() == wanted)
            return candidate;
    return {};
}
} // namespace

struct QtRenderClient::Impl
{
    std::unique_ptr<QAudioSink> sink;
    QIODevice *io = nullptr; // owned by the sink
    AudioEvent event;
    std::atomic<bool> started{false};
    int channels = 1;
    int bufferBytes = 0;
    QString endpointId;
};

std::unique_ptr<IRenderClient> createRenderClient()
{
    return std::make_unique<QtRenderClient>();
}

QtRenderClient::QtRenderClient()
    : d(std::make_unique<Impl>())
{}

QtRenderClient::~QtRenderClient()
{
    close();
}

RenderOpenResult QtRenderClient::open(const QString &endpointId, int sampleRate, int channels)
{
    close();
    RenderOpenResult result;

    QAudioDevice device;
    if (endpointId == QLatin1String("default")) {
        device = QMediaDevices::defaultAudioOutput();
    } else if (!endpointId.isEmpty()) {
        device = findOutput(endpointId);
        if (device.isNull())
            qCWarning(lcRender).noquote() << "stored render device not found, falling back to default"
                                          << "device_id=" + endpointId;
    }
    if (device.isNull()) {
        const QString commDefault = defaultEndpointId(AudioDirection::Render, true);
        if (!commDefault.isEmpty())
            device = findOutput(commDefault);
    }
    if (device.isNull())
        device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        result.error = QStringLiteral("no render endpoint (%1)").arg(QStringLiteral("no audio output device"));
        return result;
    }
    if (sampleRate <= 0 || channels <= 0 || !d->event.isValid()) {
        result.error = QStringLiteral("render client initialize failed (%1)").arg(QStringLiteral("bad format"));
        return result;
    }

    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        result.error = QStringLiteral("render client initialize failed (%1)").arg(QStringLiteral("format refused"));
        return result;
    }

    auto sink = std::make_unique<QAudioSink>(device, format);
    sink->setBufferSize(sampleRate * channels * 2 * kBufferMs / 1000);
    QIODevice *io = sink->start();
    if (!io || sink->error() != QAudio::NoError) {
        result.error = QStringLiteral("render client start failed");
        return result;
    }
    d->bufferBytes = int(sink->bufferSize());
    if (d->bufferBytes <= 0) {
        sink->stop();
        result.error = QStringLiteral("render client service failed");
        return result;
    }
    // Start from a full buffer of silence, so the first real write waits for the waterline.
    const QByteArray silence(qMax<qsizetype>(0, sink->bytesFree()), '\0');
    if (!silence.isEmpty())
        io->write(silence);

    d->sink = std::move(sink);
    d->io = io;
    d->channels = channels;
    d->endpointId = QString::fromUtf8(device.id());
    d->started = true;
    result.ok = true;
    result.endpointId = d->endpointId;
    result.bufferFrames = bufferFrames();
    return result;
}

void QtRenderClient::close()
{
    d->started = false;
    if (d->sink)
        d->sink->stop();
    d->io = nullptr;
    d->sink.reset();
    d->bufferBytes = 0;
    d->endpointId.clear();
}

int QtRenderClient::padding() const
{
    if (!d->started || !d->sink)
        return -1;
    if (d->sink->error() == QAudio::FatalError || d->sink->error() == QAudio::IOError
        || d->sink->state() == QAudio::StoppedState)
        return -1;
    const qsizetype queued = d->bufferBytes - d->sink->bytesFree();
    return int(std::max<qsizetype>(0, queued) / (2 * d->channels));
}

int QtRenderClient::bufferFrames() const
{
    return d->bufferBytes / (2 * d->channels);
}

bool QtRenderClient::hasEvent() const
{
    return d->event.isValid();
}

RenderWait QtRenderClient::waitEvent(int timeoutMs)
{
    // No period event exists here: wake at the device period whatever happens.
    d->event.wait(std::min(timeoutMs, kPeriodMs));
    return RenderWait::Signalled;
}

void QtRenderClient::signalEvent()
{
    d->event.signal();
}

bool QtRenderClient::write(const qint16 *samples, int frames)
{
    if (!d->started || !d->io || frames <= 0 || !samples)
        return false;
    const qint64 bytes = qint64(frames) * d->channels * 2;
    return d->io->write(reinterpret_cast<const char *>(samples), bytes) == bytes;
}
