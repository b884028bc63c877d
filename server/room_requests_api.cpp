#include "rooms_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "room_api_support.h"
#include "service_log.h"
#include "service_state.h"
#include "token_issuer.h"

#include <QJsonDocument>

#include <algorithm>

// Ways into a room other than a direct join, and rooms under rooms: matching by
// room, follow or channel code and by preference, join requests and their decisions,
// follow codes, and attaching, detaching and overriding sub-rooms.
namespace localservice {

using namespace roomapi;

// ---------------------------------------------------------------- codes and requests

ApiReply RoomsApi::joinByCode(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString code = body.requiredString("code", 64).trimmed();
    const QString sessionId = body.optionalString("sessionId", 128).value_or(QString());
    if (!body.ok())
        return body.errorReply();
    const auto refuse = [](const char *reason, const QString &message) {
        return ApiReply::json(200, QJsonObject{{"status", "error"},
                                               {"reason", QLatin1String(reason)},
                                               {"message", message}});
    };
    Room *target = state->world.roomByCode(code);
    const bool roomCode = target && target->settings.value(QLatin1String("roomCodeEnabled")).toBool();
    if (!roomCode)
        target = state->world.roomByFollowCode(code, now());
    if (!target) {
        for (Channel &channel : state->world.channels) {
            if (!code.isEmpty() && channel.inviteCode == code) {
                if (channel.bans.contains(request.userId))
                    return refuse("match.channel_banned", QStringLiteral("你已被本频道封禁"));
                if (!channel.codeEnabled)
                    break;
                if (!channel.memberRoles.contains(request.userId)) {
                    const qint64 lowest = channel.defaultRoleId;
                    channel.memberRoles.insert(request.userId, lowest);
                    channel.joinedAt.insert(request.userId, now());
                    ++channel.version;
                    const QJsonObject data{{"channelId", channel.id},
                                           {"userId", request.userId},
                                           {"roleId", double(lowest)},
                                           {"joinedAt", double(now())}};
                    const QString joiner = request.userId;
                    gateway->publishToWatchersIf(QStringLiteral("channel:") + channel.id,
                                                 QStringLiteral("channel.member.joined"), data, channel.version,
                                                 [joiner](const QString &userId) { return userId != joiner; });
                    gateway->publishToUser(joiner, QStringLiteral("channel.member.joined"), data, channel.version);
                    emit stateChanged();
                }
                return ApiReply::json(200, QJsonObject{{"status", "ok"}, {"channelId", channel.id}});
            }
        }
        return ApiReply::error(404, QStringLiteral("match.invalid_code"), QStringLiteral("没有房间或频道使用这个码"));
    }
    if (target->bans.contains(request.userId))
        return refuse("match.join_rejected", QStringLiteral("你已被本房间封禁"));
    const bool direct = roomCode && target->settings.value(QLatin1String("codeDirectEntry")).toBool();
    const bool needsApproval = target->settings.value(QLatin1String("requireApproval")).toBool() && !direct
                               && !target->isMember(request.userId)
                               && !state->world.roomGrants(*target, request.userId, perm("bypass_admission"));
    if (needsApproval)
        return ApiReply::json(200, QJsonObject{{"status", "needApply"}, {"roomId", target->id}});
    enterRoom(*target, request.userId, sessionId);
    return ApiReply::json(200, QJsonObject{{"status", "entering"}, {"roomId", target->id}});
}

ApiReply RoomsApi::createJoinRequest(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    if (target->bans.contains(request.userId))
        return roomreply::banned();
    if (target->isPresent(request.userId))
        return roomreply::invalid(QStringLiteral("room.already_in_room"), QStringLiteral("你已在本房间"));
    for (const JoinRequest &q : std::as_const(target->joinRequests)) {
        if (q.fromUserId == request.userId)
            return ApiReply::json(200, QJsonObject{{"requestId", q.requestId},
                                                   {"roomName", target->name},
                                                   {"expiresAtMs", double(q.expiresAtMs)}});
    }
    JoinRequest q{QStringLiteral("jr-") + TokenIssuer::randomToken(9), request.userId, now(),
                  now() + kJoinRequestTtlMs};
    target->joinRequests.append(q);
    scheduleExpiry();
    publishPrivateEvent(*target, QStringLiteral("room.request.created"),
                        QJsonObject{{"requestId", q.requestId},
                                    {"roomId", target->id},
                                    {"fromUserId", q.fromUserId},
                                    {"expiresAtMs", double(q.expiresAtMs)},
                                    {"createdAt", double(q.createdAt)}},
                        perm("approve_requests"));
    return ApiReply::json(200, QJsonObject{{"requestId", q.requestId},
                                           {"roomName", target->name},
                                           {"expiresAtMs", double(q.expiresAtMs)}});
}

ApiReply RoomsApi::cancelJoinRequest(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString requestId = request.captures.at(1);
    for (int i = 0; i < target->joinRequests.size(); ++i) {
        const JoinRequest q = target->joinRequests.at(i);
        if (q.requestId != requestId)
            continue;
        if (q.fromUserId != request.userId)
            return roomreply::forbidden(QStringLiteral("这不是你的申请"));
        target->joinRequests.removeAt(i);
        const QJsonObject data{{"requestId", q.requestId},
                               {"roomId", target->id},
                               {"fromUserId", q.fromUserId},
                               {"cancelledAt", double(now())}};
        publishPrivateEvent(*target, QStringLiteral("room.request.cancelled"), data, perm("approve_requests"));
        gateway->publishToUser(q.fromUserId, QStringLiteral("room.request.cancelled"), data);
        return ApiReply::json(200, QJsonObject{});
    }
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("没有这条申请"));
}

ApiReply RoomsApi::decideJoinRequest(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString requestId = request.captures.at(1);
    const QString action = request.captures.at(2);
    if (action != QLatin1String("approve") && action != QLatin1String("reject"))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个接口"));
    if (!target->isPresent(request.userId)
        || !state->world.roomGrants(*target, request.userId, perm("approve_requests")))
        return roomreply::forbidden(QStringLiteral("你不能处理加入申请"));
    for (int i = 0; i < target->joinRequests.size(); ++i) {
        const JoinRequest q = target->joinRequests.at(i);
        if (q.requestId != requestId)
            continue;
        target->joinRequests.removeAt(i);
        const bool approve = action == QLatin1String("approve");
        QJsonObject data{{"requestId", q.requestId}, {"roomId", target->id}, {"fromUserId", q.fromUserId}};
        data.insert(approve ? QStringLiteral("approvedBy") : QStringLiteral("rejectedBy"), request.userId);
        data.insert(approve ? QStringLiteral("approvedAt") : QStringLiteral("rejectedAt"), double(now()));
        const QString event =
            approve ? QStringLiteral("room.request.approved") : QStringLiteral("room.request.rejected");
        if (approve && !target->isMember(q.fromUserId)) {
            const RoomRole *role = target->joinDefaultRole();
            target->memberRoles.insert(q.fromUserId, role ? role->roleId : 0);
            publishRoomEvent(*target, QStringLiteral("room.member.role_changed"),
                             QJsonObject{{"roomId", target->id},
                                         {"userId", q.fromUserId},
                                         {"roleId", double(target->memberRoles.value(q.fromUserId))},
                                         {"changedAt", double(now())}});
        }
        publishPrivateEvent(*target, event, data, perm("approve_requests"));
        gateway->publishToUser(q.fromUserId, event, data);
        return ApiReply::json(200, QJsonObject{});
    }
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("没有这条申请"));
}

ApiReply RoomsApi::setFollowCode(const ApiRequest &request, bool on)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    if (!state->world.roomGrants(*target, request.userId, perm("manage_follow_code")))
        return roomreply::forbidden(QStringLiteral("你不能管理跟随码"));
    if (on) {
        QString code;
        do {
            code = TokenIssuer::randomDigits(8);
        } while (state->world.roomByFollowCode(code, now()) || state->world.roomByCode(code));
        target->followCode = code;
        target->followCodeExpiresAtMs = now() + kFollowCodeTtlMs;
    } else {
        target->followCode.clear();
        target->followCodeExpiresAtMs = 0;
    }
    publishPrivateEvent(*target, QStringLiteral("room.follow_code.changed"),
                        QJsonObject{{"roomId", target->id},
                                    {"followCode", target->followCode},
                                    {"enabled", on},
                                    {"expiresAtMs", double(target->followCodeExpiresAtMs)},
                                    {"changedAt", double(now())}},
                        perm("manage_follow_code"));
    return ApiReply::json(200, QJsonObject{{"followCode", target->followCode},
                                           {"expiresAtMs", double(target->followCodeExpiresAtMs)}});
}

// ---------------------------------------------------------------- sub-rooms

void RoomsApi::attach(Room &child, Room &parent, const QString &byUserId)
{
    child.parentRoomId = parent.id;
    if (!parent.childRoomIds.contains(child.id))
        parent.childRoomIds.append(child.id);
    const QJsonObject data{{"childRoomId", child.id},
                           {"parentRoomId", parent.id},
                           {"byUserId", byUserId},
                           {"attachedAt", double(now())}};
    publishRoomEvent(child, QStringLiteral("room.subroom.attached"), data);
    publishRoomEvent(parent, QStringLiteral("room.subroom.attached"), data);
}

void RoomsApi::detach(Room &child, const QString &trigger, const QString &byUserId)
{
    Room *parent = room(child.parentRoomId);
    const QJsonObject data{{"childRoomId", child.id},
                           {"parentRoomId", child.parentRoomId},
                           {"trigger", trigger},
                           {"byUserId", byUserId},
                           {"detachedAt", double(now())}};
    child.parentRoomId.clear();
    publishRoomEvent(child, QStringLiteral("room.subroom.detached"), data);
    if (parent) {
        parent->childRoomIds.removeAll(child.id);
        parent->childOverrides.remove(child.id);
        publishRoomEvent(*parent, QStringLiteral("room.subroom.detached"), data);
    }
}

ApiReply RoomsApi::attachToParent(const ApiRequest &request)
{
    Room *child = room(request.captures.at(0));
    if (!child)
        return roomreply::notFound();
    JsonBody body(request.body);
    const QString parentId = body.requiredString("parentRoomId", 128);
    if (!body.ok())
        return body.errorReply();
    Room *parent = room(parentId);
    if (!parent || parent == child)
        return roomreply::notFound();
    if (!state->world.roomGrants(*child, request.userId, perm("manage_attach_to_parent_room")))
        return roomreply::forbidden(QStringLiteral("你不能挂接这个房间"));
    if (!child->parentRoomId.isEmpty() || !child->childRoomIds.isEmpty() || !parent->parentRoomId.isEmpty())
        return roomreply::invalid(QStringLiteral("room.hierarchy"), QStringLiteral("房间只能嵌套一层"));
    if (parent->bans.contains(request.userId))
        return roomreply::banned();
    const QString policy = parent->settings.value(QLatin1String("allowSubRoom")).toString();
    if (policy == QLatin1String("reject"))
        return roomreply::forbidden(QStringLiteral("本房间不接受子房间"));
    if (policy == QLatin1String("allow")
        || state->world.roomGrants(*parent, request.userId, perm("approve_subroom_attach"))) {
        attach(*child, *parent, request.userId);
        return ApiReply::json(200, QJsonObject{{"status", "attached"}, {"roomId", parent->id}});
    }
    SubroomRequest q{QStringLiteral("sr-") + TokenIssuer::randomToken(9), child->id, request.userId, now(),
                     now() + kJoinRequestTtlMs};
    parent->subroomRequests.append(q);
    scheduleExpiry();
    publishPrivateEvent(*parent, QStringLiteral("room.subroom.pending"),
                        QJsonObject{{"requestId", q.requestId},
                                    {"childRoomId", q.childRoomId},
                                    {"parentRoomId", parent->id},
                                    {"fromUserId", q.fromUserId},
                                    {"expiresAtMs", double(q.expiresAtMs)},
                                    {"createdAt", double(q.createdAt)}},
                        perm("approve_subroom_attach"));
    return ApiReply::json(200, QJsonObject{{"status", "pending"},
                                           {"requestId", q.requestId},
                                           {"roomId", parent->id},
                                           {"roomName", parent->name},
                                           {"expiresAtMs", double(q.expiresAtMs)}});
}

ApiReply RoomsApi::attachByCode(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString code = body.requiredString("code", 64).trimmed();
    const QString childId = body.requiredString("childRoomId", 128);
    if (!body.ok())
        return body.errorReply();
    Room *parent = state->world.roomByCode(code);
    if (!parent || !parent->settings.value(QLatin1String("roomCodeEnabled")).toBool())
        return ApiReply::error(404, QStringLiteral("match.invalid_code"), QStringLiteral("没有房间使用这个码"));
    ApiRequest forwarded = request;
    forwarded.captures = {childId};
    forwarded.body = QJsonDocument(QJsonObject{{"parentRoomId", parent->id}}).toJson(QJsonDocument::Compact);
    const ApiReply reply = attachToParent(forwarded);
    if (reply.status != 200)
        return reply;
    QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
    if (answer.value(QLatin1String("status")).toString() == QLatin1String("pending"))
        answer.insert(QStringLiteral("status"), QStringLiteral("attachPending"));
    return ApiReply::json(200, answer);
}

ApiReply RoomsApi::detachFromParent(const ApiRequest &request)
{
    Room *child = room(request.captures.at(0));
    if (!child)
        return roomreply::notFound();
    if (child->parentRoomId.isEmpty())
        return roomreply::invalid(QStringLiteral("room.hierarchy"), QStringLiteral("本房间没有父房间"));
    if (!state->world.roomGrants(*child, request.userId, perm("manage_attach_to_parent_room")))
        return roomreply::forbidden(QStringLiteral("你不能解除这个房间的挂接"));
    detach(*child, QStringLiteral("child_left"), request.userId);
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::detachChild(const ApiRequest &request)
{
    Room *parent = room(request.captures.at(0));
    Room *child = room(request.captures.at(1));
    if (!parent || !child || child->parentRoomId != parent->id)
        return roomreply::notFound();
    if (!state->world.roomGrants(*parent, request.userId, perm("approve_subroom_attach")))
        return roomreply::forbidden(QStringLiteral("你不能解除子房间"));
    detach(*child, QStringLiteral("parent_removed"), request.userId);
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::setChildOverride(const ApiRequest &request)
{
    Room *parent = room(request.captures.at(0));
    Room *child = room(request.captures.at(1));
    if (!parent || !child || child->parentRoomId != parent->id)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    if (body->size() != 1
        || !(body->contains(QLatin1String("allowBroadcast")) || body->contains(QLatin1String("allowChat"))))
        return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                  QStringLiteral("请给出 \"allowBroadcast\" 或 \"allowChat\""));
    const bool broadcast = body->contains(QLatin1String("allowBroadcast"));
    const QJsonValue value = body->begin().value();
    if (!value.isBool() && !value.isNull())
        return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                  QStringLiteral("设置值只能是 true、false 或 null"));
    if (!state->world.roomGrants(*parent, request.userId,
                                 broadcast ? perm("override_child_broadcast") : perm("override_child_chat")))
        return roomreply::forbidden(QStringLiteral("你不能更改这个子房间的设置"));
    QJsonObject overrides = parent->childOverrides.value(child->id);
    const QString key = broadcast ? QStringLiteral("allowBroadcast") : QStringLiteral("allowChat");
    if (value.isNull())
        overrides.remove(key);
    else
        overrides.insert(key, value);
    parent->childOverrides.insert(child->id, overrides);
    QJsonObject data{{"parentRoomId", parent->id},
                     {"childRoomId", child->id},
                     {"byUserId", request.userId},
                     {"changedAt", double(now())}};
    if (!value.isNull())
        data.insert(QStringLiteral("value"), value);
    publishRoomEvent(*parent,
                     broadcast ? QStringLiteral("room.child_allow_broadcast.changed")
                               : QStringLiteral("room.child_allow_chat.changed"),
                     data);
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::decideSubroomRequest(const ApiRequest &request)
{
    Room *parent = room(request.captures.at(0));
    if (!parent)
        return roomreply::notFound();
    const QString requestId = request.captures.at(1);
    const QString action = request.captures.at(2);
    if (action != QLatin1String("approve") && action != QLatin1String("reject"))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个接口"));
    if (!state->world.roomGrants(*parent, request.userId, perm("approve_subroom_attach")))
        return roomreply::forbidden(QStringLiteral("你不能处理子房间申请"));
    for (int i = 0; i < parent->subroomRequests.size(); ++i) {
        const SubroomRequest q = parent->subroomRequests.at(i);
        if (q.requestId != requestId)
            continue;
        parent->subroomRequests.removeAt(i);
        const bool approve = action == QLatin1String("approve");
        QJsonObject data{{"requestId", q.requestId}, {"childRoomId", q.childRoomId}, {"parentRoomId", parent->id}};
        if (approve) {
            data.insert(QStringLiteral("approvedBy"), request.userId);
            data.insert(QStringLiteral("approvedAt"), double(now()));
        } else {
            data.insert(QStringLiteral("trigger"), QStringLiteral("rejected"));
            data.insert(QStringLiteral("rejectedBy"), request.userId);
            data.insert(QStringLiteral("rejectedAt"), double(now()));
        }
        const QString event =
            approve ? QStringLiteral("room.subroom.approved") : QStringLiteral("room.subroom.rejected");
        publishPrivateEvent(*parent, event, data, perm("approve_subroom_attach"));
        gateway->publishToUser(q.fromUserId, event, data);
        Room *child = room(q.childRoomId);
        if (approve && child && child->parentRoomId.isEmpty())
            attach(*child, *parent, request.userId);
        return ApiReply::json(200, QJsonObject{});
    }
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("没有这条申请"));
}

ApiReply RoomsApi::cancelSubroomRequest(const ApiRequest &request)
{
    Room *parent = room(request.captures.at(0));
    if (!parent)
        return roomreply::notFound();
    for (int i = 0; i < parent->subroomRequests.size(); ++i) {
        const SubroomRequest q = parent->subroomRequests.at(i);
        if (q.requestId != request.captures.at(1))
            continue;
        if (q.fromUserId != request.userId)
            return roomreply::forbidden(QStringLiteral("这不是你的申请"));
        parent->subroomRequests.removeAt(i);
        const QJsonObject data{{"requestId", q.requestId},
                               {"childRoomId", q.childRoomId},
                               {"parentRoomId", parent->id},
                               {"cancelledBy", request.userId},
                               {"cancelledAt", double(now())}};
        publishPrivateEvent(*parent, QStringLiteral("room.subroom.cancelled"), data, perm("approve_subroom_attach"));
        gateway->publishToUser(q.fromUserId, QStringLiteral("room.subroom.cancelled"), data);
        return ApiReply::json(200, QJsonObject{});
    }
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("没有这条申请"));
}

// ---------------------------------------------------------------- preference matching

ApiReply RoomsApi::matchPreference(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QStringList memberIds = body.requiredStringArray("memberIds", 32, 64);
    if (!body.ok())
        return body.errorReply();
    state->world.preferences.insert(request.userId,
                                    QJsonObject{{"memberIds", stringArray(memberIds)}, {"atMs", double(now())}});
    QJsonArray candidates;
    for (const QString &memberId : memberIds) {
        const Room *where = state->world.roomWithPresence(memberId);
        if (!where || where->bans.contains(request.userId) || memberId == request.userId)
            continue;
        const QString mode = where->settings.value(QLatin1String("accessMode")).toString();
        const bool listed = stringList(where->settings.value(QLatin1String("prefMembers"))).contains(request.userId);
        if (mode == QLatin1String("invite_only") && !where->isMember(request.userId))
            continue;
        if (mode == QLatin1String("pref_only") && !listed && !where->isMember(request.userId))
            continue;
        candidates.append(QJsonObject{{"userId", memberId}, {"roomId", where->id}});
    }
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{{"status", "candidates"}, {"candidates", candidates}});
}

} // namespace localservice
