#pragma once

#include <QString>

// The two streams of a room on the realtime gateway.
enum class RoomStreamKind {
    Public = 0,  // "room:" + room id
    Private = 1, // "room:" + room id + ":private"
};

// "room:" + roomId: the room's public stream.
QString publicStreamTarget(const QString &roomId);
// "room:" + roomId + ":private": the room's private stream.
QString privateStreamTarget(const QString &roomId);

// Splits a room stream target into its room id and kind (exact, case-sensitive).
// Returns false for any other target and then leaves both out parameters untouched.
// A room id never holds a colon: the first colon after the prefix ends it.
bool parseRoomStreamTarget(const QString &target, QString &roomId, RoomStreamKind &kind);
