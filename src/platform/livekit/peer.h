#pragma once

#include "platform/livekit/room.h"
#include "platform/livekit/rtc_stats.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstWebRTCDataChannel GstWebRTCDataChannel;

namespace livekit {
class AudioStream;
}

namespace livekit::detail {

class EventLoop;

struct PeerSettings
{
    bool publisher = false;
    int jitterBufferMs = 60;
    int bitrate = 32000;
    std::vector<IceServer> iceServers;
    bool relayOnly = false;
};

enum class PeerState { New, Connected, Failed };

// Called on the loop thread.
struct PeerEvents
{
    std::function<void(const std::string &sdp)> localDescription;
    std::function<void(int mline, const std::string &candidate)> iceCandidate; // empty: gathering done
    std::function<void(PeerState state)> stateChanged;
    std::function<void(const std::vector<std::uint8_t> &bytes)> dataReceived;
    std::function<void(const std::string &error)> failed;
};

// What the engine measures itself, next to the pipeline's own statistics. Written on streaming
// threads, read by statistics requests.
struct PeerCounters
{
    std::atomic<std::uint64_t> wireBytesSent{0};
    std::atomic<std::uint64_t> wireBytesReceived{0};
    std::atomic<int> targetBitrate{0};
    std::atomic<bool> connected{false};
    int jitterBufferMs = 0;

    std::mutex mutex;                      // guards the receive counters below
    double jitterBufferDelay = 0;          // seconds × samples
    std::uint64_t jitterBufferEmitted = 0; // samples
    std::uint64_t concealedSamples = 0;
    std::uint64_t samplesReceived = 0;
    std::array<std::int64_t, 1024> arrivalUs{}; // by RTP sequence number modulo the size
    std::array<std::uint16_t, 1024> arrivalSeq{};
};

// The sending end of a publisher pipeline: 10 ms PCM in, Opus on the wire. Any thread.
class SendPath
{
public:
    SendPath(GstElement *appsrc, GstElement *encoder, std::shared_ptr<PeerCounters> counters);
    ~SendPath();
    SendPath(const SendPath &) = delete;
    SendPath &operator=(const SendPath &) = delete;

    void push(const std::int16_t *samples, std::size_t count, int samplesPerChannel, int sampleRate, bool silence);
    void setBitrate(int bps);
    int bitrate() const;
    void setDtx(bool on);

private:
    GstElement *m_appsrc;
    GstElement *m_encoder;
    std::shared_ptr<PeerCounters> m_counters;
};

// One WebRTC connection to the server: the publisher (our audio and data channel) or a subscriber
// (one remote feed). Control calls on the loop thread; statistics and streams from any thread.
class Peer : public std::enable_shared_from_this<Peer>
{
public:
    static std::shared_ptr<Peer> create(EventLoop *loop, const PeerSettings &settings, PeerEvents events,
                                        std::string *error);
    ~Peer();
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    // Publisher: makes the offer (reported through localDescription).
    void startOffer();
    void applyAnswer(const std::string &sdp);
    // Subscriber: takes the server's offer and answers it (reported through localDescription).
    void applyOffer(const std::string &sdp);
    bool sendData(const std::vector<std::uint8_t> &bytes, std::string *error);
    // Tears the pipeline down; no event follows.
    void close();

    bool isConnected() const { return m_counters->connected.load(); }
    std::shared_ptr<SendPath> sendPath() const { return m_sendPath; }
    std::future<std::vector<RtcStats>> collectStats() const;

    // Remote audio: decoded frames go to every stream added here until `endStreams`.
    void addStream(const std::shared_ptr<AudioStream> &stream);
    void endStreams();

    // Streaming-thread entry points (public for the C callbacks only).
    void onDecodedFrame(const std::int16_t *samples, std::size_t count);
    void postToLoop(std::function<void(Peer &)> task);
    void handleIceCandidate(int mline, const std::string &candidate);
    void handleConnectionState(int state);
    void handleGatheringComplete();
    void handleDataChannel(GstWebRTCDataChannel *channel);
    void handleData(const std::vector<std::uint8_t> &bytes);
    void handleDescription(const std::string &sdp);
    void handleError(const std::string &error);
    void handleRemoteOfferSet();
    GstElement *webrtc() const { return m_webrtc; }
    PeerCounters &counters() const { return *m_counters; }

private:
    Peer(EventLoop *loop, PeerSettings settings, PeerEvents events);
    bool build(std::string *error);
    void configureWebrtc();

    EventLoop *m_loop;
    PeerSettings m_settings;
    PeerEvents m_events;
    GstElement *m_pipeline = nullptr;
    GstElement *m_webrtc = nullptr;
    GstWebRTCDataChannel *m_channel = nullptr;
    std::shared_ptr<PeerCounters> m_counters;
    std::shared_ptr<SendPath> m_sendPath;
    mutable std::mutex m_controlMutex; // guards m_webrtc against close() while statistics are asked for
    std::atomic<bool> m_closed{false};
    bool m_offerMade = false;
    unsigned m_ssrc = 0;
    PeerState m_state = PeerState::New;

    mutable std::mutex m_streamMutex; // guards m_streams
    std::vector<std::weak_ptr<AudioStream>> m_streams;
};

} // namespace livekit::detail
