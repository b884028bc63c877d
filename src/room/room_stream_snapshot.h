#pragma once

#include "room/room_update.h"

#include <QLatin1StringView>
#include <QSet>
#include <QString>

#include <optional>

class QJsonArray;
class QJsonObject;

// Readers of the two room stream snapshots. They keep no state, never log and never
// fail loudly: a wrongly typed or missing value takes its default, and a snapshot
// yields nothing only when its "roomId" is not a non-empty string. The update's room
// is always the one named inside the snapshot. GUI thread.

// The public snapshot ("room:" + id) as a RoomPublicSnapshot for its room.
std::optional<RoomUpdate> parseRoomPublicSnapshot(const QJsonObject &snapshot);

// The private snapshot ("room:" + id + ":private") as a RoomPrivateSnapshot for its room.
std::optional<RoomUpdate> parseRoomPrivateSnapshot(const QJsonObject &snapshot);

// The users that the "mutes" entries of `variant` ("voice" or "text") keep muted at
// `nowMs`: an "expireAtMs" of -1 never runs out, one at or before now has run out.
QSet<QString> parseRoomMutes(const QJsonArray &mutes, QLatin1StringView variant, qint64 nowMs);
