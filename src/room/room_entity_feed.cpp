#include "room/room_entity_feed.h"

#include "room/room_entity_store.h"
#include "room/room_event_registry.h"
#include "room/room_logging.h"
#include "room/room_stream_snapshot.h"
#include "room/room_stream_target.h"

#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

QList<RoomUpdate> parseRoomEvent(const QString &name, const QJsonObject &payload, qint64 version)
{
    const RoomEventParser parse = findRoomEventParser(name);
    if (!parse)
        return {};
    std::optional<RoomEventPayload> parsed = parse(payload);
    if (!parsed)
        return {};

    // The ids come from the raw payload, whatever the record keeps of them.
    const QString ownRoomId = payload.value(QLatin1StringView("roomId")).toString();
    QList<RoomUpdate> items;
    for (const char *key : {"roomId", "childRoomId", "parentRoomId"}) {
        const QString id = payload.value(QLatin1StringView(key)).toString();
        if (id.isEmpty())
            continue;
        const bool listed =
            std::any_of(items.cbegin(), items.cend(), [&id](const RoomUpdate &item) { return item.roomId == id; });
        if (listed)
            continue;
        // A parent's or a child's counter is not the event's: raising it there
        // would refuse that room's own later events and snapshots as stale.
        RoomEventUpdate event{name, *parsed, id == ownRoomId ? version : 0};
        items.append(RoomUpdate{id, std::move(event)});
    }
    return items;
}

RoomEntityFeed::RoomEntityFeed(RoomEntityStore *store_, QObject *parent)
    : QObject(parent)
    , store(store_)
{
    qRegisterMetaType<RoomEventPayload>();
}

RoomEntityFeed::~RoomEntityFeed() = default;

void RoomEntityFeed::onGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version)
{
    // Chat, channel and user events come this way too.
    if (!name.startsWith(QLatin1StringView("room.")))
        return;
    applyUpdates(parseRoomEvent(name, payload, version));
}

void RoomEntityFeed::onStreamSnapshot(const QString &target, const QJsonObject &snapshot)
{
    QString targetRoomId;
    RoomStreamKind kind = RoomStreamKind::Public;
    if (!parseRoomStreamTarget(target, targetRoomId, kind))
        return;
    // The target only chooses the reader; the update is for the room the snapshot names.
    const std::optional<RoomUpdate> update =
        kind == RoomStreamKind::Private ? parseRoomPrivateSnapshot(snapshot) : parseRoomPublicSnapshot(snapshot);
    if (!update) {
        qCWarning(lcRoomLifecycle).nospace() << "stream snapshot unparsable target=" << target;
        return;
    }
    applyUpdates({*update});
}

void RoomEntityFeed::applyUpdates(const QList<RoomUpdate> &batch)
{
    if (batch.isEmpty())
        return;
    const QHash<QString, uint> masks = store->applySnapshots(batch);
    for (const RoomUpdate &item : batch) {
        if (const auto *event = std::get_if<RoomEventUpdate>(&item.update))
            emit eventApplied(item.roomId, event->payload, masks.value(item.roomId, 0));
    }
}
