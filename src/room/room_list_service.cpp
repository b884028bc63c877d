#include "room/room_list_service.h"

#include "net/i_http_client.h"
#include "realtime/watch_registry.h"
#include "room/room_entity_store.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_stream_target.h"

#include <QJsonArray>
#include <QPointer>

#include <algorithm>

namespace {

QStringList publicTargets(const QStringList &roomIds)
{
    QStringList targets;
    targets.reserve(roomIds.size());
    for (const QString &id : roomIds)
        targets.append(publicStreamTarget(id));
    return targets;
}

} // namespace

RoomListService::RoomListService(IHttpClient *http_, RoomEntityStore *store_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , store(store_)
{
    retryTimer.setSingleShot(true);
    connect(store, &RoomEntityStore::changed, this, &RoomListService::onStoreChanged);
    connect(&retryTimer, &QTimer::timeout, this, &RoomListService::bootstrap);
}

RoomListService::~RoomListService() = default;

void RoomListService::setUserIdProvider(IdProvider provider)
{
    userIdProvider = std::move(provider);
}

void RoomListService::setWatchRegistry(WatchRegistry *registry)
{
    watchRegistry = registry;
}

void RoomListService::setRetryDelays(int firstMs, int maxMs)
{
    retryFirstMs = std::max(firstMs, 0);
    retryMaxMs = std::max(maxMs, retryFirstMs);
}

void RoomListService::bootstrap()
{
    const int loadGeneration = ++generation;
    retryTimer.stop();
    QPointer<RoomListService> self(this);
    http->get(QStringLiteral("/v1/rooms/mine"), [self, loadGeneration](const HttpResponse &response) {
        if (self)
            self->onLoadReply(loadGeneration, response);
    });
}

void RoomListService::onLoadReply(int loadGeneration, const HttpResponse &response)
{
    // A newer load (or a reset) has superseded this one.
    if (loadGeneration != generation)
        return;

    if (isFailedReply(response)) {
        qCWarning(lcRoomList).nospace() << "list my rooms failed" << failureFields(response);
        if (response.status != 0 && response.status < 500)
            return;
        const int delay = int(std::min<qint64>(qint64(retryFirstMs) << std::min(retryAttempt, 5), retryMaxMs));
        ++retryAttempt;
        qCInfo(lcRoomList).nospace() << "list my rooms retry scheduled attempt=" << retryAttempt
                                     << " delay_ms=" << delay;
        retryTimer.start(delay);
        return;
    }

    retryAttempt = 0;
    QStringList loaded;
    const QJsonArray rooms = response.json.value(QLatin1String("rooms")).toArray();
    for (const QJsonValue &element : rooms) {
        const QString id = element.toString();
        if (!id.isEmpty() && !loaded.contains(id))
            loaded.append(id);
    }
    roomIds = loaded;
    activeId = response.json.value(QLatin1String("activeRoomId")).toString();
    reconcile();
    qCInfo(lcRoomList).nospace() << "my rooms loaded count=" << roomIds.size() << " active_room=" << activeId;
    emit listChanged();
}

void RoomListService::onStoreChanged(const QString &roomId, uint)
{
    if (roomIds.contains(roomId) || (!activeId.isEmpty() && roomId == activeId))
        emit listChanged();
}

void RoomListService::handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64)
{
    const QString roomId = payload.value(QLatin1String("roomId")).toString();
    if (name == QLatin1String("room.hidden")) {
        removeRoom(roomId);
    } else if (name == QLatin1String("room.restored")) {
        qCInfo(lcRoomList) << "room restored, refetching my rooms";
        bootstrap();
    } else if (name == QLatin1String("room.membership.changed")) {
        const QString userId = payload.value(QLatin1String("userId")).toString();
        if (!userIdProvider || userIdProvider() != userId || roomId.isEmpty())
            return;
        if (payload.value(QLatin1String("member")).toBool()) {
            if (roomIds.contains(roomId))
                return;
            qCInfo(lcRoomList).nospace() << "membership gained, refetching my rooms room_id=" << roomId;
            bootstrap();
        } else {
            qCInfo(lcRoomList).nospace() << "membership lost, removing from my rooms room_id=" << roomId
                                         << " reason=" << payload.value(QLatin1String("reason")).toString();
            removeRoom(roomId);
        }
    }
}

void RoomListService::onResync()
{
    qCInfo(lcRoomList) << "resync, refetching my rooms";
    bootstrap();
}

void RoomListService::reset()
{
    // Replies in flight belong to the previous user.
    ++generation;
    retryTimer.stop();
    retryAttempt = 0;
    const bool hadContent = !roomIds.isEmpty() || !activeId.isEmpty();
    roomIds.clear();
    activeId.clear();
    reconcile();
    if (hadContent)
        emit listChanged();
}

void RoomListService::removeRoom(const QString &roomId)
{
    const qsizetype index = roomIds.indexOf(roomId);
    if (index < 0)
        return;
    roomIds.removeAt(index);
    reconcile();
    emit listChanged();
}

void RoomListService::reconcile()
{
    QStringList desired = roomIds;
    if (!activeId.isEmpty() && !desired.contains(activeId))
        desired.append(activeId);

    QStringList added;
    for (const QString &id : std::as_const(desired)) {
        if (!heldRoomIds.contains(id))
            added.append(id);
    }
    QStringList removed;
    for (const QString &id : std::as_const(heldRoomIds)) {
        if (!desired.contains(id))
            removed.append(id);
    }
    if (added.isEmpty() && removed.isEmpty())
        return;

    for (const QString &id : std::as_const(added))
        store->retain(id);
    heldRoomIds = desired;
    // Only the public streams: the private one is the active room session's business.
    if (watchRegistry) {
        if (!removed.isEmpty())
            watchRegistry->release(publicTargets(removed));
        if (!added.isEmpty())
            watchRegistry->acquire(publicTargets(added));
    }
    for (const QString &id : std::as_const(removed))
        store->release(id);
}

QList<MyRoomEntry> RoomListService::entries() const
{
    QList<MyRoomEntry> list;
    list.reserve(roomIds.size());
    for (const QString &id : roomIds) {
        MyRoomEntry entry;
        entry.roomId = id;
        if (const RoomEntity *room = store->find(id)) {
            entry.name = room->name;
            entry.temporary = !room->publicState.isPersistent;
            entry.loaded = room->populated != 0;
            entry.parentRoomId = room->publicState.parentRoomId;
            entry.childRoomIds =
                QSet<QString>(room->publicState.childRoomIds.cbegin(), room->publicState.childRoomIds.cend());
            entry.members.reserve(room->publicState.present.size());
            for (const QString &userId : room->publicState.present)
                entry.members.append(MyRoomMember{userId, room->publicState.disconnected.contains(userId)});
        }
        list.append(entry);
    }
    return list;
}

bool RoomListService::isActiveRoomLoaded() const
{
    if (activeId.isEmpty())
        return false;
    const RoomEntity *room = store->find(activeId);
    return room && room->populated != 0;
}

bool RoomListService::isDisconnectedInActiveRoom(const QString &userId) const
{
    if (activeId.isEmpty() || userId.isEmpty())
        return false;
    const RoomEntity *room = store->find(activeId);
    return room && room->publicState.disconnected.contains(userId);
}
