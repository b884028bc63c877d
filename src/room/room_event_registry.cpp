#include "room/room_event_registry.h"

#include "realtime/events/room_event_table.h"

QHash<QString, RoomEventParser> buildRoomEventRegistry()
{
    QHash<QString, RoomEventParser> registry;
    registry.reserve(qsizetype(roomEventTable.size()));
    for (const RoomEventEntry &entry : roomEventTable)
        registry.insert(QString::fromLatin1(entry.name), entry.parse);
    return registry;
}

RoomEventParser findRoomEventParser(const QString &name)
{
    static const QHash<QString, RoomEventParser> registry = buildRoomEventRegistry();
    return registry.value(name, nullptr);
}
