#define GST_USE_UNSTABLE_API 1
#include "platform/livekit/peer.h"

#include "platform/livekit/audio_stream.h"
#include "platform/livekit/event_loop.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>

#include <algorithm>
#include <cstring>

namespace livekit::detail {

namespace {

// The weak reference every C callback carries; freed with the signal connection or the promise.
using PeerRef = std::weak_ptr<Peer>;

PeerRef *newRef(const std::shared_ptr<Peer> &peer)
{
    return new PeerRef(peer);
}

void freeRef(gpointer data, GClosure * = nullptr)
{
    delete static_cast<PeerRef *>(data);
}

void freeRefNotify(gpointer data)
{
    delete static_cast<PeerRef *>(data);
}

std::shared_ptr<Peer> lockRef(gpointer data)
{
    return static_cast<PeerRef *>(data)->lock();
}

template<typename Callback>
void connectSignal(gpointer instance, const char *signal, Callback callback, const std::shared_ptr<Peer> &peer)
{
    g_signal_connect_data(instance, signal, G_CALLBACK(callback), newRef(peer), freeRef, GConnectFlags(0));
}

std::int64_t monotonicUs()
{
    return g_get_monotonic_time();
}

// Samples of one Opus packet at 48 kHz, from its table-of-contents byte.
int opusPacketSamples(const guint8 *payload, guint length)
{
    if (length == 0)
        return 960;
    const int config = payload[0] >> 3;
    int frameSamples = 0;
    if (config < 12)
        frameSamples = 480 << (config & 3);
    else if (config < 16)
        frameSamples = 480 << (config & 1);
    else
        frameSamples = 120 << (config & 3);
    const int code = payload[0] & 3;
    const int frames = code == 0 ? 1 : code < 3 ? 2 : (length > 1 ? (payload[1] & 0x3f) : 1);
    return frameSamples * frames;
}

void onIceCandidate(GstElement *, guint mline, gchar *candidate, gpointer data)
{
    if (auto peer = lockRef(data))
        peer->handleIceCandidate(static_cast<int>(mline), candidate ? candidate : "");
}

void onConnectionState(GstElement *webrtc, GParamSpec *, gpointer data)
{
    auto peer = lockRef(data);
    if (!peer)
        return;
    GstWebRTCPeerConnectionState state = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "connection-state", &state, nullptr);
    peer->handleConnectionState(static_cast<int>(state));
}

void onGatheringState(GstElement *webrtc, GParamSpec *, gpointer data)
{
    auto peer = lockRef(data);
    if (!peer)
        return;
    GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
    g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
    if (state == GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE)
        peer->handleGatheringComplete();
}

void onMessageData(GstWebRTCDataChannel *, GBytes *bytes, gpointer data)
{
    auto peer = lockRef(data);
    if (!peer || !bytes)
        return;
    gsize size = 0;
    const auto *raw = static_cast<const std::uint8_t *>(g_bytes_get_data(bytes, &size));
    peer->handleData(std::vector<std::uint8_t>(raw, raw + size));
}

void onDataChannel(GstElement *, GstWebRTCDataChannel *channel, gpointer data)
{
    if (auto peer = lockRef(data))
        peer->handleDataChannel(channel);
}

GstFlowReturn onNewSample(GstAppSink *sink, gpointer data)
{
    GstSample *sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_EOS;
    if (auto peer = lockRef(data)) {
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            peer->onDecodedFrame(reinterpret_cast<const std::int16_t *>(map.data), map.size / 2);
            gst_buffer_unmap(buffer, &map);
        }
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstPadProbeReturn countWireBytes(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *counter = static_cast<std::atomic<std::uint64_t> *>(data);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        if (GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info))
            counter->fetch_add(gst_buffer_get_size(buffer));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        if (GstBufferList *list = GST_PAD_PROBE_INFO_BUFFER_LIST(info))
            counter->fetch_add(gst_buffer_list_calculate_size(list));
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn jitterBufferIn(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *counters = static_cast<PeerCounters *>(data);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (buffer && gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp)) {
        const guint16 seq = gst_rtp_buffer_get_seq(&rtp);
        gst_rtp_buffer_unmap(&rtp);
        std::lock_guard lock(counters->mutex);
        counters->arrivalUs[seq % counters->arrivalUs.size()] = monotonicUs();
        counters->arrivalSeq[seq % counters->arrivalSeq.size()] = seq;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn jitterBufferOut(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *counters = static_cast<PeerCounters *>(data);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (buffer && gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp)) {
        const guint16 seq = gst_rtp_buffer_get_seq(&rtp);
        const int samples = opusPacketSamples(static_cast<const guint8 *>(gst_rtp_buffer_get_payload(&rtp)),
                                              gst_rtp_buffer_get_payload_len(&rtp));
        gst_rtp_buffer_unmap(&rtp);
        const std::size_t slot = seq % counters->arrivalUs.size();
        std::lock_guard lock(counters->mutex);
        if (counters->arrivalSeq[slot] == seq && counters->arrivalUs[slot] != 0) {
            counters->jitterBufferDelay += (monotonicUs() - counters->arrivalUs[slot]) / 1e6 * samples;
            counters->jitterBufferEmitted += static_cast<std::uint64_t>(samples);
        }
    }
    return GST_PAD_PROBE_OK;
}

// The decoder conceals what the jitter buffer reports lost; the depayloader turns those reports into
// gap events ahead of it.
GstPadProbeReturn countGaps(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *counters = static_cast<PeerCounters *>(data);
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event && GST_EVENT_TYPE(event) == GST_EVENT_GAP) {
        GstClockTime timestamp = 0;
        GstClockTime duration = GST_CLOCK_TIME_NONE;
        gst_event_parse_gap(event, &timestamp, &duration);
        if (GST_CLOCK_TIME_IS_VALID(duration)) {
            std::lock_guard lock(counters->mutex);
            counters->concealedSamples += gst_util_uint64_scale(duration, 48000, GST_SECOND);
        }
    }
    return GST_PAD_PROBE_OK;
}

void addProbe(GstElement *element, const char *padName, GstPadProbeType type, GstPadProbeCallback callback,
              gpointer data)
{
    if (GstPad *pad = gst_element_get_static_pad(element, padName)) {
        gst_pad_add_probe(pad, type, callback, data, nullptr);
        gst_object_unref(pad);
    }
}

// Catches the elements webrtcbin makes inside itself: the ICE transport ends (bytes on the wire) and
// the jitter buffer (its residence time).
void onDeepElementAdded(GstBin *, GstBin *, GstElement *element, gpointer data)
{
    auto peer = lockRef(data);
    GstElementFactory *factory = gst_element_get_factory(element);
    if (!peer || !factory)
        return;
    const char *name = GST_OBJECT_NAME(factory);
    PeerCounters &counters = peer->counters();
    const auto bytes = GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST);
    if (std::strcmp(name, "nicesink") == 0) {
        addProbe(element, "sink", bytes, countWireBytes, &counters.wireBytesSent);
    } else if (std::strcmp(name, "nicesrc") == 0) {
        addProbe(element, "src", bytes, countWireBytes, &counters.wireBytesReceived);
    } else if (std::strcmp(name, "rtpjitterbuffer") == 0) {
        addProbe(element, "sink", GST_PAD_PROBE_TYPE_BUFFER, jitterBufferIn, &counters);
        addProbe(element, "src", GST_PAD_PROBE_TYPE_BUFFER, jitterBufferOut, &counters);
    }
}

void onPadAdded(GstElement *, GstPad *pad, gpointer data)
{
    auto peer = lockRef(data);
    if (!peer || GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    // Linked right here, on the streaming thread that brings the first packet, so that no packet
    // waits for the loop thread.
    GError *error = nullptr;
    GstElement *bin = gst_parse_bin_from_description(
        "rtpopusdepay ! opusdec name=dec plc=true use-inband-fec=true ! audioconvert ! audioresample ! "
        "audio/x-raw,format=S16LE,rate=48000,channels=1,layout=interleaved ! "
        "appsink name=sink sync=false max-buffers=50 drop=true",
        TRUE, &error);
    if (!bin) {
        peer->handleError(std::string("decoder: ") + (error ? error->message : "unknown"));
        g_clear_error(&error);
        return;
    }
    GstElement *sink = gst_bin_get_by_name(GST_BIN(bin), "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, newRef(peer), freeRefNotify);
    gst_object_unref(sink);
    GstElement *decoder = gst_bin_get_by_name(GST_BIN(bin), "dec");
    addProbe(decoder, "sink", GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, countGaps, &peer->counters());
    gst_object_unref(decoder);
    GstElement *pipeline = GST_ELEMENT(gst_element_get_parent(peer->webrtc()));
    if (!pipeline) {
        gst_object_unref(bin);
        return;
    }
    gst_bin_add(GST_BIN(pipeline), bin);
    gst_element_sync_state_with_parent(bin);
    gst_object_unref(pipeline);
    GstPad *sinkPad = gst_element_get_static_pad(bin, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

void onDescriptionCreated(GstPromise *promise, gpointer data)
{
    auto peer = lockRef(data);
    if (!peer || gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED)
        return;
    const GstStructure *reply = gst_promise_get_reply(promise);
    GstWebRTCSessionDescription *description = nullptr;
    if (reply) {
        const char *field = gst_structure_has_field(reply, "offer") ? "offer" : "answer";
        gst_structure_get(reply, field, GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
    }
    if (!description) {
        const GError *error = nullptr;
        if (reply)
            gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
        peer->handleError(std::string("session description: ") + (error ? error->message : "not created"));
        return;
    }
    g_signal_emit_by_name(peer->webrtc(), "set-local-description", description, nullptr);
    gchar *text = gst_sdp_message_as_text(description->sdp);
    gst_webrtc_session_description_free(description);
    peer->handleDescription(text ? text : "");
    g_free(text);
}

void onRemoteOfferSet(GstPromise *promise, gpointer data)
{
    auto peer = lockRef(data);
    if (!peer || gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED)
        return;
    peer->handleRemoteOfferSet();
}

void onNegotiationNeeded(GstElement *, gpointer data)
{
    if (auto peer = lockRef(data))
        peer->postToLoop([](Peer &self) { self.startOffer(); });
}

GstBusSyncReply onBusMessage(GstBus *, GstMessage *message, gpointer data)
{
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        if (auto peer = lockRef(data)) {
            GError *error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            peer->handleError(std::string("media: ") + (error ? error->message : "pipeline error"));
            g_clear_error(&error);
        }
    }
    return GST_BUS_PASS;
}

GstWebRTCSessionDescription *parseDescription(GstWebRTCSDPType type, const std::string &sdp)
{
    GstSDPMessage *message = nullptr;
    if (gst_sdp_message_new_from_text(sdp.c_str(), &message) != GST_SDP_OK)
        return nullptr;
    return gst_webrtc_session_description_new(type, message);
}

} // namespace

// ---------------------------------------------------------------- SendPath

SendPath::SendPath(GstElement *appsrc, GstElement *encoder, std::shared_ptr<PeerCounters> counters)
    : m_appsrc(GST_ELEMENT(gst_object_ref(appsrc)))
    , m_encoder(GST_ELEMENT(gst_object_ref(encoder)))
    , m_counters(std::move(counters))
{}

SendPath::~SendPath()
{
    gst_object_unref(m_appsrc);
    gst_object_unref(m_encoder);
}

void SendPath::push(const std::int16_t *samples, std::size_t count, int samplesPerChannel, int sampleRate, bool silence)
{
    const gsize bytes = count * sizeof(std::int16_t);
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return;
    }
    if (silence || !samples)
        std::memset(map.data, 0, bytes);
    else
        std::memcpy(map.data, samples, bytes);
    gst_buffer_unmap(buffer, &map);
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(static_cast<guint64>(samplesPerChannel), GST_SECOND,
                                                        static_cast<guint64>(sampleRate > 0 ? sampleRate : 48000));
    gst_app_src_push_buffer(GST_APP_SRC(m_appsrc), buffer); // takes the buffer
}

void SendPath::setBitrate(int bps)
{
    const int clamped = std::clamp(bps, 4000, 650000);
    g_object_set(m_encoder, "bitrate", clamped, nullptr);
    m_counters->targetBitrate = clamped;
}

int SendPath::bitrate() const
{
    return m_counters->targetBitrate.load();
}

void SendPath::setDtx(bool on)
{
    g_object_set(m_encoder, "dtx", on ? TRUE : FALSE, nullptr);
}

// ---------------------------------------------------------------- Peer

Peer::Peer(EventLoop *loop, PeerSettings settings, PeerEvents events)
    : m_loop(loop)
    , m_settings(std::move(settings))
    , m_events(std::move(events))
    , m_counters(std::make_shared<PeerCounters>())
{
    m_counters->jitterBufferMs = m_settings.jitterBufferMs;
}

std::shared_ptr<Peer> Peer::create(EventLoop *loop, const PeerSettings &settings, PeerEvents events, std::string *error)
{
    std::shared_ptr<Peer> peer(new Peer(loop, settings, std::move(events)));
    if (!peer->build(error))
        return nullptr;
    return peer;
}

Peer::~Peer()
{
    close();
    endStreams();
}

bool Peer::build(std::string *error)
{
    auto self = shared_from_this();
    GError *gerror = nullptr;
    if (m_settings.publisher) {
        m_ssrc = static_cast<unsigned>(g_random_int_range(1, G_MAXINT32));
        gchar *description = g_strdup_printf(
            "webrtcbin name=webrtc "
            "appsrc name=src is-live=true format=time do-timestamp=true "
            "caps=audio/x-raw,format=S16LE,rate=48000,channels=1,layout=interleaved ! "
            "opusenc name=enc audio-type=voice bitrate=%d dtx=true inband-fec=true packet-loss-percentage=10 "
            "frame-size=20 ! rtpopuspay pt=111 dtx=true ssrc=%u ! "
            "application/x-rtp,media=audio,encoding-name=OPUS,payload=111,clock-rate=48000,encoding-params=(string)2,"
            "useinbandfec=(string)1,usedtx=(string)1,ssrc=(uint)%u ! webrtc.",
            std::clamp(m_settings.bitrate, 4000, 650000), m_ssrc, m_ssrc);
        m_pipeline = gst_parse_launch(description, &gerror);
        g_free(description);
        if (!m_pipeline) {
            *error = std::string("media: ") + (gerror ? gerror->message : "pipeline not made");
            g_clear_error(&gerror);
            return false;
        }
        m_webrtc = gst_bin_get_by_name(GST_BIN(m_pipeline), "webrtc");
        GstElement *appsrc = gst_bin_get_by_name(GST_BIN(m_pipeline), "src");
        GstElement *encoder = gst_bin_get_by_name(GST_BIN(m_pipeline), "enc");
        m_sendPath = std::make_shared<SendPath>(appsrc, encoder, m_counters);
        m_counters->targetBitrate = std::clamp(m_settings.bitrate, 4000, 650000);
        gst_object_unref(appsrc);
        gst_object_unref(encoder);
    } else {
        m_pipeline = gst_pipeline_new(nullptr);
        m_webrtc = gst_element_factory_make("webrtcbin", "webrtc");
        if (!m_pipeline || !m_webrtc) {
            *error = "media: webrtcbin is missing";
            return false;
        }
        gst_bin_add(GST_BIN(m_pipeline), GST_ELEMENT(gst_object_ref(m_webrtc)));
    }
    configureWebrtc();
    connectSignal(m_pipeline, "deep-element-added", onDeepElementAdded, self);
    GstBus *bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, newRef(self), freeRefNotify);
    gst_object_unref(bus);

    if (m_settings.publisher) {
        connectSignal(m_webrtc, "on-negotiation-needed", onNegotiationNeeded, self);
        GArray *transceivers = nullptr;
        g_signal_emit_by_name(m_webrtc, "get-transceivers", &transceivers);
        // The codec is fixed up front: no audio flows before a track is published, and the offer
        // must not wait for the first buffer to learn its caps.
        // The offer also names the stream's SSRC, which the server needs to accept its packets.
        gchar *codecText = g_strdup_printf(
            "application/x-rtp,media=audio,encoding-name=OPUS,payload=111,clock-rate=48000,encoding-params=(string)2,"
            "useinbandfec=(string)1,usedtx=(string)1,ssrc=(uint)%u",
            m_ssrc);
        GstCaps *codec = gst_caps_from_string(codecText);
        g_free(codecText);
        for (guint i = 0; transceivers && i < transceivers->len; ++i)
            g_object_set(g_array_index(transceivers, GstWebRTCRTPTransceiver *, i), "direction",
                         GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY, "codec-preferences", codec, nullptr);
        gst_caps_unref(codec);
        if (transceivers)
            g_array_unref(transceivers);
        // The channel must exist before the offer is made, so that the offer carries it.
        gst_element_set_state(m_pipeline, GST_STATE_READY);
        GstStructure *options = gst_structure_new("options", "ordered", G_TYPE_BOOLEAN, TRUE, nullptr);
        g_signal_emit_by_name(m_webrtc, "create-data-channel", "kestova", options, &m_channel);
        gst_structure_free(options);
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        *error = "media: the pipeline does not start";
        return false;
    }
    return true;
}

void Peer::configureWebrtc()
{
    auto self = shared_from_this();
    g_object_set(m_webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, "latency",
                 static_cast<guint>(std::max(0, m_settings.jitterBufferMs)), nullptr);
    GstWebRTCICE *ice = nullptr;
    g_object_get(m_webrtc, "ice-agent", &ice, nullptr);
    if (ice) {
        // The server takes no ICE-TCP; its candidates would only slow the checks down.
        g_object_set(ice, "ice-tcp", FALSE, nullptr);
        gst_object_unref(ice);
    }
    for (const IceServer &server : m_settings.iceServers) {
        std::string uri = server.url;
        const auto colon = uri.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string scheme = uri.substr(0, colon);
        const std::string rest = uri.substr(colon + 1);
        if (scheme == "turn" || scheme == "turns") {
            gchar *user = g_uri_escape_string(server.username.c_str(), nullptr, FALSE);
            gchar *password = g_uri_escape_string(server.credential.c_str(), nullptr, FALSE);
            const std::string turn = scheme + "://" + user + ":" + password + "@" + rest;
            g_free(user);
            g_free(password);
            gboolean added = FALSE;
            g_signal_emit_by_name(m_webrtc, "add-turn-server", turn.c_str(), &added);
        } else if (scheme == "stun") {
            const std::string stun = "stun://" + rest;
            g_object_set(m_webrtc, "stun-server", stun.c_str(), nullptr);
        }
    }
    if (m_settings.relayOnly)
        g_object_set(m_webrtc, "ice-transport-policy", GST_WEBRTC_ICE_TRANSPORT_POLICY_RELAY, nullptr);
    connectSignal(m_webrtc, "on-ice-candidate", onIceCandidate, self);
    connectSignal(m_webrtc, "notify::connection-state", onConnectionState, self);
    connectSignal(m_webrtc, "notify::ice-gathering-state", onGatheringState, self);
    connectSignal(m_webrtc, "pad-added", onPadAdded, self);
    connectSignal(m_webrtc, "on-data-channel", onDataChannel, self);
}

void Peer::startOffer()
{
    if (m_closed || m_offerMade || !m_settings.publisher)
        return;
    m_offerMade = true;
    GstPromise *promise =
        gst_promise_new_with_change_func(onDescriptionCreated, newRef(shared_from_this()), freeRefNotify);
    g_signal_emit_by_name(m_webrtc, "create-offer", nullptr, promise);
    gst_promise_unref(promise); // the pipeline holds its own reference until it replies
}

void Peer::applyAnswer(const std::string &sdp)
{
    if (m_closed)
        return;
    GstWebRTCSessionDescription *description = parseDescription(GST_WEBRTC_SDP_TYPE_ANSWER, sdp);
    if (!description) {
        handleError("media: the server's answer is not valid SDP");
        return;
    }
    g_signal_emit_by_name(m_webrtc, "set-remote-description", description, nullptr);
    gst_webrtc_session_description_free(description);
}

void Peer::applyOffer(const std::string &sdp)
{
    if (m_closed)
        return;
    GstWebRTCSessionDescription *description = parseDescription(GST_WEBRTC_SDP_TYPE_OFFER, sdp);
    if (!description) {
        handleError("media: the server's offer is not valid SDP");
        return;
    }
    GstPromise *promise = gst_promise_new_with_change_func(onRemoteOfferSet, newRef(shared_from_this()), freeRefNotify);
    g_signal_emit_by_name(m_webrtc, "set-remote-description", description, promise);
    gst_promise_unref(promise);
    gst_webrtc_session_description_free(description);
}

void Peer::handleRemoteOfferSet()
{
    postToLoop([](Peer &self) {
        if (self.m_closed)
            return;
        // The server relays data to a subscriber only after the subscriber opened a channel itself.
        if (!self.m_channel)
            g_signal_emit_by_name(self.m_webrtc, "create-data-channel", "kestova-sub", nullptr, &self.m_channel);
        GstPromise *promise =
            gst_promise_new_with_change_func(onDescriptionCreated, newRef(self.shared_from_this()), freeRefNotify);
        g_signal_emit_by_name(self.m_webrtc, "create-answer", nullptr, promise);
        gst_promise_unref(promise);
    });
}

bool Peer::sendData(const std::vector<std::uint8_t> &bytes, std::string *error)
{
    if (m_closed || !m_channel) {
        *error = "data channel is not open";
        return false;
    }
    GstWebRTCDataChannelState state = GST_WEBRTC_DATA_CHANNEL_STATE_CLOSED;
    g_object_get(m_channel, "ready-state", &state, nullptr);
    if (state != GST_WEBRTC_DATA_CHANNEL_STATE_OPEN) {
        *error = "data channel is not open";
        return false;
    }
    GBytes *payload = g_bytes_new(bytes.data(), bytes.size());
    GError *gerror = nullptr;
    const gboolean sent = gst_webrtc_data_channel_send_data_full(m_channel, payload, &gerror);
    g_bytes_unref(payload);
    if (!sent) {
        *error = gerror ? gerror->message : "data not sent";
        g_clear_error(&gerror);
        return false;
    }
    return true;
}

void Peer::close()
{
    if (m_closed.exchange(true))
        return;
    m_counters->connected = false;
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        GstBus *bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    if (m_webrtc)
        g_signal_handlers_destroy(m_webrtc);
    if (m_channel) {
        g_signal_handlers_destroy(m_channel);
        g_object_unref(m_channel);
        m_channel = nullptr;
    }
    {
        std::lock_guard lock(m_controlMutex);
        if (m_webrtc) {
            gst_object_unref(m_webrtc);
            m_webrtc = nullptr;
        }
    }
    if (m_pipeline) {
        g_signal_handlers_destroy(m_pipeline);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
    endStreams();
}

void Peer::addStream(const std::shared_ptr<AudioStream> &stream)
{
    std::lock_guard lock(m_streamMutex);
    m_streams.push_back(stream);
}

void Peer::endStreams()
{
    std::vector<std::weak_ptr<AudioStream>> streams;
    {
        std::lock_guard lock(m_streamMutex);
        streams.swap(m_streams);
    }
    for (auto &weak : streams)
        if (auto stream = weak.lock())
            stream->end();
}

void Peer::onDecodedFrame(const std::int16_t *samples, std::size_t count)
{
    // An empty buffer carries no frame (and an empty frame cannot be built).
    if (count == 0)
        return;
    {
        std::lock_guard lock(m_counters->mutex);
        m_counters->samplesReceived += count;
    }
    // The decoder gives what the sender packed (20 ms here); readers get 10 ms frames, the unit
    // their jitter margin counts in. A shorter tail (a concealment of a few ms) goes as it is.
    constexpr std::size_t kFrameSamples = 480;
    std::lock_guard lock(m_streamMutex);
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        if (auto stream = it->lock()) {
            for (std::size_t offset = 0; offset < count; offset += kFrameSamples) {
                const std::size_t n = std::min(kFrameSamples, count - offset);
                stream->push(AudioFrame(std::vector<std::int16_t>(samples + offset, samples + offset + n), 48000, 1,
                                        static_cast<int>(n)));
            }
            ++it;
        } else {
            it = m_streams.erase(it);
        }
    }
}

void Peer::postToLoop(std::function<void(Peer &)> task)
{
    std::weak_ptr<Peer> weak = shared_from_this();
    m_loop->post([weak, task = std::move(task)] {
        if (auto peer = weak.lock())
            if (!peer->m_closed)
                task(*peer);
    });
}

void Peer::handleIceCandidate(int mline, const std::string &candidate)
{
    postToLoop([mline, candidate](Peer &self) {
        if (self.m_events.iceCandidate)
            self.m_events.iceCandidate(mline, candidate);
    });
}

void Peer::handleGatheringComplete()
{
    handleIceCandidate(0, std::string());
}

void Peer::handleConnectionState(int state)
{
    const auto connection = static_cast<GstWebRTCPeerConnectionState>(state);
    if (connection == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED)
        m_counters->connected = true;
    else if (connection == GST_WEBRTC_PEER_CONNECTION_STATE_FAILED
             || connection == GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED)
        m_counters->connected = false;
    postToLoop([connection](Peer &self) {
        PeerState next = self.m_state;
        if (connection == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED)
            next = PeerState::Connected;
        else if (connection == GST_WEBRTC_PEER_CONNECTION_STATE_FAILED)
            next = PeerState::Failed;
        if (next == self.m_state)
            return;
        self.m_state = next;
        if (self.m_events.stateChanged)
            self.m_events.stateChanged(next);
    });
}

void Peer::handleDataChannel(GstWebRTCDataChannel *channel)
{
    connectSignal(channel, "on-message-data", onMessageData, shared_from_this());
}

void Peer::handleData(const std::vector<std::uint8_t> &bytes)
{
    postToLoop([bytes](Peer &self) {
        if (self.m_events.dataReceived)
            self.m_events.dataReceived(bytes);
    });
}

void Peer::handleDescription(const std::string &sdp)
{
    postToLoop([sdp](Peer &self) {
        if (self.m_events.localDescription)
            self.m_events.localDescription(sdp);
    });
}

void Peer::handleError(const std::string &error)
{
    postToLoop([error](Peer &self) {
        if (self.m_events.failed)
            self.m_events.failed(error);
    });
}

} // namespace livekit::detail
