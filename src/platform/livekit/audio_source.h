#pragma once

#include <memory>
#include <mutex>

namespace livekit {

class AudioFrame;
namespace detail {
class SendPath;
}

// Where captured PCM enters the engine. Frames reach the network only while a track over this
// source is published; before that they are dropped.
class AudioSource
{
public:
    // queueSizeMs 0: frames are handed on at once.
    AudioSource(int sampleRate, int numChannels, int queueSizeMs = 0);
    ~AudioSource();
    AudioSource(const AudioSource &) = delete;
    AudioSource &operator=(const AudioSource &) = delete;

    int sampleRate() const { return m_sampleRate; }
    int numChannels() const { return m_numChannels; }

    // Capture thread. Throws std::invalid_argument for a frame whose rate or channel count differs
    // from the source's or whose size does not match its samples per channel.
    void captureFrame(const AudioFrame &frame, int timeoutMs = 0);

    // Engine side.
    void bind(const std::shared_ptr<detail::SendPath> &path);
    void unbind(const std::shared_ptr<detail::SendPath> &path);
    void setMuted(bool muted);
    bool muted() const;

private:
    const int m_sampleRate;
    const int m_numChannels;
    mutable std::mutex m_mutex; // guards m_path and m_muted
    std::shared_ptr<detail::SendPath> m_path;
    bool m_muted = false;
};

} // namespace livekit
