#pragma once

#include "room/room_entity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Helpers shared by the room record tests.
namespace roomtest {

// Every field of a record that a test compares, by name.
QStringList fieldNames();

// One field as canonical text: lists in order, sets and maps sorted, bools as
// "true"/"false", optionals as "1", "0" or "-".
QString fieldText(const RoomEntity &room, const QString &field);

// A room "r1" under parent "p1" with children "c1", "c2", members, roles, mutes,
// overrides and pending requests in place; version 10.
RoomEntity sampleRoom(const QString &roomId, int populated);

// The payload of a room event given as JSON text, parsed through the event registry.
// Returns nothing for an unknown name or a payload without its required key.
std::optional<RoomEventPayload> parseEvent(const QString &name, const QByteArray &json);

// A store-batch event item.
RoomUpdate eventUpdate(const QString &roomId, const QString &name, const QByteArray &json, qint64 version);

} // namespace roomtest
