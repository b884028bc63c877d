#include "platform/livekit/room_engine.h"

#include "platform/livekit/data_framing.h"
#include "platform/livekit/event_loop.h"
#include "platform/livekit/janus_json.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/peer.h"
#include "platform/livekit/track.h"

#include <json-glib/json-glib.h>

// Subscriptions: one subscriber connection per remote feed, paused and resumed on request while its
// data channel stays up.
namespace livekit::detail {

namespace {
using EngineRef = std::weak_ptr<RoomEngine>;
}

void RoomEngine::subscribe(std::int64_t feed)
{
    JsonObject *attach = request("attach");
    json_object_set_string_member(attach, "plugin", kRoomPlugin);
    send(attach, 0, [this, feed](JsonObject *reply) {
        if (failed(reply))
            return;
        const auto it = m_feeds.find(feed);
        const std::int64_t handle = intMember(objectMember(reply, "data"), "id");
        if (it == m_feeds.end() || it->second.subscriptionHandle) {
            send(request("detach"), handle);
            return;
        }
        it->second.subscriptionHandle = handle;
        Subscription &subscription = m_subscriptions[handle];
        subscription.feed = feed;
        subscription.handle = handle;
        subscription.wanted = it->second.wanted;
        JsonObject *body = json_object_new();
        json_object_set_string_member(body, "request", "join");
        json_object_set_string_member(body, "ptype", "subscriber");
        json_object_set_int_member(body, "room", m_room);
        if (m_privateId)
            json_object_set_int_member(body, "private_id", m_privateId);
        if (!m_roomToken.empty())
            json_object_set_string_member(body, "token", m_roomToken.c_str());
        JsonArray *streams = json_array_new();
        JsonObject *stream = json_object_new();
        json_object_set_int_member(stream, "feed", feed);
        json_array_add_object_element(streams, stream);
        json_object_set_array_member(body, "streams", streams);
        sendMessage(handle, body);
    });
}

void RoomEngine::onSubscriberEvent(Subscription &subscription, JsonObject *data, JsonObject *jsep)
{
    const std::int64_t handle = subscription.handle;
    if (json_object_has_member(data, "error")) {
        const std::string error = stringMember(data, "error");
        const auto feed = m_feeds.find(subscription.feed);
        if (feed != m_feeds.end() && !subscription.peer) {
            auto participant = feed->second.participant;
            const std::string sid = trackSid(subscription.feed);
            notify([&](RoomDelegate &d) { d.onTrackSubscriptionFailed(sid, "videoroom: " + error, participant); });
            dropSubscription(handle);
        }
        return;
    }
    if (stringMember(data, "videoroom") != "attached" || !jsep || subscription.peer)
        return;
    if (JsonArray *streams = arrayMember(data, "streams")) {
        for (guint i = 0; i < json_array_get_length(streams); ++i) {
            JsonObject *stream = json_array_get_object_element(streams, i);
            if (stringMember(stream, "type") == "audio")
                subscription.audioMid = stringMember(stream, "mid");
        }
    }
    PeerSettings settings;
    settings.jitterBufferMs = m_options.jitterBufferMs;
    settings.iceServers = m_options.iceServers;
    settings.relayOnly = m_options.relayOnly;
    PeerEvents events;
    const EngineRef weak = weak_from_this();
    const std::int64_t feed = subscription.feed;
    events.localDescription = [weak, handle](const std::string &sdp) {
        auto self = weak.lock();
        if (!self || !self->m_subscriptions.count(handle))
            return;
        JsonObject *body = json_object_new();
        json_object_set_string_member(body, "request", "start");
        self->sendMessage(handle, body, "answer", sdp);
    };
    events.iceCandidate = [weak, handle](int mline, const std::string &candidate) {
        auto self = weak.lock();
        if (self && self->m_subscriptions.count(handle))
            self->sendTrickle(handle, mline, candidate);
    };
    events.stateChanged = [weak, handle](PeerState state) {
        if (auto self = weak.lock())
            self->onSubscriberState(handle, state);
    };
    events.dataReceived = [weak, feed](const std::vector<std::uint8_t> &bytes) {
        if (auto self = weak.lock())
            self->onData(feed, bytes);
    };
    events.failed = [weak, handle](const std::string &) {
        if (auto self = weak.lock())
            self->onSubscriberState(handle, PeerState::Failed);
    };
    std::string error;
    subscription.peer = Peer::create(m_loop.get(), settings, std::move(events), &error);
    if (!subscription.peer) {
        const auto it = m_feeds.find(feed);
        if (it != m_feeds.end()) {
            auto participant = it->second.participant;
            notify([&](RoomDelegate &d) { d.onTrackSubscriptionFailed(trackSid(feed), error, participant); });
        }
        dropSubscription(handle);
        return;
    }
    subscription.peer->applyOffer(stringMember(jsep, "sdp"));
}

void RoomEngine::onSubscriberState(std::int64_t handle, PeerState state)
{
    const auto it = m_subscriptions.find(handle);
    if (it == m_subscriptions.end())
        return;
    Subscription &subscription = it->second;
    if (state == PeerState::Connected) {
        if (subscription.wanted)
            activate(subscription);
        else
            sendSubscriberMedia(subscription, false);
        return;
    }
    if (state == PeerState::Failed) {
        const auto feed = m_feeds.find(subscription.feed);
        std::shared_ptr<RemoteParticipant> participant = feed == m_feeds.end() ? nullptr : feed->second.participant;
        const std::string sid = trackSid(subscription.feed);
        dropSubscription(handle);
        notify([&](RoomDelegate &d) { d.onTrackSubscriptionFailed(sid, "media connection failed", participant); });
    }
}

void RoomEngine::activate(Subscription &subscription)
{
    if (subscription.active || !subscription.peer || !subscription.peer->isConnected())
        return;
    const auto feed = m_feeds.find(subscription.feed);
    if (feed == m_feeds.end())
        return;
    subscription.active = true;
    subscription.track = std::make_shared<RemoteAudioTrack>("microphone");
    subscription.track->attachPeer(subscription.peer, trackSid(subscription.feed));
    feed->second.publication->setTrack(subscription.track);
    std::shared_ptr<Track> track = subscription.track;
    notify([&](RoomDelegate &d) { d.onTrackSubscribed(track, feed->second.publication, feed->second.participant); });
}

void RoomEngine::deactivate(Subscription &subscription)
{
    if (!subscription.active)
        return;
    subscription.active = false;
    std::shared_ptr<Track> track = subscription.track;
    subscription.track.reset();
    if (subscription.peer)
        subscription.peer->endStreams();
    if (track)
        track->attachPeer(nullptr, track->sid());
    const auto feed = m_feeds.find(subscription.feed);
    if (feed == m_feeds.end())
        return;
    feed->second.publication->setTrack(nullptr);
    notify([&](RoomDelegate &d) { d.onTrackUnsubscribed(track, feed->second.publication, feed->second.participant); });
}

void RoomEngine::requestSubscription(std::int64_t feed, bool subscribed)
{
    m_loop->post([weak = weak_from_this(), feed, subscribed] {
        if (auto self = weak.lock())
            self->setSubscribed(feed, subscribed);
    });
}

void RoomEngine::setSubscribed(std::int64_t feed, bool subscribed)
{
    const auto it = m_feeds.find(feed);
    if (it == m_feeds.end())
        return;
    it->second.wanted = subscribed;
    if (!it->second.subscriptionHandle) {
        if (subscribed)
            subscribe(feed);
        return;
    }
    Subscription &subscription = m_subscriptions[it->second.subscriptionHandle];
    if (subscription.wanted == subscribed)
        return;
    subscription.wanted = subscribed;
    if (!subscription.peer || !subscription.peer->isConnected())
        return; // applied once the connection is up
    // The subscriber connection stays up (its data channel too); only the audio is paused.
    sendSubscriberMedia(subscription, subscribed);
    if (subscribed)
        activate(subscription);
    else
        deactivate(subscription);
}

void RoomEngine::sendSubscriberMedia(Subscription &subscription, bool send)
{
    if (subscription.audioMid.empty())
        return;
    JsonObject *body = json_object_new();
    json_object_set_string_member(body, "request", "configure");
    JsonArray *streams = json_array_new();
    JsonObject *stream = json_object_new();
    json_object_set_string_member(stream, "mid", subscription.audioMid.c_str());
    json_object_set_boolean_member(stream, "send", send);
    json_array_add_object_element(streams, stream);
    json_object_set_array_member(body, "streams", streams);
    sendMessage(subscription.handle, body);
}

void RoomEngine::dropSubscription(std::int64_t handle)
{
    const auto it = m_subscriptions.find(handle);
    if (it == m_subscriptions.end())
        return;
    deactivate(it->second);
    std::shared_ptr<Peer> peer = it->second.peer;
    const auto feed = m_feeds.find(it->second.feed);
    if (feed != m_feeds.end() && feed->second.subscriptionHandle == handle)
        feed->second.subscriptionHandle = 0;
    m_subscriptions.erase(it);
    send(request("detach"), handle);
    if (peer)
        peer->close();
}

void RoomEngine::onData(std::int64_t feed, const std::vector<std::uint8_t> &bytes)
{
    DataPacket packet;
    if (!unframeData(bytes, &packet))
        return;
    std::shared_ptr<RemoteParticipant> participant = participantOf(feed);
    notify([&](RoomDelegate &d) { d.onDataReceived(packet.payload, packet.topic, participant); });
}

} // namespace livekit::detail
