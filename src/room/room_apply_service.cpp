#include "room/room_apply_service.h"

#include "net/api_path.h"
#include "realtime/events/event_json.h"
#include "realtime/events/room_member_events.h"
#include "room/active_room_session.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_view_model.h"

#include <QDateTime>
#include <QJsonObject>

RoomApplyService::RoomApplyService(IHttpClient *http_, ActiveRoomSession *session_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , session(session_)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{}

RoomApplyService::~RoomApplyService() = default;

void RoomApplyService::setClock(std::function<qint64()> value)
{
    clock = std::move(value);
}

void RoomApplyService::beginApply(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    const qint64 now = clock();
    for (qsizetype i = pending.size() - 1; i >= 0; --i) {
        const Pending &entry = pending.at(i);
        if (entry.expiresAtMs > 0 && entry.expiresAtMs <= now) {
            pending.removeAt(i);
            continue;
        }
        if (entry.roomId == roomId)
            return;
    }

    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/join-requests"), {roomId});
    request.failureLead = logText("apply create failed room_id=", roomId);
    const quint64 forGeneration = generation;
    sendRoomRequest(
        http, lcRoomApply, this, std::move(request),
        [this, roomId, forGeneration](const HttpResponse &response) {
            // Created for the account that signed out: nobody here waits for it.
            if (forGeneration != generation) {
                qCInfo(lcRoomApply).nospace() << "apply reply dropped after reset room_id=" << roomId;
                return;
            }
            const Pending record{eventText(response.json, "requestId"), roomId, eventText(response.json, "roomName"),
                                 eventInt64(response.json, "expiresAtMs")};
            qCInfo(lcRoomApply).nospace() << "apply created room_id=" << roomId << " request_id=" << record.requestId
                                          << " expires_at_ms=" << record.expiresAtMs;
            pending.append(record);
            emit applyCreated(record.requestId, roomId, clock(), record.expiresAtMs);
            if (!record.roomName.isEmpty())
                emit applyNameResolved(record.requestId, record.roomName);
        },
        [this, forGeneration](const RoomRequestError &error) {
            if (forGeneration == generation)
                emit applyFailed(error.code, error.message);
        });
}

std::optional<RoomApplyService::Pending> RoomApplyService::take(const QString &requestId)
{
    if (requestId.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (pending.at(i).requestId == requestId)
            return pending.takeAt(i);
    }
    return std::nullopt;
}

void RoomApplyService::cancel(const QString &requestId)
{
    if (const std::optional<Pending> record = take(requestId))
        postCancel(*record, true);
}

void RoomApplyService::postCancel(const Pending &record, bool reportFailure)
{
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/join-requests/%2"), {record.roomId, record.requestId});
    request.failureLead = logText("apply cancel failed room_id=", record.roomId, " request_id=", record.requestId);
    request.detail = FailureDetail::NetError;
    sendRoomRequest(
        http, lcRoomApply, this, std::move(request),
        [record](const HttpResponse &) {
            qCInfo(lcRoomApply).nospace()
                << "apply cancelled room_id=" << record.roomId << " request_id=" << record.requestId;
        },
        [this, reportFailure](const RoomRequestError &error) {
            if (reportFailure)
                emit applyFailed(error.code, error.message);
        });
}

void RoomApplyService::handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64)
{
    if (!name.startsWith(QLatin1StringView("room.request.")))
        return;
    if (name == QLatin1StringView("room.request.approved")) {
        const auto event = RoomRequestApprovedEvent::fromJson(payload);
        if (!event)
            return;
        if (const std::optional<Pending> record = take(event->requestId)) {
            qCInfo(lcRoomApply).nospace()
                << "apply approved room_id=" << record->roomId << " request_id=" << record->requestId
                << " approved_by=" << event->approvedBy;
            emit applyApproved(record->requestId, record->roomId);
        }
    } else if (name == QLatin1StringView("room.request.rejected")) {
        const auto event = RoomRequestRejectedEvent::fromJson(payload);
        if (!event)
            return;
        if (const std::optional<Pending> record = take(event->requestId)) {
            qCInfo(lcRoomApply).nospace()
                << "apply rejected room_id=" << record->roomId << " request_id=" << record->requestId
                << " rejected_by=" << event->rejectedBy;
            emit applyRejected(record->requestId, record->roomId, record->roomName);
        }
    } else if (name == QLatin1StringView("room.request.expired")) {
        const auto event = RoomRequestExpiredEvent::fromJson(payload);
        if (!event)
            return;
        if (const std::optional<Pending> record = take(event->requestId)) {
            qCInfo(lcRoomApply).nospace()
                << "apply expired room_id=" << record->roomId << " request_id=" << record->requestId;
            emit applyExpired(record->requestId);
        }
    }
}

void RoomApplyService::withdrawOnEnter()
{
    const RoomViewModel *room = session->currentViewModel();
    const QString activeRoomId = room ? room->roomId() : QString();
    if (activeRoomId == lastActiveRoomId)
        return;
    lastActiveRoomId = activeRoomId;
    if (activeRoomId.isEmpty())
        return;
    while (!pending.isEmpty()) {
        const Pending record = pending.takeLast();
        qCInfo(lcRoomApply).nospace() << "apply auto-withdrawn (entered room) entered_room_id=" << activeRoomId
                                      << " room_id=" << record.roomId << " request_id=" << record.requestId;
        postCancel(record, false);
        emit applyCancelled(record.requestId);
    }
}

void RoomApplyService::reset()
{
    ++generation;
    pending.clear();
    lastActiveRoomId.clear();
}
