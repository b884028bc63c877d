#include "platform/livekit/audio_frame.h"

#include <stdexcept>
#include <string>

namespace livekit {

AudioFrame::AudioFrame(std::vector<std::int16_t> data, int sampleRate, int numChannels, int samplesPerChannel)
    : samples(std::move(data))
    , rate(sampleRate)
    , channels(numChannels)
    , perChannel(samplesPerChannel)
{
    if (sampleRate <= 0 || numChannels <= 0 || samplesPerChannel <= 0)
        throw std::invalid_argument("audio frame: rate, channels and samples per channel must be positive");
    if (samples.size() != static_cast<std::size_t>(numChannels) * static_cast<std::size_t>(samplesPerChannel))
        throw std::invalid_argument("audio frame: " + std::to_string(samples.size()) + " samples for "
                                    + std::to_string(numChannels) + " x " + std::to_string(samplesPerChannel));
}

} // namespace livekit
