#pragma once

#include "room/room_update.h"

#include <QList>
#include <QObject>
#include <QString>

class QJsonObject;
class RoomEntityStore;

// Turns one gateway event into the store items of every room its payload names under
// "roomId", "childRoomId" and "parentRoomId" (each once, in that order; zero to three
// items). The gateway version counts only in the room named by the event's own
// "roomId": the items of the other rooms carry the event unversioned. An unknown name
// or a payload without its required key yields nothing.
QList<RoomUpdate> parseRoomEvent(const QString &name, const QJsonObject &payload, qint64 version);

// The one path from the realtime gateway into the room entity store: room events and
// room stream snapshots become store batches, and each applied event is announced
// with the change mask of its room. The wiring connects the gateway to the two entry
// functions. GUI thread only.
class RoomEntityFeed : public QObject
{
    Q_OBJECT

public:
    // The store is not owned and must outlive the feed.
    explicit RoomEntityFeed(RoomEntityStore *store, QObject *parent = nullptr);
    ~RoomEntityFeed() override;

    // Entry for GatewayService::eventReceived; names that do not begin with "room." are ignored.
    void onGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version);
    // Entry for GatewayService::streamSnapshotReceived; targets that are not room streams are ignored.
    void onStreamSnapshot(const QString &target, const QJsonObject &snapshot);
    // Applies a batch; after the store's changed() signals, emits eventApplied() for
    // every event item in batch order.
    void applyUpdates(const QList<RoomUpdate> &batch);

signals:
    // The event was offered to the room's record; fieldMask holds what the batch
    // changed in that room (0 when the room is not held or nothing changed).
    void eventApplied(QString roomId, RoomEventPayload ev, uint fieldMask);

private:
    RoomEntityStore *store = nullptr;
};
