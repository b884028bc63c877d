#include "platform/livekit/track_publication.h"

namespace livekit {

TrackPublication::TrackPublication(std::string sid, std::string name, TrackKind kind)
    : m_sid(std::move(sid))
    , m_name(std::move(name))
    , m_kind(kind)
{}

TrackPublication::~TrackPublication() = default;

std::shared_ptr<Track> TrackPublication::track() const
{
    std::lock_guard lock(m_mutex);
    return m_track;
}

void TrackPublication::setTrack(const std::shared_ptr<Track> &track)
{
    std::lock_guard lock(m_mutex);
    m_track = track;
}

LocalTrackPublication::LocalTrackPublication(std::string sid, std::string name, TrackKind kind)
    : TrackPublication(std::move(sid), std::move(name), kind)
{}

RemoteTrackPublication::RemoteTrackPublication(std::string sid, std::string name, TrackKind kind,
                                               SubscribeRequest request)
    : TrackPublication(std::move(sid), std::move(name), kind)
    , m_request(std::move(request))
{}

void RemoteTrackPublication::setSubscribed(bool subscribed)
{
    m_wanted = subscribed;
    if (m_request)
        m_request(subscribed);
}

} // namespace livekit
