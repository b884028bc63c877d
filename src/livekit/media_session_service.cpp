#include "livekit/media_session_service.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"
#include "livekit/livekit_logging.h"
#include "net/api_path.h"
#include "net/http_reply.h"
#include "net/http_types.h"
#include "net/i_http_client.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

const QString kLeaveReason = QStringLiteral("离开房间");
const QString kDetachReason = QStringLiteral("脱离父房间");

// What a session publishes with when neither the token nor the room state named a bitrate: the
// bitrate every new room starts with. Zero would make the voice detector cap the voice at its
// silence rate.
constexpr int kDefaultRoomBitrate = 64000;

constexpr int kResendIntervalMs = 1000;
constexpr int kExpiryIntervalMs = 500;

// Stops every remote playback session when voice goes idle. Each connection already hands back its
// own tracks when it disconnects, so a playback manager without a bulk stop loses nothing here.
template<typename Manager>
void removeAllPlaybackSessions(Manager *manager)
{
    if constexpr (requires { manager->removeAllSessions(); })
        manager->removeAllSessions();
}

// A token reply the server will answer the same way however often it is asked: a 4xx other than
// 408 (request timeout) and 429 (too many requests), which ask to come back later.
bool isFinalTokenRefusal(int status)
{
    return status >= 400 && status <= 499 && status != 408 && status != 429;
}

} // namespace

struct MediaSessionService::SfuSession
{
    std::unique_ptr<LiveKitConnection> connection;
    QString roomId;         // empty: idle
    quint64 generation = 0; // raised at every begin and end; a token reply of another one is stale
    int attempt = 0;
    QTimer *retryTimer = nullptr; // child of the service, single-shot
    int bitrate = 0;
    bool canPublish = true;
    // A final 4xx token reply: the parent session asks again only for another room; the own session
    // at the next sync once the first back-off delay has passed since `rejectedAtMs`.
    bool rejected = false;
    qint64 rejectedAtMs = 0;
    // A token request of this generation has not been answered yet.
    bool tokenInFlight = false;
};

int MediaSessionService::reconnectDelayMs(int attempt)
{
    return std::min(1000 << std::clamp(attempt, 0, 5), 30000);
}

MediaSessionService::MediaSessionService(IHttpClient *api_, AudioCaptureManager *capture_,
                                         AudioPlaybackManager *playback_, QObject *parent_, Dependencies dependencies)
    : QObject(parent_)
    , api(api_)
    , capture(capture_)
    , playback(playback_)
    , own(std::make_unique<SfuSession>())
    , parent(std::make_unique<SfuSession>())
{
    ConnectionFactory factory = dependencies.connectionFactory;
    if (!factory)
        factory = [](LiveKitConnection::Role role) { return std::make_unique<LiveKitConnection>(role); };
    own->connection = factory(LiveKitConnection::Role::Own);
    this->parent->connection = factory(LiveKitConnection::Role::Parent);
    own->retryTimer = new QTimer(this);
    own->retryTimer->setObjectName(QStringLiteral("ownRetryTimer"));
    this->parent->retryTimer = new QTimer(this);
    this->parent->retryTimer->setObjectName(QStringLiteral("parentRetryTimer"));
    wireSession(*own);
    wireSession(*this->parent);
    connect(own->connection.get(), &LiveKitConnection::connectionQualityUpdated, this,
            &MediaSessionService::connectionQualityUpdated);

    speakingResendTimer = new QTimer(this);
    speakingResendTimer->setObjectName(QStringLiteral("speakingResendTimer"));
    speakingResendTimer->setInterval(kResendIntervalMs);
    connect(speakingResendTimer, &QTimer::timeout, this, &MediaSessionService::resendSpeaking);
    speakerExpiryTimer = new QTimer(this);
    speakerExpiryTimer->setObjectName(QStringLiteral("speakerExpiryTimer"));
    speakerExpiryTimer->setInterval(kExpiryIntervalMs);
    connect(speakerExpiryTimer, &QTimer::timeout, this, &MediaSessionService::pruneRemoteSpeakers);

    clock = std::move(dependencies.clock);
    if (!clock) {
        auto elapsed = std::make_shared<QElapsedTimer>();
        elapsed->start();
        clock = [elapsed] { return elapsed->elapsed(); };
    }

    if (capture) {
        LiveKitConnection *ownConnection = own->connection.get();
        LiveKitConnection *parentConnection = this->parent->connection.get();
        // Capture thread: one atomic read and two calls per 10 ms frame.
        capture->setFrameSink(
            [this, ownConnection, parentConnection](const qint16 *data, int samples, int rate, int channels) {
                const bool broadcast = broadcastActive.load();
                ownConnection->pushCaptureFrame(data, samples, rate, channels, broadcast);
                parentConnection->pushCaptureFrame(data, samples, rate, channels, !broadcast);
            });
        connect(capture, &AudioCaptureManager::vadBitrateChangeRequested, this, [this](int bps) {
            own->connection->setVadBitrate(bps);
            this->parent->connection->setVadBitrate(bps);
        });
    }
}

MediaSessionService::~MediaSessionService()
{
    if (capture)
        capture->setFrameSink({});
    syncRooms(false, QString(), QString());
    // The connections go with their sessions; nothing they say on the way out reaches a session.
    own->connection->disconnect(this);
    parent->connection->disconnect(this);
    parent.reset();
    own.reset();
}

void MediaSessionService::wireSession(SfuSession &session)
{
    LiveKitConnection *connection = session.connection.get();
    connection->setPlaybackManager(playback);
    session.retryTimer->setSingleShot(true);
    connect(connection, &LiveKitConnection::connectedToRoom, this,
            [this, &session](const QString &roomName) { onConnected(session, roomName); });
    connect(connection, &LiveKitConnection::connectionFailed, this,
            [this, &session](const QString &reason) { onConnectionLost(session, reason); });
    connect(connection, &LiveKitConnection::disconnected, this,
            [this, &session](const QString &reason) { onConnectionLost(session, reason); });
    connect(connection, &LiveKitConnection::audioPublishTimedOut, this,
            [this, &session] { onPublishFailed(session, QString()); });
    connect(connection, &LiveKitConnection::audioPublishFailed, this,
            [this, &session](const QString &reason) { onPublishFailed(session, reason); });
    connect(session.retryTimer, &QTimer::timeout, this, [this, &session] { onRetryTimeout(session); });
    connect(connection, &LiveKitConnection::speakingPacketReceived, this,
            [this, &session](const QString &identity, bool speaking) {
                onSpeakingPacket(session, identity, speaking);
            });
}

// ---------------------------------------------------------------- rooms

void MediaSessionService::syncRooms(bool active, const QString &roomId, const QString &parentRoomId)
{
    if (!active) {
        const bool hadRoom = !own->roomId.isEmpty() || !parent->roomId.isEmpty();
        endSession(*own, kLeaveReason);
        endSession(*parent, kLeaveReason);
        if (hadRoom) {
            if (capture)
                capture->stopCapture();
            if (playback)
                removeAllPlaybackSessions(playback);
        }
        return;
    }

    // The same room is begun again only from a resting state: never while its token request is in
    // flight, a connection is up or coming, a retry is waiting, or the server refused the room.
    const auto resting = [this](const SfuSession &session) {
        if (session.rejected && (!isOwn(session) || now() - session.rejectedAtMs < reconnectDelayMs(0)))
            return false;
        return !session.tokenInFlight && !session.connection->isConnected()
               && !session.connection->isConnecting() && !session.retryTimer->isActive();
    };
    if (roomId.isEmpty()) {
        // An active room without an id has nothing to connect to; what runs for a room stays.
        qCWarning(lcLiveKitSession) << "media session sync without a room id ignored";
        return;
    }
    if (roomId != own->roomId) {
        own->rejected = false;
        beginSession(*own, roomId);
    } else if (resting(*own)) {
        own->rejected = false;
        beginSession(*own, roomId);
    }

    if (!parentRoomId.isEmpty()) {
        if (parentRoomId != parent->roomId) {
            parent->rejected = false;
            beginSession(*parent, parentRoomId);
        } else if (resting(*parent)) {
            beginSession(*parent, parentRoomId);
        }
    } else if (!parent->roomId.isEmpty()) {
        endSession(*parent, kDetachReason);
    }
}

void MediaSessionService::beginSession(SfuSession &session, const QString &roomId)
{
    session.roomId = roomId;
    ++session.generation;
    session.attempt = 0;
    session.tokenInFlight = false;
    session.retryTimer->stop();
    qCInfo(lcLiveKitSession).nospace().noquote()
        << "media session begin session=" << sessionName(session) << " room_id=" << roomId;
    fetchTokenAndConnect(session);
}

void MediaSessionService::fetchTokenAndConnect(SfuSession &session)
{
    if (!api || session.roomId.isEmpty())
        return;
    session.tokenInFlight = true;
    const quint64 generation = session.generation;
    const QString roomId = session.roomId;
    QPointer<MediaSessionService> guard(this);
    SfuSession *target = &session;
    api->post(apiPath(QStringLiteral("/v1/rooms/%1/livekit-token"), {roomId}), QJsonObject(),
              [guard, target, generation, roomId](const HttpResponse &response) {
                  if (guard)
                      guard->onTokenResponse(*target, generation, roomId, response);
              });
}

void MediaSessionService::onTokenResponse(SfuSession &session, quint64 generation, const QString &roomId,
                                          const HttpResponse &response)
{
    if (session.generation != generation)
        return;
    session.tokenInFlight = false;
    const char *name = sessionName(session);
    if (!response.isSuccess()) {
        qCWarning(lcLiveKitSession).nospace().noquote()
            << "livekit token fetch failed session=" << name << " room_id=" << roomId << " status=" << response.status
            << " code=" << errorCodeOf(response) << " net_err=" << response.error << " body=" << loggedBodyOf(response);
        if (isFinalTokenRefusal(response.status)) {
            session.rejected = true;
            session.rejectedAtMs = now();
            qCInfo(lcLiveKitSession).nospace().noquote() << "deterministic reject, not retrying room_id=" << roomId;
            return;
        }
        scheduleReconnect(session);
        return;
    }

    const QString token = response.json.value(QStringLiteral("token")).toString();
    const QString url = response.json.value(QStringLiteral("url")).toString();
    // Without a bitrate in the reply the room's own bitrate stays (the one the room state gave).
    const int replyBitrate = response.json.value(QStringLiteral("roomBitrate")).toInt(0);
    if (replyBitrate > 0)
        session.bitrate = replyBitrate;
    else if (session.bitrate <= 0)
        session.bitrate = kDefaultRoomBitrate;
    session.canPublish = response.json.value(QStringLiteral("canPublish")).toBool(true);
    if (token.isEmpty() || url.isEmpty()) {
        qCWarning(lcLiveKitSession).nospace().noquote()
            << "livekit token response missing token/url room_id=" << roomId;
        scheduleReconnect(session);
        return;
    }

    qCInfo(lcLiveKitSession).nospace().noquote()
        << "livekit token fetched session=" << name << " room_id=" << roomId << " bitrate=" << session.bitrate
        << " can_publish=" << (session.canPublish ? "true" : "false");
    if (isOwn(session))
        emit roomBitrateChanged(session.bitrate);
    else
        refreshParentBroadcastAllowed();
    session.connection->connectToRoom(url, token);
}

void MediaSessionService::endSession(SfuSession &session, const QString &reason)
{
    if (session.roomId.isEmpty())
        return;
    qCInfo(lcLiveKitSession).nospace().noquote() << "media session end session=" << sessionName(session)
                                                 << " room_id=" << session.roomId << " reason=" << reason;
    session.roomId.clear();
    ++session.generation;
    session.attempt = 0;
    session.tokenInFlight = false;
    session.retryTimer->stop();
    session.connection->setSendingAudio(false);
    session.connection->disconnectFromRoom(reason);
    if (isOwn(session)) {
        ownSpeakingSent = false;
        clearRemoteSpeakers(session);
        emit connectionQualityUpdated(QVariantMap());
    } else {
        parentSpeakingSent = false;
        clearRemoteSpeakers(session);
        parentBroadcastOverride.reset();
        parentBroadcastAllowed = true;
        emit parentCanPublishChanged(true);
    }
}

void MediaSessionService::scheduleReconnect(SfuSession &session)
{
    if (session.roomId.isEmpty())
        return;
    const int delay = reconnectDelayMs(session.attempt);
    ++session.attempt;
    qCInfo(lcLiveKitSession).nospace().noquote()
        << "scheduling media reconnect session=" << sessionName(session) << " room_id=" << session.roomId
        << " attempt=" << session.attempt << " delay_ms=" << delay;
    session.retryTimer->start(delay);
}

void MediaSessionService::onRetryTimeout(SfuSession &session)
{
    if (session.roomId.isEmpty() || session.connection->isConnected() || session.connection->isConnecting())
        return;
    fetchTokenAndConnect(session);
}

void MediaSessionService::onConnected(SfuSession &session, const QString &roomName)
{
    session.attempt = 0;
    session.connection->setListeningMuted(listeningMuted);
    qCInfo(lcLiveKitSession).nospace().noquote()
        << "media connected session=" << sessionName(session) << " room=" << roomName
        << " can_publish=" << (session.canPublish ? "true" : "false");
    applyPublishState(session);
    if (isOwn(session))
        ownSpeakingSent = false;
    else
        parentSpeakingSent = false;
    updateSpeakingBroadcast();
}

void MediaSessionService::onConnectionLost(SfuSession &session, const QString &reason)
{
    if (session.roomId.isEmpty())
        return;
    qCWarning(lcLiveKitSession).nospace().noquote() << "media connection lost session=" << sessionName(session)
                                                    << " room_id=" << session.roomId << " reason=" << reason;
    // A switch of rooms and the recycling after a failed publication (already shown) are not
    // failures of their own.
    if (!reason.isEmpty() && reason != LiveKitConnection::switchingReason())
        emit voiceFailed(reason);
    scheduleReconnect(session);
}

void MediaSessionService::onPublishFailed(SfuSession &session, const QString &reason)
{
    if (session.roomId.isEmpty())
        return;
    emit voiceFailed(reason);
    qCWarning(lcLiveKitSession).nospace().noquote()
        << "media publish failed, recycling session=" << sessionName(session) << " room_id=" << session.roomId;
    session.connection->disconnectFromRoom(QString());
}

bool MediaSessionService::effectiveParentPermission() const
{
    return parentBroadcastOverride.value_or(parent->canPublish);
}

void MediaSessionService::applyPublishState(SfuSession &session)
{
    LiveKitConnection *connection = session.connection.get();
    const auto withdraw = [connection] {
        if (connection->isAudioPublished()) {
            connection->unpublishAudio();
            connection->setSendingAudio(false);
        }
    };
    if (!connection->isConnected()) {
        withdraw();
        return;
    }
    const bool allowed = isOwn(session) ? session.canPublish : effectiveParentPermission();
    if (!allowed) {
        withdraw();
        return;
    }
    const bool muted = isOwn(session) ? (transmitMuted || speechBlocked) : !broadcastActive.load();
    if (connection->isAudioPublished()) {
        connection->setMicMuted(muted);
        return;
    }
    connection->setMicMuted(muted);
    connection->publishAudio(session.bitrate);
    connection->setSendingAudio(true);
    if (capture && !capture->captureRequested())
        capture->startCapture();
}

void MediaSessionService::refreshParentBroadcastAllowed()
{
    const bool allowed = effectiveParentPermission();
    if (allowed == parentBroadcastAllowed)
        return;
    parentBroadcastAllowed = allowed;
    qCInfo(lcLiveKitSession).nospace() << "parent broadcast permission changed allowed=" << allowed;
    emit parentCanPublishChanged(allowed);
    applyPublishState(*parent);
}

// ---------------------------------------------------------------- controls

void MediaSessionService::setRoomBitrate(int bps)
{
    if (bps <= 0 || bps == own->bitrate)
        return;
    own->bitrate = bps;
    own->connection->setRoomBitrate(bps);
    emit roomBitrateChanged(bps);
}

void MediaSessionService::setParentRoomBitrate(int bps)
{
    if (bps <= 0 || bps == parent->bitrate)
        return;
    parent->bitrate = bps;
    parent->connection->setRoomBitrate(bps);
}

void MediaSessionService::setParentBroadcastAllowed(std::optional<bool> allowed)
{
    if (allowed == parentBroadcastOverride)
        return;
    parentBroadcastOverride = allowed;
    refreshParentBroadcastAllowed();
    updateSpeakingBroadcast();
}

void MediaSessionService::setSpeechBlocked(bool blocked)
{
    if (blocked == speechBlocked)
        return;
    speechBlocked = blocked;
    applyPublishState(*own);
    updateSpeakingBroadcast();
}

void MediaSessionService::setTransmitMuted(bool muted)
{
    transmitMuted = muted;
    applyPublishState(*own);
    updateSpeakingBroadcast();
}

void MediaSessionService::setListeningMuted(bool muted)
{
    listeningMuted = muted;
    own->connection->setListeningMuted(muted);
    parent->connection->setListeningMuted(muted);
}

void MediaSessionService::setBroadcastActive(bool active)
{
    broadcastActive.store(active);
    applyPublishState(*parent);
    updateSpeakingBroadcast();
}

void MediaSessionService::setParticipantGain(const QString &identity, double linearGain)
{
    const bool wanted = linearGain > 0.0001;
    own->connection->setParticipantSubscribed(identity, wanted);
    parent->connection->setParticipantSubscribed(identity, wanted);
}

// ---------------------------------------------------------------- speaking flags and active speakers

void MediaSessionService::setLocalSpeaking(bool speaking)
{
    if (speaking == localSpeaking)
        return;
    localSpeaking = speaking;
    updateSpeakingBroadcast();
}

void MediaSessionService::setSelfIdProvider(std::function<QString()> provider)
{
    selfIdProvider = std::move(provider);
}

qint64 MediaSessionService::now() const
{
    return clock();
}

void MediaSessionService::updateSpeakingBroadcast()
{
    const bool broadcast = broadcastActive.load();
    const bool ownFlag =
        localSpeaking && !transmitMuted && !speechBlocked && !broadcast && own->connection->isConnected();
    const bool parentFlag =
        localSpeaking && broadcast && effectiveParentPermission() && parent->connection->isConnected();
    if (ownFlag != ownSpeakingSent) {
        ownSpeakingSent = ownFlag;
        own->connection->sendSpeaking(ownFlag);
        refreshActiveSpeakers(*own);
    }
    if (parentFlag != parentSpeakingSent) {
        parentSpeakingSent = parentFlag;
        parent->connection->sendSpeaking(parentFlag);
        refreshActiveSpeakers(*parent);
    }
    if ((ownSpeakingSent || parentSpeakingSent) && !speakingResendTimer->isActive())
        speakingResendTimer->start();
}

void MediaSessionService::resendSpeaking()
{
    if (ownSpeakingSent)
        own->connection->sendSpeaking(true);
    if (parentSpeakingSent)
        parent->connection->sendSpeaking(true);
    if (!ownSpeakingSent && !parentSpeakingSent)
        speakingResendTimer->stop();
}

void MediaSessionService::onSpeakingPacket(SfuSession &session, const QString &identity, bool speaking)
{
    QHash<QString, qint64> &table = isOwn(session) ? ownRemoteSpeakers : parentRemoteSpeakers;
    if (speaking) {
        table.insert(identity, now() + speakerHoldMs);
        if (!speakerExpiryTimer->isActive())
            speakerExpiryTimer->start();
    } else {
        table.remove(identity);
    }
    refreshActiveSpeakers(session);
}

void MediaSessionService::pruneRemoteSpeakers()
{
    const qint64 at = now();
    for (SfuSession *session : {own.get(), parent.get()}) {
        QHash<QString, qint64> &table = isOwn(*session) ? ownRemoteSpeakers : parentRemoteSpeakers;
        const qsizetype before = table.size();
        table.removeIf([at](const auto &entry) { return entry.value() <= at; });
        if (table.size() != before)
            refreshActiveSpeakers(*session);
    }
    if (ownRemoteSpeakers.isEmpty() && parentRemoteSpeakers.isEmpty())
        speakerExpiryTimer->stop();
}

void MediaSessionService::clearRemoteSpeakers(SfuSession &session)
{
    (isOwn(session) ? ownRemoteSpeakers : parentRemoteSpeakers).clear();
    refreshActiveSpeakers(session);
}

void MediaSessionService::refreshActiveSpeakers(SfuSession &session)
{
    const bool ownSide = isOwn(session);
    QStringList list = (ownSide ? ownRemoteSpeakers : parentRemoteSpeakers).keys();
    if ((ownSide ? ownSpeakingSent : parentSpeakingSent) && selfIdProvider) {
        const QString self = selfIdProvider();
        if (!self.isEmpty() && !list.contains(self))
            list.append(self);
    }
    std::sort(list.begin(), list.end());
    QStringList &stored = ownSide ? ownActiveSpeakers : parentActiveSpeakers;
    if (list == stored)
        return;
    stored = list;
    if (ownSide)
        emit activeSpeakersChanged(list);
    else
        emit parentActiveSpeakersChanged(list);
}

std::unique_ptr<MediaSessionService> createMediaSessionService(IHttpClient *api, AudioCaptureManager *capture,
                                                               AudioPlaybackManager *playback)
{
    return std::make_unique<MediaSessionService>(api, capture, playback);
}
