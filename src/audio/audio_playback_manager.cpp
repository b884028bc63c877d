#include "audio/audio_playback_manager.h"

#include "audio/audio_pipeline.h"
#include "audio/i_audio_storage.h"
#include "audio/playback_log.h"
#include "audio/remote_audio_stream.h"
#include "platform/audio/realtime_scheduling.h"
#include "platform/livekit/track.h"

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kSampleRate = 48000;
constexpr int kTickMs = 50;
constexpr std::size_t kMaxChunks = 30;
constexpr int kMaxTarget = 5;
constexpr int kTrimTicks = 40;        // 2 s above the target before a trim
constexpr int kQuietTicksLower = 600; // 30 s without an underrun lowers the target
constexpr qint64 kSenderQuietMs = 100;
constexpr float kLevelDecay = 0.8913f;
constexpr int kWaterline = 480;
constexpr int kRaisedWaterline = 960;
// A device that holds audio and plays none of it for this long has stopped, not slowed down: it
// is filled up (it may be waiting for a full buffer after it ran dry), and reopened when it still
// plays nothing for the longer time.
constexpr qint64 kRenderFillUpMs = 60;
constexpr qint64 kRenderStallMs = 500;

int clampDb(int dB)
{
    return std::clamp(dB, -30, 30);
}

QString sessionKey(const QString &identity, const QString &trackSid)
{
    return identity + QLatin1Char('|') + trackSid;
}

// A frame at or below -40 dBFS: silence, or the comfort noise of discontinuous transmission.
bool isQuiet(const std::vector<std::int16_t> &samples)
{
    constexpr int kQuietPeak = 328;
    for (std::int16_t sample : samples)
        if (std::abs(int(sample)) > kQuietPeak)
            return false;
    return true;
}

float chunkPeak(const QByteArray &pcm)
{
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype count = pcm.size() / 2;
    int peak = 0;
    for (qsizetype i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return float(peak) / 32768.0f;
}

} // namespace

struct AudioPlaybackManager::Impl
{
    struct PcmChunk
    {
        QByteArray pcm; // 16-bit samples
        int sampleRate = kSampleRate;
        int channels = 1;
        qint64 readOffset = 0; // bytes
    };

    struct RemoteAudioSession
    {
        QString identity;
        QString trackSid;
        std::shared_ptr<IRemoteAudioStream> stream;
        std::thread reader;
        std::atomic<bool> running{false};
        std::mutex mutex;
        // Guarded by mutex: the reader appends, the mix takes, the tick trims and reads. The first
        // `consumed` chunks were read to the end by the mix, which never frees memory itself: the
        // reader (or the tick) drops them.
        std::deque<PcmChunk> queue;
        std::size_t consumed = 0;
        std::size_t unread() const { return queue.size() - consumed; }
        void dropConsumed()
        {
            queue.erase(queue.begin(), queue.begin() + std::ptrdiff_t(consumed));
            consumed = 0;
        }
        int targetDepth = 1;
        bool primed = false;
        qint64 lastFrameMs = 0; // when the reader queued its last frame
        // Written by the tick, read by the mix.
        std::atomic<float> gain{1.0f};
        std::atomic<int> underrunCount{0};
        // GUI thread only.
        int trimCounter = 0;
        float level = 0.0f;
        int lastUnderrunSeen = 0;
        int quietTicks = 0;
    };
    using SessionPtr = std::shared_ptr<RemoteAudioSession>;

    IAudioStorage *storage = nullptr;
    Dependencies deps;
    QTimer tickTimer;
    QString deviceId;
    bool rebindRequested = false;
    int outputGainDb = 0;
    std::atomic<bool> speakerMuted{false};
    QHash<QByteArray, int> gainCache;
    std::atomic<AudioPipelineSlot *> pipelineSlot{nullptr};
    QHash<QString, SessionPtr> sessions; // GUI thread only
    std::mutex listMutex;
    std::vector<SessionPtr> renderList; // guarded by listMutex
    std::atomic<float> outputPeak{0.0f};
    // Made by the tick; opened, driven and closed by the render thread, so that the device's own
    // objects (a QAudioSink) belong to the thread that uses them.
    std::unique_ptr<IRenderClient> renderClient;
    std::unique_ptr<QThread> renderThread;
    // Made ready as the render thread's last step: the join that everything after it relies on,
    // in a form the thread checkers see (a QThread's own wait is invisible to them).
    std::future<void> renderFinished;
    std::atomic<bool> renderRunning{false};
    std::atomic<bool> renderFailed{false};
    QString boundDeviceId;
    bool renderOpened = false;
    std::vector<qint32> mixAccumulator; // render thread (or mixInto while none runs)
    std::vector<qint16> renderBuffer;   // render thread

    qint64 now() const { return deps.nowMs ? deps.nowMs() : QDateTime::currentMSecsSinceEpoch(); }

    void readerLoop(const SessionPtr &session);
    void stopRender();
    RenderOpenResult startRender(std::unique_ptr<IRenderClient> client, const QString &device);
    void renderLoop(IRenderClient *client);
    void mixRenderFrame(qint16 *out, int n);
    static void stopSession(const SessionPtr &session);
    SessionPtr find(const QString &identity, const QString &trackSid) const
    {
        return sessions.value(sessionKey(identity, trackSid));
    }
};

AudioPlaybackManager::AudioPlaybackManager(IAudioStorage *storage, QObject *parent, Dependencies dependencies)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    d->storage = storage;
    d->deps = std::move(dependencies);
    if (!d->deps.renderClient)
        d->deps.renderClient = createRenderClient;
    if (!d->deps.openStream)
        d->deps.openStream = openRemoteAudioStream;
    if (storage) {
        d->deviceId = storage->outputDeviceId();
        d->outputGainDb = clampDb(storage->outputGainDb());
    }
    d->tickTimer.setTimerType(Qt::CoarseTimer);
    d->tickTimer.setInterval(kTickMs);
    connect(&d->tickTimer, &QTimer::timeout, this, &AudioPlaybackManager::onPlaybackTick);
    if (d->deps.startTickTimer)
        d->tickTimer.start();
}

AudioPlaybackManager::~AudioPlaybackManager()
{
    d->tickTimer.stop();
    d->stopRender();
    removeAllSessions();
}

double AudioPlaybackManager::linearGain(int dB)
{
    return dB <= -30 ? 0.0 : std::pow(10.0, std::min(dB, 30) / 20.0);
}

QString AudioPlaybackManager::deviceId() const
{
    return d->deviceId;
}

void AudioPlaybackManager::setDeviceId(const QString &id)
{
    if (id == d->deviceId)
        return;
    d->deviceId = id;
    if (d->storage)
        d->storage->setOutputDeviceId(id);
}

int AudioPlaybackManager::outputGainDb() const
{
    return d->outputGainDb;
}

void AudioPlaybackManager::setOutputGainDb(int dB)
{
    d->outputGainDb = clampDb(dB);
    if (d->storage)
        d->storage->setOutputGainDb(d->outputGainDb);
}

int AudioPlaybackManager::participantGainDb(const QString &identity) const
{
    const QByteArray key = identity.toUtf8();
    const auto it = d->gainCache.constFind(key);
    if (it != d->gainCache.constEnd())
        return it.value();
    const int dB = clampDb(d->storage ? d->storage->participantGainDb(identity) : 0);
    d->gainCache.insert(key, dB);
    return dB;
}

void AudioPlaybackManager::setParticipantGainDb(const QString &identity, int dB)
{
    const int clamped = clampDb(dB);
    d->gainCache.insert(identity.toUtf8(), clamped);
    if (d->storage)
        d->storage->setParticipantGainDb(identity, clamped);
}

double AudioPlaybackManager::participantGain(const QString &identity) const
{
    return linearGain(participantGainDb(identity));
}

float AudioPlaybackManager::participantLevel(const QString &identity) const
{
    float level = 0.0f;
    for (const auto &session : std::as_const(d->sessions))
        if (session->identity == identity)
            level = std::max(level, session->level);
    return level;
}

float AudioPlaybackManager::outputPeak() const
{
    return d->outputPeak.load();
}

void AudioPlaybackManager::setSpeakerMuted(bool muted)
{
    d->speakerMuted = muted;
}

void AudioPlaybackManager::setPipelineSlot(AudioPipelineSlot *slot)
{
    d->pipelineSlot = slot;
}

void AudioPlaybackManager::addRemoteTrack(const std::shared_ptr<livekit::Track> &track, const QString &trackSid,
                                          const QString &identity)
{
    if (!track || track->kind() != livekit::TrackKind::Audio)
        return;
    const QString key = sessionKey(identity, trackSid);
    if (d->sessions.contains(key))
        return;
    auto stream = d->deps.openStream(track);
    if (!stream)
        return;

    auto session = std::make_shared<Impl::RemoteAudioSession>();
    session->identity = identity;
    session->trackSid = trackSid;
    session->stream = std::move(stream);
    session->running = true;
    Impl *impl = d.get();
    session->reader = std::thread([impl, session] { impl->readerLoop(session); });
    d->sessions.insert(key, session);
    std::lock_guard lock(d->listMutex);
    d->renderList.push_back(session);
}

void AudioPlaybackManager::removeRemoteTrack(const QString &identity, const QString &trackSid)
{
    const QString key = sessionKey(identity, trackSid);
    const auto it = d->sessions.find(key);
    if (it == d->sessions.end())
        return;
    const Impl::SessionPtr session = it.value();
    d->sessions.erase(it);
    {
        std::lock_guard lock(d->listMutex);
        std::erase(d->renderList, session);
    }
    Impl::stopSession(session);
}

void AudioPlaybackManager::removeAllSessions()
{
    QHash<QString, Impl::SessionPtr> sessions;
    sessions.swap(d->sessions);
    {
        std::lock_guard lock(d->listMutex);
        d->renderList.clear();
    }
    for (const auto &session : std::as_const(sessions))
        Impl::stopSession(session);
}

bool AudioPlaybackManager::hasRemoteTrack(const QString &identity) const
{
    for (const auto &session : std::as_const(d->sessions))
        if (session->identity == identity)
            return true;
    return false;
}

int AudioPlaybackManager::sessionCount() const
{
    return int(d->sessions.size());
}

int AudioPlaybackManager::sessionTargetDepth(const QString &identity, const QString &trackSid) const
{
    const auto session = d->find(identity, trackSid);
    if (!session)
        return -1;
    std::lock_guard lock(session->mutex);
    return session->targetDepth;
}

int AudioPlaybackManager::sessionUnderruns(const QString &identity, const QString &trackSid) const
{
    const auto session = d->find(identity, trackSid);
    return session ? session->underrunCount.load() : -1;
}

int AudioPlaybackManager::sessionQueuedChunks(const QString &identity, const QString &trackSid) const
{
    const auto session = d->find(identity, trackSid);
    if (!session)
        return -1;
    std::lock_guard lock(session->mutex);
    return int(session->unread());
}

void AudioPlaybackManager::mixInto(std::vector<qint16> &out)
{
    if (d->renderRunning || out.empty())
        return;
    d->mixRenderFrame(out.data(), int(out.size()));
}

void AudioPlaybackManager::onDefaultCommOutputChanged()
{
    if (!d->deviceId.isEmpty())
        return;
    qCInfo(lcAudioPlayback) << "default communications output changed, rebinding sink";
    d->rebindRequested = true;
}

void AudioPlaybackManager::onDefaultConsoleOutputChanged()
{
    if (d->deviceId != QLatin1String("default"))
        return;
    qCInfo(lcAudioPlayback) << "default console output changed, rebinding sink";
    d->rebindRequested = true;
}

void AudioPlaybackManager::onPlaybackTick()
{
    if (d->sessions.isEmpty()) {
        if (d->renderClient) {
            qCInfo(lcAudioPlayback) << "no remote sessions, destroying render";
            d->stopRender();
        }
        d->boundDeviceId.clear();
        d->renderOpened = false;
        d->outputPeak = 0.0f;
        return;
    }

    const double outputLinear = linearGain(d->outputGainDb);
    for (const auto &session : std::as_const(d->sessions)) {
        const double gain = std::clamp(linearGain(participantGainDb(session->identity)) * outputLinear, 0.0, 1000.0);
        session->gain = float(gain);

        const int underruns = session->underrunCount.load();
        if (underruns != session->lastUnderrunSeen) {
            session->lastUnderrunSeen = underruns;
            session->quietTicks = 0;
            int target = 0;
            {
                std::lock_guard lock(session->mutex);
                target = session->targetDepth;
            }
            qCInfo(lcAudioPlayback).nospace().noquote()
                << "playback underrun count=" << underruns << " target=" << target << " from=" << session->identity;
        } else if (++session->quietTicks >= kQuietTicksLower) {
            session->quietTicks = 0;
            int lowered = 0;
            {
                // The render thread raises the target under this mutex; lowering it under the same
                // mutex keeps the counter consistent.
                std::lock_guard lock(session->mutex);
                if (session->targetDepth > 1)
                    lowered = --session->targetDepth;
            }
            if (lowered > 0)
                qCInfo(lcAudioPlayback).nospace().noquote()
                    << "playback target lowered to=" << lowered << " from=" << session->identity;
        }

        std::lock_guard lock(session->mutex);
        session->dropConsumed();
        const int target = session->targetDepth;
        const int depth = int(session->queue.size());
        if (depth > target + 2) {
            if (++session->trimCounter >= kTrimTicks) {
                while (int(session->queue.size()) > target)
                    session->queue.pop_front();
                qCInfo(lcAudioPlayback).nospace().noquote() << "pcm queue trimmed depth_before=" << depth
                                                            << " target=" << target << " from=" << session->identity;
                session->trimCounter = 0;
            }
        } else {
            session->trimCounter = 0;
        }
        if (!session->queue.empty())
            session->level = std::max(session->level * kLevelDecay, chunkPeak(session->queue.back().pcm));
        else
            session->level *= kLevelDecay;
    }

    // Render binding.
    if (d->renderClient && !d->renderFailed && d->boundDeviceId == d->deviceId && !d->rebindRequested)
        return;
    if (!d->renderClient && d->renderOpened && d->boundDeviceId == d->deviceId && !d->rebindRequested)
        return;
    d->rebindRequested = false;
    d->stopRender();
    auto client = d->deps.renderClient();
    const RenderOpenResult result =
        client ? d->startRender(std::move(client), d->deviceId)
               : RenderOpenResult{false, QStringLiteral("no render endpoint (no client)"), {}, 0};
    d->boundDeviceId = d->deviceId;
    d->renderOpened = true;
    if (!result.ok) {
        qCWarning(lcAudioPlayback).noquote() << "render open failed:" << result.error;
        return;
    }
    qCInfo(lcAudioPlayback).nospace().noquote()
        << "wasapi render started endpoint=" << result.endpointId << " buffer_frames=" << result.bufferFrames;
}

void AudioPlaybackManager::Impl::readerLoop(const SessionPtr &session)
{
    qint64 last = 0;
    bool lastQuiet = false;
    int gapCount = 0;
    int frameCount = 0;
    livekit::AudioFrame frame;
    while (session->running && session->stream) {
        if (!session->stream->read(frame))
            break;
        if (frame.data().empty())
            continue;
        const qint64 nowMs = now();
        const bool quiet = isQuiet(frame.data());
        if (last > 0) {
            const qint64 gap = nowMs - last;
            // After a quiet frame the sender is in discontinuous transmission: it sends nothing,
            // or a comfort-noise update every few hundred ms, until the voice comes back. Such a
            // silence is not a late frame.
            if (gap > 50 && !lastQuiet) {
                ++gapCount;
                qCWarning(lcAudioPlayback).nospace()
                    << "frame gap too large gap_ms=" << gap << " gap_count=" << gapCount;
            }
            if (gap > 200 && !quiet)
                qCInfo(lcAudioPlayback).nospace().noquote()
                    << "audio resumed after silence gap_ms=" << gap << " from=" << session->identity;
        }
        lastQuiet = quiet;
        if (++frameCount % 500 == 0)
            qCDebug(lcAudioPlayback).nospace() << "frame stats count=" << frameCount << " gaps_over_50ms=" << gapCount;

        PcmChunk chunk;
        chunk.sampleRate = frame.sampleRate();
        chunk.channels = frame.numChannels();
        if (chunk.sampleRate != kSampleRate || chunk.channels != 1) {
            const std::vector<qint16> converted = downmixResample(frame.data().data(), int(frame.data().size()),
                                                                  chunk.channels, chunk.sampleRate, kSampleRate);
            chunk.pcm = QByteArray(reinterpret_cast<const char *>(converted.data()), qsizetype(converted.size() * 2));
            chunk.sampleRate = kSampleRate;
            chunk.channels = 1;
        } else {
            chunk.pcm =
                QByteArray(reinterpret_cast<const char *>(frame.data().data()), qsizetype(frame.data().size() * 2));
        }
        if (chunk.pcm.isEmpty())
            continue;

        bool dropped = false;
        {
            std::lock_guard lock(session->mutex);
            session->lastFrameMs = nowMs;
            session->dropConsumed();
            if (session->queue.size() >= kMaxChunks) {
                session->queue.pop_front();
                dropped = true;
            }
            session->queue.push_back(std::move(chunk));
        }
        if (dropped)
            qCWarning(lcAudioPlayback) << "pcm queue full, dropping oldest frame";
        last = nowMs;
    }
}

void AudioPlaybackManager::Impl::stopSession(const SessionPtr &session)
{
    session->running = false;
    if (session->stream)
        session->stream->close();
    if (session->reader.joinable())
        session->reader.join();
}

RenderOpenResult AudioPlaybackManager::Impl::startRender(std::unique_ptr<IRenderClient> client, const QString &device)
{
    renderFailed = false;
    renderRunning = true;
    IRenderClient *raw = client.get();
    renderClient = std::move(client);
    auto opened = std::make_shared<std::promise<RenderOpenResult>>();
    std::future<RenderOpenResult> result = opened->get_future();
    auto finished = std::make_shared<std::promise<void>>();
    renderFinished = finished->get_future();
    renderThread.reset(QThread::create([this, raw, device, opened, finished] {
        requestRealtimeScheduling(QStringLiteral("audio-render"));
        const RenderOpenResult open = raw->open(device, kSampleRate, 1);
        opened->set_value(open);
        if (open.ok)
            renderLoop(raw);
        raw->close();
        finished->set_value();
    }));
    renderThread->setObjectName(QStringLiteral("audio-render"));
    renderThread->start();
    // Opening a device takes milliseconds; one that does not answer at all counts as failed.
    if (result.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        stopRender();
        return {false, QStringLiteral("render client start failed"), {}, 0};
    }
    const RenderOpenResult open = result.get();
    if (!open.ok)
        stopRender();
    return open;
}

void AudioPlaybackManager::Impl::stopRender()
{
    renderRunning = false;
    if (renderClient && renderClient->hasEvent())
        renderClient->signalEvent();
    if (renderThread) {
        if (renderFinished.valid())
            renderFinished.wait();
        renderThread->wait();
        renderThread.reset();
    }
    renderClient.reset();
    renderFailed = false;
}

void AudioPlaybackManager::Impl::renderLoop(IRenderClient *client)
{
    int waterline = kWaterline;
    int timelyWakes = 0;
    QElapsedTimer sinceWake;
    QAbstractEventDispatcher *events = QAbstractEventDispatcher::instance();
    const int bufferFrames = client->bufferFrames();
    int lastPadding = client->padding(); // what the device held after the previous wake's write
    bool playedSinceOpen = false;
    qint64 stalledSinceMs = -1; // since when it has held at least the waterline and played nothing
    bool toppedUp = false;      // filled up at this stall
    int stuckAt = 0;            // what it held when it was filled up
    while (renderRunning) {
        const RenderWait wait = client->waitEvent(200);
        if (!renderRunning || wait == RenderWait::Failed)
            break;
        // What the device's objects post to this thread (state changes, their timers), without
        // waiting for more.
        if (events)
            events->processEvents(QEventLoop::AllEvents);
        if (sinceWake.isValid()) {
            const qint64 e = sinceWake.elapsed();
            if (e > 15) {
                timelyWakes = 0;
                if (waterline != kRaisedWaterline) {
                    waterline = kRaisedWaterline;
                    qCInfo(lcAudioPlayback) << "render waterline raised after oversleep, gap_ms" << e;
                }
            } else if (waterline == kRaisedWaterline && ++timelyWakes >= 3000) {
                waterline = kWaterline;
                timelyWakes = 0;
            }
        }
        sinceWake.restart();

        const int padding = client->padding();
        if (padding < 0) {
            renderFailed = true;
            break;
        }
        int frames = std::min(waterline - padding, bufferFrames - padding);
        // A device that ran dry may wait for more than the waterline before it plays again
        // (a sound server's prebuffer), or stop playing altogether: then nothing drains and no
        // write would ever come. Such a device is filled up once; if even that does not make it
        // play below where it stuck, it is reopened. One that has not played yet since it
        // opened is left alone: starting can take a while on a loaded machine.
        const bool drained = padding < lastPadding && (!toppedUp || padding < stuckAt);
        if (drained) {
            playedSinceOpen = true;
            stalledSinceMs = -1;
            toppedUp = false;
        }
        if (padding >= waterline) {
            lastPadding = padding;
            if (!playedSinceOpen || drained)
                continue;
            const qint64 nowMs = now();
            if (stalledSinceMs < 0)
                stalledSinceMs = nowMs;
            if (nowMs - stalledSinceMs < (toppedUp ? kRenderStallMs : kRenderFillUpMs))
                continue;
            if (toppedUp) {
                qCWarning(lcAudioPlayback).nospace()
                    << "render stalled, reopening device padding=" << padding << " buffer_frames=" << bufferFrames;
                renderFailed = true;
                break;
            }
            toppedUp = true;
            stuckAt = padding;
            stalledSinceMs = nowMs;
            frames = bufferFrames - padding;
            if (frames > 0)
                qCInfo(lcAudioPlayback).nospace()
                    << "render stalled, filling device padding=" << padding << " buffer_frames=" << bufferFrames;
        }
        lastPadding = padding + std::max(frames, 0);
        if (frames <= 0)
            continue;
        if (int(renderBuffer.size()) < frames)
            renderBuffer.resize(std::size_t(frames));
        mixRenderFrame(renderBuffer.data(), frames);
        if (!client->write(renderBuffer.data(), frames)) {
            renderFailed = true;
            break;
        }
    }
}

void AudioPlaybackManager::Impl::mixRenderFrame(qint16 *out, int n)
{
    const bool muted = speakerMuted.load();
    if (int(mixAccumulator.size()) < n)
        mixAccumulator.resize(std::size_t(n));
    std::fill_n(mixAccumulator.begin(), n, 0);
    const qint64 nowMs = now();
    int delivered = 0;

    {
        std::unique_lock listLock(listMutex, std::try_to_lock);
        if (listLock.owns_lock()) {
            for (const SessionPtr &session : renderList) {
                const float gain = session->gain.load(std::memory_order_relaxed);
                std::unique_lock lock(session->mutex, std::try_to_lock);
                if (!lock.owns_lock())
                    continue;
                const bool audible = !muted && gain > 1e-4f;
                if (!session->primed && int(session->unread()) >= session->targetDepth)
                    session->primed = true;
                int taken = 0;
                while (session->primed && taken < n) {
                    if (session->unread() == 0) {
                        // A sender that went quiet (discontinuous transmission) is silence, not
                        // a late packet: it stays primed so its next frame plays at once.
                        if (nowMs - session->lastFrameMs < kSenderQuietMs) {
                            session->primed = false;
                            session->targetDepth = std::min(session->targetDepth + 1, kMaxTarget);
                            session->underrunCount.fetch_add(1);
                        }
                        break;
                    }
                    PcmChunk &chunk = session->queue[session->consumed];
                    const auto *samples =
                        reinterpret_cast<const qint16 *>(chunk.pcm.constData()) + chunk.readOffset / 2;
                    const int unread = int((chunk.pcm.size() - chunk.readOffset) / 2);
                    const int take = std::min(n - taken, unread);
                    if (audible) {
                        qint32 *acc = mixAccumulator.data() + taken;
                        for (int i = 0; i < take; ++i)
                            acc[i] += qint32(std::lround(float(samples[i]) * gain));
                    }
                    taken += take;
                    chunk.readOffset += qint64(take) * 2;
                    if (chunk.readOffset >= chunk.pcm.size())
                        ++session->consumed;
                }
                delivered = std::max(delivered, taken);
            }
        }
    }

    const float decay = std::pow(10.0f, -float(n) / 48000.0f);
    if (muted) {
        std::fill_n(out, n, qint16(0));
        outputPeak = outputPeak.load() * decay;
        return;
    }
    int peak = 0;
    for (int i = 0; i < n; ++i) {
        const qint32 v = std::clamp<qint32>(mixAccumulator[std::size_t(i)], -32768, 32767);
        out[i] = qint16(v);
        peak = std::max(peak, std::abs(v));
    }
    outputPeak = std::max(outputPeak.load() * decay, float(peak) / 32768.0f);
    if (delivered > 0) {
        if (AudioPipelineSlot *slot = pipelineSlot.load()) {
            if (const auto pipeline = slot->tryLoad())
                pipeline->pushRenderReference(out, delivered, kSampleRate, 1);
        }
    }
}
