#include "platform/livekit/room.h"

#include "platform/livekit/participant.h"
#include "platform/livekit/room_delegate.h"
#include "platform/livekit/room_engine.h"

namespace livekit {

Room::Room()
    : m_engine(std::make_shared<detail::RoomEngine>())
{}

Room::~Room()
{
    m_engine->setDelegate(nullptr);
    m_engine->close();
}

void Room::setDelegate(RoomDelegate *delegate)
{
    m_engine->setDelegate(delegate);
}

bool Room::connect(const std::string &url, const std::string &token, const RoomOptions &options)
{
    m_engine->connect(url, token, options);
    return true;
}

RoomInfo Room::roomInfo() const
{
    return m_engine->info();
}

std::weak_ptr<LocalParticipant> Room::localParticipant() const
{
    return m_engine->localParticipant();
}

std::vector<std::weak_ptr<RemoteParticipant>> Room::remoteParticipants() const
{
    std::vector<std::weak_ptr<RemoteParticipant>> list;
    for (const auto &participant : m_engine->remoteParticipants())
        list.push_back(participant);
    return list;
}

std::weak_ptr<RemoteParticipant> Room::remoteParticipant(const std::string &identity) const
{
    for (const auto &participant : m_engine->remoteParticipants())
        if (participant->identity() == identity)
            return participant;
    return {};
}

RoomDelegate::~RoomDelegate() = default;
void RoomDelegate::onParticipantConnected(const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onParticipantDisconnected(const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onTrackPublished(const std::shared_ptr<RemoteTrackPublication> &,
                                    const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onTrackUnpublished(const std::shared_ptr<RemoteTrackPublication> &,
                                      const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onTrackSubscribed(const std::shared_ptr<Track> &, const std::shared_ptr<RemoteTrackPublication> &,
                                     const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onTrackUnsubscribed(const std::shared_ptr<Track> &, const std::shared_ptr<RemoteTrackPublication> &,
                                       const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onTrackSubscriptionFailed(const std::string &, const std::string &,
                                             const std::shared_ptr<RemoteParticipant> &)
{}
void RoomDelegate::onConnectionStateChanged(ConnectionState)
{}
void RoomDelegate::onDisconnected(DisconnectReason)
{}
void RoomDelegate::onDataReceived(const std::vector<std::uint8_t> &, const std::string &,
                                  const std::shared_ptr<RemoteParticipant> &)
{}

} // namespace livekit
