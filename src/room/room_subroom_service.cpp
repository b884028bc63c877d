#include "room/room_subroom_service.h"

#include "net/api_path.h"
#include "room/active_room_session.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_view_model.h"

#include <QJsonValue>

namespace {

RoomRequest subroomRequest(HttpMethod method, QString path, const char *label)
{
    RoomRequest request;
    request.method = method;
    request.path = std::move(path);
    // The line names no room: the label tells which action failed.
    request.failureLead = logText("subroom ", label, " failed");
    return request;
}

} // namespace

RoomSubroomService::RoomSubroomService(IHttpClient *http_, ActiveRoomSession *session_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , session(session_)
{}

RoomSubroomService::~RoomSubroomService() = default;

QString RoomSubroomService::activeRoomId() const
{
    const RoomViewModel *room = session->currentViewModel();
    return room ? room->roomId() : QString();
}

void RoomSubroomService::attachToParent(const QString &parentRoomId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || parentRoomId.isEmpty() || parentRoomId == roomId)
        return;
    RoomRequest request =
        subroomRequest(HttpMethod::Put, apiPath(QStringLiteral("/v1/rooms/%1/parent"), {roomId}), "attach");
    request.body.insert(QStringLiteral("parentRoomId"), parentRoomId);
    send(std::move(request), [this, roomId](const HttpResponse &response) {
        if (response.json.value(QLatin1StringView("status")).toString() != QLatin1StringView("pending"))
            return;
        qCInfo(lcRoomSubroom).nospace() << "subroom attach pending child_room_id=" << roomId;
        emit attachPending(roomId);
    });
}

void RoomSubroomService::detachFromParent()
{
    const RoomViewModel *room = session->currentViewModel();
    if (!room || room->roomId().isEmpty() || room->parentRoomId().isEmpty())
        return;
    send(subroomRequest(HttpMethod::Delete, apiPath(QStringLiteral("/v1/rooms/%1/parent"), {room->roomId()}),
                        "detach from parent"),
         {});
}

void RoomSubroomService::detachChild(const QString &childRoomId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || childRoomId.isEmpty())
        return;
    send(subroomRequest(HttpMethod::Delete, apiPath(QStringLiteral("/v1/rooms/%1/children/%2"), {roomId, childRoomId}),
                        "detach child"),
         {});
}

void RoomSubroomService::setChildOverride(const QString &childRoomId, bool broadcastField, std::optional<bool> value)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || childRoomId.isEmpty())
        return;
    RoomRequest request =
        subroomRequest(HttpMethod::Patch, apiPath(QStringLiteral("/v1/rooms/%1/children/%2"), {roomId, childRoomId}),
                       "set child override");
    request.body.insert(broadcastField ? QStringLiteral("allowBroadcast") : QStringLiteral("allowChat"),
                        value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
    send(std::move(request), {});
}

void RoomSubroomService::send(RoomRequest request, std::function<void(const HttpResponse &)> onSuccess)
{
    sendRoomRequest(http, lcRoomSubroom, this, std::move(request), std::move(onSuccess),
                    [this](const RoomRequestError &error) { emit subroomFailed(error.code, error.message); });
}
