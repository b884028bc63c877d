#pragma once

#include "realtime/events/room_event_payload.h"

#include <QHash>
#include <QString>

#include <optional>

class QJsonObject;

// Parses a room event payload into its record, or nothing without its required key.
using RoomEventParser = std::optional<RoomEventPayload> (*)(const QJsonObject &payload);

// The parse function of a room event name (exact match), or null when the name is
// not a room event. Builds the name index on first use; safe from any thread.
RoomEventParser findRoomEventParser(const QString &name);

// Indexes every row of the room event table by its name. Only findRoomEventParser calls it.
QHash<QString, RoomEventParser> buildRoomEventRegistry();
