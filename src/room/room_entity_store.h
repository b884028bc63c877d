#pragma once

#include "room/room_entity.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <unordered_map>

// Every room that some part of the client needs, kept alive by reference counting.
// Records live at stable addresses: a pointer from retain or find stays valid until
// that room itself is erased, whatever else is retained or released meanwhile.
// GUI thread only.
class RoomEntityStore : public QObject
{
    Q_OBJECT

public:
    explicit RoomEntityStore(QObject *parent = nullptr);
    ~RoomEntityStore() override;

    // Takes one reference, creating an empty record on first use; null for an empty id.
    RoomEntity *retain(const QString &roomId);
    // Drops one reference; at zero the record is erased and removed() follows.
    void release(const QString &roomId);
    // The record, or null when no one retains the room.
    const RoomEntity *find(const QString &roomId) const;

    // Applies a batch in order to the rooms that are held, then emits changed() once
    // per changed room. Returns the combined mask of each changed room.
    QHash<QString, uint> applySnapshots(const QList<RoomUpdate> &updates);

signals:
    void changed(QString roomId, uint fieldMask);
    void removed(QString roomId);

private:
    std::unordered_map<QString, std::unique_ptr<RoomEntity>> rooms;
};
