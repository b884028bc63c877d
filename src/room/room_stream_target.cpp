#include "room/room_stream_target.h"

namespace {
const QLatin1StringView kPrefix("room:");
const QLatin1StringView kPrivateSuffix(":private");
} // namespace

QString publicStreamTarget(const QString &roomId)
{
    return kPrefix + roomId;
}

QString privateStreamTarget(const QString &roomId)
{
    return kPrefix + roomId + kPrivateSuffix;
}

bool parseRoomStreamTarget(const QString &target, QString &roomId, RoomStreamKind &kind)
{
    if (!target.startsWith(kPrefix))
        return false;
    const QStringView rest = QStringView(target).mid(kPrefix.size());
    const qsizetype colon = rest.indexOf(u':');
    const QStringView id = colon < 0 ? rest : rest.left(colon);
    if (id.isEmpty())
        return false;
    const QStringView suffix = colon < 0 ? QStringView() : rest.mid(colon);
    if (suffix.isEmpty()) {
        roomId = id.toString();
        kind = RoomStreamKind::Public;
        return true;
    }
    if (suffix == kPrivateSuffix) {
        roomId = id.toString();
        kind = RoomStreamKind::Private;
        return true;
    }
    return false;
}
