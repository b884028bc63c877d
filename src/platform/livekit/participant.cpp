#include "platform/livekit/participant.h"

#include "platform/livekit/room_engine.h"

#include <stdexcept>

namespace livekit {

Participant::Participant(std::string sid, std::string identity)
    : m_sid(std::move(sid))
    , m_identity(std::move(identity))
{}

Participant::~Participant() = default;

LocalParticipant::LocalParticipant(std::string sid, std::string identity, std::weak_ptr<detail::RoomEngine> engine)
    : Participant(std::move(sid), std::move(identity))
    , m_engine(std::move(engine))
{}

namespace {
std::shared_ptr<detail::RoomEngine> lockEngine(const std::weak_ptr<detail::RoomEngine> &engine)
{
    auto locked = engine.lock();
    if (!locked)
        throw std::runtime_error("room is closed");
    return locked;
}
} // namespace

std::shared_ptr<LocalTrackPublication> LocalParticipant::publishTrack(const std::shared_ptr<LocalAudioTrack> &track,
                                                                      const TrackPublishOptions &options)
{
    return lockEngine(m_engine)->publish(track, options);
}

void LocalParticipant::unpublishTrack(const std::string &sid)
{
    lockEngine(m_engine)->unpublish(sid);
}

void LocalParticipant::publishData(const std::vector<std::uint8_t> &payload, bool reliable,
                                   const std::vector<std::string> &destinationIdentities, const std::string &topic)
{
    // Every packet travels on the one ordered channel; unreliable delivery is a permission, not a
    // promise, so `reliable` needs nothing more. The server relays to everyone, so packets for
    // chosen participants cannot be sent.
    (void)reliable;
    if (!destinationIdentities.empty())
        throw std::invalid_argument("data packets go to every participant; destinations are not supported");
    lockEngine(m_engine)->sendData(payload, topic);
}

RemoteParticipant::RemoteParticipant(std::string sid, std::string identity)
    : Participant(std::move(sid), std::move(identity))
{}

std::map<std::string, std::shared_ptr<RemoteTrackPublication>> RemoteParticipant::trackPublications() const
{
    std::lock_guard lock(m_mutex);
    return m_publications;
}

void RemoteParticipant::addPublication(const std::shared_ptr<RemoteTrackPublication> &publication)
{
    std::lock_guard lock(m_mutex);
    m_publications[publication->sid()] = publication;
}

std::shared_ptr<RemoteTrackPublication> RemoteParticipant::removePublication(const std::string &sid)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_publications.find(sid);
    if (it == m_publications.end())
        return nullptr;
    auto publication = it->second;
    m_publications.erase(it);
    return publication;
}

} // namespace livekit
