#pragma once

#include "platform/livekit/audio_frame.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace livekit {

class Track;

struct AudioFrameEvent
{
    AudioFrame frame;
};

struct AudioStreamOptions
{
    int capacity = 0; // frames kept before the oldest is dropped; 0 = unbounded
    std::string processorName;
    std::string processorOptions;
};

// Decoded 48 kHz mono frames of a remote audio track. The remote side stays silent while it sends
// nothing (discontinuous transmission), so a reader must treat "no frame" as silence.
class AudioStream
{
public:
    // Null for a track that is not a subscribed remote audio track.
    static std::shared_ptr<AudioStream> fromTrack(const std::shared_ptr<Track> &track,
                                                  const AudioStreamOptions &options);
    ~AudioStream();
    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    // Blocks until a frame arrives; false once `close` was called or the track ended.
    bool read(AudioFrameEvent &event);
    void close();

    // Engine side (a streaming thread).
    void push(AudioFrame frame);
    void end();

private:
    explicit AudioStream(int capacity);

    const int m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<AudioFrame> m_frames;
    bool m_closed = false;
};

} // namespace livekit
