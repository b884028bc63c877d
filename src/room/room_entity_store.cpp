#include "room/room_entity_store.h"

RoomEntityStore::RoomEntityStore(QObject *parent)
    : QObject(parent)
{}

RoomEntityStore::~RoomEntityStore() = default;

RoomEntity *RoomEntityStore::retain(const QString &roomId)
{
    if (roomId.isEmpty())
        return nullptr;
    auto it = rooms.find(roomId);
    if (it == rooms.end()) {
        auto room = std::make_unique<RoomEntity>();
        room->roomId = roomId;
        it = rooms.emplace(roomId, std::move(room)).first;
    }
    ++it->second->refCount;
    return it->second.get();
}

void RoomEntityStore::release(const QString &roomId)
{
    const auto it = rooms.find(roomId);
    if (it == rooms.end())
        return;
    if (--it->second->refCount > 0)
        return;
    // The caller may pass the record's own id, which dies with the erase.
    const QString erasedId = roomId;
    rooms.erase(it);
    emit removed(erasedId);
}

const RoomEntity *RoomEntityStore::find(const QString &roomId) const
{
    const auto it = rooms.find(roomId);
    return it == rooms.end() ? nullptr : it->second.get();
}

QHash<QString, uint> RoomEntityStore::applySnapshots(const QList<RoomUpdate> &updates)
{
    QHash<QString, uint> masks;
    for (const RoomUpdate &item : updates) {
        const auto it = rooms.find(item.roomId);
        if (it == rooms.end())
            continue;
        const uint mask = it->second->applySnapshot(item.update);
        if (mask != 0)
            masks[item.roomId] |= mask;
    }
    // Receivers may retain and release rooms; the loop reads only its own table.
    // A room that a receiver released meanwhile has announced its removal and gets
    // no change signal after it.
    for (auto it = masks.cbegin(); it != masks.cend(); ++it) {
        if (rooms.find(it.key()) != rooms.end())
            emit changed(it.key(), it.value());
    }
    return masks;
}
