#include "platform/audio/qt_capture_backend.h"

#include "platform/audio/audio_event.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcBackend, "audio.capture", QtInfoMsg)
constexpr int kPollMs = 5;
constexpr int kReadChunkBytes = 9600; // 100 ms of 48 kHz mono
// One call reads at most this much. A source that delivers faster than real time (a pipe fed
// without pacing, a driver catching up) would otherwise keep the capture thread in the read
// loop for as long as it delivers, starving the frames and the stop that wait behind it.
constexpr int kMaxReadBytesPerCall = 5 * kReadChunkBytes;
} // namespace

struct QtCaptureBackend::Impl
{
    std::unique_ptr<QAudioSource> source;
    QIODevice *io = nullptr; // owned by the source
    std::unique_ptr<AudioEvent> event;
    std::unique_ptr<QTimer> poll;
    bool opened = false;
    int channels = 1;
    QString endpointId;
    QByteArray scratch;
    int carry = 0; // bytes of a split sample kept at the front of scratch
};

std::unique_ptr<IAudioCaptureBackend> createCaptureBackend()
{
    return std::make_unique<QtCaptureBackend>();
}

QtCaptureBackend::QtCaptureBackend()
    : d(std::make_unique<Impl>())
{}

QtCaptureBackend::~QtCaptureBackend()
{
    close();
}

CaptureOpenResult QtCaptureBackend::open(const QString &deviceId, int sampleRate, int channels)
{
    close();
    CaptureOpenResult result;

    QAudioDevice device;
    if (deviceId == QLatin1String("default")) {
        device = QMediaDevices::defaultAudioInput();
    } else if (!deviceId.isEmpty()) {
        const QByteArray wanted = deviceId.toUtf8();
        for (const QAudioDevice &candidate : QMediaDevices::audioInputs()) {
            if (candidate.id() == wanted) {
                device = candidate;
                break;
            }
        }
        if (device.isNull())
            qCWarning(lcBackend).noquote() << "stored capture device not found, falling back to default"
                                           << "device_id=" + deviceId;
    }
    if (device.isNull())
        device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        result.error = QStringLiteral("no capture endpoint (%1)").arg(QStringLiteral("no audio input device"));
        return result;
    }

    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (sampleRate <= 0 || channels <= 0) {
        result.error = QStringLiteral("audio client initialize failed (%1)").arg(QStringLiteral("bad format"));
        return result;
    }

    auto event = std::make_unique<AudioEvent>();
    auto source = std::make_unique<QAudioSource>(device, format);
    // About 40 ms of buffer, as the engine's backlog bound expects.
    source->setBufferSize(sampleRate * channels * 2 * 40 / 1000);
    QIODevice *io = event->isValid() ? source->start() : nullptr;
    if (!io || source->error() != QAudio::NoError) {
        result.error = QStringLiteral("audio client start failed");
        return result;
    }

    d->source = std::move(source);
    d->io = io;
    d->event = std::move(event);
    AudioEvent *ev = d->event.get();
    QObject::connect(io, &QIODevice::readyRead, io, [ev] { ev->signal(); });
    // The source may deliver without announcing it; a short poll keeps the event honest.
    d->poll = std::make_unique<QTimer>();
    d->poll->setInterval(kPollMs);
    QAudioSource *src = d->source.get();
    QObject::connect(d->poll.get(), &QTimer::timeout, d->poll.get(), [src, ev] {
        if (src->state() != QAudio::SuspendedState)
            ev->signal();
    });
    d->poll->start();

    d->opened = true;
    d->channels = channels;
    d->endpointId = QString::fromUtf8(device.id());
    result.ok = true;
    result.rawMode = false; // the sound server offers no raw stream option
    result.endpointId = d->endpointId;
    return result;
}

void QtCaptureBackend::close()
{
    d->poll.reset();
    if (d->source)
        d->source->stop();
    d->io = nullptr;
    d->source.reset();
    d->event.reset();
    d->opened = false;
    d->carry = 0;
    d->endpointId.clear();
}

bool QtCaptureBackend::isOpen() const
{
    return d->opened;
}

int QtCaptureBackend::eventHandle() const
{
    return d->event ? d->event->fd() : -1;
}

bool QtCaptureBackend::readPackets(std::vector<qint16> &out)
{
    if (!d->opened || !d->source || !d->io)
        return false;
    d->event->consume();
    if (d->source->error() == QAudio::FatalError || d->source->error() == QAudio::IOError
        || d->source->state() == QAudio::StoppedState)
        return false;
    // bytesAvailable() lags behind what read() can deliver here, so read until it is empty.
    d->scratch.resize(kReadChunkBytes);
    for (qint64 total = 0;;) {
        if (total >= kMaxReadBytesPerCall) {
            // More is waiting: come back on the next turn of the thread's loop.
            d->event->signal();
            break;
        }
        const qint64 got = d->io->read(d->scratch.data() + d->carry, kReadChunkBytes - d->carry);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += got;
        const qint64 bytes = d->carry + got;
        const auto *samples = reinterpret_cast<const qint16 *>(d->scratch.constData());
        out.insert(out.end(), samples, samples + bytes / 2);
        // An odd trailing byte waits for its partner.
        d->carry = int(bytes % 2);
        if (d->carry)
            d->scratch[0] = d->scratch[bytes - 1];
    }
    return true;
}
