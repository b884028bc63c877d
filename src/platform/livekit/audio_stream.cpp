#include "platform/livekit/audio_stream.h"

#include "platform/livekit/peer.h"
#include "platform/livekit/track.h"

namespace livekit {

AudioStream::AudioStream(int capacity)
    : m_capacity(capacity)
{}

AudioStream::~AudioStream() = default;

std::shared_ptr<AudioStream> AudioStream::fromTrack(const std::shared_ptr<Track> &track,
                                                    const AudioStreamOptions &options)
{
    if (!std::dynamic_pointer_cast<RemoteAudioTrack>(track))
        return nullptr;
    auto carrier = track->peer();
    if (!carrier)
        return nullptr;
    std::shared_ptr<AudioStream> stream(new AudioStream(options.capacity));
    carrier->addStream(stream);
    return stream;
}

bool AudioStream::read(AudioFrameEvent &event)
{
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [this] { return m_closed || !m_frames.empty(); });
    if (m_frames.empty())
        return false;
    event.frame = std::move(m_frames.front());
    m_frames.pop_front();
    return true;
}

void AudioStream::close()
{
    end();
}

void AudioStream::push(AudioFrame frame)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_frames.push_back(std::move(frame));
        if (m_capacity > 0 && m_frames.size() > static_cast<std::size_t>(m_capacity))
            m_frames.pop_front();
    }
    m_ready.notify_one();
}

void AudioStream::end()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_ready.notify_all();
}

} // namespace livekit
