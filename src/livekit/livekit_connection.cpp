#include "livekit/livekit_connection.h"

#include "audio/audio_playback_manager.h"
#include "livekit/connection_quality.h"
#include "livekit/livekit_logging.h"
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_source.h"
#include "platform/livekit/livekit.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/room_delegate.h"
#include "platform/livekit/track.h"
#include "platform/livekit/track_publication.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace {

// ---------------------------------------------------------------- the library's runtime

std::mutex liveKitRuntimeMutex;
int liveKitRuntimeUsers = 0;

void acquireLiveKitRuntime()
{
    std::lock_guard lock(liveKitRuntimeMutex);
    if (liveKitRuntimeUsers == 0) {
        try {
            livekit::initialize(static_cast<livekit::LogLevel>(2));
        } catch (...) {}
    }
    ++liveKitRuntimeUsers;
}

void releaseLiveKitRuntime()
{
    std::lock_guard lock(liveKitRuntimeMutex);
    if (--liveKitRuntimeUsers == 0) {
        try {
            livekit::shutdown();
        } catch (...) {}
    }
}

// A use of the runtime that a worker thread holds for as long as it may call into the library, so
// that the last connection going away does not shut the library down under a detached worker.
class RuntimeUse
{
public:
    RuntimeUse() { acquireLiveKitRuntime(); }
    ~RuntimeUse() { releaseLiveKitRuntime(); }
    RuntimeUse(const RuntimeUse &) = delete;
    RuntimeUse &operator=(const RuntimeUse &) = delete;
};

// Rooms being ended off the GUI thread. Ending a room waits for the media server twice (the
// unpublish answer, up to seconds, and the goodbye, up to 1.5 s), so the connection hands the room
// to a thread of its own and moves on; nothing comes back from there. The threads are joined when
// the program ends, so that none is still inside the library then.
class RoomRetirement
{
public:
    static RoomRetirement &instance()
    {
        static RoomRetirement retirement;
        return retirement;
    }

    void retire(std::shared_ptr<livekit::Room> room, std::string unpublishSid)
    {
        if (!room)
            return;
        auto done = std::make_shared<std::atomic<bool>>(false);
        auto use = std::make_shared<RuntimeUse>();
        std::lock_guard lock(m_mutex);
        reapFinished();
        try {
            m_threads.push_back({std::thread([room, sid = std::move(unpublishSid), use, done]() mutable {
                                     if (!sid.empty()) {
                                         try {
                                             if (auto local = room->localParticipant().lock())
                                                 local->unpublishTrack(sid);
                                         } catch (...) {}
                                     }
                                     room.reset(); // closes the room: leave, hang up, goodbye
                                     use.reset();
                                     done->store(true);
                                 }),
                                 done});
        } catch (const std::system_error &) {
            // No thread: the room ends with its last holder, wherever that is.
        }
    }

    // Rooms still being ended.
    int pending()
    {
        std::lock_guard lock(m_mutex);
        reapFinished();
        return int(m_threads.size());
    }

    // Waits a bounded time for each room still ending. A teardown that never returns (the media
    // library can wait on its own streaming threads without end) is left behind rather than
    // keeping the program from ending.
    ~RoomRetirement()
    {
        std::lock_guard lock(m_mutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (Entry &entry : m_threads) {
            while (!entry.done->load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (entry.done->load()) {
                entry.thread.join();
            } else {
                qCWarning(lcLiveKitConnection) << "room teardown did not end, leaving it behind at exit";
                entry.thread.detach();
            }
        }
    }

private:
    struct Entry
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void reapFinished()
    {
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = m_threads.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::mutex m_mutex;
    std::vector<Entry> m_threads;
};

void retireRoom(std::shared_ptr<livekit::Room> room, std::string unpublishSid = {})
{
    RoomRetirement::instance().retire(std::move(room), std::move(unpublishSid));
}

bool neteqStatsEnabled()
{
    static const bool enabled = qEnvironmentVariableIsSet("KESTOVA_NETEQ_STATS");
    return enabled;
}

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int roleNumber(LiveKitConnection::Role role)
{
    return static_cast<int>(role);
}

// Runs `call` on the GUI thread while the connection exists. The call is posted to the application
// object, which outlives every connection, so a library thread never posts to an object that may be
// going away; the guard is tested where it is safe to, on the GUI thread.
template<typename Call>
void postToConnection(const QPointer<LiveKitConnection> &guard, Call call)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [guard, call = std::move(call)]() mutable {
            if (LiveKitConnection *connection = guard.data())
                call(connection);
        },
        Qt::QueuedConnection);
}

struct StatsTrack
{
    std::shared_ptr<livekit::Track> track;
    QString identity;
};

} // namespace

// ---------------------------------------------------------------- state

struct LiveKitConnection::RemoteStats
{
    QString sid;
    QString identity;
    std::vector<livekit::RtcStats> records;
};

class ConnectionDelegateBridge;

class LiveKitConnection::Impl
{
public:
    explicit Impl(Role r)
        : role(r)
    {}

    Role role;
    quint64 connectGeneration = 0;
    bool connecting = false;
    bool connected = false;
    QString roomName;
    bool sendingAudio = false; // under frameMutex
    bool micMuted = false;
    bool listeningMuted = false;
    std::mutex frameMutex;
    std::shared_ptr<livekit::Room> room;
    std::shared_ptr<ConnectionDelegateBridge> bridge;
    std::shared_ptr<livekit::AudioSource> audioSource; // under frameMutex
    std::shared_ptr<livekit::LocalAudioTrack> localTrack;
    std::shared_ptr<livekit::LocalTrackPublication> publication;
    quint64 publishGeneration = 0;
    bool publishInFlight = false;
    int roomBitrate = 0;
    int vadBitrateCap = 0;
    int appliedBitrate = 0;
    int sampleRate = 48000;
    int channelCount = 1;
    QTimer statsTimer;
    bool statsInFlight = false;
    std::thread connectThread;
    std::shared_ptr<std::atomic<bool>> connectDone;
    std::future<void> sdkInit;
    AudioPlaybackManager *playback = nullptr;
    ConnectionQualityState quality; // outbound samples, measured rate, type, baselines, smoothed rtt
    std::mutex statsMutex;
    QHash<QString, StatsTrack> statsTracks;
    QHash<QString, NeteqSample> neteqSamples;
    int publishTimeoutMs = 10000;

    int effectiveBitrate() const
    {
        const int d = roomBitrate;
        const int c = vadBitrateCap;
        if (d < 1)
            return c < 0 ? 0 : c;
        if (c < 1)
            return d;
        return std::min(d, c);
    }

    void applyMaxBitrate()
    {
        if (!connected || !publication || !localTrack)
            return;
        const int bitrate = effectiveBitrate();
        if (bitrate == 0 || bitrate == appliedBitrate)
            return;
        try {
            localTrack->setMaxBitrate(bitrate);
            appliedBitrate = bitrate;
            qCDebug(lcLiveKitConnection).nospace() << "max bitrate updated, bps=" << bitrate;
        } catch (const std::exception &e) {
            qCWarning(lcLiveKitConnection).nospace().noquote() << "set max bitrate failed: " << e.what();
        } catch (...) {}
    }

    bool wanted(const QString &identity) const
    {
        return !listeningMuted && (!playback || playback->participantGain(identity) > 1e-4);
    }
};

// The room's delegate for one connect attempt. Called on the library's threads; it only converts
// values and posts them, with the attempt's generation, to the connection on the GUI thread.
class ConnectionDelegateBridge : public livekit::RoomDelegate
{
public:
    ConnectionDelegateBridge(QPointer<LiveKitConnection> connection, quint64 generation)
        : m_connection(std::move(connection))
        , m_generation(generation)
    {}

    void onTrackSubscribed(const std::shared_ptr<livekit::Track> &track,
                           const std::shared_ptr<livekit::RemoteTrackPublication> &publication,
                           const std::shared_ptr<livekit::RemoteParticipant> &participant) override
    {
        const QString identity = participant ? fromUtf8(participant->identity()) : QString();
        const QString sid = publication ? fromUtf8(publication->sid()) : track ? fromUtf8(track->sid()) : QString();
        post([track, publication, sid, identity](LiveKitConnection *c) {
            c->onAudioTrackSubscribed(track, publication, sid, identity);
        });
    }

    void onTrackUnsubscribed(const std::shared_ptr<livekit::Track> &track,
                             const std::shared_ptr<livekit::RemoteTrackPublication> &publication,
                             const std::shared_ptr<livekit::RemoteParticipant> &participant) override
    {
        const QString identity = participant ? fromUtf8(participant->identity()) : QString();
        const QString sid = publication ? fromUtf8(publication->sid()) : track ? fromUtf8(track->sid()) : QString();
        post([sid, identity](LiveKitConnection *c) { c->onAudioTrackUnsubscribed(identity, sid); });
    }

    void onTrackSubscriptionFailed(const std::string &, const std::string &error,
                                   const std::shared_ptr<livekit::RemoteParticipant> &) override
    {
        const QString text = QStringLiteral("音频订阅失败：%1").arg(fromUtf8(error));
        post([text](LiveKitConnection *c) { emit c->connectionFailed(text); });
    }

    void onDisconnected(livekit::DisconnectReason reason) override
    {
        const QString text = disconnectReasonText(static_cast<int>(reason));
        post([text](LiveKitConnection *c) { c->disconnectFromRoom(text); });
    }

    void onDataReceived(const std::vector<std::uint8_t> &payload, const std::string &topic,
                        const std::shared_ptr<livekit::RemoteParticipant> &participant) override
    {
        if (topic != "spk" || payload.empty() || !participant)
            return;
        const QString identity = fromUtf8(participant->identity());
        const bool speaking = payload.front() != 0;
        post([identity, speaking](LiveKitConnection *c) { emit c->speakingPacketReceived(identity, speaking); });
    }

private:
    template<typename Call>
    void post(Call call)
    {
        const quint64 generation = m_generation;
        postToConnection(m_connection, [generation, call = std::move(call)](LiveKitConnection *c) mutable {
            // A callback of an attempt that was superseded or disconnected since acts on nothing.
            if (c->d->connectGeneration == generation)
                call(c);
        });
    }

    const QPointer<LiveKitConnection> m_connection;
    const quint64 m_generation;
};

// Worker-thread bodies; each holds a use of the runtime and touches only what it was given.
class LiveKitConnection::Workers
{
public:
    static void connect(QPointer<LiveKitConnection> guard, quint64 generation, std::string url, std::string token,
                        std::shared_ptr<std::atomic<bool>> done, std::shared_ptr<RuntimeUse> use)
    {
        auto room = std::make_shared<livekit::Room>();
        auto bridge = std::make_shared<ConnectionDelegateBridge>(guard, generation);
        room->setDelegate(bridge.get());
        bool success = false;
        QString name;
        QString error;
        try {
            if (room->connect(url, token, livekit::RoomOptions())) {
                success = true;
                name = fromUtf8(room->roomInfo().name);
            } else {
                error = QStringLiteral("LiveKit 连接失败");
            }
        } catch (const std::exception &e) {
            error = QStringLiteral("LiveKit 连接异常：%1").arg(QString::fromUtf8(e.what()));
        } catch (...) {
            error = QStringLiteral("LiveKit 连接异常");
        }
        if (QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guard, generation, posted = room, bridge, success, name, error]() mutable {
                    if (LiveKitConnection *c = guard.data()) {
                        c->onConnectResult(generation, std::move(posted), bridge, success, name, error);
                    } else {
                        posted->setDelegate(nullptr);
                        retireRoom(std::move(posted));
                    }
                },
                Qt::QueuedConnection);
        } else {
            room->setDelegate(nullptr);
        }
        room.reset();
        use.reset();
        done->store(true); // always the last step
    }

    static void publish(QPointer<LiveKitConnection> guard, quint64 generation, std::shared_ptr<livekit::Room> room,
                        std::shared_ptr<livekit::LocalAudioTrack> track, livekit::TrackPublishOptions options,
                        int effectiveBitrate, std::shared_ptr<RuntimeUse> /*held until the worker returns*/)
    {
        std::shared_ptr<livekit::LocalTrackPublication> publication;
        QString error;
        if (auto participant = room->localParticipant().lock()) {
            try {
                participant->publishTrack(track, options);
                publication = track->publication();
            } catch (const std::exception &e) {
                error = QString::fromUtf8(e.what());
            } catch (...) {
                error = QStringLiteral("unknown");
            }
        }
        room.reset();
        postToConnection(guard, [generation, publication, error, effectiveBitrate](LiveKitConnection *c) {
            c->onPublishResult(generation, publication, error, effectiveBitrate);
        });
    }

    static void stats(QPointer<LiveKitConnection> guard, std::shared_ptr<livekit::LocalAudioTrack> track,
                      QList<QPair<QString, StatsTrack>> remotes,
                      std::shared_ptr<RuntimeUse> /*held until the worker returns*/)
    {
        std::vector<livekit::RtcStats> local;
        try {
            auto future = track->getStats();
            if (future.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
                local = future.get();
        } catch (...) {
            local.clear();
        }
        track.reset();
        QList<RemoteStats> remoteResults;
        for (const auto &[sid, entry] : remotes) {
            if (!entry.track)
                continue;
            try {
                auto future = entry.track->getStats();
                if (future.wait_for(std::chrono::seconds(2)) == std::future_status::ready)
                    remoteResults.append({sid, entry.identity, future.get()});
            } catch (...) {}
        }
        remotes.clear();
        postToConnection(guard, [local = std::move(local), remoteResults](LiveKitConnection *c) {
            c->pollStats(local, remoteResults);
        });
    }
};

// ---------------------------------------------------------------- construction and connecting

LiveKitConnection::LiveKitConnection(Role role, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>(role))
{
    d->sdkInit = std::async(std::launch::async, acquireLiveKitRuntime);
    d->statsTimer.setInterval(2000);
    connect(&d->statsTimer, &QTimer::timeout, this, &LiveKitConnection::onStatsTimer);
}

LiveKitConnection::~LiveKitConnection()
{
    disconnectFromRoom(QStringLiteral("destructed"));
    if (d->sdkInit.valid())
        d->sdkInit.wait();
    if (d->connectThread.joinable()) {
        if (!d->connectDone || d->connectDone->load())
            d->connectThread.join();
        else
            d->connectThread.detach();
    }
    releaseLiveKitRuntime();
}

int LiveKitConnection::roomsBeingEnded()
{
    return RoomRetirement::instance().pending();
}

int LiveKitConnection::runtimeUsers()
{
    std::lock_guard lock(liveKitRuntimeMutex);
    return liveKitRuntimeUsers;
}

bool LiveKitConnection::isConnected() const
{
    return d->connected;
}

bool LiveKitConnection::isConnecting() const
{
    return d->connecting;
}

void LiveKitConnection::setPublishTimeoutMs(int ms)
{
    d->publishTimeoutMs = ms;
}

void LiveKitConnection::setStatsIntervalMs(int ms)
{
    d->statsTimer.setInterval(ms);
}

void LiveKitConnection::connectToRoom(const QString &url, const QString &token)
{
    if (d->sdkInit.valid())
        d->sdkInit.get();
    if (url.isEmpty() || token.isEmpty()) {
        emit connectionFailed(QStringLiteral("连接参数无效"));
        return;
    }
    if (d->connecting || d->connected)
        disconnectFromRoom(switchingReason());
    const quint64 generation = ++d->connectGeneration;
    d->connecting = true;
    emit connectingChanged(true);

    auto done = std::make_shared<std::atomic<bool>>(false);
    if (d->connectThread.joinable()) {
        if (!d->connectDone || d->connectDone->load()) {
            d->connectThread.join();
        } else {
            qCWarning(lcLiveKitConnection) << "previous connect still in flight, detaching worker";
            d->connectThread.detach();
        }
    }
    d->connectDone = done;
    try {
        d->connectThread = std::thread(&Workers::connect, QPointer<LiveKitConnection>(this), generation,
                                       url.toStdString(), token.toStdString(), done, std::make_shared<RuntimeUse>());
    } catch (const std::system_error &) {
        d->connecting = false;
        emit connectingChanged(false);
        emit connectionFailed(QStringLiteral("连接线程启动失败"));
    }
}

void LiveKitConnection::onConnectResult(quint64 generation, std::shared_ptr<livekit::Room> room,
                                        const std::shared_ptr<ConnectionDelegateBridge> &bridge, bool success,
                                        const QString &roomName, const QString &error)
{
    if (generation != d->connectGeneration) {
        room->setDelegate(nullptr);
        retireRoom(std::move(room));
        return;
    }
    d->connecting = false;
    emit connectingChanged(false);
    if (!success) {
        room->setDelegate(nullptr);
        retireRoom(std::move(room));
        d->connected = false;
        emit connectionFailed(error.isEmpty() ? QStringLiteral("LiveKit 连接失败") : error);
        return;
    }
    d->room = room;
    d->bridge = bridge;
    d->connected = true;
    d->roomName = roomName;
    d->quality.reset();
    d->statsInFlight = false;
    d->statsTimer.start();
    qCInfo(lcLiveKitConnection).nospace().noquote() << "connected role=" << roleNumber(d->role) << " room=" << roomName;
    emit connectedToRoom(roomName);
}

void LiveKitConnection::disconnectFromRoom(const QString &reason)
{
    if (!d->connecting && !d->connected)
        return;
    qCInfo(lcLiveKitConnection).nospace().noquote()
        << "disconnecting role=" << roleNumber(d->role) << " reason=" << reason;
    ++d->connectGeneration;
    d->statsTimer.stop();
    if (d->room) {
        try {
            d->room->setDelegate(nullptr);
            if (d->playback) {
                for (const auto &weak : d->room->remoteParticipants()) {
                    auto participant = weak.lock();
                    if (!participant)
                        continue;
                    const QString identity = fromUtf8(participant->identity());
                    for (const auto &[sid, publication] : participant->trackPublications())
                        d->playback->removeRemoteTrack(identity, fromUtf8(sid));
                }
            }
        } catch (...) {}
    }
    // The unpublish and the room's end wait for the server; they run on a thread of their own.
    std::string unpublishSid;
    if (d->publication) {
        try {
            unpublishSid = d->publication->sid();
        } catch (...) {}
    }
    ++d->publishGeneration;
    d->publishInFlight = false;
    d->publication.reset();
    d->localTrack.reset();
    if (neteqStatsEnabled()) {
        std::lock_guard lock(d->statsMutex);
        d->statsTracks.clear();
        d->neteqSamples.clear();
    }
    {
        std::lock_guard lock(d->frameMutex);
        d->audioSource.reset();
        d->sendingAudio = false;
    }
    retireRoom(std::move(d->room), std::move(unpublishSid));
    d->room.reset();
    d->bridge.reset();
    d->connected = false;
    d->connecting = false;
    d->appliedBitrate = 0;
    d->roomName.clear();
    emit connectingChanged(false);
    emit disconnected(reason);
}

QString LiveKitConnection::switchingReason()
{
    return QStringLiteral("正在切换连接");
}

QString disconnectReasonText(int code)
{
    switch (code) {
        case 1: return QStringLiteral("语音连接已主动断开");
        case 2: return QStringLiteral("语音连接断开：账号在其他端登录");
        case 3: return QStringLiteral("语音服务正在重启");
        case 4: return QStringLiteral("语音连接断开：你已被移出房间");
        case 5:
        case 10: return QStringLiteral("语音房间已关闭");
        case 7: return QStringLiteral("语音连接失败：加入房间失败");
        case 8: return QStringLiteral("语音连接迁移中断");
        case 9: return QStringLiteral("语音连接断开：信令关闭");
        case 14: return QStringLiteral("语音连接超时");
        case 15: return QStringLiteral("语音连接异常：媒体链路失败");
        default: return QStringLiteral("语音连接已断开");
    }
}

// ---------------------------------------------------------------- publishing and data

void LiveKitConnection::publishAudio(int bitrateBps)
{
    if (!d->connected || !d->room || d->publication || d->publishInFlight)
        return;
    try {
        std::shared_ptr<livekit::AudioSource> source;
        {
            std::lock_guard lock(d->frameMutex);
            source = d->audioSource;
        }
        if (!source) {
            source = std::make_shared<livekit::AudioSource>(d->sampleRate, d->channelCount, 0);
            std::lock_guard lock(d->frameMutex);
            d->audioSource = source;
        }
        if (!d->localTrack) {
            d->localTrack = livekit::LocalAudioTrack::createLocalAudioTrack("microphone", source);
            if (d->micMuted)
                d->localTrack->mute();
        }
    } catch (const std::exception &e) {
        qCCritical(lcLiveKitConnection).nospace().noquote() << "publish audio: track setup failed: " << e.what();
        return;
    } catch (...) {
        return;
    }
    if (!d->room->localParticipant().lock())
        return;
    d->roomBitrate = std::max(0, bitrateBps);
    const int effective = d->effectiveBitrate();
    const quint64 generation = ++d->publishGeneration;
    d->publishInFlight = true;
    livekit::TrackPublishOptions options;
    if (effective > 0)
        options.audioEncoding.maxBitrate = effective;
    options.dtx = true;
    options.red = true;
    options.simulcast = false;
    options.source = livekit::TrackSource::Microphone;
    try {
        std::thread(&Workers::publish, QPointer<LiveKitConnection>(this), generation, d->room, d->localTrack, options,
                    effective, std::make_shared<RuntimeUse>())
            .detach();
    } catch (const std::system_error &) {
        d->publishInFlight = false;
        ++d->publishGeneration;
        qCCritical(lcLiveKitConnection) << "publish audio failed: worker thread not started";
        emit audioPublishFailed(QStringLiteral("发布线程启动失败"));
        return;
    }
    QTimer::singleShot(d->publishTimeoutMs, this, [this, generation] { onPublishTimeout(generation); });
}

void LiveKitConnection::onPublishResult(quint64 generation,
                                        const std::shared_ptr<livekit::LocalTrackPublication> &publication,
                                        const QString &error, int effectiveBitrate)
{
    if (generation != d->publishGeneration)
        return;
    d->publishInFlight = false;
    if (publication) {
        d->publication = publication;
        d->appliedBitrate = effectiveBitrate;
        if (d->micMuted && d->localTrack) {
            try {
                d->localTrack->mute();
            } catch (...) {}
        }
        qCInfo(lcLiveKitConnection).nospace()
            << "audio published role=" << roleNumber(d->role) << " bitrate_kbps=" << effectiveBitrate / 1000;
        return;
    }
    qCCritical(lcLiveKitConnection).nospace().noquote() << "publish audio failed: " << error;
    emit audioPublishFailed(error);
}

void LiveKitConnection::onPublishTimeout(quint64 generation)
{
    if (generation != d->publishGeneration || !d->publishInFlight)
        return;
    ++d->publishGeneration;
    d->publishInFlight = false;
    qCWarning(lcLiveKitConnection).nospace() << "publish audio timed out role=" << roleNumber(d->role);
    emit audioPublishTimedOut();
}

void LiveKitConnection::unpublishAudio()
{
    if (!d->publication || !d->room)
        return;
    ++d->publishGeneration;
    d->publishInFlight = false;
    const std::string sid = d->publication->sid();
    try {
        std::thread([room = d->room, sid, use = std::make_shared<RuntimeUse>()] {
            try {
                if (auto participant = room->localParticipant().lock())
                    participant->unpublishTrack(sid);
            } catch (...) {}
        }).detach();
    } catch (const std::system_error &) {
        // The track is released below either way; the room stops sending it when it goes.
    }
    d->publication.reset();
    d->localTrack.reset();
    {
        std::lock_guard lock(d->frameMutex);
        d->audioSource.reset();
    }
    d->appliedBitrate = 0;
}

bool LiveKitConnection::isAudioPublished() const
{
    return d->publication != nullptr;
}

void LiveKitConnection::setMicMuted(bool muted)
{
    d->micMuted = muted;
    if (!d->localTrack)
        return;
    try {
        if (muted)
            d->localTrack->mute();
        else
            d->localTrack->unmute();
    } catch (...) {}
}

void LiveKitConnection::setSendingAudio(bool enabled)
{
    std::lock_guard lock(d->frameMutex);
    d->sendingAudio = enabled;
}

void LiveKitConnection::pushCaptureFrame(const qint16 *data, int samples, int sampleRate, int channels, bool silence)
{
    if (!data || samples <= 0)
        return;
    std::shared_ptr<livekit::AudioSource> source;
    {
        std::lock_guard lock(d->frameMutex);
        if (!d->sendingAudio)
            return;
        source = d->audioSource;
    }
    if (!source)
        return;
    const int perChannel = channels > 0 ? samples / channels : samples;
    std::vector<std::int16_t> frame = silence ? std::vector<std::int16_t>(static_cast<std::size_t>(samples), 0)
                                              : std::vector<std::int16_t>(data, data + samples);
    try {
        source->captureFrame(livekit::AudioFrame(std::move(frame), sampleRate, channels, perChannel), 0);
    } catch (...) {}
}

void LiveKitConnection::setRoomBitrate(int bps)
{
    const int value = std::max(0, bps);
    if (value == d->roomBitrate)
        return;
    d->roomBitrate = value;
    d->applyMaxBitrate();
}

void LiveKitConnection::setVadBitrate(int bps)
{
    d->vadBitrateCap = std::max(0, bps);
    d->applyMaxBitrate();
}

void LiveKitConnection::sendSpeaking(bool speaking)
{
    if (!d->room || !d->connected)
        return;
    try {
        std::thread([room = d->room, speaking, use = std::make_shared<RuntimeUse>()] {
            try {
                if (auto participant = room->localParticipant().lock())
                    participant->publishData({static_cast<std::uint8_t>(speaking ? 1 : 0)}, false, {}, "spk");
            } catch (...) {}
        }).detach();
    } catch (const std::system_error &) {
        // The packet is dropped; the next change or the periodic repeat sends the state again.
    }
}

// ---------------------------------------------------------------- remote participants and statistics

void LiveKitConnection::setPlaybackManager(AudioPlaybackManager *manager)
{
    d->playback = manager;
}

void LiveKitConnection::onAudioTrackSubscribed(const std::shared_ptr<livekit::Track> &track,
                                               const std::shared_ptr<livekit::RemoteTrackPublication> &publication,
                                               const QString &trackSid, const QString &identity)
{
    if (d->wanted(identity)) {
        if (d->playback)
            d->playback->addRemoteTrack(track, trackSid, identity);
        if (neteqStatsEnabled()) {
            std::lock_guard lock(d->statsMutex);
            d->statsTracks.insert(trackSid, {track, identity});
        }
        return;
    }
    if (publication) {
        try {
            publication->setSubscribed(false);
        } catch (...) {}
    }
    qCDebug(lcLiveKitConnection).nospace().noquote()
        << "remote track rejected by subscription filter identity=" << identity;
}

void LiveKitConnection::onAudioTrackUnsubscribed(const QString &identity, const QString &trackSid)
{
    if (d->playback)
        d->playback->removeRemoteTrack(identity, trackSid);
    if (neteqStatsEnabled()) {
        std::lock_guard lock(d->statsMutex);
        d->statsTracks.remove(trackSid);
    }
}

void LiveKitConnection::setListeningMuted(bool muted)
{
    if (muted == d->listeningMuted)
        return;
    d->listeningMuted = muted;
    qCInfo(lcLiveKitConnection).nospace()
        << "listening muted changed role=" << roleNumber(d->role) << " muted=" << muted;
    applySubscriptionFilter();
}

void LiveKitConnection::applySubscriptionFilter()
{
    if (!d->room || !d->connected)
        return;
    try {
        for (const auto &weak : d->room->remoteParticipants()) {
            auto participant = weak.lock();
            if (!participant)
                continue;
            const bool wanted = d->wanted(fromUtf8(participant->identity()));
            for (const auto &[sid, publication] : participant->trackPublications())
                publication->setSubscribed(wanted);
        }
    } catch (...) {}
}

void LiveKitConnection::setParticipantSubscribed(const QString &identity, bool wanted)
{
    if (!d->room || !d->connected)
        return;
    try {
        auto participant = d->room->remoteParticipant(identity.toStdString()).lock();
        if (!participant)
            return;
        for (const auto &[sid, publication] : participant->trackPublications())
            publication->setSubscribed(wanted && !d->listeningMuted);
    } catch (...) {}
}

void LiveKitConnection::onStatsTimer()
{
    if (!d->connected || !d->localTrack || d->statsInFlight)
        return;
    d->statsInFlight = true;
    std::shared_ptr<livekit::LocalAudioTrack> track = d->localTrack;
    QList<QPair<QString, StatsTrack>> remotes;
    if (neteqStatsEnabled()) {
        std::lock_guard lock(d->statsMutex);
        for (auto it = d->statsTracks.cbegin(); it != d->statsTracks.cend(); ++it)
            remotes.append({it.key(), it.value()});
    }
    try {
        std::thread(&Workers::stats, QPointer<LiveKitConnection>(this), track, remotes, std::make_shared<RuntimeUse>())
            .detach();
    } catch (const std::system_error &) {
        d->statsInFlight = false; // skipped; the next tick tries again
    }
}

void LiveKitConnection::pollStats(const std::vector<livekit::RtcStats> &local, const QList<RemoteStats> &remotes)
{
    d->statsInFlight = false;
    for (const RemoteStats &remote : remotes) {
        const std::optional<NeteqSample> current = neteqSampleOf(remote.records);
        if (!current)
            continue;
        const auto previous = d->neteqSamples.constFind(remote.sid);
        if (previous != d->neteqSamples.constEnd()) {
            if (const auto line = neteqStatsLine(remote.identity, *previous, *current))
                qCInfo(lcLiveKitConnection).noquote() << *line;
        }
        d->neteqSamples.insert(remote.sid, *current);
    }
    if (local.empty())
        return;
    const QVariantMap stats =
        evaluateConnectionQuality(local, QDateTime::currentMSecsSinceEpoch(), d->appliedBitrate, d->quality);
    qCDebug(lcLiveKitConnection).nospace().noquote()
        << "quality stats rtt=" << stats.value(QStringLiteral("rtt")).toString()
        << " loss=" << stats.value(QStringLiteral("packetLoss")).toString()
        << " bitrate=" << stats.value(QStringLiteral("bitrate")).toString();
    emit connectionQualityUpdated(stats);
}
