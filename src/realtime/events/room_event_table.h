#pragma once

#include "realtime/events/room_event_payload.h"

#include <array>
#include <cstddef>
#include <optional>

class QJsonObject;

inline constexpr std::size_t kRoomEventCount = 48;

// One row of the room event table: a gateway event name and the plain function
// that parses its payload into the row's alternative, or nothing when the record's
// required key is not a non-empty string.
struct RoomEventEntry
{
    const char *name;
    std::optional<RoomEventPayload> (*parse)(const QJsonObject &payload);
};

// The 48 room events, in ascending byte order of their names, one row per name;
// row r parses into alternative r of RoomEventPayload. Constant; any thread may read it.
extern const std::array<RoomEventEntry, kRoomEventCount> roomEventTable;
