#include "fuzz_target.h"

#include "room/room_stream_snapshot.h"
#include "room/room_stream_target.h"

// Stream snapshots of both kinds and stream target names.
KESTOVA_FUZZ_TARGET(room_snapshot)
{
    const QByteArray bytes = fuzzing::bytesOf(data, size);
    const QJsonObject snapshot = fuzzing::objectOf(bytes);
    (void)parseRoomPublicSnapshot(snapshot);
    (void)parseRoomPrivateSnapshot(snapshot);
    QString roomId;
    RoomStreamKind kind{};
    (void)parseRoomStreamTarget(QString::fromUtf8(bytes), roomId, kind);
}
