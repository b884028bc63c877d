#pragma once

#include "realtime/events/room_event_payload.h"
#include "room/room_private_state.h"
#include "room/room_public_state.h"

#include <QString>

#include <variant>

// A room's public stream snapshot; it replaces the whole public part.
struct RoomPublicSnapshot
{
    RoomPublicState state;
    QString name;
    qint64 version = 0; // 0 or less: unversioned
};

// A room's private stream snapshot; it carries no version.
using RoomPrivateSnapshot = RoomPrivateState;

// One realtime room event.
struct RoomEventUpdate
{
    QString eventName;
    RoomEventPayload payload;
    qint64 version = 0; // the gateway frame's version; 0 or less: unversioned
};

// One item of a store batch: the room it is meant for and what to apply.
struct RoomUpdate
{
    using Variant = std::variant<RoomPublicSnapshot, RoomPrivateSnapshot, RoomEventUpdate>;

    QString roomId;
    Variant update;
};
