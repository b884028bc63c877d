#include "platform/audio/clocked_render_client.h"

#include <QLoggingCategory>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {
Q_LOGGING_CATEGORY(lcClocked, "audio.playback", QtInfoMsg)
constexpr auto kAdvanceWait = std::chrono::seconds(2);
} // namespace

struct ClockedRenderDevice::State
{
    mutable std::mutex mutex;
    std::condition_variable changed;
    int bufferFrames = 1920;
    QStringList endpoints{QStringLiteral("speaker")};
    QString commDefault = QStringLiteral("speaker");
    QString consoleDefault = QStringLiteral("speaker");
    QString openError;
    bool lost = false;
    int startThreshold = 0;
    bool starved = false; // ran dry and waits for startThreshold frames
    int openAttempts = 0;
    QStringList opened;
    const void *owner = nullptr; // the client that has the device open
    int channels = 1;
    std::deque<qint16> queue;
    std::vector<qint16> written;
    bool signalled = false;
    bool idle = false;     // a render thread waits on the event
    bool attached = false; // a render thread has waited since the open
    quint64 idleCount = 0; // times a render thread went back to waiting
};

namespace {

class ClockedRenderClient : public IRenderClient
{
public:
    explicit ClockedRenderClient(std::shared_ptr<ClockedRenderDevice::State> state)
        : s(std::move(state))
    {}
    ~ClockedRenderClient() override { close(); }

    RenderOpenResult open(const QString &endpointId, int sampleRate, int channels) override
    {
        close();
        RenderOpenResult result;
        std::lock_guard lock(s->mutex);
        ++s->openAttempts;
        QString resolved;
        if (endpointId == QLatin1String("default")) {
            resolved = s->consoleDefault;
        } else if (!endpointId.isEmpty()) {
            if (s->endpoints.contains(endpointId))
                resolved = endpointId;
            else
                qCWarning(lcClocked).noquote() << "stored render device not found, falling back to default"
                                               << "device_id=" + endpointId;
        }
        if (resolved.isEmpty())
            resolved = s->commDefault;
        if (resolved.isEmpty() || !s->endpoints.contains(resolved)) {
            result.error = QStringLiteral("no render endpoint (%1)").arg(QStringLiteral("no audio output device"));
            return result;
        }
        if (!s->openError.isEmpty()) {
            result.error = s->openError;
            return result;
        }
        if (sampleRate <= 0 || channels <= 0) {
            result.error = QStringLiteral("render client initialize failed (%1)").arg(QStringLiteral("bad format"));
            return result;
        }
        s->owner = this;
        s->channels = channels;
        s->queue.assign(std::size_t(s->bufferFrames) * channels, 0);
        s->starved = false;
        s->signalled = false;
        s->idle = false;
        s->attached = false;
        s->opened << resolved;
        started = true;
        result.ok = true;
        result.endpointId = resolved;
        result.bufferFrames = s->bufferFrames;
        return result;
    }

    void close() override
    {
        if (!started)
            return;
        started = false;
        std::lock_guard lock(s->mutex);
        if (s->owner == this) {
            s->owner = nullptr;
            s->queue.clear();
            s->attached = false;
            s->idle = false;
        }
        s->changed.notify_all();
    }

    int padding() const override
    {
        std::lock_guard lock(s->mutex);
        if (!mine())
            return -1;
        if (s->lost) {
            s->attached = false;
            s->changed.notify_all();
            return -1;
        }
        return int(s->queue.size()) / s->channels;
    }

    int bufferFrames() const override
    {
        std::lock_guard lock(s->mutex);
        return mine() ? s->bufferFrames : 0;
    }

    bool hasEvent() const override { return true; }

    RenderWait waitEvent(int timeoutMs) override
    {
        std::unique_lock lock(s->mutex);
        if (!mine())
            return RenderWait::Failed;
        s->idle = true;
        s->attached = true;
        ++s->idleCount;
        s->changed.notify_all();
        s->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return s->signalled || !mine(); });
        s->idle = false;
        if (!mine())
            return RenderWait::Failed;
        if (s->signalled) {
            s->signalled = false;
            return RenderWait::Signalled;
        }
        return RenderWait::TimedOut;
    }

    void signalEvent() override
    {
        std::lock_guard lock(s->mutex);
        s->signalled = true;
        s->changed.notify_all();
    }

    bool write(const qint16 *samples, int frames) override
    {
        std::lock_guard lock(s->mutex);
        if (!mine() || frames <= 0 || !samples)
            return false;
        if (s->lost) {
            s->attached = false;
            s->changed.notify_all();
            return false;
        }
        const std::size_t count = std::size_t(frames) * s->channels;
        if (s->queue.size() + count > std::size_t(s->bufferFrames) * s->channels)
            return false; // more than the buffer holds
        s->queue.insert(s->queue.end(), samples, samples + count);
        s->written.insert(s->written.end(), samples, samples + count);
        return true;
    }

private:
    bool mine() const { return started && s->owner == this; }

    std::shared_ptr<ClockedRenderDevice::State> s;
    bool started = false;
};

} // namespace

ClockedRenderDevice::ClockedRenderDevice(int bufferFrames)
    : s(std::make_shared<State>())
{
    s->bufferFrames = bufferFrames;
}

ClockedRenderDevice::~ClockedRenderDevice() = default;

RenderClientFactory ClockedRenderDevice::factory()
{
    auto state = s;
    return [state]() -> std::unique_ptr<IRenderClient> { return std::make_unique<ClockedRenderClient>(state); };
}

void ClockedRenderDevice::setEndpoints(const QStringList &ids, const QString &commDefault,
                                       const QString &consoleDefault)
{
    std::lock_guard lock(s->mutex);
    s->endpoints = ids;
    s->commDefault = commDefault;
    s->consoleDefault = consoleDefault;
}

void ClockedRenderDevice::setOpenError(const QString &error)
{
    std::lock_guard lock(s->mutex);
    s->openError = error;
}

void ClockedRenderDevice::setDeviceLost(bool lost)
{
    std::lock_guard lock(s->mutex);
    s->lost = lost;
}

void ClockedRenderDevice::setStartThreshold(int frames)
{
    std::lock_guard lock(s->mutex);
    s->startThreshold = frames;
}

int ClockedRenderDevice::openAttempts() const
{
    std::lock_guard lock(s->mutex);
    return s->openAttempts;
}

QStringList ClockedRenderDevice::openedEndpoints() const
{
    std::lock_guard lock(s->mutex);
    return s->opened;
}

bool ClockedRenderDevice::isOpen() const
{
    std::lock_guard lock(s->mutex);
    return s->owner != nullptr;
}

int ClockedRenderDevice::queuedFrames() const
{
    std::lock_guard lock(s->mutex);
    return int(s->queue.size()) / s->channels;
}

std::vector<qint16> ClockedRenderDevice::written() const
{
    std::lock_guard lock(s->mutex);
    return s->written;
}

std::vector<qint16> ClockedRenderDevice::advance(int frames)
{
    std::unique_lock lock(s->mutex);
    std::vector<qint16> played(std::size_t(std::max(frames, 0)) * s->channels, 0);
    if (s->starved && s->queue.size() >= std::size_t(s->startThreshold) * s->channels)
        s->starved = false;
    const std::size_t take = s->starved ? 0 : std::min(played.size(), s->queue.size());
    if (s->startThreshold > 0 && take < played.size())
        s->starved = true;
    std::copy(s->queue.begin(), s->queue.begin() + std::ptrdiff_t(take), played.begin());
    s->queue.erase(s->queue.begin(), s->queue.begin() + std::ptrdiff_t(take));
    if (s->owner) {
        s->signalled = true;
        const quint64 before = s->idleCount;
        s->changed.notify_all();
        s->changed.wait_for(lock, kAdvanceWait, [this, before] {
            return !s->attached || !s->owner || (s->idleCount > before && s->idle && !s->signalled);
        });
    }
    return played;
}

bool ClockedRenderDevice::waitUntilIdle(int timeoutMs)
{
    std::unique_lock lock(s->mutex);
    return s->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return s->owner && s->attached && s->idle && !s->signalled; });
}
