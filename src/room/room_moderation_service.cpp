#include "room/room_moderation_service.h"

#include "net/api_path.h"
#include "room/active_room_session.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_view_model.h"

namespace {

enum class Mute { Voice, Text };

QString mutePath(const QString &roomId, const QString &userId, Mute kind)
{
    return apiPath(kind == Mute::Voice ? QStringLiteral("/v1/rooms/%1/members/%2/mutes/voice")
                                       : QStringLiteral("/v1/rooms/%1/members/%2/mutes/text"),
                   {roomId, userId});
}

RoomRequest memberRequest(HttpMethod method, QString path, const char *failureLead, const QString &roomId,
                          const QString &userId)
{
    RoomRequest request;
    request.method = method;
    request.path = std::move(path);
    request.failureLead = logText(failureLead, roomId, " target_user_id=", userId);
    return request;
}

} // namespace

RoomModerationService::RoomModerationService(IHttpClient *http_, ActiveRoomSession *session_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , session(session_)
{}

RoomModerationService::~RoomModerationService() = default;

QString RoomModerationService::activeRoomId() const
{
    const RoomViewModel *room = session->currentViewModel();
    return room ? room->roomId() : QString();
}

void RoomModerationService::muteVoice(const QString &userId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    send(memberRequest(HttpMethod::Put, mutePath(roomId, userId, Mute::Voice), "mute failed room_id=", roomId, userId),
         logText("member voice muted room_id=", roomId, " target_user_id=", userId));
}

void RoomModerationService::unmuteVoice(const QString &userId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    send(memberRequest(HttpMethod::Delete, mutePath(roomId, userId, Mute::Voice), "unmute failed room_id=", roomId,
                       userId),
         logText("member voice unmuted room_id=", roomId, " target_user_id=", userId));
}

void RoomModerationService::muteText(const QString &userId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    send(memberRequest(HttpMethod::Put, mutePath(roomId, userId, Mute::Text), "text mute failed room_id=", roomId,
                       userId),
         logText("member text muted room_id=", roomId, " target_user_id=", userId));
}

void RoomModerationService::muteTextIn(const QString &roomId, const QString &userId, qint64 expireAtMs)
{
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    RoomRequest request = memberRequest(HttpMethod::Put, mutePath(roomId, userId, Mute::Text),
                                        "text mute failed room_id=", roomId, userId);
    request.body.insert(QStringLiteral("expireAtMs"), QJsonValue(expireAtMs));
    send(std::move(request),
         logText("member text muted room_id=", roomId, " target_user_id=", userId, " expire_at_ms=", expireAtMs));
}

void RoomModerationService::unmuteText(const QString &userId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    send(memberRequest(HttpMethod::Delete, mutePath(roomId, userId, Mute::Text), "text unmute failed room_id=", roomId,
                       userId),
         logText("member text unmuted room_id=", roomId, " target_user_id=", userId));
}

void RoomModerationService::kick(const QString &userId)
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    send(memberRequest(HttpMethod::Delete, apiPath(QStringLiteral("/v1/rooms/%1/members/%2"), {roomId, userId}),
                       "kick failed room_id=", roomId, userId),
         logText("member kicked room_id=", roomId, " target_user_id=", userId));
}

void RoomModerationService::ban(const QString &userId)
{
    banIn(activeRoomId(), userId);
}

void RoomModerationService::banIn(const QString &roomId, const QString &userId)
{
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    send(memberRequest(HttpMethod::Put, apiPath(QStringLiteral("/v1/rooms/%1/bans/%2"), {roomId, userId}),
                       "ban failed room_id=", roomId, userId),
         logText("member banned room_id=", roomId, " target_user_id=", userId));
}

void RoomModerationService::dissolve()
{
    const QString roomId = activeRoomId();
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/dissolve"), {roomId});
    request.failureLead = logText("dissolve failed room_id=", roomId);
    send(std::move(request), logText("room dissolved room_id=", roomId));
}

void RoomModerationService::send(RoomRequest request, QString successLine)
{
    sendRoomRequest(
        http, lcRoomModeration, this, std::move(request),
        [successLine = std::move(successLine)](const HttpResponse &) {
            qCInfo(lcRoomModeration).noquote() << successLine;
        },
        [this](const RoomRequestError &error) { emit moderationFailed(error.code, error.message); });
}
