#pragma once

#include "platform/livekit/room.h"
#include "platform/livekit/room_delegate.h"
#include "platform/livekit/track_publication.h"

#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

typedef struct _SoupSession SoupSession;
typedef struct _SoupWebsocketConnection SoupWebsocketConnection;
typedef struct _JsonObject JsonObject;
typedef struct _GSource GSource;

namespace livekit {
class LocalParticipant;
class LocalAudioTrack;
class RemoteAudioTrack;
class RemoteParticipant;
} // namespace livekit

namespace livekit::detail {

class EventLoop;
class Peer;
enum class PeerState;

// The room's signalling with the media server (its WebSocket protocol and its room plugin) and the
// WebRTC connections: one publisher connection of ours, one subscriber connection per remote feed.
// All state below the public calls lives on the loop thread.
class RoomEngine : public std::enable_shared_from_this<RoomEngine>
{
public:
    RoomEngine();
    ~RoomEngine();
    RoomEngine(const RoomEngine &) = delete;
    RoomEngine &operator=(const RoomEngine &) = delete;

    // Any thread except the loop thread.
    void setDelegate(RoomDelegate *delegate);
    void connect(const std::string &url, const std::string &token, const RoomOptions &options);
    // Leaves the room and stops the loop thread. Idempotent.
    void close();

    // Any thread.
    RoomInfo info() const;
    std::shared_ptr<LocalParticipant> localParticipant() const;
    std::vector<std::shared_ptr<RemoteParticipant>> remoteParticipants() const;

    // Blocking calls of the local participant, any thread except the loop thread.
    std::shared_ptr<LocalTrackPublication> publish(const std::shared_ptr<LocalAudioTrack> &track,
                                                   const TrackPublishOptions &options);
    void unpublish(const std::string &sid);
    void sendData(const std::vector<std::uint8_t> &payload, const std::string &topic);
    // From a remote publication, any thread; does not wait.
    void requestSubscription(std::int64_t feed, bool subscribed);

private:
    enum class Phase { Idle, Connecting, Connected, Lost, Closed };

    struct Subscription
    {
        std::int64_t feed = 0;
        std::int64_t handle = 0;
        std::shared_ptr<Peer> peer;
        std::string audioMid;
        bool wanted = true;
        bool active = false; // the track is reported as subscribed
        std::shared_ptr<RemoteAudioTrack> track;
    };

    struct Feed
    {
        std::shared_ptr<RemoteParticipant> participant;
        std::shared_ptr<RemoteTrackPublication> publication;
        std::int64_t subscriptionHandle = 0; // 0: none
        bool wanted = true;
    };

    using Reply = std::function<void(JsonObject *message)>;

    // Loop thread.
    void startConnect();
    void onSocketOpen(SoupWebsocketConnection *socket);
    void onSocketMessage(const char *data, std::size_t size);
    void onSocketClosed(unsigned short code);
    void send(JsonObject *message, std::int64_t handle = 0, Reply reply = nullptr);
    bool isConnectRequest(const std::string &verb, std::int64_t handle) const;
    void sendMessage(std::int64_t handle, JsonObject *body, const char *jsepType = nullptr, const std::string &sdp = {},
                     Reply reply = nullptr);
    void sendTrickle(std::int64_t handle, int mline, const std::string &candidate);
    void onPluginEvent(std::int64_t handle, JsonObject *data, JsonObject *jsep);
    void onJoined(JsonObject *data);
    void startPublisher();
    void onPublisherState(PeerState state);
    void addParticipant(std::int64_t id, const std::string &identity);
    void addPublishers(JsonObject *data, const char *member);
    void removeFeed(std::int64_t feed);
    void removeParticipant(std::int64_t id);
    void subscribe(std::int64_t feed);
    void onSubscriberEvent(Subscription &subscription, JsonObject *data, JsonObject *jsep);
    void onSubscriberState(std::int64_t handle, PeerState state);
    void activate(Subscription &subscription);
    void deactivate(Subscription &subscription);
    void setSubscribed(std::int64_t feed, bool subscribed);
    void sendSubscriberMedia(Subscription &subscription, bool send);
    void dropSubscription(std::int64_t handle);
    void onData(std::int64_t feed, const std::vector<std::uint8_t> &bytes);
    void keepaliveTick();
    void finishConnect(const std::string &error);
    void lose(DisconnectReason reason);
    void closeOnLoop(const std::shared_ptr<std::promise<void>> &done);
    void finishClose(const std::shared_ptr<std::promise<void>> &done);
    void releasePublishedTrack();
    void notify(const std::function<void(RoomDelegate &)> &call);
    std::shared_ptr<RemoteParticipant> participantOf(std::int64_t id) const;

    std::unique_ptr<EventLoop> m_loop;

    mutable std::mutex m_delegateMutex; // held while a delegate call runs
    RoomDelegate *m_delegate = nullptr;

    mutable std::mutex m_stateMutex; // guards what other threads read: info, participants, phase
    RoomInfo m_info;
    std::shared_ptr<LocalParticipant> m_local;
    std::map<std::int64_t, std::shared_ptr<RemoteParticipant>> m_participants;
    Phase m_phase = Phase::Idle;

    // Loop thread only.
    RoomOptions m_options;
    std::string m_url;
    std::string m_serverToken;
    std::string m_roomToken;
    std::string m_identity;
    std::int64_t m_room = 0;
    std::shared_ptr<std::promise<std::string>> m_connectResult;
    SoupSession *m_soup = nullptr;
    SoupWebsocketConnection *m_socket = nullptr;
    std::int64_t m_session = 0;
    std::int64_t m_publisherHandle = 0;
    std::int64_t m_myId = 0;
    std::int64_t m_privateId = 0;
    std::shared_ptr<Peer> m_publisher;
    std::shared_ptr<LocalAudioTrack> m_publishedTrack;
    bool m_offerSent = false;
    std::map<std::string, Reply> m_pending;
    // Transactions of the requests the connect itself made while it was pending: only an error
    // answering one of these fails it.
    std::set<std::string> m_connectRequests;
    std::uint64_t m_transactions = 0;
    std::map<std::int64_t, Feed> m_feeds;
    std::map<std::int64_t, Subscription> m_subscriptions; // by handle
    GSource *m_keepalive = nullptr;
    std::int64_t m_lastHeardUs = 0;
    std::int64_t m_lastKeepaliveUs = 0;
    bool m_closing = false;
};

} // namespace livekit::detail
