#pragma once

#include "room/room_child_override.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class RoomEntityStore;
struct RoomEntity;

// One room as a hierarchy shows it.
struct RoomNode
{
    QString roomId;
    QString name;                // empty when the room is not in the store
    QStringList present;         // in the record's order
    QSet<QString> speechBlocked; // the present users who may not speak
    QSet<QString> disconnected;
    RoomChildOverride childOverride; // what the node's parent sets for it; unset without one
    bool broadcastBlocked = false;   // may not broadcast into the parent; false without a parent
};

// A room's relatives; the room itself has no node.
struct RoomHierarchy
{
    bool hasParent = false;   // the room names a parent, whether or not the store holds it
    RoomNode parent;          // built without a parent of its own
    QList<RoomNode> siblings; // the parent's other children, in the parent's order
    QList<RoomNode> children; // the room's children, in its order
};

// Read-only helpers over the room store (GUI thread). Each comes in two forms: over
// the store itself and over a store pointer, where null gives the empty result.

// The room, its children, its parent and the parent's children, each once and
// non-empty (ids compare exactly); empty for an empty id, the id alone for a room
// the store does not hold.
QStringList relatedRoomIds(const RoomEntityStore &store, const QString &roomId);
QStringList relatedRoomIds(const RoomEntityStore *store, const QString &roomId);

// The node of one room; with a parent record, also its override and whether the
// parent blocks its broadcast. Works for a room the store does not hold.
RoomNode buildRoomNode(const RoomEntityStore &store, const QString &roomId, const RoomEntity *parent);

// The room's parent, siblings and children with their members; empty for a room
// the store does not hold.
RoomHierarchy buildRoomHierarchy(const RoomEntityStore &store, const QString &roomId);
RoomHierarchy buildRoomHierarchy(const RoomEntityStore *store, const QString &roomId);

// Whether the parent lets the sub-room broadcast into it: its per-child override when
// set, else its allowSubRoomBroadcast; no value without a parent in the store.
std::optional<bool> subroomBroadcastAllowed(const RoomEntityStore &store, const QString &roomId);
std::optional<bool> subroomBroadcastAllowed(const RoomEntityStore *store, const QString &roomId);

// The bitrate of the room's parent; 0 without a parent in the store.
int parentRoomBitrate(const RoomEntityStore &store, const QString &roomId);
int parentRoomBitrate(const RoomEntityStore *store, const QString &roomId);
