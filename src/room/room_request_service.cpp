#include "room/room_request_service.h"

#include "net/api_path.h"
#include "room/active_room_session.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_view_model.h"

RoomRequestService::RoomRequestService(IHttpClient *http_, ActiveRoomSession *session_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , session(session_)
{}

RoomRequestService::~RoomRequestService() = default;

void RoomRequestService::approveJoin(const QString &requestId)
{
    post("join-requests", "approve", requestId);
}
void RoomRequestService::rejectJoin(const QString &requestId)
{
    post("join-requests", "reject", requestId);
}
void RoomRequestService::approveSubroom(const QString &requestId)
{
    post("subroom-requests", "approve", requestId);
}
void RoomRequestService::rejectSubroom(const QString &requestId)
{
    post("subroom-requests", "reject", requestId);
}

void RoomRequestService::post(const char *kind, const char *action, const QString &requestId)
{
    const RoomViewModel *room = session->currentViewModel();
    if (!room || requestId.isEmpty())
        return;
    const QString roomId = room->roomId();
    const QString label = QLatin1StringView(kind) + QLatin1Char('/') + QLatin1StringView(action);

    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/%2/%3/%4"),
                           {roomId, QString::fromLatin1(kind), requestId, QString::fromLatin1(action)});
    request.failureLead = logText("request action failed op=", label, " room_id=", roomId, " request_id=", requestId);
    sendRoomRequest(
        http, lcRoomRequest, this, std::move(request),
        [roomId, requestId, label](const HttpResponse &) {
            qCInfo(lcRoomRequest).nospace()
                << "request action ok op=" << label << " room_id=" << roomId << " request_id=" << requestId;
        },
        [this](const RoomRequestError &error) { emit requestActionFailed(error.code, error.message); });
}
