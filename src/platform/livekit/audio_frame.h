#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace livekit {

// Interleaved 16-bit PCM, usually 10 ms.
class AudioFrame
{
public:
    AudioFrame() = default;
    AudioFrame(std::vector<std::int16_t> samples, int sampleRate, int numChannels, int samplesPerChannel)
        : m_data(std::move(samples)), m_sampleRate(sampleRate), m_numChannels(numChannels),
          m_samplesPerChannel(samplesPerChannel)
    {
    }

    const std::vector<std::int16_t> &data() const { return m_data; }
    std::vector<std::int16_t> &data() { return m_data; }
    int sampleRate() const { return m_sampleRate; }
    int numChannels() const { return m_numChannels; }
    int samplesPerChannel() const { return m_samplesPerChannel; }

private:
    std::vector<std::int16_t> m_data;
    int m_sampleRate = 0;
    int m_numChannels = 0;
    int m_samplesPerChannel = 0;
};

} // namespace livekit
