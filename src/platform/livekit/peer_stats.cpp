#define GST_USE_UNSTABLE_API 1
#include "platform/livekit/peer.h"

#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <stdexcept>

// Turns the pipeline's statistics into the standard records and fills in what this engine version
// does not report: the round-trip time and remote jitter (from the receiver reports), the candidate
// pair's state and counters, the bytes on the wire and the jitter-buffer and concealment counters.
namespace livekit::detail {

namespace {

struct StatsRequest
{
    std::promise<std::vector<RtcStats>> promise;
    std::shared_ptr<PeerCounters> counters;
};

double number(const GstStructure *s, const char *field)
{
    const GValue *value = gst_structure_get_value(s, field);
    if (!value)
        return 0;
    if (G_VALUE_HOLDS_DOUBLE(value))
        return g_value_get_double(value);
    if (G_VALUE_HOLDS_UINT64(value))
        return static_cast<double>(g_value_get_uint64(value));
    if (G_VALUE_HOLDS_INT64(value))
        return static_cast<double>(g_value_get_int64(value));
    if (G_VALUE_HOLDS_UINT(value))
        return g_value_get_uint(value);
    if (G_VALUE_HOLDS_INT(value))
        return g_value_get_int(value);
    return 0;
}

std::string text(const GstStructure *s, const char *field)
{
    const char *value = gst_structure_get_string(s, field);
    return value ? value : "";
}

std::string lower(std::string value)
{
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return value;
}

IceCandidateType candidateType(const std::string &type)
{
    if (type == "host")
        return IceCandidateType::Host;
    if (type == "srflx")
        return IceCandidateType::Srflx;
    if (type == "prflx")
        return IceCandidateType::Prflx;
    if (type == "relay")
        return IceCandidateType::Relay;
    return IceCandidateType::Unknown;
}

// What a receiver report says about one of our streams.
struct ReceiverReport
{
    double roundTripTime = 0; // seconds
    double jitter = 0;        // seconds
};

struct Collected
{
    std::vector<RtcStats> records;
    std::map<std::string, IceCandidateStats> candidates; // by id, whatever their type label says
    std::map<std::uint32_t, ReceiverReport> reports;     // by the reported (our) SSRC
    std::map<std::uint32_t, std::uint32_t> clockRates;
    double timestampMs = 0;
};

gboolean collectRecord(GQuark, const GValue *value, gpointer data)
{
    auto *out = static_cast<Collected *>(data);
    if (!GST_VALUE_HOLDS_STRUCTURE(value))
        return TRUE;
    const GstStructure *s = gst_value_get_structure(value);
    GstWebRTCStatsType type;
    if (!gst_structure_get(s, "type", GST_TYPE_WEBRTC_STATS_TYPE, &type, nullptr))
        return TRUE;
    RtcStats record;
    record.id = text(s, "id");
    record.timestampMs = number(s, "timestamp");
    out->timestampMs = record.timestampMs;

    // Receiver reports arrive nested in the RTP source statistics of any RTP record.
    const GValue *nested = gst_structure_get_value(s, "gst-rtpsource-stats");
    if (nested && GST_VALUE_HOLDS_STRUCTURE(nested)) {
        const GstStructure *source = gst_value_get_structure(nested);
        gboolean haveReport = FALSE;
        gst_structure_get_boolean(source, "have-rb", &haveReport);
        const int clockRate = static_cast<int>(number(source, "clock-rate"));
        const auto ssrc = static_cast<std::uint32_t>(number(source, "ssrc"));
        if (clockRate > 0)
            out->clockRates[ssrc] = static_cast<std::uint32_t>(clockRate);
        if (haveReport) {
            const auto reported = static_cast<std::uint32_t>(number(source, "rb-ssrc"));
            ReceiverReport &report = out->reports[reported];
            report.roundTripTime = number(source, "rb-round-trip") / 65536.0;
            report.jitter = number(source, "rb-jitter"); // clock units until the rate is known
        }
    }

    switch (type) {
        case GST_WEBRTC_STATS_CODEC: {
            record.type = RtcStats::Type::Codec;
            CodecStats codec;
            codec.mimeType = lower(text(s, "mime-type"));
            codec.payloadType = static_cast<std::uint32_t>(number(s, "payload-type"));
            codec.clockRate = static_cast<std::uint32_t>(number(s, "clock-rate"));
            codec.channels = static_cast<std::uint32_t>(number(s, "channels"));
            record.stats = codec;
            break;
        }
        case GST_WEBRTC_STATS_INBOUND_RTP: {
            record.type = RtcStats::Type::InboundRtp;
            InboundRtpStats inbound;
            inbound.kind = text(s, "kind");
            inbound.ssrc = static_cast<std::uint32_t>(number(s, "ssrc"));
            inbound.packetsReceived = static_cast<std::uint64_t>(number(s, "packets-received"));
            inbound.bytesReceived = static_cast<std::uint64_t>(number(s, "bytes-received"));
            inbound.packetsLost = static_cast<std::int64_t>(number(s, "packets-lost"));
            inbound.jitter = std::max(0.0, number(s, "jitter"));
            record.stats = inbound;
            break;
        }
        case GST_WEBRTC_STATS_OUTBOUND_RTP: {
            record.type = RtcStats::Type::OutboundRtp;
            OutboundRtpStats outbound;
            outbound.kind = text(s, "kind");
            outbound.ssrc = static_cast<std::uint32_t>(number(s, "ssrc"));
            outbound.bytesSent = static_cast<std::uint64_t>(number(s, "bytes-sent"));
            outbound.packetsSent = static_cast<std::uint64_t>(number(s, "packets-sent"));
            record.stats = outbound;
            break;
        }
        case GST_WEBRTC_STATS_REMOTE_INBOUND_RTP: {
            record.type = RtcStats::Type::RemoteInboundRtp;
            RemoteInboundRtpStats remote;
            remote.kind = text(s, "kind");
            remote.ssrc = static_cast<std::uint32_t>(number(s, "ssrc"));
            remote.packetsLost = static_cast<std::int64_t>(number(s, "packets-lost"));
            remote.fractionLost = number(s, "fraction-lost");
            remote.roundTripTime = number(s, "round-trip-time");
            record.stats = remote;
            break;
        }
        case GST_WEBRTC_STATS_TRANSPORT: {
            record.type = RtcStats::Type::Transport;
            TransportStats transport;
            transport.selectedCandidatePairId = text(s, "selected-candidate-pair-id");
            record.stats = transport;
            break;
        }
        case GST_WEBRTC_STATS_CANDIDATE_PAIR: {
            record.type = RtcStats::Type::CandidatePair;
            CandidatePairStats pair;
            pair.localCandidateId = text(s, "local-candidate-id");
            pair.remoteCandidateId = text(s, "remote-candidate-id");
            record.stats = pair;
            break;
        }
        case GST_WEBRTC_STATS_LOCAL_CANDIDATE:
        case GST_WEBRTC_STATS_REMOTE_CANDIDATE: {
            // This engine version swaps the two labels; the pair's ids are right, so the candidates are
            // kept by id and typed from the pair below.
            IceCandidateStats candidate;
            candidate.address = text(s, "address");
            candidate.port = static_cast<int>(number(s, "port"));
            candidate.protocol = lower(text(s, "protocol"));
            candidate.candidateType = candidateType(text(s, "candidate-type"));
            candidate.url = text(s, "url");
            out->candidates[record.id] = candidate;
            return TRUE;
        }
        default: return TRUE;
    }
    out->records.push_back(std::move(record));
    return TRUE;
}

std::vector<RtcStats> complete(Collected collected, PeerCounters &counters)
{
    std::uint64_t packetsSent = 0;
    std::uint64_t packetsReceived = 0;
    double roundTripTime = 0;
    std::vector<RtcStats> extra;
    for (RtcStats &record : collected.records) {
        if (auto *outbound = std::get_if<OutboundRtpStats>(&record.stats)) {
            outbound->targetBitrate = counters.targetBitrate.load();
            packetsSent += outbound->packetsSent;
        } else if (auto *remote = std::get_if<RemoteInboundRtpStats>(&record.stats)) {
            const auto report = collected.reports.find(remote->ssrc);
            if (report != collected.reports.end()) {
                const auto rate = collected.clockRates.find(remote->ssrc);
                const double clockRate = rate != collected.clockRates.end() ? rate->second : 48000.0;
                remote->jitter = report->second.jitter / clockRate;
                if (remote->roundTripTime <= 0)
                    remote->roundTripTime = report->second.roundTripTime;
            }
            roundTripTime = std::max(roundTripTime, remote->roundTripTime);
        } else if (auto *inbound = std::get_if<InboundRtpStats>(&record.stats)) {
            packetsReceived += inbound->packetsReceived;
            if (inbound->packetsReceived > 0) {
                std::lock_guard lock(counters.mutex);
                const double target = counters.jitterBufferMs / 1000.0;
                inbound->jitterBufferDelay = counters.jitterBufferDelay;
                inbound->jitterBufferEmittedCount = counters.jitterBufferEmitted;
                inbound->jitterBufferTargetDelay = target * static_cast<double>(counters.jitterBufferEmitted);
                inbound->jitterBufferMinimumDelay = inbound->jitterBufferTargetDelay;
                inbound->totalSamplesReceived = counters.samplesReceived;
                inbound->concealedSamples = counters.concealedSamples;
            }
        } else if (auto *transport = std::get_if<TransportStats>(&record.stats)) {
            transport->bytesSent = counters.wireBytesSent.load();
            transport->bytesReceived = counters.wireBytesReceived.load();
        }
    }
    const bool connected = counters.connected.load();
    for (RtcStats &record : collected.records) {
        auto *pair = std::get_if<CandidatePairStats>(&record.stats);
        if (!pair)
            continue;
        pair->state = connected ? "succeeded" : "in-progress";
        pair->nominated = connected;
        pair->packetsSent = packetsSent;
        pair->packetsReceived = packetsReceived;
        pair->currentRoundTripTime = roundTripTime;
        const auto local = collected.candidates.find(pair->localCandidateId);
        if (local != collected.candidates.end()) {
            RtcStats candidate;
            candidate.type = RtcStats::Type::LocalCandidate;
            candidate.id = local->first;
            candidate.timestampMs = record.timestampMs;
            candidate.stats = local->second;
            extra.push_back(std::move(candidate));
        }
        const auto remote = collected.candidates.find(pair->remoteCandidateId);
        if (remote != collected.candidates.end()) {
            RtcStats candidate;
            candidate.type = RtcStats::Type::RemoteCandidate;
            candidate.id = remote->first;
            candidate.timestampMs = record.timestampMs;
            candidate.stats = remote->second;
            extra.push_back(std::move(candidate));
        }
    }
    for (RtcStats &record : extra)
        collected.records.push_back(std::move(record));
    return std::move(collected.records);
}

void onStatsReply(GstPromise *promise, gpointer data)
{
    auto *request = static_cast<StatsRequest *>(data);
    if (gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED || !gst_promise_get_reply(promise)) {
        request->promise.set_exception(std::make_exception_ptr(std::runtime_error("statistics not delivered")));
        return;
    }
    Collected collected;
    gst_structure_foreach(gst_promise_get_reply(promise), collectRecord, &collected);
    request->promise.set_value(complete(std::move(collected), *request->counters));
}

} // namespace

std::future<std::vector<RtcStats>> Peer::collectStats() const
{
    auto *request = new StatsRequest;
    request->counters = m_counters;
    auto future = request->promise.get_future();
    GstElement *webrtc = nullptr;
    {
        std::lock_guard lock(m_controlMutex);
        if (!m_closed && m_webrtc)
            webrtc = GST_ELEMENT(gst_object_ref(m_webrtc));
    }
    if (!webrtc) {
        request->promise.set_exception(std::make_exception_ptr(std::runtime_error("track is not connected")));
        delete request;
        return future;
    }
    GstPromise *promise = gst_promise_new_with_change_func(onStatsReply, request, [](gpointer data) {
        delete static_cast<StatsRequest *>(data);
    });
    g_signal_emit_by_name(webrtc, "get-stats", nullptr, promise);
    gst_promise_unref(promise);
    gst_object_unref(webrtc);
    return future;
}

} // namespace livekit::detail
