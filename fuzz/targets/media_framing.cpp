#include "fuzz_target.h"

#include "platform/livekit/data_framing.h"

#include <cstdlib>

// The media connection's data packets: whatever unframes must frame back to the
// same bytes.
KESTOVA_FUZZ_TARGET(media_framing)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    livekit::detail::DataPacket packet;
    if (!livekit::detail::unframeData(bytes, &packet))
        return;
    if (livekit::detail::frameData(packet.topic, packet.payload) != bytes)
        std::abort();
}
