#include "media_api.h"

#include "janus_control.h"
#include "rooms_api.h"
#include "service_log.h"

namespace localservice {

MediaApi::MediaApi(RoomsApi *rooms_, JanusControl *janus_, QObject *parent)
    : QObject(parent)
    , rooms(rooms_)
    , janus(janus_)
{}

void MediaApi::addRoutes(ApiRouter &router)
{
    router.add("POST", QStringLiteral("/v1/rooms/{}/livekit-token"), ApiRouter::Access::SignedIn,
               [this](const ApiRequest &request) { return token(request); });
}

void MediaApi::prepareRooms()
{
    for (const QString &roomId : rooms->roomIds()) {
        if (const Room *room = rooms->room(roomId))
            janus->ensureRoom(room->mediaRoom, room->settings.value(QLatin1String("bitrate")).toInt());
    }
}

void MediaApi::onRoomRemoved(const QString &, qint64 mediaRoom)
{
    janus->destroyRoom(mediaRoom);
}

void MediaApi::onBitrateChanged(const QString &roomId)
{
    if (const Room *room = rooms->room(roomId))
        janus->setRoomBitrate(room->mediaRoom, room->settings.value(QLatin1String("bitrate")).toInt());
}

ApiReply MediaApi::token(const ApiRequest &request)
{
    Room *room = rooms->room(request.captures.at(0));
    if (!room)
        return roomreply::notFound();
    if (room->bans.contains(request.userId))
        return roomreply::banned();
    // A member of a sub-room talks into the parent room with the parent's token.
    const Room *via = nullptr;
    if (!room->isPresent(request.userId)) {
        for (const QString &childId : room->childRoomIds) {
            const Room *child = rooms->room(childId);
            if (child && child->isPresent(request.userId))
                via = child;
        }
        if (!via)
            return roomreply::notInRoom();
    }
    if (!janus->available())
        // The user reads that voice is off; why is for whoever runs the service.
        return ApiReply::error(503, QStringLiteral("media.unavailable"), QStringLiteral("语音服务暂不可用"),
                               QJsonObject{{"reason", janus->unavailableReason()}});
    const qint64 now = rooms->now();
    bool canPublish = room->grants(request.userId, QStringLiteral("core.room.speak"))
                      && !room->isMuted(request.userId, QStringLiteral("voice"), now);
    if (via) {
        const QJsonObject override = room->childOverrides.value(via->id);
        const bool broadcast = override.contains(QLatin1String("allowBroadcast"))
                                   ? override.value(QLatin1String("allowBroadcast")).toBool()
                                   : room->settings.value(QLatin1String("allowSubRoomBroadcast")).toBool();
        canPublish = broadcast && via->grants(request.userId, QStringLiteral("core.room.speak"))
                     && !via->isMuted(request.userId, QStringLiteral("voice"), now);
    }
    const int bitrate = room->settings.value(QLatin1String("bitrate")).toInt();
    janus->ensureRoom(room->mediaRoom, bitrate);
    qCInfo(lcServiceMedia).noquote().nospace()
        << "media token issued room_id=" << room->id << " user_id=" << request.userId << " can_publish=" << canPublish;
    return ApiReply::json(200, QJsonObject{{"url", janus->url(room->mediaRoom)},
                                           {"token", janus->token(room->mediaRoom, request.userId, now / 1000)},
                                           {"roomBitrate", bitrate},
                                           {"canPublish", canPublish}});
}

} // namespace localservice
