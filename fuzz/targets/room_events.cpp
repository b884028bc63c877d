#include "fuzz_target.h"

#include "realtime/events/room_event_table.h"
#include "room/room_entity_feed.h"

// The room event table's parsers, and the feed's reading of a named event.
KESTOVA_FUZZ_TARGET(room_events)
{
    unsigned selector = 0;
    const QJsonObject payload = fuzzing::objectOf(fuzzing::takeSelector(data, size, &selector));
    const RoomEventEntry &row = roomEventTable[selector % kRoomEventCount];
    (void)row.parse(payload);
    (void)parseRoomEvent(QString::fromLatin1(row.name), payload, qint64(selector) - 128);
}
