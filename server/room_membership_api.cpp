#include "rooms_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "room_api_support.h"
#include "service_state.h"

#include <algorithm>

// Membership and moderation: joining a room directly, leaving it, and kicking,
// banning and muting its members.
namespace localservice {

using namespace roomapi;

ApiReply RoomsApi::join(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    JsonBody body(request.body);
    const QString sessionId = body.optionalString("sessionId", 128).value_or(QString());
    if (!body.ok())
        return body.errorReply();
    if (target->bans.contains(request.userId))
        return roomreply::banned();
    const bool member = target->isMember(request.userId);
    const bool bypass = state->world.roomGrants(*target, request.userId, perm("bypass_admission"));
    if (!member && !bypass) {
        const QString mode = target->settings.value(QLatin1String("accessMode")).toString();
        const QStringList prefMembers = stringList(target->settings.value(QLatin1String("prefMembers")));
        if (mode == QLatin1String("invite_only"))
            return roomreply::forbidden(QStringLiteral("本房间只允许受邀成员进入"));
        if (mode == QLatin1String("pref_only") && !prefMembers.contains(request.userId))
            return roomreply::forbidden(QStringLiteral("本房间只允许偏好成员进入"));
        if (target->settings.value(QLatin1String("requireApproval")).toBool())
            return ApiReply::json(200, QJsonObject{{"outcome", "needApply"}, {"roomId", target->id}});
    }
    enterRoom(*target, request.userId, sessionId);
    return ApiReply::json(200, QJsonObject{{"outcome", "joined"}, {"roomId", target->id}});
}

// DELETE "/v1/rooms/{id}/members/{user}": "me" leaves, anybody else is kicked.
ApiReply RoomsApi::kick(const ApiRequest &request)
{
    if (request.captures.at(1) == QLatin1String("me"))
        return leave(request);
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString userId = request.captures.at(1);
    if (!target->isPresent(request.userId) && !actsAsOwner(*target, request.userId))
        return roomreply::notInRoom();
    if (!state->world.roomGrants(*target, request.userId, perm("kick_members"))
        || !state->world.roomOutranks(*target, request.userId, userId))
        return roomreply::forbidden(QStringLiteral("你不能移出该成员"));
    if (!target->isMember(userId) && !target->isPresent(userId))
        return roomreply::invalid(QStringLiteral("room.not_member"), QStringLiteral("该用户不在本房间"));
    const QString roomId = target->id;
    publishRoomEvent(
        *target, QStringLiteral("room.member.kicked"),
        QJsonObject{{"roomId", roomId}, {"userId", userId}, {"byUserId", request.userId}, {"kickedAt", double(now())}});
    removeMember(*target, userId);
    leaveRoom(*target, userId, QStringLiteral("kicked"));
    gateway->dropUserFromTargets(userId, roomId, {QStringLiteral("room:") + roomId + QStringLiteral(":private")});
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::leave(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    if (!target->isPresent(request.userId))
        return roomreply::notInRoom();
    leaveRoom(*target, request.userId, QStringLiteral("left"));
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::setBan(const ApiRequest &request, bool on)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString userId = request.captures.at(1);
    if (!state->world.roomGrants(*target, request.userId, perm("ban_members"))
        || !state->world.roomOutranks(*target, request.userId, userId))
        return roomreply::forbidden(QStringLiteral("你不能封禁该用户"));
    if (!state->accounts.contains(userId))
        return roomreply::invalid(QStringLiteral("room.unknown_user"), QStringLiteral("没有这个用户"));
    const QString roomId = target->id;
    if (on == target->bans.contains(userId))
        return ApiReply::json(200, QJsonObject{});
    if (on) {
        target->bans.insert(userId);
        publishRoomEvent(*target, QStringLiteral("room.member.banned"),
                         QJsonObject{{"roomId", roomId},
                                     {"userId", userId},
                                     {"byUserId", request.userId},
                                     {"bannedAt", double(now())}});
        removeMember(*target, userId);
        target->joinRequests.erase(std::remove_if(target->joinRequests.begin(), target->joinRequests.end(),
                                                  [&userId](const JoinRequest &q) { return q.fromUserId == userId; }),
                                   target->joinRequests.end());
        state->world.chatSubscriptions[userId].removeAll(roomId);
        leaveRoom(*target, userId, QStringLiteral("banned"));
        gateway->dropUserFromTargets(userId, roomId,
                                     {QStringLiteral("room:") + roomId,
                                      QStringLiteral("room:") + roomId + QStringLiteral(":private")});
    } else {
        target->bans.remove(userId);
        publishRoomEvent(*target, QStringLiteral("room.member.unbanned"),
                         QJsonObject{{"roomId", roomId},
                                     {"userId", userId},
                                     {"byUserId", request.userId},
                                     {"unbannedAt", double(now())}});
    }
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::setMute(const ApiRequest &request, bool on)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString userId = request.captures.at(1);
    const QString variant = request.captures.at(2);
    if (variant != QLatin1String("voice") && variant != QLatin1String("text"))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个接口"));
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    qint64 expireAtMs = -1;
    if (on && body->contains(QLatin1String("expireAtMs"))) {
        const QJsonValue value = body->value(QLatin1String("expireAtMs"));
        if (!isWholeNumber(value) || (value.toDouble() != -1 && value.toDouble() <= double(now())))
            return roomreply::invalid(QStringLiteral("room.invalid_expiry"),
                                      QStringLiteral("禁言截止时间须为将来的时间或 -1"));
        expireAtMs = qint64(value.toDouble());
    }
    const QString permission =
        variant == QLatin1String("voice") ? perm("mute_voice_members") : perm("mute_text_members");
    if (!state->world.roomGrants(*target, request.userId, permission)
        || !state->world.roomOutranks(*target, request.userId, userId))
        return roomreply::forbidden(QStringLiteral("你不能禁言该成员"));
    if (!target->isMember(userId) && !target->isPresent(userId))
        return roomreply::invalid(QStringLiteral("room.not_member"), QStringLiteral("该用户不在本房间"));
    target->mutes.erase(std::remove_if(target->mutes.begin(), target->mutes.end(),
                                       [&](const RoomMute &m) { return m.userId == userId && m.variant == variant; }),
                        target->mutes.end());
    if (on) {
        target->mutes.append(RoomMute{userId, variant, expireAtMs});
        scheduleExpiry();
        publishRoomEvent(*target, QStringLiteral("room.member.muted"),
                         QJsonObject{{"roomId", target->id},
                                     {"userId", userId},
                                     {"byUserId", request.userId},
                                     {"variant", variant},
                                     {"expiresAtMs", double(expireAtMs)},
                                     {"mutedAt", double(now())}});
    } else {
        publishRoomEvent(*target, QStringLiteral("room.member.unmuted"),
                         QJsonObject{{"roomId", target->id},
                                     {"userId", userId},
                                     {"byUserId", request.userId},
                                     {"variant", variant},
                                     {"unmutedAt", double(now())}});
    }
    return ApiReply::json(200, QJsonObject{});
}

} // namespace localservice
