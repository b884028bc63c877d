#pragma once

#include "livekit/livekit_connection.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class AudioCaptureManager;
class AudioPlaybackManager;
class IHttpClient;
class QTimer;
struct HttpResponse;

// Keeps the user's voice connected to the media server of the active room and, for a sub-room, to
// the one of its parent room: fetches a token per room, connects, publishes the microphone by the
// publish rule, retries with a capped exponential delay, fans every captured frame out to both
// connections (broadcast decides which one hears the voice), sends the local speaking flag to each
// room and keeps the sorted lists of who is speaking in both rooms.
//
// Threads: everything runs on the GUI thread except the frame fan-out, which the capture thread runs
// inside the capture manager's sink lock; it reads `broadcastActive` (atomic) and nothing else of the
// service.
class MediaSessionService : public QObject
{
    Q_OBJECT
public:
    using ConnectionFactory = std::function<std::unique_ptr<LiveKitConnection>(LiveKitConnection::Role)>;

    // What the service is built from besides its collaborators; tests stand in recording
    // connections and a clock of their own.
    struct Dependencies
    {
        ConnectionFactory connectionFactory; // empty: real connections
        std::function<qint64()> clock;       // milliseconds; empty: a monotonic clock started here
    };

    // The reconnect delay after `attempt` earlier failures: 1000, 2000, 4000, 8000, 16000, then 30000.
    static int reconnectDelayMs(int attempt);

    MediaSessionService(IHttpClient *api, AudioCaptureManager *capture, AudioPlaybackManager *playback,
                        QObject *parent = nullptr, Dependencies dependencies = {});
    ~MediaSessionService() override;

    // GUI thread, all of them.
    void syncRooms(bool active, const QString &roomId, const QString &parentRoomId);
    void setRoomBitrate(int bps);
    void setParentRoomBitrate(int bps);
    void setParentBroadcastAllowed(std::optional<bool> allowed);
    void setSpeechBlocked(bool blocked);
    void setTransmitMuted(bool muted);
    void setListeningMuted(bool muted);
    void setBroadcastActive(bool active);
    void setLocalSpeaking(bool speaking);
    void setParticipantGain(const QString &identity, double linearGain);
    void setSelfIdProvider(std::function<QString()> provider);

signals:
    void activeSpeakersChanged(const QStringList &identities);
    void parentActiveSpeakersChanged(const QStringList &identities);
    void roomBitrateChanged(int bps);
    void parentCanPublishChanged(bool allowed);
    void connectionQualityUpdated(const QVariantMap &stats);
    // A voice failure the user should see: a connection that failed or was lost (not one this
    // service or the user ended) and a refused or timed-out publication, with the connection's
    // finished reason text; empty when the connection gave none. Once per failure.
    void voiceFailed(const QString &reason);

private:
    struct SfuSession;

    bool isOwn(const SfuSession &session) const { return &session == own.get(); }
    const char *sessionName(const SfuSession &session) const { return isOwn(session) ? "own" : "parent"; }
    void wireSession(SfuSession &session);

    void beginSession(SfuSession &session, const QString &roomId);
    void fetchTokenAndConnect(SfuSession &session);
    void onTokenResponse(SfuSession &session, quint64 generation, const QString &roomId, const HttpResponse &response);
    void endSession(SfuSession &session, const QString &reason);
    void scheduleReconnect(SfuSession &session);
    void onRetryTimeout(SfuSession &session);
    void onConnected(SfuSession &session, const QString &roomName);
    void onConnectionLost(SfuSession &session, const QString &reason);
    void onPublishFailed(SfuSession &session, const QString &reason);
    void applyPublishState(SfuSession &session);
    void refreshParentBroadcastAllowed();
    bool effectiveParentPermission() const;

    // Speaking flags and active speakers.
    void updateSpeakingBroadcast();
    void resendSpeaking();
    void onSpeakingPacket(SfuSession &session, const QString &identity, bool speaking);
    void pruneRemoteSpeakers();
    void clearRemoteSpeakers(SfuSession &session);
    void refreshActiveSpeakers(SfuSession &session);
    qint64 now() const;

    IHttpClient *api = nullptr;
    AudioCaptureManager *capture = nullptr;
    AudioPlaybackManager *playback = nullptr;
    std::unique_ptr<SfuSession> own;
    std::unique_ptr<SfuSession> parent;
    bool transmitMuted = false;
    std::atomic<bool> broadcastActive{false};
    bool listeningMuted = false;
    std::optional<bool> parentBroadcastOverride;
    bool parentBroadcastAllowed = true;
    bool localSpeaking = false;
    bool speechBlocked = false;

    std::function<QString()> selfIdProvider;
    bool ownSpeakingSent = false;
    bool parentSpeakingSent = false;
    QHash<QString, qint64> ownRemoteSpeakers;
    QHash<QString, qint64> parentRemoteSpeakers;
    QStringList ownActiveSpeakers;
    QStringList parentActiveSpeakers;
    QTimer *speakingResendTimer = nullptr; // child, repeating 1000 ms
    QTimer *speakerExpiryTimer = nullptr;  // child, repeating 500 ms
    std::function<qint64()> clock;
    qint64 speakerHoldMs = 2500;
};

// The factory through which the client context builds the one media session.
std::unique_ptr<MediaSessionService> createMediaSessionService(IHttpClient *api, AudioCaptureManager *capture,
                                                               AudioPlaybackManager *playback);
