#pragma once

// Header-only, compiled into the media tests that link the media library (the shared support
// library does not).

#include "platform/livekit/audio_stream.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room_delegate.h"
#include "platform/livekit/track.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using livekit::AudioFrameEvent;
using livekit::AudioStream;
using livekit::AudioStreamOptions;
using livekit::DisconnectReason;
using livekit::RemoteParticipant;
using livekit::RemoteTrackPublication;
using livekit::RoomDelegate;
using livekit::Track;

// Records what a room reports, from the engine's threads; read from the test thread.
class RoomRecorder : public RoomDelegate
{
public:
    ~RoomRecorder() override { stopReading(); }

    void onTrackSubscribed(const std::shared_ptr<Track> &track, const std::shared_ptr<RemoteTrackPublication> &,
                           const std::shared_ptr<RemoteParticipant> &participant) override
    {
        std::lock_guard lock(mutex);
        ++subscribedCount;
        lastTrack = track;
        lastIdentity = participant ? participant->identity() : std::string();
    }
    void onTrackUnsubscribed(const std::shared_ptr<Track> &, const std::shared_ptr<RemoteTrackPublication> &,
                             const std::shared_ptr<RemoteParticipant> &) override
    {
        std::lock_guard lock(mutex);
        ++unsubscribedCount;
    }
    void onTrackUnpublished(const std::shared_ptr<RemoteTrackPublication> &,
                            const std::shared_ptr<RemoteParticipant> &) override
    {
        std::lock_guard lock(mutex);
        ++unpublishedCount;
    }
    void onParticipantDisconnected(const std::shared_ptr<RemoteParticipant> &participant) override
    {
        std::lock_guard lock(mutex);
        left.push_back(participant->identity());
    }
    void onDisconnected(DisconnectReason reason) override
    {
        std::lock_guard lock(mutex);
        reasons.push_back(static_cast<int>(reason));
    }
    void onDataReceived(const std::vector<std::uint8_t> &payload, const std::string &topic,
                        const std::shared_ptr<RemoteParticipant> &participant) override
    {
        std::lock_guard lock(mutex);
        data.push_back({topic, payload, participant ? participant->identity() : std::string()});
    }

    int subscribed() const
    {
        std::lock_guard lock(mutex);
        return subscribedCount;
    }
    int unsubscribed() const
    {
        std::lock_guard lock(mutex);
        return unsubscribedCount;
    }
    int unpublished() const
    {
        std::lock_guard lock(mutex);
        return unpublishedCount;
    }
    std::vector<int> disconnects() const
    {
        std::lock_guard lock(mutex);
        return reasons;
    }
    std::vector<std::string> leftIdentities() const
    {
        std::lock_guard lock(mutex);
        return left;
    }
    std::shared_ptr<Track> track() const
    {
        std::lock_guard lock(mutex);
        return lastTrack;
    }
    std::string identity() const
    {
        std::lock_guard lock(mutex);
        return lastIdentity;
    }
    std::size_t dataCount() const
    {
        std::lock_guard lock(mutex);
        return data.size();
    }

    // Reads the decoded audio of the last subscribed track on a thread of its own.
    bool startReading()
    {
        stopReading();
        stream = AudioStream::fromTrack(track(), AudioStreamOptions{120, {}, {}});
        if (!stream)
            return false;
        reader = std::thread([this, stream = stream] {
            AudioFrameEvent event;
            while (stream->read(event)) {
                std::lock_guard lock(mutex);
                samples.insert(samples.end(), event.frame.data().begin(), event.frame.data().end());
            }
        });
        return true;
    }
    void stopReading()
    {
        if (stream)
            stream->close();
        if (reader.joinable())
            reader.join();
        stream.reset();
    }
    std::vector<std::int16_t> received() const
    {
        std::lock_guard lock(mutex);
        return samples;
    }
    void clearReceived()
    {
        std::lock_guard lock(mutex);
        samples.clear();
    }

    struct Data
    {
        std::string topic;
        std::vector<std::uint8_t> payload;
        std::string identity;
    };
    std::vector<Data> dataPackets() const
    {
        std::lock_guard lock(mutex);
        return data;
    }

private:
    mutable std::mutex mutex;
    int subscribedCount = 0;
    int unsubscribedCount = 0;
    int unpublishedCount = 0;
    std::shared_ptr<Track> lastTrack;
    std::string lastIdentity;
    std::vector<int> reasons;
    std::vector<std::string> left;
    std::vector<Data> data;
    std::vector<std::int16_t> samples;
    std::shared_ptr<AudioStream> stream;
    std::thread reader;
};

} // namespace testsupport
