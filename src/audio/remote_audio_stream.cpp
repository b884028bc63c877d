#include "audio/remote_audio_stream.h"

#include "platform/livekit/audio_stream.h"

namespace {

class LiveKitRemoteAudioStream : public IRemoteAudioStream
{
public:
    explicit LiveKitRemoteAudioStream(std::shared_ptr<livekit::AudioStream> stream_)
        : stream(std::move(stream_))
    {}

    bool read(livekit::AudioFrame &frame) override
    {
        livekit::AudioFrameEvent event;
        if (!stream->read(event))
            return false;
        frame = std::move(event.frame);
        return true;
    }
    void close() override { stream->close(); }

private:
    std::shared_ptr<livekit::AudioStream> stream;
};

} // namespace

std::shared_ptr<IRemoteAudioStream> openRemoteAudioStream(const std::shared_ptr<livekit::Track> &track)
{
    livekit::AudioStreamOptions options;
    options.capacity = 120;
    auto stream = livekit::AudioStream::fromTrack(track, options);
    if (!stream)
        return nullptr;
    return std::make_shared<LiveKitRemoteAudioStream>(std::move(stream));
}
