#pragma once

#include "platform/livekit/track.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace livekit {

enum class TrackSource { Unknown = 0, Camera = 1, Microphone = 2, ScreenShare = 3, ScreenShareAudio = 4 };

struct AudioEncoding
{
    int maxBitrate = 0; // bits per second, 0 = the encoder's default
};

struct TrackPublishOptions
{
    AudioEncoding audioEncoding;
    bool dtx = true;
    bool red = true; // accepted; redundancy comes from the encoder's in-band FEC instead
    bool simulcast = false;
    TrackSource source = TrackSource::Unknown;
};

// A track as announced in the room. Any thread.
class TrackPublication
{
public:
    virtual ~TrackPublication();
    TrackPublication(const TrackPublication &) = delete;
    TrackPublication &operator=(const TrackPublication &) = delete;

    std::string sid() const { return m_sid; }
    std::string name() const { return m_name; }
    TrackKind kind() const { return m_kind; }
    std::shared_ptr<Track> track() const;

    void setTrack(const std::shared_ptr<Track> &track);

protected:
    TrackPublication(std::string sid, std::string name, TrackKind kind);

private:
    std::string m_sid;
    std::string m_name;
    TrackKind m_kind;
    mutable std::mutex m_mutex;
    std::shared_ptr<Track> m_track;
};

class LocalTrackPublication : public TrackPublication
{
public:
    LocalTrackPublication(std::string sid, std::string name, TrackKind kind);
};

class RemoteTrackPublication : public TrackPublication
{
public:
    using SubscribeRequest = std::function<void(bool subscribed)>;

    RemoteTrackPublication(std::string sid, std::string name, TrackKind kind, SubscribeRequest request);

    // Asks the server to start or stop sending this track; the room reports the change through its
    // delegate (track subscribed / unsubscribed). Any thread; does not wait.
    void setSubscribed(bool subscribed);
    // Whether the last request asked for the track.
    bool subscribed() const { return m_wanted.load(); }

private:
    SubscribeRequest m_request;
    std::atomic<bool> m_wanted{true};
};

} // namespace livekit
