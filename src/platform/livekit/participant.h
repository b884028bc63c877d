#pragma once

#include "platform/livekit/track_publication.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace livekit {

namespace detail {
class RoomEngine;
}

class Participant
{
public:
    virtual ~Participant();
    Participant(const Participant &) = delete;
    Participant &operator=(const Participant &) = delete;

    std::string sid() const { return m_sid; }
    std::string identity() const { return m_identity; }

protected:
    Participant(std::string sid, std::string identity);

private:
    std::string m_sid;
    std::string m_identity;
};

// This client in the room. Any thread; the blocking calls wait for the server.
class LocalParticipant : public Participant
{
public:
    LocalParticipant(std::string sid, std::string identity, std::weak_ptr<detail::RoomEngine> engine);

    // Starts sending the track's source. Blocks until the server confirmed; throws std::runtime_error
    // with the server's or the engine's message.
    std::shared_ptr<LocalTrackPublication> publishTrack(const std::shared_ptr<LocalAudioTrack> &track,
                                                        const TrackPublishOptions &options);
    // Stops sending the published track with this sid. Throws when the room is gone.
    void unpublishTrack(const std::string &sid);
    // Sends a data packet with a topic to every participant (no destinations) or to the listed
    // identities. Throws when the data channel is not open.
    void publishData(const std::vector<std::uint8_t> &payload, bool reliable,
                     const std::vector<std::string> &destinationIdentities = {}, const std::string &topic = {});

private:
    std::weak_ptr<detail::RoomEngine> m_engine;
};

class RemoteParticipant : public Participant
{
public:
    RemoteParticipant(std::string sid, std::string identity);

    std::map<std::string, std::shared_ptr<RemoteTrackPublication>> trackPublications() const;

    void addPublication(const std::shared_ptr<RemoteTrackPublication> &publication);
    std::shared_ptr<RemoteTrackPublication> removePublication(const std::string &sid);

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<RemoteTrackPublication>> m_publications;
};

} // namespace livekit
