#pragma once

#include "audio/remote_audio_stream.h"
#include "platform/livekit/track.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace testsupport {

// A track the playback accepts as an audio (or other) track; it carries nothing.
class FakeTrack : public livekit::Track
{
public:
    explicit FakeTrack(livekit::TrackKind kind = livekit::TrackKind::Audio)
        : Track("mic", kind)
    {}
};

// A remote stream fed by the test: frames pushed here are what the playback's reader reads.
class FakeRemoteStream : public IRemoteAudioStream
{
public:
    bool read(livekit::AudioFrame &frame) override
    {
        std::unique_lock lock(mutex);
        ready.wait(lock, [this] { return closed || !frames.empty(); });
        if (frames.empty())
            return false;
        frame = std::move(frames.front());
        frames.pop_front();
        return true;
    }
    void close() override
    {
        std::lock_guard lock(mutex);
        closed = true;
        ready.notify_all();
    }
    // A frame of `samples` per channel, every sample `value`.
    void push(qint16 value, int samples = 480, int rate = 48000, int channels = 1)
    {
        std::lock_guard lock(mutex);
        frames.emplace_back(std::vector<std::int16_t>(std::size_t(samples * channels), value), rate, channels, samples);
        ready.notify_all();
    }
    bool isClosed()
    {
        std::lock_guard lock(mutex);
        return closed;
    }

private:
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<livekit::AudioFrame> frames;
    bool closed = false;
};

} // namespace testsupport
