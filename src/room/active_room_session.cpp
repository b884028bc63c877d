#include "room/active_room_session.h"

#include "net/api_path.h"
#include "realtime/watch_registry.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_field_flag.h"
#include "room/room_hierarchy.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_stream_target.h"
#include "room/room_view_model.h"

#include <QJsonObject>

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

ActiveRoomSession::ActiveRoomSession(IHttpClient *http_, RoomEntityStore *store_, RoomEntityFeed *feed_,
                                     RoomAdapterRegistry *registry_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , store(store_)
    , feed(feed_)
    , registry(registry_)
{
    qRegisterMetaType<RoomErrorCode>();
    qRegisterMetaType<roomdata::PendingJoinRequest>();
    qRegisterMetaType<roomdata::PendingSubroomRequest>();
    connect(store, &RoomEntityStore::changed, this, &ActiveRoomSession::onRoomStoreChanged, Qt::DirectConnection);
    connect(feed, &RoomEntityFeed::eventApplied, this, &ActiveRoomSession::onEventApplied, Qt::DirectConnection);
}

ActiveRoomSession::~ActiveRoomSession() = default;

void ActiveRoomSession::setWatchRegistry(WatchRegistry *registryOfWatches)
{
    watches = registryOfWatches;
}

void ActiveRoomSession::setUserIdProvider(IdProvider provider)
{
    userIdProvider = std::move(provider);
}

void ActiveRoomSession::setSessionIdProvider(IdProvider provider)
{
    sessionIdProvider = std::move(provider);
}

RoomViewModel *ActiveRoomSession::currentViewModel() const
{
    return activeId.isEmpty() ? nullptr : registry->viewModel(activeId);
}

QString ActiveRoomSession::ownUserId() const
{
    return userIdProvider ? userIdProvider() : QString();
}

void ActiveRoomSession::join(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    const QString sessionId = sessionIdProvider ? sessionIdProvider() : QString();
    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/join"), {roomId});
    request.body = QJsonObject{{QStringLiteral("sessionId"), sessionId}};
    request.failureLead = logText("join failed room_id=", roomId);
    const quint64 forGeneration = generation;
    sendRoomRequest(
        http, lcRoomLifecycle, this, std::move(request),
        [this, roomId, forGeneration](const HttpResponse &response) {
            if (forGeneration != generation) {
                qCInfo(lcRoomLifecycle).nospace() << "join reply dropped after reset room_id=" << roomId;
                return;
            }
            onJoinReply(roomId, response.json.value(QLatin1String("outcome")).toString());
        },
        [this, forGeneration](const RoomRequestError &error) {
            if (forGeneration == generation)
                emit enterFailed(error.code, error.message);
        });
}

void ActiveRoomSession::onJoinReply(const QString &roomId, const QString &outcome)
{
    if (outcome == QLatin1String("joined")) {
        enter(roomId);
        return;
    }
    if (outcome == QLatin1String("needApply")) {
        qCInfo(lcRoomLifecycle).nospace() << "join needs approval room_id=" << roomId;
        emit joinNeedsApply(roomId);
        return;
    }
    qCWarning(lcRoomLifecycle).nospace() << "join unexpected outcome room_id=" << roomId << " outcome=" << outcome;
    emit enterFailed(RoomErrorCode::Other, QString());
}

void ActiveRoomSession::enter(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    qCInfo(lcRoomLifecycle).nospace() << "entering room room_id=" << roomId;
    // An earlier entry is abandoned silently; its late answers no longer match.
    pendingId = roomId;
    awaitedTargets = QStringList{publicStreamTarget(roomId), privateStreamTarget(roomId)};
    syncWatches();
    // Targets the registry already knows are announced again on a later turn; new
    // ones are announced when the gateway answers their watch.
    if (watches)
        watches->resolve(awaitedTargets);
}

void ActiveRoomSession::leave()
{
    if (activeId.isEmpty())
        return;
    const QString roomId = activeId;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/members/me"), {roomId});
    request.failureLead = logText("leave failed room_id=", roomId);
    sendRoomRequest(
        http, lcRoomLifecycle, this, std::move(request),
        [this, roomId](const HttpResponse &) {
            qCInfo(lcRoomLifecycle).nospace() << "left room room_id=" << roomId;
            // The user may have moved on to another room meanwhile; that one stays.
            if (activeId == roomId)
                setActiveRoom(QString());
        },
        [this](const RoomRequestError &error) { emit leaveFailed(error.code, error.message); });
}

void ActiveRoomSession::leaveRoom(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/members/me"), {roomId});
    request.failureLead = logText("decline-reconnect leave failed room_id=", roomId);
    sendRoomRequest(http, lcRoomLifecycle, this, std::move(request),
                    [roomId](const HttpResponse &) {
                        qCInfo(lcRoomLifecycle).nospace() << "declined reconnect, left room room_id=" << roomId;
                    },
                    {});
}

void ActiveRoomSession::reset()
{
    const bool hadActive = !activeId.isEmpty();
    ++generation;
    pendingId.clear();
    awaitedTargets.clear();
    activeId.clear();
    syncWatches();
    if (hadActive)
        emit activeRoomChanged();
}

QStringList ActiveRoomSession::desiredRoomIds() const
{
    QStringList desired = relatedRoomIds(store, activeId);
    for (const QString &id : relatedRoomIds(store, pendingId)) {
        if (!desired.contains(id))
            desired.append(id);
    }
    return desired;
}

void ActiveRoomSession::syncWatches()
{
    syncPrivateWatch();

    const QStringList desired = desiredRoomIds();
    if (desired == watchedRooms)
        return;

    QStringList added;
    for (const QString &id : desired) {
        if (!watchedRooms.contains(id))
            added.append(id);
    }
    QStringList removed;
    for (const QString &id : std::as_const(watchedRooms)) {
        if (!desired.contains(id))
            removed.append(id);
    }

    for (const QString &id : std::as_const(added))
        store->retain(id);
    watchedRooms = desired;
    if (watches) {
        if (!removed.isEmpty())
            watches->release(publicTargets(removed));
        if (!added.isEmpty())
            watches->acquire(publicTargets(added));
    }
    // After the targets: a room leaves the store only once nothing watches it.
    for (const QString &id : std::as_const(removed))
        store->release(id);
}

void ActiveRoomSession::syncPrivateWatch()
{
    if (!watches)
        return;
    // While a room is being entered, the active room's private stream is not held.
    const QString target = pendingId.isEmpty() ? activeId : pendingId;
    if (target == privateWatchRoomId)
        return;
    const QString previous = privateWatchRoomId;
    privateWatchRoomId = target;
    if (!previous.isEmpty())
        watches->release({privateStreamTarget(previous)});
    if (!target.isEmpty())
        watches->acquire({privateStreamTarget(target)});
}

void ActiveRoomSession::onStreamReady(const QString &target)
{
    QString roomId;
    RoomStreamKind kind = RoomStreamKind::Public;
    if (!parseRoomStreamTarget(target, roomId, kind))
        return;
    // Late, repeated and never-awaited confirmations all fall through here.
    if (pendingId.isEmpty() || roomId != pendingId)
        return;
    if (!awaitedTargets.removeOne(target))
        return;
    if (awaitedTargets.isEmpty())
        promotePending();
}

void ActiveRoomSession::promotePending()
{
    const bool changed = pendingId != activeId;
    activeId = pendingId;
    pendingId.clear();

    const RoomEntity *room = store->find(activeId);
    const qsizetype presence = room ? room->publicState.present.size() : 0;
    const qint64 version = room ? room->version : 0;
    qCInfo(lcRoomLifecycle).nospace() << "entered room room_id=" << activeId << " presence=" << presence
                                      << " version=" << version;
    syncWatches();
    if (changed)
        emit activeRoomChanged();
}

void ActiveRoomSession::onStreamDenied(const QString &target)
{
    QString roomId;
    RoomStreamKind kind = RoomStreamKind::Public;
    if (!parseRoomStreamTarget(target, roomId, kind))
        return;
    const bool isPrivate = kind == RoomStreamKind::Private;

    if (isPrivate && !activeId.isEmpty() && roomId == activeId && roomId != pendingId) {
        // The user has lost the room; there is nothing to report as a failure.
        qCInfo(lcRoomLifecycle).nospace() << "private stream denied, no longer in room room_id=" << roomId;
        setActiveRoom(QString());
        return;
    }

    if (!pendingId.isEmpty() && roomId == pendingId && awaitedTargets.removeOne(target)) {
        qCWarning(lcRoomLifecycle).nospace() << "enter denied room_id=" << roomId << " target=" << target;
        pendingId.clear();
        awaitedTargets.clear();
        if (roomId == activeId)
            setActiveRoom(QString());
        syncWatches();
        emit enterFailed(isPrivate ? RoomErrorCode::NotInRoom : RoomErrorCode::NotFound, QString());
    }
}

void ActiveRoomSession::setActiveRoom(const QString &roomId)
{
    if (roomId == activeId)
        return;
    // Leaving a room also ends a re-entry of that same room.
    if (!pendingId.isEmpty() && pendingId == activeId) {
        pendingId.clear();
        awaitedTargets.clear();
    }
    activeId = roomId;
    syncWatches();
    emit activeRoomChanged();
}

void ActiveRoomSession::onRoomStoreChanged(const QString &roomId, uint fieldMask)
{
    if (!watchedRooms.contains(roomId))
        return;
    // The first snapshot or a hierarchy change may bring other related rooms.
    if (fieldMask & (RoomFieldFlag::Hierarchy | RoomFieldFlag::Availability))
        syncWatches();
    emit activeRoomChanged();
}

void ActiveRoomSession::onEventApplied(const QString &roomId, const RoomEventPayload &ev, uint fieldMask)
{
    if (activeId.isEmpty() || roomId != activeId)
        return;
    if (handleSelfRemoval(ev))
        return;
    dispatchRoomEvent(ev, fieldMask);
}

bool ActiveRoomSession::handleSelfRemoval(const RoomEventPayload &ev)
{
    const QString own = ownUserId();
    if (own.isEmpty())
        return false;

    if (const auto *left = std::get_if<RoomPresenceLeftEvent>(&ev)) {
        if (left->userId != own)
            return false;
        qCInfo(lcRoomLifecycle).nospace() << "removed from room (presence.left reason=" << left->reason
                                          << "), leaving room view room_id=" << activeId;
    } else if (const auto *kicked = std::get_if<RoomMemberKickedEvent>(&ev)) {
        if (kicked->userId != own)
            return false;
        qCInfo(lcRoomLifecycle).nospace() << "kicked, leaving room view room_id=" << activeId;
    } else if (const auto *banned = std::get_if<RoomMemberBannedEvent>(&ev)) {
        if (banned->userId != own)
            return false;
        qCInfo(lcRoomLifecycle).nospace() << "banned, leaving room view room_id=" << activeId;
    } else if (const auto *superseded = std::get_if<RoomMemberSupersededEvent>(&ev)) {
        // The same session, or no way of telling, is not a supersession.
        if (superseded->userId != own || !sessionIdProvider || superseded->sessionId == sessionIdProvider())
            return false;
        qCInfo(lcRoomLifecycle).nospace() << "session superseded by another device, leaving room view"
                                          << " room_id=" << activeId << " new_session_id=" << superseded->sessionId;
    } else {
        return false;
    }
    setActiveRoom(QString());
    return true;
}

void ActiveRoomSession::dispatchRoomEvent(const RoomEventPayload &ev, uint fieldMask)
{
    const bool presence = fieldMask & RoomFieldFlag::Presence;
    const bool requests = fieldMask & RoomFieldFlag::Requests;

    if (const auto *joined = std::get_if<RoomPresenceJoinedEvent>(&ev)) {
        // Entering again shows the user's own presence; that is no other member's arrival.
        if (presence && joined->userId != ownUserId())
            emit memberJoined(joined->userId);
    } else if (const auto *left = std::get_if<RoomPresenceLeftEvent>(&ev)) {
        // The user's own departure ends the active room; the room's leave cue covers it.
        if (presence && left->userId != ownUserId())
            emit memberLeft(left->userId);
    } else if (const auto *created = std::get_if<RoomRequestCreatedEvent>(&ev)) {
        if (requests)
            emit joinRequestAdded(roomdata::PendingJoinRequest{created->requestId, created->fromUserId,
                                                               created->createdAt, created->expiresAtMs});
    } else if (const auto *approved = std::get_if<RoomRequestApprovedEvent>(&ev)) {
        if (requests)
            emit requestResolved(approved->requestId, approved->approvedBy, true);
    } else if (const auto *rejected = std::get_if<RoomRequestRejectedEvent>(&ev)) {
        if (requests)
            emit requestResolved(rejected->requestId, rejected->rejectedBy, false);
    } else if (const auto *cancelled = std::get_if<RoomRequestCancelledEvent>(&ev)) {
        if (requests)
            emit requestRemoved(cancelled->requestId);
    } else if (const auto *expired = std::get_if<RoomRequestExpiredEvent>(&ev)) {
        if (requests)
            emit requestRemoved(expired->requestId);
    } else if (const auto *pending = std::get_if<RoomSubRoomPendingEvent>(&ev)) {
        if (requests)
            emit subroomRequestAdded(roomdata::PendingSubroomRequest{pending->requestId, pending->childRoomId,
                                                                     pending->fromUserId, pending->createdAt,
                                                                     pending->expiresAtMs});
    } else if (const auto *subApproved = std::get_if<RoomSubRoomApprovedEvent>(&ev)) {
        if (requests)
            emit requestResolved(subApproved->requestId, subApproved->approvedBy, true);
    } else if (const auto *subRejected = std::get_if<RoomSubRoomRejectedEvent>(&ev)) {
        if (!requests)
            return;
        if (subRejected->trigger == QLatin1String("ttl_expired"))
            emit requestRemoved(subRejected->requestId);
        else
            emit requestResolved(subRejected->requestId, subRejected->rejectedBy, false);
    } else if (const auto *subCancelled = std::get_if<RoomSubRoomCancelledEvent>(&ev)) {
        if (requests)
            emit requestRemoved(subCancelled->requestId);
    }
}
