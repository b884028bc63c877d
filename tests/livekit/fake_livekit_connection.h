#pragma once

#include "livekit/livekit_connection.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <atomic>

namespace testsupport {

// A connection that goes nowhere: records what the media session asks of it and connects only
// when the test says so. Usage:
//
//   MediaSessionService::Dependencies deps;
//   deps.connectionFactory = [&](LiveKitConnection::Role role) {
//       auto c = std::make_unique<FakeLiveKitConnection>(role);
//       (role == LiveKitConnection::Role::Own ? own : parent) = c.get();
//       return c;
//   };
//   ... answer the token request ...; own->finishConnect();
//
// `pushCaptureFrame` runs on the capture thread; its counters are atomic. Everything else is GUI
// thread.
class FakeLiveKitConnection : public LiveKitConnection
{
public:
    using LiveKitConnection::LiveKitConnection;

    void connectToRoom(const QString &url, const QString &token) override
    {
        // A connection that is up or coming is replaced, as the real one does.
        if (connected || connecting) {
            connected = connecting = false;
            published = false;
            emit disconnected(switchingReason());
        }
        connecting = true;
        connects.append({url, token});
    }
    void disconnectFromRoom(const QString &reason) override
    {
        disconnectCalls.append(reason);
        if (!connected && !connecting)
            return;
        connected = connecting = false;
        published = false;
        sending = false;
        emit disconnected(reason);
    }
    bool isConnected() const override { return connected; }
    bool isConnecting() const override { return connecting; }
    void publishAudio(int bitrateBps) override
    {
        if (!connected || published)
            return;
        published = true;
        publishBitrates.append(bitrateBps);
    }
    void unpublishAudio() override
    {
        published = false;
        ++unpublishCount;
    }
    bool isAudioPublished() const override { return published; }
    void setMicMuted(bool muted) override { micMuted = muted; }
    void setSendingAudio(bool enabled) override { sending = enabled; }
    void pushCaptureFrame(const qint16 *, int, int, int, bool silence) override
    {
        (silence ? silentFrames : voiceFrames).fetch_add(1);
    }
    void setRoomBitrate(int bps) override { roomBitrates.append(bps); }
    void setVadBitrate(int bps) override { vadBitrates.append(bps); }
    void sendSpeaking(bool speaking) override { speakingSent.append(speaking); }
    void setPlaybackManager(AudioPlaybackManager *manager) override { playback = manager; }
    void setListeningMuted(bool muted) override { listeningMuted = muted; }
    void setParticipantSubscribed(const QString &identity, bool wanted) override
    {
        subscriptions.append({identity, wanted});
    }

    // The test's side.
    void finishConnect(const QString &roomName = QStringLiteral("room"))
    {
        connecting = false;
        connected = true;
        emit connectedToRoom(roomName);
    }
    void fail(const QString &reason = QStringLiteral("lost"))
    {
        connected = connecting = false;
        published = false;
        emit connectionFailed(reason);
    }
    // The room lost from the server's side, as the library reports it.
    void drop(const QString &reason)
    {
        connected = connecting = false;
        published = false;
        emit disconnected(reason);
    }
    void refusePublish(const QString &reason)
    {
        published = false;
        emit audioPublishFailed(reason);
    }
    void timeOutPublish()
    {
        published = false;
        emit audioPublishTimedOut();
    }
    void receiveSpeaking(const QString &identity, bool speaking) { emit speakingPacketReceived(identity, speaking); }

    bool connected = false;
    bool connecting = false;
    bool published = false;
    bool micMuted = false;
    bool sending = false;
    bool listeningMuted = false;
    int unpublishCount = 0;
    AudioPlaybackManager *playback = nullptr;
    QList<QPair<QString, QString>> connects; // url, token
    QStringList disconnectCalls;
    QList<int> publishBitrates;
    QList<int> roomBitrates;
    QList<int> vadBitrates;
    QList<bool> speakingSent;
    QList<QPair<QString, bool>> subscriptions;
    std::atomic<int> silentFrames{0};
    std::atomic<int> voiceFrames{0};
};

} // namespace testsupport
