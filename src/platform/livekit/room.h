#pragma once

#include <memory>
#include <string>
#include <vector>

namespace livekit {

namespace detail {
class RoomEngine;
}
class LocalParticipant;
class RemoteParticipant;
class RoomDelegate;

struct IceServer
{
    std::string url; // "turn:host:port" or "stun:host:port"
    std::string username;
    std::string credential;
};

struct RoomOptions
{
    bool autoSubscribe = true;
    std::vector<IceServer> iceServers;
    bool relayOnly = false;         // use relay candidates only
    int connectTimeoutMs = 10000;   // whole connect, signalling and media
    int keepaliveIntervalMs = 5000; // signalling keepalive period
    int keepaliveTimeoutMs = 10000; // no answer for this long: the room is lost (ConnectionTimeout)
    int jitterBufferMs = 60;        // receive jitter buffer
};

struct RoomInfo
{
    std::string sid;
    std::string name;
};

// One connection to a media server room.
//
// url: the server's signalling WebSocket with the room number as the "room" query item, for example
// "ws://127.0.0.1:8188/?room=1234".
// token: "<server token>|<room token>|<identity>" as the service mints them; either token may be
// empty when the server or the room does not ask for one.
//
// Threads: connect blocks its caller (not the thread the delegate is called on); everything else may
// be called from any thread. Destroy a room on a thread of the caller's, never from a delegate call.
class Room
{
public:
    Room();
    ~Room();
    Room(const Room &) = delete;
    Room &operator=(const Room &) = delete;

    // Null stops the callbacks; when it returns, no call of the previous delegate is running or
    // will start.
    void setDelegate(RoomDelegate *delegate);
    // Joins the room and makes the media connection ready to send. Returns true when connected;
    // throws std::runtime_error with the server's or the engine's message otherwise.
    bool connect(const std::string &url, const std::string &token, const RoomOptions &options = {});
    RoomInfo roomInfo() const;

    std::weak_ptr<LocalParticipant> localParticipant() const;
    std::vector<std::weak_ptr<RemoteParticipant>> remoteParticipants() const;
    std::weak_ptr<RemoteParticipant> remoteParticipant(const std::string &identity) const;

private:
    std::shared_ptr<detail::RoomEngine> m_engine;
};

} // namespace livekit
