#include "room/room_follow_code_service.h"

#include "net/api_path.h"
#include "room/active_room_session.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_view_model.h"

RoomFollowCodeService::RoomFollowCodeService(IHttpClient *http_, ActiveRoomSession *session_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , session(session_)
{}

RoomFollowCodeService::~RoomFollowCodeService() = default;

void RoomFollowCodeService::attach()
{
    send(HttpMethod::Post, "attach follow code failed room_id=", "follow code attached room_id=");
}

void RoomFollowCodeService::detach()
{
    send(HttpMethod::Delete, "detach follow code failed room_id=", "follow code detached room_id=");
}

void RoomFollowCodeService::send(HttpMethod method, const char *failureLead, const char *successLead)
{
    const RoomViewModel *room = session->currentViewModel();
    if (!room)
        return;
    const QString roomId = room->roomId();
    RoomRequest request;
    request.method = method;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/follow-code"), {roomId});
    request.failureLead = logText(failureLead, roomId);
    sendRoomRequest(
        http, lcRoomFollowCode, this, std::move(request),
        [roomId, successLead](const HttpResponse &) { qCInfo(lcRoomFollowCode).nospace() << successLead << roomId; },
        [this](const RoomRequestError &error) { emit followCodeFailed(error.code, error.message); });
}
