#include "platform/livekit/room_engine.h"

#include "platform/livekit/audio_source.h"
#include "platform/livekit/data_framing.h"
#include "platform/livekit/event_loop.h"
#include "platform/livekit/janus_json.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/peer.h"
#include "platform/livekit/runtime_state.h"
#include "platform/livekit/track.h"

#include <json-glib/json-glib.h>
#include <libsoup/soup.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace livekit::detail {

namespace {

constexpr int kPublishWaitMs = 15000;
constexpr int kCallWaitMs = 5000;
constexpr int kLeaveWaitMs = 500;

using EngineRef = std::weak_ptr<RoomEngine>;

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (int i = 0; i < 2; ++i) {
        const auto at = text.find(separator, start);
        if (at == std::string::npos)
            break;
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start)); // the identity may hold the separator
    return parts;
}

template<typename T>
T waitFor(std::future<T> &future, int timeoutMs, const char *what)
{
    if (future.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        throw std::runtime_error(std::string(what) + " timed out");
    return future.get();
}

} // namespace

RoomEngine::RoomEngine()
    : m_loop(std::make_unique<EventLoop>())
{}

RoomEngine::~RoomEngine()
{
    close();
    // The loop has stopped: nothing else touches the track any more.
    releasePublishedTrack();
}

void RoomEngine::setDelegate(RoomDelegate *delegate)
{
    std::lock_guard lock(m_delegateMutex);
    m_delegate = delegate;
}

void RoomEngine::notify(const std::function<void(RoomDelegate &)> &call)
{
    std::lock_guard lock(m_delegateMutex);
    if (m_delegate)
        call(*m_delegate);
}

RoomInfo RoomEngine::info() const
{
    std::lock_guard lock(m_stateMutex);
    return m_info;
}

std::shared_ptr<LocalParticipant> RoomEngine::localParticipant() const
{
    std::lock_guard lock(m_stateMutex);
    return m_local;
}

std::vector<std::shared_ptr<RemoteParticipant>> RoomEngine::remoteParticipants() const
{
    std::lock_guard lock(m_stateMutex);
    std::vector<std::shared_ptr<RemoteParticipant>> list;
    for (const auto &[id, participant] : m_participants)
        list.push_back(participant);
    return list;
}

std::shared_ptr<RemoteParticipant> RoomEngine::participantOf(std::int64_t id) const
{
    std::lock_guard lock(m_stateMutex);
    const auto it = m_participants.find(id);
    return it == m_participants.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- connect

void RoomEngine::connect(const std::string &url, const std::string &token, const RoomOptions &options)
{
    if (!runtimeInitialized())
        throw std::runtime_error("livekit is not initialised");
    {
        std::lock_guard lock(m_stateMutex);
        if (m_phase != Phase::Idle)
            throw std::runtime_error("room was already connected");
        m_phase = Phase::Connecting;
    }
    GUri *uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
    std::int64_t room = 0;
    if (uri) {
        const char *scheme = g_uri_get_scheme(uri);
        const char *query = g_uri_get_query(uri);
        GHashTable *params = query ? g_uri_parse_params(query, -1, "&", G_URI_PARAMS_NONE, nullptr) : nullptr;
        const char *roomText = params ? static_cast<const char *>(g_hash_table_lookup(params, "room")) : nullptr;
        if (roomText && (g_strcmp0(scheme, "ws") == 0 || g_strcmp0(scheme, "wss") == 0))
            room = g_ascii_strtoll(roomText, nullptr, 10);
        if (params)
            g_hash_table_unref(params);
        g_uri_unref(uri);
    }
    const std::vector<std::string> parts = split(token, '|');
    std::string error;
    if (room <= 0)
        error = "invalid url: expected ws://host:port/?room=<number>";
    else if (parts.size() != 3 || parts[2].empty())
        error = "invalid token";
    if (!error.empty()) {
        std::lock_guard lock(m_stateMutex);
        m_phase = Phase::Lost;
        throw std::runtime_error(error);
    }
    {
        std::lock_guard lock(m_stateMutex);
        m_info.name = std::to_string(room);
        m_info.sid = "RM_" + std::to_string(room);
    }

    auto result = std::make_shared<std::promise<std::string>>();
    auto future = result->get_future();
    m_loop->post([weak = EngineRef(shared_from_this()), url, parts, room, options, result] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_url = url;
        self->m_serverToken = parts[0];
        self->m_roomToken = parts[1];
        self->m_identity = parts[2];
        self->m_room = room;
        self->m_options = options;
        self->m_connectResult = result;
        self->startConnect();
    });
    if (future.wait_for(std::chrono::milliseconds(std::max(1, options.connectTimeoutMs)))
        != std::future_status::ready) {
        m_loop->post([weak = EngineRef(shared_from_this())] {
            if (auto self = weak.lock())
                self->finishConnect("connect timed out");
        });
        throw std::runtime_error("connect timed out after " + std::to_string(options.connectTimeoutMs) + " ms");
    }
    error = future.get();
    if (!error.empty())
        throw std::runtime_error(error);
}

void RoomEngine::finishConnect(const std::string &error)
{
    if (!m_connectResult)
        return;
    {
        std::lock_guard lock(m_stateMutex);
        m_phase = error.empty() ? Phase::Connected : Phase::Lost;
    }
    if (!error.empty())
        EventLoop::cancel(m_keepalive);
    m_connectResult->set_value(error);
    m_connectResult.reset();
    m_connectRequests.clear();
    if (error.empty())
        notify([](RoomDelegate &d) { d.onConnectionStateChanged(ConnectionState::Connected); });
}

void RoomEngine::startConnect()
{
    m_soup = soup_session_new();
    SoupMessage *message = soup_message_new(SOUP_METHOD_GET, m_url.c_str());
    if (!message) {
        finishConnect("invalid url");
        return;
    }
    static const char *protocols[] = {"janus-protocol", nullptr};
    soup_session_websocket_connect_async(
        m_soup, message, nullptr, const_cast<char **>(protocols), G_PRIORITY_DEFAULT, nullptr,
        [](GObject *source, GAsyncResult *result, gpointer data) {
            std::unique_ptr<EngineRef> ref(static_cast<EngineRef *>(data));
            GError *error = nullptr;
            SoupWebsocketConnection *socket =
                soup_session_websocket_connect_finish(SOUP_SESSION(source), result, &error);
            auto self = ref->lock();
            if (!self) {
                if (socket)
                    g_object_unref(socket);
                g_clear_error(&error);
                return;
            }
            if (!socket) {
                self->finishConnect(std::string("websocket: ") + (error ? error->message : "not connected"));
                g_clear_error(&error);
                return;
            }
            self->onSocketOpen(socket);
        },
        new EngineRef(shared_from_this()));
    g_object_unref(message);
}

void RoomEngine::onSocketOpen(SoupWebsocketConnection *socket)
{
    m_socket = socket;
    soup_websocket_connection_set_max_incoming_payload_size(socket, 1 << 20);
    soup_websocket_connection_set_keepalive_interval(socket, 0);
    g_signal_connect_data(
        socket, "message", G_CALLBACK(+[](SoupWebsocketConnection *, gint type, GBytes *message, gpointer data) {
            auto self = static_cast<EngineRef *>(data)->lock();
            if (!self || type != SOUP_WEBSOCKET_DATA_TEXT)
                return;
            gsize size = 0;
            const auto *text = static_cast<const char *>(g_bytes_get_data(message, &size));
            self->onSocketMessage(text, size);
        }),
        new EngineRef(shared_from_this()), [](gpointer data, GClosure *) { delete static_cast<EngineRef *>(data); },
        GConnectFlags(0));
    g_signal_connect_data(
        socket, "closed", G_CALLBACK(+[](SoupWebsocketConnection *connection, gpointer data) {
            if (auto self = static_cast<EngineRef *>(data)->lock())
                self->onSocketClosed(soup_websocket_connection_get_close_code(connection));
        }),
        new EngineRef(shared_from_this()), [](gpointer data, GClosure *) { delete static_cast<EngineRef *>(data); },
        GConnectFlags(0));
    m_lastHeardUs = g_get_monotonic_time();

    send(request("create"), 0, [this](JsonObject *reply) {
        if (failed(reply))
            return;
        m_session = intMember(objectMember(reply, "data"), "id");
        m_lastKeepaliveUs = g_get_monotonic_time();
        const int tick =
            std::max(20, std::min({m_options.keepaliveIntervalMs, m_options.keepaliveTimeoutMs / 4, 1000}));
        m_keepalive = m_loop->addTimer(tick, [weak = EngineRef(shared_from_this())] {
            auto self = weak.lock();
            if (!self)
                return false;
            self->keepaliveTick();
            return true;
        });
        JsonObject *attach = request("attach");
        json_object_set_string_member(attach, "plugin", kRoomPlugin);
        send(attach, 0, [this](JsonObject *attached) {
            if (failed(attached))
                return;
            m_publisherHandle = intMember(objectMember(attached, "data"), "id");
            JsonObject *body = json_object_new();
            json_object_set_string_member(body, "request", "join");
            json_object_set_string_member(body, "ptype", "publisher");
            json_object_set_int_member(body, "room", m_room);
            json_object_set_string_member(body, "display", m_identity.c_str());
            if (!m_roomToken.empty())
                json_object_set_string_member(body, "token", m_roomToken.c_str());
            sendMessage(m_publisherHandle, body);
        });
    });
}

void RoomEngine::send(JsonObject *message, std::int64_t handle, Reply reply)
{
    const std::string transaction = "t" + std::to_string(++m_transactions);
    json_object_set_string_member(message, "transaction", transaction.c_str());
    if (m_session)
        json_object_set_int_member(message, "session_id", m_session);
    if (handle)
        json_object_set_int_member(message, "handle_id", handle);
    if (!m_serverToken.empty())
        json_object_set_string_member(message, "token", m_serverToken.c_str());
    if (reply)
        m_pending[transaction] = std::move(reply);
    if (m_connectResult && isConnectRequest(stringMember(message, "janus"), handle))
        m_connectRequests.insert(transaction);
    JsonNode *node = json_node_init_object(json_node_alloc(), message);
    gchar *text = json_to_string(node, FALSE);
    if (m_socket && soup_websocket_connection_get_state(m_socket) == SOUP_WEBSOCKET_STATE_OPEN)
        soup_websocket_connection_send_text(m_socket, text);
    g_free(text);
    json_node_unref(node);
    json_object_unref(message);
}

// The connect's own requests are those of the session and of the publisher handle. A subscriber
// handle's requests, its attach included, are not: an error answering one of them concerns that
// subscription only. The server handles requests out of order, so a request sent on a subscriber
// handle just before its feed went away and the handle was detached may be refused after that.
bool RoomEngine::isConnectRequest(const std::string &verb, std::int64_t handle) const
{
    if (handle)
        return handle == m_publisherHandle;
    return verb != "attach" || m_publisherHandle == 0; // once the publisher is attached, attaches are subscribers'
}

void RoomEngine::sendMessage(std::int64_t handle, JsonObject *body, const char *jsepType, const std::string &sdp,
                             Reply reply)
{
    JsonObject *message = request("message");
    json_object_set_object_member(message, "body", body);
    if (jsepType) {
        JsonObject *jsep = json_object_new();
        json_object_set_string_member(jsep, "type", jsepType);
        json_object_set_string_member(jsep, "sdp", sdp.c_str());
        json_object_set_object_member(message, "jsep", jsep);
    }
    send(message, handle, std::move(reply));
}

void RoomEngine::sendTrickle(std::int64_t handle, int mline, const std::string &candidate)
{
    JsonObject *message = request("trickle");
    JsonObject *body = json_object_new();
    if (candidate.empty()) {
        json_object_set_boolean_member(body, "completed", TRUE);
    } else {
        json_object_set_string_member(body, "candidate", candidate.c_str());
        json_object_set_int_member(body, "sdpMLineIndex", mline);
    }
    json_object_set_object_member(message, "candidate", body);
    send(message, handle);
}

void RoomEngine::onSocketMessage(const char *data, std::size_t size)
{
    m_lastHeardUs = g_get_monotonic_time();
    JsonParser *parser = json_parser_new();
    if (!json_parser_load_from_data(parser, data, static_cast<gssize>(size), nullptr)
        || !JSON_NODE_HOLDS_OBJECT(json_parser_get_root(parser))) {
        g_object_unref(parser);
        return;
    }
    JsonObject *message = json_node_get_object(json_parser_get_root(parser));
    const std::string verb = stringMember(message, "janus");
    const std::string transaction = stringMember(message, "transaction");
    const std::int64_t sender = intMember(message, "sender");

    if (verb == "error") {
        JsonObject *error = objectMember(message, "error");
        const std::string reason = stringMember(error, "reason");
        if (m_connectResult && m_connectRequests.count(transaction))
            finishConnect("janus: " + reason);
        // The request's own handler learns of the failure too (each handler checks for "error").
        const auto it = m_pending.find(transaction);
        if (it != m_pending.end()) {
            Reply reply = std::move(it->second);
            m_pending.erase(it);
            reply(message);
        }
    } else if (verb == "success") {
        const auto it = m_pending.find(transaction);
        if (it != m_pending.end()) {
            Reply reply = std::move(it->second);
            m_pending.erase(it);
            reply(message);
        }
    } else if (verb == "event") {
        JsonObject *pluginData = objectMember(objectMember(message, "plugindata"), "data");
        JsonObject *jsep = objectMember(message, "jsep");
        const auto it = transaction.empty() ? m_pending.end() : m_pending.find(transaction);
        if (it != m_pending.end()) {
            Reply reply = std::move(it->second);
            m_pending.erase(it);
            reply(message);
        }
        if (pluginData)
            onPluginEvent(sender, pluginData, jsep);
    } else if (verb == "hangup") {
        if (sender == m_publisherHandle)
            lose(DisconnectReason::MediaFailure);
        else if (m_subscriptions.count(sender))
            dropSubscription(sender);
    } else if (verb == "timeout") {
        lose(DisconnectReason::ConnectionTimeout);
    }
    g_object_unref(parser);
}

void RoomEngine::onSocketClosed(unsigned short code)
{
    g_clear_object(&m_socket);
    if (m_closing)
        return;
    if (m_connectResult) {
        finishConnect("websocket: connection closed (code " + std::to_string(code) + ")");
        return;
    }
    lose(code == SOUP_WEBSOCKET_CLOSE_GOING_AWAY ? DisconnectReason::ServerShutdown : DisconnectReason::SignalClose);
}

void RoomEngine::keepaliveTick()
{
    const std::int64_t now = g_get_monotonic_time();
    if (now - m_lastHeardUs > static_cast<std::int64_t>(m_options.keepaliveTimeoutMs) * 1000) {
        if (m_connectResult)
            finishConnect("connect timed out: the server stopped answering");
        else
            lose(DisconnectReason::ConnectionTimeout);
        return;
    }
    if (now - m_lastKeepaliveUs >= static_cast<std::int64_t>(m_options.keepaliveIntervalMs) * 1000) {
        m_lastKeepaliveUs = now;
        send(request("keepalive"));
    }
}

void RoomEngine::lose(DisconnectReason reason)
{
    if (m_connectResult) {
        finishConnect("connection lost");
        return;
    }
    {
        std::lock_guard lock(m_stateMutex);
        if (m_phase != Phase::Connected)
            return;
        m_phase = Phase::Lost;
    }
    EventLoop::cancel(m_keepalive);
    notify([](RoomDelegate &d) { d.onConnectionStateChanged(ConnectionState::Disconnected); });
    notify([reason](RoomDelegate &d) { d.onDisconnected(reason); });
}

// ---------------------------------------------------------------- room plugin events

void RoomEngine::onPluginEvent(std::int64_t handle, JsonObject *data, JsonObject *jsep)
{
    const auto subscription = m_subscriptions.find(handle);
    if (subscription != m_subscriptions.end()) {
        onSubscriberEvent(subscription->second, data, jsep);
        return;
    }
    if (handle != m_publisherHandle)
        return;
    const std::string kind = stringMember(data, "videoroom");
    if (json_object_has_member(data, "error")) {
        const std::string error = stringMember(data, "error");
        if (m_connectResult)
            finishConnect("videoroom: " + error);
        return;
    }
    if (kind == "joined") {
        onJoined(data);
        return;
    }
    if (kind == "destroyed") {
        lose(DisconnectReason::RoomDeleted);
        return;
    }
    if (kind != "event")
        return;
    if (jsep && json_object_has_member(data, "configured") && m_publisher && stringMember(jsep, "type") == "answer")
        m_publisher->applyAnswer(stringMember(jsep, "sdp"));
    addPublishers(data, "publishers");
    if (JsonObject *joining = objectMember(data, "joining"))
        addParticipant(intMember(joining, "id"), stringMember(joining, "display"));
    if (const std::int64_t feed = intMember(data, "unpublished"))
        removeFeed(feed);
    if (const std::int64_t id = intMember(data, "leaving"))
        removeParticipant(id);
    if (const std::int64_t id = intMember(data, "kicked"))
        removeParticipant(id);
    if (stringMember(data, "leaving") == "ok" && stringMember(data, "reason") == "kicked")
        lose(DisconnectReason::ParticipantRemoved);
}

void RoomEngine::onJoined(JsonObject *data)
{
    m_myId = intMember(data, "id");
    m_privateId = intMember(data, "private_id");
    {
        std::lock_guard lock(m_stateMutex);
        m_local = std::make_shared<LocalParticipant>(participantSid(m_myId), m_identity, weak_from_this());
    }
    if (JsonArray *attendees = arrayMember(data, "attendees")) {
        for (guint i = 0; i < json_array_get_length(attendees); ++i) {
            JsonObject *attendee = json_array_get_object_element(attendees, i);
            addParticipant(intMember(attendee, "id"), stringMember(attendee, "display"));
        }
    }
    addPublishers(data, "publishers");
    startPublisher();
}

void RoomEngine::startPublisher()
{
    PeerSettings settings;
    settings.publisher = true;
    settings.jitterBufferMs = m_options.jitterBufferMs;
    settings.iceServers = m_options.iceServers;
    settings.relayOnly = m_options.relayOnly;
    PeerEvents events;
    const EngineRef weak = weak_from_this();
    events.localDescription = [weak](const std::string &sdp) {
        auto self = weak.lock();
        if (!self || self->m_offerSent)
            return;
        self->m_offerSent = true;
        JsonObject *body = json_object_new();
        json_object_set_string_member(body, "request", "publish");
        json_object_set_string_member(body, "audiocodec", "opus");
        json_object_set_string_member(body, "display", self->m_identity.c_str());
        self->sendMessage(self->m_publisherHandle, body, "offer", sdp);
    };
    events.iceCandidate = [weak](int mline, const std::string &candidate) {
        if (auto self = weak.lock())
            self->sendTrickle(self->m_publisherHandle, mline, candidate);
    };
    events.stateChanged = [weak](PeerState state) {
        if (auto self = weak.lock())
            self->onPublisherState(state);
    };
    events.failed = [weak](const std::string &error) {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->m_connectResult)
            self->finishConnect(error);
        else
            self->lose(DisconnectReason::MediaFailure);
    };
    std::string error;
    m_publisher = Peer::create(m_loop.get(), settings, std::move(events), &error);
    if (!m_publisher)
        finishConnect(error);
}

void RoomEngine::onPublisherState(PeerState state)
{
    if (state == PeerState::Connected) {
        finishConnect({});
    } else if (state == PeerState::Failed) {
        if (m_connectResult)
            finishConnect("media connection failed");
        else
            lose(DisconnectReason::MediaFailure);
    }
}

void RoomEngine::addParticipant(std::int64_t id, const std::string &identity)
{
    if (id == 0 || id == m_myId)
        return;
    std::shared_ptr<RemoteParticipant> participant;
    {
        std::lock_guard lock(m_stateMutex);
        if (m_participants.count(id))
            return;
        participant = std::make_shared<RemoteParticipant>(participantSid(id), identity);
        m_participants[id] = participant;
    }
    notify([&](RoomDelegate &d) { d.onParticipantConnected(participant); });
}

void RoomEngine::addPublishers(JsonObject *data, const char *member)
{
    JsonArray *publishers = arrayMember(data, member);
    for (guint i = 0; publishers && i < json_array_get_length(publishers); ++i) {
        JsonObject *publisher = json_array_get_object_element(publishers, i);
        const std::int64_t feed = intMember(publisher, "id");
        if (feed == 0 || feed == m_myId || m_feeds.count(feed))
            continue;
        bool hasAudio = false;
        JsonArray *streams = arrayMember(publisher, "streams");
        for (guint s = 0; streams && s < json_array_get_length(streams); ++s)
            hasAudio = hasAudio || stringMember(json_array_get_object_element(streams, s), "type") == "audio";
        if (!hasAudio)
            continue;
        addParticipant(feed, stringMember(publisher, "display"));
        Feed entry;
        entry.participant = participantOf(feed);
        const EngineRef weak = weak_from_this();
        entry.publication =
            std::make_shared<RemoteTrackPublication>(trackSid(feed), "microphone", TrackKind::Audio,
                                                     [weak, feed](bool subscribed) {
                                                         if (auto self = weak.lock())
                                                             self->requestSubscription(feed, subscribed);
                                                     });
        entry.wanted = m_options.autoSubscribe;
        entry.participant->addPublication(entry.publication);
        m_feeds[feed] = entry;
        notify([&](RoomDelegate &d) { d.onTrackPublished(entry.publication, entry.participant); });
        if (entry.wanted)
            subscribe(feed);
    }
}

void RoomEngine::removeFeed(std::int64_t feed)
{
    const auto it = m_feeds.find(feed);
    if (it == m_feeds.end())
        return;
    Feed entry = it->second;
    m_feeds.erase(it);
    if (entry.subscriptionHandle)
        dropSubscription(entry.subscriptionHandle);
    entry.participant->removePublication(entry.publication->sid());
    notify([&](RoomDelegate &d) { d.onTrackUnpublished(entry.publication, entry.participant); });
}

void RoomEngine::removeParticipant(std::int64_t id)
{
    removeFeed(id);
    std::shared_ptr<RemoteParticipant> participant;
    {
        std::lock_guard lock(m_stateMutex);
        const auto it = m_participants.find(id);
        if (it == m_participants.end())
            return;
        participant = it->second;
        m_participants.erase(it);
    }
    notify([&](RoomDelegate &d) { d.onParticipantDisconnected(participant); });
}

// ---------------------------------------------------------------- local participant

std::shared_ptr<LocalTrackPublication> RoomEngine::publish(const std::shared_ptr<LocalAudioTrack> &track,
                                                           const TrackPublishOptions &options)
{
    if (!track)
        throw std::invalid_argument("no track to publish");
    if (m_loop->isStopped())
        throw std::runtime_error("room is closed");
    auto result = std::make_shared<std::promise<std::shared_ptr<LocalTrackPublication>>>();
    auto future = result->get_future();
    m_loop->post([weak = weak_from_this(), track, options, result] {
        auto self = weak.lock();
        if (!self)
            return;
        {
            std::lock_guard lock(self->m_stateMutex);
            if (self->m_phase != Phase::Connected || !self->m_publisher) {
                result->set_exception(std::make_exception_ptr(std::runtime_error("room is not connected")));
                return;
            }
        }
        auto path = self->m_publisher->sendPath();
        const int bitrate =
            options.audioEncoding.maxBitrate > 0 ? options.audioEncoding.maxBitrate : track->maxBitrate();
        if (bitrate > 0)
            path->setBitrate(bitrate);
        path->setDtx(options.dtx);
        const std::string sid = trackSid(self->m_myId);
        track->attachPeer(self->m_publisher, sid);
        track->source()->setMuted(track->muted());
        track->source()->bind(path);
        // The server confirms that it relays our media before the track counts as published.
        JsonObject *body = json_object_new();
        json_object_set_string_member(body, "request", "configure");
        self->sendMessage(self->m_publisherHandle, body, nullptr, {}, [weak, track, sid, result](JsonObject *reply) {
            auto engine = weak.lock();
            if (!engine)
                return;
            JsonObject *data = objectMember(objectMember(reply, "plugindata"), "data");
            std::string error;
            if (failed(reply))
                error = "janus: " + stringMember(objectMember(reply, "error"), "reason");
            else if (data && json_object_has_member(data, "error"))
                error = "videoroom: " + stringMember(data, "error");
            if (!error.empty()) {
                track->source()->unbind(engine->m_publisher ? engine->m_publisher->sendPath() : nullptr);
                track->attachPeer(nullptr, sid);
                result->set_exception(std::make_exception_ptr(std::runtime_error(error)));
                return;
            }
            auto publication = std::make_shared<LocalTrackPublication>(sid, track->name(), TrackKind::Audio);
            publication->setTrack(track);
            track->setPublication(publication);
            engine->m_publishedTrack = track;
            result->set_value(publication);
        });
    });
    return waitFor(future, kPublishWaitMs, "publish");
}

// The track and its publication hold each other; once the track is no longer sent, the link is
// cut so that both go away with their last outside user.
void RoomEngine::releasePublishedTrack()
{
    const std::shared_ptr<LocalAudioTrack> track = std::move(m_publishedTrack);
    if (!track)
        return;
    if (m_publisher)
        track->source()->unbind(m_publisher->sendPath());
    track->setPublication(nullptr);
    track->attachPeer(nullptr, track->sid());
}

void RoomEngine::unpublish(const std::string &sid)
{
    if (m_loop->isStopped())
        throw std::runtime_error("room is closed");
    auto result = std::make_shared<std::promise<void>>();
    auto future = result->get_future();
    m_loop->post([weak = weak_from_this(), sid, result] {
        auto self = weak.lock();
        if (!self)
            return;
        std::shared_ptr<LocalAudioTrack> track = self->m_publishedTrack;
        auto publication = track ? track->publication() : nullptr;
        if (!publication || publication->sid() != sid) {
            result->set_exception(std::make_exception_ptr(std::runtime_error("no published track " + sid)));
            return;
        }
        self->releasePublishedTrack();
        result->set_value();
    });
    waitFor(future, kCallWaitMs, "unpublish");
}

void RoomEngine::sendData(const std::vector<std::uint8_t> &payload, const std::string &topic)
{
    if (m_loop->isStopped())
        throw std::runtime_error("room is closed");
    std::vector<std::uint8_t> framed = frameData(topic, payload); // throws for an overlong topic
    auto result = std::make_shared<std::promise<void>>();
    auto future = result->get_future();
    m_loop->post([weak = weak_from_this(), framed = std::move(framed), result] {
        auto self = weak.lock();
        if (!self)
            return;
        std::string error = "room is not connected";
        if (self->m_publisher && self->m_publisher->sendData(framed, &error)) {
            result->set_value();
            return;
        }
        result->set_exception(std::make_exception_ptr(std::runtime_error(error)));
    });
    waitFor(future, kCallWaitMs, "data");
}

// ---------------------------------------------------------------- close

void RoomEngine::close()
{
    if (m_loop->isStopped())
        return;
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    m_loop->post([weak = weak_from_this(), done] {
        if (auto self = weak.lock())
            self->closeOnLoop(done);
        else
            done->set_value();
    });
    future.wait_for(std::chrono::milliseconds(kLeaveWaitMs + 1000));
    m_loop->stop();
}

void RoomEngine::closeOnLoop(const std::shared_ptr<std::promise<void>> &done)
{
    m_closing = true;
    {
        std::lock_guard lock(m_stateMutex);
        m_phase = Phase::Closed;
    }
    if (m_connectResult)
        finishConnect("room closed");
    EventLoop::cancel(m_keepalive);
    for (auto &[handle, subscription] : m_subscriptions) {
        subscription.active = false;
        if (subscription.peer)
            subscription.peer->close();
    }
    m_subscriptions.clear();
    releasePublishedTrack();
    if (m_publisher)
        m_publisher->close();
    if (!m_socket || !m_session) {
        finishClose(done);
        return;
    }
    // Ending the session tells the others at once that we left; wait briefly for the answer so the
    // request leaves before the socket closes.
    auto finished = std::make_shared<bool>(false);
    send(request("destroy"), 0, [this, done, finished](JsonObject *) {
        if (!*finished) {
            *finished = true;
            finishClose(done);
        }
    });
    GSource *fallback = m_loop->addTimer(kLeaveWaitMs, [weak = weak_from_this(), done, finished] {
        auto self = weak.lock();
        if (self && !*finished) {
            *finished = true;
            self->finishClose(done);
        }
        return false;
    });
    EventLoop::release(fallback);
}

void RoomEngine::finishClose(const std::shared_ptr<std::promise<void>> &done)
{
    if (m_socket) {
        g_signal_handlers_destroy(m_socket);
        if (soup_websocket_connection_get_state(m_socket) == SOUP_WEBSOCKET_STATE_OPEN)
            soup_websocket_connection_close(m_socket, SOUP_WEBSOCKET_CLOSE_NORMAL, "bye");
        g_clear_object(&m_socket);
    }
    g_clear_object(&m_soup);
    releasePublishedTrack(); // a publish confirmed while closing
    m_publisher.reset();
    m_pending.clear();
    done->set_value();
}

} // namespace livekit::detail
