#include "room/room_hierarchy.h"

#include "room/room_entity_store.h"

#include <QHash>

#include <utility>
#include <vector>

namespace {

// An ordered list of distinct ids. Each id is checked against an open-addressing
// table of list positions, sized once for the most ids that can come, so that a room
// with tens of thousands of children is walked in linear time with two allocations.
class UniqueIds
{
public:
    explicit UniqueIds(qsizetype most)
    {
        list.reserve(most);
        size_t size = 16;
        while (size < size_t(most) * 2) // at most half full: short probes
            size *= 2;
        positions.assign(size, -1);
    }

    void append(const QString &id)
    {
        if (id.isEmpty())
            return;
        const size_t mask = positions.size() - 1;
        for (size_t i = qHash(id, QHashSeed::globalSeed()) & mask;; i = (i + 1) & mask) {
            const int at = positions[i];
            if (at < 0) {
                positions[i] = int(list.size());
                list.append(id);
                return;
            }
            if (list.at(at) == id)
                return;
        }
    }

    QStringList take() { return std::move(list); }

private:
    QStringList list;
    std::vector<int> positions; // index into `list`, or -1 for a free slot
};

// The record of the room's parent, or null when the room or its parent is not held
// or the room has none.
const RoomEntity *heldParent(const RoomEntityStore &store, const QString &roomId)
{
    const RoomEntity *room = store.find(roomId);
    if (!room || room->publicState.parentRoomId.isEmpty())
        return nullptr;
    return store.find(room->publicState.parentRoomId);
}

// The one broadcasting rule: the parent's own setting for the child when it has one,
// else its setting for all sub-rooms.
bool parentAllowsBroadcast(const RoomEntity &parent, const RoomChildOverride &override)
{
    return override.allowBroadcast.value_or(parent.publicState.allowSubRoomBroadcast);
}

} // namespace

QStringList relatedRoomIds(const RoomEntityStore &store, const QString &roomId)
{
    if (roomId.isEmpty())
        return {};
    const RoomEntity *room = store.find(roomId);
    if (!room)
        return {roomId};
    const QString parentId = room->publicState.parentRoomId;
    const RoomEntity *parent = parentId.isEmpty() ? nullptr : store.find(parentId);
    const qsizetype most =
        2 + room->publicState.childRoomIds.size() + (parent ? parent->publicState.childRoomIds.size() : 0);
    UniqueIds ids(most);
    ids.append(roomId);
    for (const QString &child : room->publicState.childRoomIds)
        ids.append(child);
    if (parentId.isEmpty())
        return ids.take();
    ids.append(parentId);
    // The parent's children count even when the parent was listed already.
    if (parent) {
        for (const QString &sibling : parent->publicState.childRoomIds)
            ids.append(sibling);
    }
    return ids.take();
}

QStringList relatedRoomIds(const RoomEntityStore *store, const QString &roomId)
{
    return store ? relatedRoomIds(*store, roomId) : QStringList();
}

RoomNode buildRoomNode(const RoomEntityStore &store, const QString &roomId, const RoomEntity *parent)
{
    RoomNode node;
    node.roomId = roomId;
    if (const RoomEntity *room = store.find(roomId)) {
        node.name = room->name;
        node.present = room->publicState.present;
        for (const QString &user : room->publicState.present) {
            if (room->isSpeechBlocked(user))
                node.speechBlocked.insert(user);
        }
        node.disconnected = room->publicState.disconnected;
    }
    if (parent) {
        node.childOverride = parent->publicState.childOverrides.value(roomId);
        node.broadcastBlocked = !parentAllowsBroadcast(*parent, node.childOverride);
    }
    return node;
}

RoomHierarchy buildRoomHierarchy(const RoomEntityStore &store, const QString &roomId)
{
    RoomHierarchy result;
    const RoomEntity *room = store.find(roomId);
    if (!room)
        return result;
    for (const QString &child : room->publicState.childRoomIds)
        result.children.append(buildRoomNode(store, child, room));
    const QString parentId = room->publicState.parentRoomId;
    if (parentId.isEmpty())
        return result;
    result.hasParent = true;
    result.parent = buildRoomNode(store, parentId, nullptr);
    if (const RoomEntity *parent = store.find(parentId)) {
        for (const QString &sibling : parent->publicState.childRoomIds) {
            if (sibling != roomId)
                result.siblings.append(buildRoomNode(store, sibling, parent));
        }
    }
    return result;
}

RoomHierarchy buildRoomHierarchy(const RoomEntityStore *store, const QString &roomId)
{
    return store ? buildRoomHierarchy(*store, roomId) : RoomHierarchy();
}

std::optional<bool> subroomBroadcastAllowed(const RoomEntityStore &store, const QString &roomId)
{
    const RoomEntity *parent = heldParent(store, roomId);
    if (!parent)
        return std::nullopt;
    return parentAllowsBroadcast(*parent, parent->publicState.childOverrides.value(roomId));
}

std::optional<bool> subroomBroadcastAllowed(const RoomEntityStore *store, const QString &roomId)
{
    return store ? subroomBroadcastAllowed(*store, roomId) : std::nullopt;
}

int parentRoomBitrate(const RoomEntityStore &store, const QString &roomId)
{
    const RoomEntity *parent = heldParent(store, roomId);
    return parent ? parent->publicState.bitrate : 0;
}

int parentRoomBitrate(const RoomEntityStore *store, const QString &roomId)
{
    return store ? parentRoomBitrate(*store, roomId) : 0;
}
