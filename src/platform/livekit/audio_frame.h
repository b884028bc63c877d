#pragma once

#include <cstdint>
#include <vector>

namespace livekit {

// A block of interleaved signed 16-bit PCM. The sample count always equals
// channels x samples per channel; the constructor refuses anything else.
class AudioFrame
{
public:
    AudioFrame() = default;
    // Throws std::invalid_argument when a count is not positive or the data does not hold
    // exactly numChannels x samplesPerChannel samples.
    AudioFrame(std::vector<std::int16_t> data, int sampleRate, int numChannels, int samplesPerChannel);

    const std::vector<std::int16_t> &data() const { return samples; }
    std::vector<std::int16_t> &data() { return samples; }
    int sampleRate() const { return rate; }
    int numChannels() const { return channels; }
    int samplesPerChannel() const { return perChannel; }

private:
    std::vector<std::int16_t> samples;
    int rate = 0;
    int channels = 0;
    int perChannel = 0;
};

} // namespace livekit
