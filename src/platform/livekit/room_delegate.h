#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace livekit {

class RemoteParticipant;
class RemoteTrackPublication;
class Track;

// Why a room was lost, as reported by `RoomDelegate::onDisconnected`.
enum class DisconnectReason : int {
    Unknown = 0,
    ClientInitiated = 1,
    DuplicateIdentity = 2,
    ServerShutdown = 3,
    ParticipantRemoved = 4,
    RoomDeleted = 5,
    StateMismatch = 6,
    JoinFailure = 7,
    Migration = 8,
    SignalClose = 9,
    RoomClosed = 10,
    UserUnavailable = 11,
    UserRejected = 12,
    SipTrunkFailure = 13,
    ConnectionTimeout = 14,
    MediaFailure = 15,
};

enum class ConnectionState { Disconnected = 0, Connected = 1, Reconnecting = 2 };

// Room events, called on the engine's threads, never on the caller's. An implementation must not
// block and must not destroy the room from inside a call. Every method does nothing by default.
class RoomDelegate
{
public:
    virtual ~RoomDelegate();

    virtual void onParticipantConnected(const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onParticipantDisconnected(const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onTrackPublished(const std::shared_ptr<RemoteTrackPublication> &publication,
                                  const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onTrackUnpublished(const std::shared_ptr<RemoteTrackPublication> &publication,
                                    const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onTrackSubscribed(const std::shared_ptr<Track> &track,
                                   const std::shared_ptr<RemoteTrackPublication> &publication,
                                   const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onTrackUnsubscribed(const std::shared_ptr<Track> &track,
                                     const std::shared_ptr<RemoteTrackPublication> &publication,
                                     const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onTrackSubscriptionFailed(const std::string &trackSid, const std::string &error,
                                           const std::shared_ptr<RemoteParticipant> &participant);
    virtual void onConnectionStateChanged(ConnectionState state);
    virtual void onDisconnected(DisconnectReason reason);
    virtual void onDataReceived(const std::vector<std::uint8_t> &payload, const std::string &topic,
                                const std::shared_ptr<RemoteParticipant> &participant);
};

} // namespace livekit
