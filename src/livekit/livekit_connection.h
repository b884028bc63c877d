#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <QList>

#include <memory>
#include <vector>

class AudioPlaybackManager;
class ConnectionDelegateBridge;

namespace livekit {
class LocalTrackPublication;
class RemoteTrackPublication;
class Room;
class Track;
struct RtcStats;
} // namespace livekit

// The client's connection to one media-server room for one role: connects, publishes the
// microphone, forwards capture frames, mutes, limits the bitrate, sends and receives speaking packets,
// filters remote tracks into playback and polls statistics.
//
// Threads: everything is called on the GUI thread except `pushCaptureFrame` (the capture thread). The
// library calls that wait for the server run on short-lived worker threads; their results and the
// library's callbacks come back as queued calls that carry the attempt's generation and are dropped
// when the connection is gone or the attempt was superseded. `frameMutex` (inside) guards the audio
// source and the sending flag; `statsMutex` the jitter-buffer track tables.
//
// The operations the media session drives are virtual so that its tests can stand in a recording
// connection for a real one.
class LiveKitConnection : public QObject
{
    Q_OBJECT
public:
    enum class Role { Own = 0, Parent = 1 };

    explicit LiveKitConnection(Role role, QObject *parent = nullptr);
    ~LiveKitConnection() override;

    virtual void connectToRoom(const QString &url, const QString &token);
    virtual void disconnectFromRoom(const QString &reason);
    virtual bool isConnected() const;
    virtual bool isConnecting() const;

    // Publishing and data.
    virtual void publishAudio(int bitrateBps);
    virtual void unpublishAudio();
    virtual bool isAudioPublished() const;
    virtual void setMicMuted(bool muted);
    virtual void setSendingAudio(bool enabled);
    // Capture thread.
    virtual void pushCaptureFrame(const qint16 *data, int samples, int sampleRate, int channels, bool silence);
    virtual void setRoomBitrate(int bps);
    virtual void setVadBitrate(int bps);
    virtual void sendSpeaking(bool speaking);

    // Remote participants and statistics.
    virtual void setPlaybackManager(AudioPlaybackManager *manager);
    virtual void setListeningMuted(bool muted);
    virtual void setParticipantSubscribed(const QString &identity, bool wanted);
    void applySubscriptionFilter();
    void onAudioTrackSubscribed(const std::shared_ptr<livekit::Track> &track,
                                const std::shared_ptr<livekit::RemoteTrackPublication> &publication,
                                const QString &trackSid, const QString &identity);
    void onAudioTrackUnsubscribed(const QString &identity, const QString &trackSid);
    void onStatsTimer();

    // Time settings; the defaults are 10000 ms and 2000 ms.
    void setPublishTimeoutMs(int ms);
    void setStatsIntervalMs(int ms);

    // The reason `disconnected` carries when `connectToRoom` replaces a room that was up or coming.
    static QString switchingReason();

    // Initialisations of the media library still counted (connections and their workers).
    static int runtimeUsers();
    // Rooms whose teardown (unpublish, leave, goodbye) still runs on a worker thread.
    static int roomsBeingEnded();

signals:
    void connectingChanged(bool connecting);
    void connectedToRoom(const QString &roomName);
    void connectionFailed(const QString &reason);
    void disconnected(const QString &reason);
    void connectionQualityUpdated(const QVariantMap &stats);
    void audioPublishTimedOut();
    void audioPublishFailed(const QString &reason);
    void speakingPacketReceived(const QString &identity, bool speaking);

private:
    class Impl;
    class Workers;
    struct RemoteStats; // one remote track's statistics of a poll

    void onConnectResult(quint64 generation, std::shared_ptr<livekit::Room> room,
                         const std::shared_ptr<ConnectionDelegateBridge> &bridge, bool success, const QString &roomName,
                         const QString &error);
    void onPublishResult(quint64 generation, const std::shared_ptr<livekit::LocalTrackPublication> &publication,
                         const QString &error, int effectiveBitrate);
    void onPublishTimeout(quint64 generation);
    void pollStats(const std::vector<livekit::RtcStats> &local, const QList<RemoteStats> &remotes);

    friend class ConnectionDelegateBridge;
    std::unique_ptr<Impl> d;
};

// The user-facing text of a library disconnect reason.
QString disconnectReasonText(int code);
