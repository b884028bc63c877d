#include "room/room_attach_apply_service.h"

#include "net/api_path.h"
#include "realtime/events/room_role_events.h"
#include "room/room_logging.h"
#include "room/room_request.h"

#include <QDateTime>
#include <QJsonObject>

namespace {

// What a banner calls the room applied to.
QString labelOf(const RoomAttachApplyService::PendingAttach &entry)
{
    return entry.parentName.isEmpty() ? entry.parentRoomId : entry.parentName;
}

} // namespace

RoomAttachApplyService::RoomAttachApplyService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{}

RoomAttachApplyService::~RoomAttachApplyService() = default;

void RoomAttachApplyService::setClock(std::function<qint64()> value)
{
    clock = std::move(value);
}

void RoomAttachApplyService::track(const QString &requestId, const QString &parentRoomId, const QString &childRoomId,
                                   qint64 expiresAtMs, const QString &parentName)
{
    if (requestId.isEmpty() || parentRoomId.isEmpty())
        return;
    const qint64 now = clock();
    for (qsizetype i = pending.size() - 1; i >= 0; --i) {
        const qint64 expiry = pending.at(i).expiresAtMs;
        if (expiry > 0 && expiry <= now)
            pending.removeAt(i);
    }
    pending.append(PendingAttach{requestId, parentRoomId, childRoomId, parentName, expiresAtMs});
    qCInfo(lcRoomApply).nospace() << "attach apply tracked parent_room_id=" << parentRoomId
                                  << " child_room_id=" << childRoomId << " request_id=" << requestId;
    emit attachApplyCreated(requestId, parentRoomId, now, expiresAtMs);
    if (!parentName.isEmpty())
        emit attachNameResolved(requestId, parentName);
}

std::optional<RoomAttachApplyService::PendingAttach> RoomAttachApplyService::take(const QString &requestId)
{
    if (requestId.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (pending.at(i).requestId == requestId)
            return pending.takeAt(i);
    }
    return std::nullopt;
}

void RoomAttachApplyService::cancel(const QString &requestId)
{
    const std::optional<PendingAttach> entry = take(requestId);
    if (!entry)
        return;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/subroom-requests/%2"), {entry->parentRoomId, entry->requestId});
    request.failureLead =
        logText("attach apply cancel failed parent_room_id=", entry->parentRoomId, " request_id=", entry->requestId);
    request.detail = FailureDetail::NetError;
    sendRoomRequest(
        http, lcRoomApply, this, std::move(request),
        [record = *entry](const HttpResponse &) {
            qCInfo(lcRoomApply).nospace() << "attach apply cancelled parent_room_id=" << record.parentRoomId
                                          << " request_id=" << record.requestId;
        },
        [this](const RoomRequestError &error) { emit attachApplyFailed(error.code, error.message); });
}

void RoomAttachApplyService::handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64)
{
    if (!name.startsWith(QLatin1StringView("room.subroom.")))
        return;
    if (name == QLatin1StringView("room.subroom.attached")) {
        const auto event = RoomSubRoomAttachedEvent::fromJson(payload);
        if (!event)
            return;
        for (qsizetype i = 0; i < pending.size(); ++i) {
            const PendingAttach &entry = pending.at(i);
            if (entry.parentRoomId != event->parentRoomId || entry.childRoomId != event->childRoomId)
                continue;
            const PendingAttach record = pending.takeAt(i);
            qCInfo(lcRoomApply).nospace()
                << "attach apply approved parent_room_id=" << record.parentRoomId << " request_id=" << record.requestId;
            emit attachApproved(record.requestId, labelOf(record));
            return;
        }
    } else if (name == QLatin1StringView("room.subroom.rejected")) {
        const auto event = RoomSubRoomRejectedEvent::fromJson(payload);
        if (!event)
            return;
        const std::optional<PendingAttach> record = take(event->requestId);
        if (!record)
            return;
        if (event->trigger == QLatin1StringView("ttl_expired")) {
            qCInfo(lcRoomApply).nospace() << "attach apply expired parent_room_id=" << record->parentRoomId
                                          << " request_id=" << record->requestId;
            emit attachExpired(record->requestId);
        } else {
            qCInfo(lcRoomApply).nospace()
                << "attach apply rejected parent_room_id=" << record->parentRoomId
                << " request_id=" << record->requestId << " rejected_by=" << event->rejectedBy;
            emit attachRejected(record->requestId, labelOf(*record));
        }
    } else if (name == QLatin1StringView("room.subroom.cancelled")) {
        const auto event = RoomSubRoomCancelledEvent::fromJson(payload);
        if (event)
            take(event->requestId);
    }
}

void RoomAttachApplyService::reset()
{
    pending.clear();
}
