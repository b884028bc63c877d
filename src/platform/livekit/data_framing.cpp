#include "platform/livekit/data_framing.h"

#include <stdexcept>

namespace livekit::detail {

namespace {
constexpr std::uint8_t kVersion = 1;
}

std::vector<std::uint8_t> frameData(const std::string &topic, const std::vector<std::uint8_t> &payload)
{
    if (topic.size() > 255)
        throw std::invalid_argument("topic longer than 255 bytes");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(2 + topic.size() + payload.size());
    bytes.push_back(kVersion);
    bytes.push_back(static_cast<std::uint8_t>(topic.size()));
    bytes.insert(bytes.end(), topic.begin(), topic.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

bool unframeData(const std::vector<std::uint8_t> &bytes, DataPacket *packet)
{
    if (bytes.size() < 2 || bytes[0] != kVersion || bytes.size() < 2u + bytes[1])
        return false;
    const std::size_t topicLength = bytes[1];
    packet->topic.assign(bytes.begin() + 2, bytes.begin() + 2 + static_cast<std::ptrdiff_t>(topicLength));
    packet->payload.assign(bytes.begin() + 2 + static_cast<std::ptrdiff_t>(topicLength), bytes.end());
    return true;
}

} // namespace livekit::detail
