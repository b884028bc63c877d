#include "platform/livekit/audio_source.h"

#include "platform/livekit/audio_frame.h"
#include "platform/livekit/peer.h"

#include <stdexcept>

namespace livekit {

AudioSource::AudioSource(int sampleRate, int numChannels, int queueSizeMs)
    : m_sampleRate(sampleRate)
    , m_numChannels(numChannels)
{
    (void)queueSizeMs; // frames are never queued here: the encoder takes them at once
    if (sampleRate != 48000 || numChannels != 1)
        throw std::invalid_argument("the audio source takes 48000 Hz mono");
}

AudioSource::~AudioSource() = default;

void AudioSource::captureFrame(const AudioFrame &frame, int timeoutMs)
{
    (void)timeoutMs;
    if (frame.sampleRate() != m_sampleRate || frame.numChannels() != m_numChannels
        || frame.data().size()
               != static_cast<std::size_t>(frame.samplesPerChannel())
                      * static_cast<std::size_t>(frame.numChannels() > 0 ? frame.numChannels() : 1))
        throw std::invalid_argument("frame does not match the audio source");
    std::shared_ptr<detail::SendPath> path;
    bool muted = false;
    {
        std::lock_guard lock(m_mutex);
        path = m_path;
        muted = m_muted;
    }
    if (path)
        path->push(frame.data().data(), frame.data().size(), frame.samplesPerChannel(), frame.sampleRate(), muted);
}

void AudioSource::bind(const std::shared_ptr<detail::SendPath> &path)
{
    std::lock_guard lock(m_mutex);
    m_path = path;
}

void AudioSource::unbind(const std::shared_ptr<detail::SendPath> &path)
{
    std::lock_guard lock(m_mutex);
    if (!path || m_path == path)
        m_path.reset();
}

void AudioSource::setMuted(bool muted)
{
    std::lock_guard lock(m_mutex);
    m_muted = muted;
}

bool AudioSource::muted() const
{
    std::lock_guard lock(m_mutex);
    return m_muted;
}

} // namespace livekit
