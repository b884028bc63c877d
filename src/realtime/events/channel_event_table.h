#pragma once

#include "realtime/events/channel_event_payload.h"

#include <array>
#include <cstddef>
#include <optional>

class QJsonObject;

inline constexpr std::size_t kChannelEventCount = 19;

// One row of the channel event table: a gateway event name and the plain function
// that parses its payload into the row's alternative, or nothing when "channelId"
// is not a non-empty string.
struct ChannelEventEntry
{
    const char *name;
    std::optional<ChannelEventPayload> (*parse)(const QJsonObject &payload);
};

// The 19 channel events, in ascending byte order of their names, one row per name;
// row r parses into alternative r of ChannelEventPayload. Constant; any thread may read it.
extern const std::array<ChannelEventEntry, kChannelEventCount> channelEventTable;
