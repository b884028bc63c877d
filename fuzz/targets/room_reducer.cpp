#include "fuzz_target.h"

#include "realtime/events/room_event_table.h"
#include "room/room_entity.h"
#include "room/room_entity_feed.h"
#include "room/room_stream_snapshot.h"

// One room fed a public and a private snapshot, then a run of events. Lines: the
// public snapshot, the private snapshot, then one event per line whose first byte
// picks its name.
KESTOVA_FUZZ_TARGET(room_reducer)
{
    const QList<QByteArray> lines = fuzzing::bytesOf(data, size).split('\n');
    RoomEntity room;
    room.roomId = QStringLiteral("r1");
    if (auto snapshot = parseRoomPublicSnapshot(fuzzing::objectOf(lines.value(0))))
        room.applySnapshot(snapshot->update);
    if (auto snapshot = parseRoomPrivateSnapshot(fuzzing::objectOf(lines.value(1))))
        room.applySnapshot(snapshot->update);
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.isEmpty())
            continue;
        const RoomEventEntry &row = roomEventTable[static_cast<unsigned char>(line.at(0)) % kRoomEventCount];
        const QJsonObject payload = fuzzing::objectOf(line.mid(1));
        for (const RoomUpdate &update : parseRoomEvent(QString::fromLatin1(row.name), payload, i))
            room.applySnapshot(update.update);
        if (auto event = row.parse(payload))
            room.applyEvent(*event);
    }
    (void)room.userHasPermission(QStringLiteral("u1"), QStringLiteral("core.room.speak"), false);
    (void)room.isSpeechBlocked(QStringLiteral("u1"));
}
