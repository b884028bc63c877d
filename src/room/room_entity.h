#pragma once

#include "room/room_private_state.h"
#include "room/room_public_state.h"
#include "room/room_update.h"

#include <QString>

// What the client knows of one watched room. Changes reach it only through
// applySnapshot; every application returns the RoomFieldFlag mask of what changed.
// GUI thread only.
struct RoomEntity
{
    QString roomId;
    QString name;
    RoomPublicState publicState;
    RoomPrivateState privateState;
    qint64 version = 0; // highest version of the public snapshots and own versioned events applied
    int populated = 0;  // 0 nothing applied; 1 public snapshot applied; 2 private snapshot applied
    int refCount = 0;   // outstanding retains in the store
    // Whether a public snapshot has been applied; `populated` cannot tell once a
    // private snapshot raised it to 2, and the public-snapshot version guard needs it.
    bool publicApplied = false;

    // Applies one update with the version guards; 0 when stale or nothing changed.
    uint applySnapshot(const RoomUpdate::Variant &update);

    // Folds one room event into the record (no version guard); 0 when nothing changed.
    uint applyEvent(const RoomEventPayload &payload);

    // Whether the user holds the permission key. `cascade` is true when the user
    // holds a channel-wide grant over the channel's rooms.
    bool userHasPermission(const QString &userId, const QString &key, bool cascade) const;

    // True when the user may not speak: voice-muted, or without "core.room.speak".
    bool isSpeechBlocked(const QString &userId) const;

private:
    bool grants(const QString &userId, const QString &key) const;
    uint applyPublicSnapshot(const RoomPublicSnapshot &snapshot);
    uint applyPrivateSnapshot(const RoomPrivateSnapshot &snapshot);
    uint applyEventUpdate(const RoomEventUpdate &event);
};
