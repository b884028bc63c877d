#pragma once

#include "platform/livekit/rtc_stats.h"

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace livekit {

namespace detail {
class Peer;
}
class AudioSource;
class LocalTrackPublication;

enum class TrackKind { Unknown = 0, Audio = 1, Video = 2 };

// A media track of the local or a remote participant. Any thread.
class Track
{
public:
    virtual ~Track();
    Track(const Track &) = delete;
    Track &operator=(const Track &) = delete;

    std::string sid() const;
    std::string name() const { return m_name; }
    TrackKind kind() const { return m_kind; }
    // Statistics of the connection that carries the track. The future fails when the track is no
    // longer carried. Never call it from a media streaming thread.
    std::future<std::vector<RtcStats>> getStats() const;

    // Engine side: attach the connection that carries the track, or detach it (null).
    void attachPeer(const std::shared_ptr<detail::Peer> &peer, const std::string &sid);
    std::shared_ptr<detail::Peer> peer() const;

protected:
    Track(std::string name, TrackKind kind);

private:
    mutable std::mutex m_mutex;
    std::string m_sid;
    std::string m_name;
    TrackKind m_kind;
    std::weak_ptr<detail::Peer> m_peer;
};

// The microphone track, fed by an AudioSource.
class LocalAudioTrack : public Track
{
public:
    static std::shared_ptr<LocalAudioTrack> createLocalAudioTrack(const std::string &name,
                                                                  const std::shared_ptr<AudioSource> &source);

    std::shared_ptr<AudioSource> source() const { return m_source; }
    std::shared_ptr<LocalTrackPublication> publication() const;
    // Muted tracks send silence, which the encoder's discontinuous transmission reduces to
    // almost nothing on the wire.
    void mute();
    void unmute();
    bool muted() const;
    // Encoder bitrate in bits per second; applies at once while published, else at publishing.
    void setMaxBitrate(int bps);
    int maxBitrate() const;

    void setPublication(const std::shared_ptr<LocalTrackPublication> &publication);

private:
    LocalAudioTrack(std::string name, std::shared_ptr<AudioSource> source);

    std::shared_ptr<AudioSource> m_source;
    mutable std::mutex m_stateMutex;
    std::shared_ptr<LocalTrackPublication> m_publication;
    int m_maxBitrate = 0;
};

// A remote participant's audio, readable through AudioStream while subscribed.
class RemoteAudioTrack : public Track
{
public:
    explicit RemoteAudioTrack(std::string name);
};

} // namespace livekit
