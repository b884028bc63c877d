#include "platform/livekit/track.h"

#include "platform/livekit/audio_source.h"
#include "platform/livekit/peer.h"
#include "platform/livekit/track_publication.h"

#include <stdexcept>

namespace livekit {

Track::Track(std::string name, TrackKind kind)
    : m_name(std::move(name))
    , m_kind(kind)
{}

Track::~Track() = default;

std::string Track::sid() const
{
    std::lock_guard lock(m_mutex);
    return m_sid;
}

void Track::attachPeer(const std::shared_ptr<detail::Peer> &peer, const std::string &sid)
{
    std::lock_guard lock(m_mutex);
    m_peer = peer;
    m_sid = sid;
}

std::shared_ptr<detail::Peer> Track::peer() const
{
    std::lock_guard lock(m_mutex);
    return m_peer.lock();
}

std::future<std::vector<RtcStats>> Track::getStats() const
{
    if (auto carrier = peer())
        return carrier->collectStats();
    std::promise<std::vector<RtcStats>> failed;
    failed.set_exception(std::make_exception_ptr(std::runtime_error("track is not connected")));
    return failed.get_future();
}

LocalAudioTrack::LocalAudioTrack(std::string name, std::shared_ptr<AudioSource> source)
    : Track(std::move(name), TrackKind::Audio)
    , m_source(std::move(source))
{}

std::shared_ptr<LocalAudioTrack> LocalAudioTrack::createLocalAudioTrack(const std::string &name,
                                                                        const std::shared_ptr<AudioSource> &source)
{
    if (!source)
        throw std::invalid_argument("an audio track needs a source");
    return std::shared_ptr<LocalAudioTrack>(new LocalAudioTrack(name, source));
}

std::shared_ptr<LocalTrackPublication> LocalAudioTrack::publication() const
{
    std::lock_guard lock(m_stateMutex);
    return m_publication;
}

void LocalAudioTrack::setPublication(const std::shared_ptr<LocalTrackPublication> &publication)
{
    std::lock_guard lock(m_stateMutex);
    m_publication = publication;
}

void LocalAudioTrack::mute()
{
    m_source->setMuted(true);
}

void LocalAudioTrack::unmute()
{
    m_source->setMuted(false);
}

bool LocalAudioTrack::muted() const
{
    return m_source->muted();
}

void LocalAudioTrack::setMaxBitrate(int bps)
{
    if (bps <= 0)
        throw std::invalid_argument("bitrate must be positive");
    {
        std::lock_guard lock(m_stateMutex);
        m_maxBitrate = bps;
    }
    if (auto carrier = peer())
        if (auto path = carrier->sendPath())
            path->setBitrate(bps);
}

int LocalAudioTrack::maxBitrate() const
{
    std::lock_guard lock(m_stateMutex);
    return m_maxBitrate;
}

RemoteAudioTrack::RemoteAudioTrack(std::string name)
    : Track(std::move(name), TrackKind::Audio)
{}

} // namespace livekit
