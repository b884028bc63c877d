#pragma once

#include <optional>

// What a parent room sets for one of its sub-rooms; unset means no override.
struct RoomChildOverride
{
    std::optional<bool> allowBroadcast;
    std::optional<bool> allowChat;

    friend bool operator==(const RoomChildOverride &, const RoomChildOverride &) = default;
};
