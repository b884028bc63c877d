#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Data packets on the data channel carry their topic in a small frame of their own, since the media
// server relays bytes only: [version 1][topic length][topic][payload].
namespace livekit::detail {

struct DataPacket
{
    std::string topic;
    std::vector<std::uint8_t> payload;
};

// Throws std::invalid_argument for a topic longer than 255 bytes.
std::vector<std::uint8_t> frameData(const std::string &topic, const std::vector<std::uint8_t> &payload);
// False for a frame of another version or a truncated one.
bool unframeData(const std::vector<std::uint8_t> &bytes, DataPacket *packet);

} // namespace livekit::detail
