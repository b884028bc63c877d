#pragma once

#include "platform/livekit/audio_frame.h"

#include <memory>

namespace livekit {
class Track;
}

// The decoded frames of one subscribed remote audio track as the playback reads them. read()
// blocks until a frame arrives and returns false once the stream was closed or the track ended;
// close() may come from any thread and makes a blocked read return.
class IRemoteAudioStream
{
public:
    virtual ~IRemoteAudioStream() = default;
    virtual bool read(livekit::AudioFrame &frame) = 0;
    virtual void close() = 0;
};

// The media library's stream of a remote audio track (capacity 120 frames); null when the track
// gives none.
std::shared_ptr<IRemoteAudioStream> openRemoteAudioStream(const std::shared_ptr<livekit::Track> &track);
