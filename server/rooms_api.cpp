#include "rooms_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "room_api_support.h"
#include "service_log.h"
#include "service_state.h"
#include "token_issuer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QTimer>
#include <QUuid>

#include <algorithm>

namespace localservice {

using namespace roomapi;

namespace roomreply {

ApiReply notFound()
{
    return ApiReply::error(404, QStringLiteral("room.not_found"), QStringLiteral("没有这个房间"));
}

ApiReply forbidden(const QString &message)
{
    return ApiReply::error(403, QStringLiteral("room.forbidden"), message);
}

ApiReply banned()
{
    return ApiReply::error(403, QStringLiteral("room.banned"), QStringLiteral("你已被本房间封禁"));
}

ApiReply notInRoom()
{
    return ApiReply::error(403, QStringLiteral("room.not_in_room"), QStringLiteral("你不在本房间"));
}

ApiReply invalid(const QString &code, const QString &message)
{
    return ApiReply::error(400, code, message);
}

} // namespace roomreply

namespace {

const QList<int> kBitrates{8000, 16000, 32000, 64000, 128000, 256000};
const QStringList kAccessModes{QStringLiteral("public"), QStringLiteral("pref_only"), QStringLiteral("invite_only")};
const QStringList kSubroomPolicies{QStringLiteral("allow"), QStringLiteral("ask"), QStringLiteral("reject")};

QJsonObject defaultSettings()
{
    return QJsonObject{
        {"bitrate", 64000},
        {"accessMode", "public"},
        {"allowSubRoom", "ask"},
        {"allowSubRoomBroadcast", true},
        {"allowSubRoomChat", true},
        {"requireApproval", false},
        {"codeDirectEntry", true},
        {"attachedModule", ""},
        {"prefMembers", QJsonArray()},
        {"roomCode", ""},
        {"roomCodeEnabled", true},
    };
}

QList<RoomRole> defaultRoles()
{
    const QStringList member{perm("speak"), perm("send_message"), perm("retag_own_message"), perm("edit_own_tag"),
                             perm("create_tag")};
    QStringList moderator = member;
    moderator << perm("kick_members") << perm("ban_members") << perm("mute_voice_members") << perm("mute_text_members")
              << perm("hide_message") << perm("approve_requests") << perm("retag_other_messages")
              << perm("edit_other_tags") << perm("bypass_admission") << perm("invite_members")
              << perm("manage_follow_code");
    return {
        RoomRole{kOwnerRoleId, QStringLiteral("房主"), 100, allRoomPermissions(), false},
        RoomRole{2, QStringLiteral("管理员"), 50, moderator, false},
        RoomRole{3, QStringLiteral("成员"), 10, member, true},
    };
}

QJsonObject roleSnapshotJson(const RoomRole &role)
{
    return QJsonObject{{"roleId", double(role.roleId)},
                       {"name", role.name},
                       {"level", role.level},
                       {"permissions", stringArray(role.permissions)},
                       {"isJoinDefault", role.isJoinDefault}};
}

// A settings key of a creation request, checked; the default stays when absent.
bool takeSetting(const QJsonObject &body, const QString &key, QJsonObject &settings, QString *problem)
{
    if (!body.contains(key))
        return true;
    const QJsonValue value = body.value(key);
    bool ok = false;
    if (key == QLatin1String("bitrate"))
        ok = isWholeNumber(value) && kBitrates.contains(value.toInt());
    else if (key == QLatin1String("accessMode"))
        ok = kAccessModes.contains(value.toString());
    else if (key == QLatin1String("allowSubRoom"))
        ok = kSubroomPolicies.contains(value.toString());
    else
        ok = value.isBool();
    if (!ok) {
        *problem = QStringLiteral("\"%1\" 的值本房间不能接受").arg(key);
        return false;
    }
    settings.insert(key, value);
    return true;
}

} // namespace

RoomsApi::RoomsApi(ServiceState *state_, GatewayHub *gateway_, QObject *parent)
    : QObject(parent)
    , state(state_)
    , gateway(gateway_)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , expiryTimer(new QTimer(this))
{
    expiryTimer->setSingleShot(true);
    connect(expiryTimer, &QTimer::timeout, this, &RoomsApi::expireDue);
}

void RoomsApi::setClock(std::function<qint64()> nowMs)
{
    clock = std::move(nowMs);
}

void RoomsApi::setExpiryCheckMs(int ms)
{
    expiryCheckMs = std::max(1, ms);
    scheduleExpiry();
}

void RoomsApi::scheduleExpiry()
{
    qint64 next = -1;
    const auto consider = [&next](qint64 deadline) {
        if (next < 0 || deadline < next)
            next = deadline;
    };
    for (const Room &room : std::as_const(state->world.rooms)) {
        for (const JoinRequest &q : room.joinRequests) {
            if (q.expiresAtMs > 0)
                consider(q.expiresAtMs);
        }
        for (const SubroomRequest &q : room.subroomRequests) {
            if (q.expiresAtMs > 0)
                consider(q.expiresAtMs);
        }
        for (const RoomMute &m : room.mutes) {
            if (m.expireAtMs >= 0)
                consider(m.expireAtMs);
        }
    }
    if (next < 0) {
        expiryTimer->stop();
        return;
    }
    expiryTimer->start(int(std::clamp<qint64>(next - now(), 0, expiryCheckMs)));
}

void RoomsApi::expireDue()
{
    const qint64 at = now();
    for (const QString &roomId : allRoomIds()) {
        Room *target = room(roomId);
        if (!target)
            continue;
        for (int i = 0; i < target->joinRequests.size();) {
            const JoinRequest q = target->joinRequests.at(i);
            if (q.expiresAtMs <= 0 || q.expiresAtMs > at) {
                ++i;
                continue;
            }
            target->joinRequests.removeAt(i);
            qCInfo(lcServiceRooms).noquote().nospace()
                << "join request expired room_id=" << roomId << " request_id=" << q.requestId;
            const QJsonObject data{{"requestId", q.requestId},
                                   {"roomId", roomId},
                                   {"fromUserId", q.fromUserId},
                                   {"expiredAt", double(at)}};
            publishPrivateEvent(*target, QStringLiteral("room.request.expired"), data, perm("approve_requests"));
            gateway->publishToUser(q.fromUserId, QStringLiteral("room.request.expired"), data);
        }
        for (int i = 0; i < target->subroomRequests.size();) {
            const SubroomRequest q = target->subroomRequests.at(i);
            if (q.expiresAtMs <= 0 || q.expiresAtMs > at) {
                ++i;
                continue;
            }
            target->subroomRequests.removeAt(i);
            qCInfo(lcServiceRooms).noquote().nospace()
                << "sub-room request expired room_id=" << roomId << " request_id=" << q.requestId;
            // A lapse reaches the client as a rejection that nobody made.
            const QJsonObject data{{"requestId", q.requestId}, {"childRoomId", q.childRoomId},
                                   {"parentRoomId", roomId},   {"trigger", "ttl_expired"},
                                   {"rejectedBy", ""},         {"rejectedAt", double(at)}};
            publishPrivateEvent(*target, QStringLiteral("room.subroom.rejected"), data, perm("approve_subroom_attach"));
            gateway->publishToUser(q.fromUserId, QStringLiteral("room.subroom.rejected"), data);
        }
        for (int i = 0; i < target->mutes.size();) {
            const RoomMute m = target->mutes.at(i);
            if (m.expireAtMs < 0 || m.expireAtMs > at) {
                ++i;
                continue;
            }
            target->mutes.removeAt(i);
            qCInfo(lcServiceRooms).noquote().nospace()
                << "mute ended room_id=" << roomId << " user_id=" << m.userId << " variant=" << m.variant;
            // The end of a timed mute reads like a manual unmute by nobody, so clients
            // drop the user from their muted sets as they do for one.
            publishRoomEvent(*target, QStringLiteral("room.member.unmuted"),
                             QJsonObject{{"roomId", roomId},
                                         {"userId", m.userId},
                                         {"byUserId", ""},
                                         {"variant", m.variant},
                                         {"unmutedAt", double(at)}});
        }
    }
    scheduleExpiry();
}

void RoomsApi::addRoutes(ApiRouter &router)
{
    using Access = ApiRouter::Access;
    const auto on = [this, &router](const char *method, const char *path,
                                    ApiReply (RoomsApi::*handler)(const ApiRequest &)) {
        router.add(method, QString::fromLatin1(path), Access::SignedIn,
                   [this, handler](const ApiRequest &request) { return (this->*handler)(request); });
    };
    router.add("POST", QStringLiteral("/v1/rooms"), Access::SignedIn,
               [this](const ApiRequest &request) { return createRoom(request, false); });
    router.add("POST", QStringLiteral("/v1/rooms/persistent"), Access::SignedIn,
               [this](const ApiRequest &request) { return createRoom(request, true); });
    on("GET", "/v1/rooms/mine", &RoomsApi::myRooms);
    on("POST", "/v1/rooms/{}/join", &RoomsApi::join);
    on("DELETE", "/v1/rooms/{}/members/{}", &RoomsApi::kick); // "me" leaves
    router.add("PUT", QStringLiteral("/v1/rooms/{}/bans/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setBan(request, true); });
    router.add("DELETE", QStringLiteral("/v1/rooms/{}/bans/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setBan(request, false); });
    router.add("PUT", QStringLiteral("/v1/rooms/{}/members/{}/mutes/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setMute(request, true); });
    router.add("DELETE", QStringLiteral("/v1/rooms/{}/members/{}/mutes/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setMute(request, false); });
    on("PUT", "/v1/rooms/{}/members/{}/role", &RoomsApi::assignRole);
    on("POST", "/v1/rooms/{}/roles", &RoomsApi::createRole);
    on("POST", "/v1/rooms/{}/roles/reorder", &RoomsApi::reorderRoles);
    on("POST", "/v1/rooms/{}/roles/reassign", &RoomsApi::reassignRoles);
    on("PATCH", "/v1/rooms/{}/roles/{}", &RoomsApi::updateRole);
    on("DELETE", "/v1/rooms/{}/roles/{}", &RoomsApi::deleteRole);
    on("PATCH", "/v1/rooms/{}/settings", &RoomsApi::saveSettings);
    on("PATCH", "/v1/rooms/{}/room-code", &RoomsApi::setRoomCode);
    router.add("DELETE", QStringLiteral("/v1/rooms/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return removeRoom(request, "delete"); });
    router.add("POST", QStringLiteral("/v1/rooms/{}/dissolve"), Access::SignedIn,
               [this](const ApiRequest &request) { return removeRoom(request, "dissolve"); });
    on("DELETE", "/v1/rooms/{}/module", &RoomsApi::detachModule);
    on("POST", "/v1/match/code", &RoomsApi::joinByCode);
    on("POST", "/v1/match/attach", &RoomsApi::attachByCode);
    on("POST", "/v1/match/preference", &RoomsApi::matchPreference);
    on("POST", "/v1/rooms/{}/join-requests", &RoomsApi::createJoinRequest);
    on("DELETE", "/v1/rooms/{}/join-requests/{}", &RoomsApi::cancelJoinRequest);
    on("POST", "/v1/rooms/{}/join-requests/{}/{}", &RoomsApi::decideJoinRequest);
    router.add("POST", QStringLiteral("/v1/rooms/{}/follow-code"), Access::SignedIn,
               [this](const ApiRequest &request) { return setFollowCode(request, true); });
    router.add("DELETE", QStringLiteral("/v1/rooms/{}/follow-code"), Access::SignedIn,
               [this](const ApiRequest &request) { return setFollowCode(request, false); });
    on("PUT", "/v1/rooms/{}/parent", &RoomsApi::attachToParent);
    on("DELETE", "/v1/rooms/{}/parent", &RoomsApi::detachFromParent);
    on("DELETE", "/v1/rooms/{}/children/{}", &RoomsApi::detachChild);
    on("PATCH", "/v1/rooms/{}/children/{}", &RoomsApi::setChildOverride);
    on("POST", "/v1/rooms/{}/subroom-requests/{}/{}", &RoomsApi::decideSubroomRequest);
    on("DELETE", "/v1/rooms/{}/subroom-requests/{}", &RoomsApi::cancelSubroomRequest);
}

Room *RoomsApi::room(const QString &roomId)
{
    const auto found = state->world.rooms.find(roomId);
    return found == state->world.rooms.end() ? nullptr : &found.value();
}

void RoomsApi::publishRoomEvent(Room &room, const QString &event, const QJsonObject &data)
{
    ++room.version;
    gateway->publishToWatchers(QStringLiteral("room:") + room.id, event, data, room.version);
    emit stateChanged();
}

void RoomsApi::publishPrivateEvent(Room &room, const QString &event, const QJsonObject &data, const QString &permission)
{
    ++room.version;
    const Room *target = &room;
    const RoomWorld *world = &state->world;
    gateway->publishToWatchersIf(QStringLiteral("room:") + room.id + QStringLiteral(":private"), event, data,
                                 room.version, [target, world, permission](const QString &userId) {
                                     return permission.isEmpty() || world->roomGrants(*target, userId, permission);
                                 });
    emit stateChanged();
}

void RoomsApi::onSessionDetached(const QString &sessionId, const QString &userId)
{
    Room *where = state->world.roomWithPresence(userId);
    if (!where || where->presentSessions.value(userId) != sessionId || where->disconnected.contains(userId))
        return;
    where->disconnected.insert(userId);
    publishRoomEvent(*where, QStringLiteral("room.presence.conn-state"),
                     QJsonObject{{"roomId", where->id}, {"userId", userId}, {"connState", "disconnected"}});
}

void RoomsApi::onSessionReattached(const QString &sessionId, const QString &userId)
{
    Room *where = state->world.roomWithPresence(userId);
    if (!where || where->presentSessions.value(userId) != sessionId || !where->disconnected.remove(userId))
        return;
    publishRoomEvent(*where, QStringLiteral("room.presence.conn-state"),
                     QJsonObject{{"roomId", where->id}, {"userId", userId}, {"connState", "connected"}});
}

void RoomsApi::onSessionEnded(const QString &sessionId, const QString &userId)
{
    Room *where = state->world.roomWithPresence(userId);
    if (where && where->presentSessions.value(userId) == sessionId)
        leaveRoom(*where, userId, QStringLiteral("disconnected"));
}

bool RoomsApi::canReadChat(const QString &userId, const QString &roomId) const
{
    const auto found = state->world.rooms.constFind(roomId);
    if (found == state->world.rooms.cend() || found->bans.contains(userId))
        return false;
    if (found->isMember(userId) || found->isPresent(userId))
        return true;
    // The chat of a sub-room's parent is shared with the sub-room's present members.
    for (const QString &childId : found->childRoomIds) {
        const auto child = state->world.rooms.constFind(childId);
        if (child != state->world.rooms.cend() && child->isPresent(userId))
            return true;
    }
    return false;
}

std::optional<QJsonObject> RoomsApi::publicSnapshot(const QString &userId, const QString &roomId) const
{
    const auto found = state->world.rooms.constFind(roomId);
    if (found == state->world.rooms.cend() || found->bans.contains(userId))
        return std::nullopt;
    const Room &room = *found;
    QJsonArray roles;
    for (const RoomRole &role : room.roles)
        roles.append(roleSnapshotJson(role));
    QJsonObject memberRoles;
    for (auto it = room.memberRoles.begin(); it != room.memberRoles.end(); ++it)
        memberRoles.insert(it.key(), double(it.value()));
    QJsonObject overrides;
    for (auto it = room.overrides.begin(); it != room.overrides.end(); ++it) {
        QJsonObject keys;
        for (auto k = it->begin(); k != it->end(); ++k)
            keys.insert(k.key(), k.value());
        overrides.insert(it.key(), keys);
    }
    QJsonObject childOverrides;
    for (auto it = room.childOverrides.begin(); it != room.childOverrides.end(); ++it)
        childOverrides.insert(it.key(), it.value());
    QJsonArray mutes;
    for (const RoomMute &m : room.mutes) {
        if (m.expireAtMs < 0 || m.expireAtMs > now())
            mutes.append(
                QJsonObject{{"userId", m.userId}, {"variant", m.variant}, {"expireAtMs", double(m.expireAtMs)}});
    }
    QJsonObject settings = room.settings;
    // Only those who may hand the code out see it.
    if (!state->world.roomGrants(room, userId, perm("manage_room_code")) && !room.isPresent(userId))
        settings.insert(QStringLiteral("roomCode"), QString());
    QJsonObject snapshot{
        {"roomId", room.id},
        {"meta", QJsonObject{{"name", room.name},
                             {"version", double(room.version)},
                             {"isPersistent", room.persistent},
                             {"channelId", room.channelId},
                             {"ownerId", room.ownerId}}},
        {"present", stringArray(room.present)},
        {"disconnected", stringArray(QStringList(room.disconnected.begin(), room.disconnected.end()))},
        {"mutes", mutes},
        {"acl", QJsonObject{{"memberRoles", memberRoles},
                            {"roles", roles},
                            {"overrides", overrides},
                            {"settings", settings},
                            {"childOverrides", childOverrides}}},
        {"childRoomIds", stringArray(room.childRoomIds)},
    };
    if (!room.parentRoomId.isEmpty())
        snapshot.insert(QStringLiteral("parentRoomId"), room.parentRoomId);
    return snapshot;
}

std::optional<QJsonObject> RoomsApi::privateSnapshot(const QString &userId, const QString &roomId) const
{
    const auto found = state->world.rooms.constFind(roomId);
    if (found == state->world.rooms.cend() || found->bans.contains(userId) || !found->isPresent(userId))
        return std::nullopt;
    const Room &room = *found;
    QJsonObject snapshot{{"roomId", room.id}};
    if (state->world.roomGrants(room, userId, perm("manage_follow_code")) && !room.followCode.isEmpty()) {
        snapshot.insert(QStringLiteral("followCode"), room.followCode);
        snapshot.insert(QStringLiteral("followCodeExpiresAtMs"), double(room.followCodeExpiresAtMs));
    }
    if (state->world.roomGrants(room, userId, perm("approve_requests"))) {
        QJsonArray requests;
        for (const JoinRequest &q : room.joinRequests)
            requests.append(QJsonObject{{"requestId", q.requestId},
                                        {"fromUserId", q.fromUserId},
                                        {"createdAt", double(q.createdAt)},
                                        {"expiresAtMs", double(q.expiresAtMs)}});
        snapshot.insert(QStringLiteral("pendingJoinRequests"), requests);
    }
    if (state->world.roomGrants(room, userId, perm("approve_subroom_attach"))) {
        QJsonArray requests;
        for (const SubroomRequest &q : room.subroomRequests)
            requests.append(QJsonObject{{"requestId", q.requestId},
                                        {"childRoomId", q.childRoomId},
                                        {"fromUserId", q.fromUserId},
                                        {"createdAt", double(q.createdAt)},
                                        {"expiresAtMs", double(q.expiresAtMs)}});
        snapshot.insert(QStringLiteral("pendingSubrooms"), requests);
    }
    return snapshot;
}

QStringList RoomsApi::allRoomIds() const
{
    return state->world.rooms.keys();
}

QString RoomsApi::newRoomCode() const
{
    for (;;) {
        const QString code = TokenIssuer::randomDigits(6);
        if (!state->world.roomByCode(code))
            return code;
    }
}

// ---------------------------------------------------------------- creation and presence

ApiReply RoomsApi::createRoom(const ApiRequest &request, bool persistent)
{
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    QJsonObject settings = defaultSettings();
    QString problem;
    for (const char *key : {"bitrate", "accessMode", "allowSubRoom", "allowSubRoomBroadcast", "allowSubRoomChat",
                            "requireApproval", "codeDirectEntry"}) {
        if (!takeSetting(*body, QLatin1String(key), settings, &problem))
            return roomreply::invalid(QStringLiteral("room.invalid_settings"), problem);
    }
    QString name = body->value(QLatin1String("roomName")).toString().trimmed();
    if (body->contains(QLatin1String("roomName"))
        && (!body->value(QLatin1String("roomName")).isString() || name.size() > kMaxNameChars))
        return roomreply::invalid(QStringLiteral("room.invalid_name"),
                                  QStringLiteral("房间名称须为不超过 64 个字的文字"));
    // An unnamed room is the owner's room, named the way the client names one itself.
    const Account account = state->accounts.value(request.userId);
    const QString ownerName = account.nickname.isEmpty() ? account.username : account.nickname;
    if (name.isEmpty())
        name = (ownerName.isEmpty() ? QStringLiteral("未知") : ownerName) + QStringLiteral("的房间");
    const QString roomId = addRoom(request.userId, name, persistent, settings, QString());
    const Room *room = this->room(roomId);
    return ApiReply::json(200, QJsonObject{{"roomId", room->id},
                                           {"roomName", room->name},
                                           {"roomCode", room->settings.value(QLatin1String("roomCode"))}});
}

QJsonObject RoomsApi::defaultRoomSettings()
{
    return defaultSettings();
}

QString RoomsApi::addRoom(const QString &ownerId, const QString &name, bool persistent, QJsonObject settings,
                          const QString &channelId)
{
    Room room;
    room.id = QStringLiteral("r") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    room.name = name;
    room.ownerId = ownerId;
    room.channelId = channelId;
    room.persistent = persistent;
    room.createdAtMs = now();
    room.mediaRoom = state->world.nextMediaRoom++;
    settings.insert(QStringLiteral("roomCode"), newRoomCode());
    room.settings = settings;
    room.roles = defaultRoles();
    room.nextRoleId = 4;
    room.memberRoles.insert(ownerId, kOwnerRoleId);
    room.version = 1;
    state->world.rooms.insert(room.id, room);
    qCInfo(lcServiceRooms).noquote().nospace()
        << "room created room_id=" << room.id << " persistent=" << persistent << " owner=" << room.ownerId;
    gateway->publishToUser(
        ownerId, QStringLiteral("room.membership.changed"),
        QJsonObject{{"roomId", room.id}, {"userId", ownerId}, {"member", true}, {"reason", "created"}});
    emit roomCreated(room.id);
    emit stateChanged();
    return room.id;
}

ApiReply RoomsApi::myRooms(const ApiRequest &request)
{
    QStringList ids;
    QString active;
    for (const Room &room : std::as_const(state->world.rooms)) {
        if (room.isMember(request.userId) && !room.bans.contains(request.userId))
            ids << room.id;
        if (room.isPresent(request.userId))
            active = room.id;
    }
    ids.sort();
    return ApiReply::json(200, QJsonObject{{"rooms", stringArray(ids)}, {"activeRoomId", active}});
}

void RoomsApi::enterRoom(Room &room, const QString &userId, const QString &sessionId)
{
    if (Room *other = state->world.roomWithPresence(userId); other && other->id != room.id)
        leaveRoom(*other, userId, QStringLiteral("moved"));
    if (!room.isMember(userId)) {
        const RoomRole *role = room.joinDefaultRole();
        room.memberRoles.insert(userId, role ? role->roleId : 0);
        publishRoomEvent(room, QStringLiteral("room.member.role_changed"),
                         QJsonObject{{"roomId", room.id},
                                     {"userId", userId},
                                     {"roleId", double(room.memberRoles.value(userId))},
                                     {"changedAt", double(now())}});
        gateway->publishToUser(
            userId, QStringLiteral("room.membership.changed"),
            QJsonObject{{"roomId", room.id}, {"userId", userId}, {"member", true}, {"reason", "joined"}});
    }
    if (room.isPresent(userId)) {
        const QString old = room.presentSessions.value(userId);
        room.presentSessions.insert(userId, sessionId);
        if (room.disconnected.remove(userId)) {
            publishRoomEvent(room, QStringLiteral("room.presence.conn-state"),
                             QJsonObject{{"roomId", room.id}, {"userId", userId}, {"connState", "connected"}});
        }
        if (old != sessionId) {
            publishRoomEvent(room, QStringLiteral("room.member.superseded"),
                             QJsonObject{{"roomId", room.id},
                                         {"userId", userId},
                                         {"sessionId", sessionId},
                                         {"supersededAt", double(now())}});
        }
        return;
    }
    room.present.append(userId);
    room.presentSessions.insert(userId, sessionId);
    qCInfo(lcServiceRooms).noquote().nospace() << "presence joined room_id=" << room.id << " user_id=" << userId;
    publishRoomEvent(room, QStringLiteral("room.presence.joined"),
                     QJsonObject{{"roomId", room.id}, {"userId", userId}, {"joinedAt", double(now())}});
}

void RoomsApi::leaveRoom(Room &room, const QString &userId, const QString &reason)
{
    if (!room.isPresent(userId))
        return;
    room.present.removeAll(userId);
    room.presentSessions.remove(userId);
    room.disconnected.remove(userId);
    qCInfo(lcServiceRooms).noquote().nospace()
        << "presence left room_id=" << room.id << " user_id=" << userId << " reason=" << reason;
    publishRoomEvent(
        room, QStringLiteral("room.presence.left"),
        QJsonObject{{"roomId", room.id}, {"userId", userId}, {"leftAt", double(now())}, {"reason", reason}});
    if (!room.persistent && room.present.isEmpty())
        expireRoom(room.id, "empty");
}

void RoomsApi::removeMember(Room &room, const QString &userId)
{
    if (room.memberRoles.remove(userId) > 0) {
        gateway->publishToUser(
            userId, QStringLiteral("room.membership.changed"),
            QJsonObject{{"roomId", room.id}, {"userId", userId}, {"member", false}, {"reason", "removed"}});
    }
    room.overrides.remove(userId);
}

void RoomsApi::expireRoom(QString roomId, const char *why)
{
    Room *found = room(roomId);
    if (!found)
        return;
    Room gone = *found;
    if (!gone.parentRoomId.isEmpty()) {
        detach(*found, QStringLiteral("expired"), QString());
    }
    for (const QString &childId : gone.childRoomIds) {
        if (Room *child = room(childId))
            detach(*child, QStringLiteral("parent_gone"), QString());
    }
    gateway->publishToWatchers(QStringLiteral("room:") + roomId, QStringLiteral("room.expired"),
                               QJsonObject{{"roomId", roomId}}, gone.version + 1);
    for (const QString &memberId : gone.memberRoles.keys()) {
        gateway->publishToUser(
            memberId, QStringLiteral("room.membership.changed"),
            QJsonObject{{"roomId", roomId}, {"userId", memberId}, {"member", false}, {"reason", "room_gone"}});
    }
    state->world.rooms.remove(roomId);
    for (auto it = state->world.chatSubscriptions.begin(); it != state->world.chatSubscriptions.end(); ++it)
        it->removeAll(roomId);
    qCInfo(lcServiceRooms).noquote().nospace() << "room removed room_id=" << roomId << " reason=" << why;
    emit roomRemoved(roomId, gone.mediaRoom);
    if (!gone.channelId.isEmpty())
        emit channelRoomRemoved(gone.channelId, roomId);
    emit stateChanged();
}

// ---------------------------------------------------------------- settings

ApiReply RoomsApi::saveSettings(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    if (body->isEmpty())
        return roomreply::invalid(QStringLiteral("room.invalid_settings"), QStringLiteral("没有要修改的内容"));

    struct Change
    {
        QString key;
        QJsonValue value;
        QString event;
        QJsonObject data;
    };
    QList<Change> changes;
    const qint64 at = now();
    for (auto it = body->begin(); it != body->end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        QString permission;
        QString settingKey = key;
        QString event;
        QJsonObject data{{"roomId", target->id}, {"byUserId", request.userId}, {"changedAt", double(at)}};
        bool valid = false;
        if (key == QLatin1String("roomName")) {
            valid = value.isString() && !value.toString().trimmed().isEmpty()
                    && value.toString().trimmed().size() <= kMaxNameChars;
            permission = perm("change_name");
            event = QStringLiteral("room.name.changed");
            data.insert(QStringLiteral("newName"), value.toString().trimmed());
        } else if (key == QLatin1String("bitrate")) {
            valid = isWholeNumber(value) && kBitrates.contains(value.toInt());
            permission = perm("change_bitrate");
            event = QStringLiteral("room.bitrate.changed");
            data.insert(QStringLiteral("newValue"), value.toInt());
        } else if (key == QLatin1String("accessMode")) {
            valid = kAccessModes.contains(value.toString());
            permission = perm("change_access_mode");
            event = QStringLiteral("room.access_mode.changed");
            data.insert(QStringLiteral("newMode"), value.toString());
        } else if (key == QLatin1String("requireApproval") || key == QLatin1String("codeDirectEntry")) {
            valid = value.isBool();
            const bool approval = key == QLatin1String("requireApproval");
            permission = approval ? perm("toggle_require_approval") : perm("toggle_code_direct_entry");
            event = approval ? QStringLiteral("room.require_approval.changed")
                             : QStringLiteral("room.code_direct_entry.changed");
            data.insert(QStringLiteral("newValue"), value.toBool());
        } else if (key == QLatin1String("allowSubRoom") || key == QLatin1String("allowSubroom")) {
            valid = kSubroomPolicies.contains(value.toString());
            settingKey = QStringLiteral("allowSubRoom");
            permission = perm("toggle_allow_subroom_attach");
            event = QStringLiteral("room.allow_subroom.changed");
            data.insert(QStringLiteral("newValue"), value.toString());
        } else if (key.compare(QLatin1String("allowSubRoomBroadcast"), Qt::CaseInsensitive) == 0
                   || key.compare(QLatin1String("allowSubRoomChat"), Qt::CaseInsensitive) == 0) {
            valid = value.isBool();
            const bool broadcast = key.endsWith(QLatin1String("Broadcast"));
            settingKey = broadcast ? QStringLiteral("allowSubRoomBroadcast") : QStringLiteral("allowSubRoomChat");
            permission = broadcast ? perm("toggle_allow_subroom_broadcast") : perm("toggle_allow_subroom_chat");
            event = broadcast ? QStringLiteral("room.allow_subroom_broadcast.changed")
                              : QStringLiteral("room.allow_subroom_chat.changed");
            data.insert(QStringLiteral("newValue"), value.toBool());
        } else if (key == QLatin1String("pref")) {
            QStringList ids;
            QJsonArray members;
            valid = value.isArray() && value.toArray().size() <= 64;
            for (const QJsonValue &element : value.toArray()) {
                const QString id = element.toObject().value(QLatin1String("userId")).toString();
                if (id.isEmpty() || ids.contains(id) || !state->accounts.contains(id))
                    valid = false;
                ids << id;
                members.append(QJsonObject{{"userId", id}});
            }
            settingKey = QStringLiteral("prefMembers");
            permission = perm("manage_pref");
            event = QStringLiteral("room.pref.changed");
            data.insert(QStringLiteral("prefMembers"), members);
            if (valid)
                changes.append(Change{settingKey, stringArray(ids), event, data});
            if (!valid)
                return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                          QStringLiteral("偏好成员必须是存在的用户且每人只出现一次"));
            if (!state->world.roomGrants(*target, request.userId, permission))
                return roomreply::forbidden(QStringLiteral("你不能修改 \"%1\"").arg(key));
            continue;
        } else {
            return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                      QStringLiteral("未知的设置 \"%1\"").arg(key.left(64)));
        }
        if (!valid)
            return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                      QStringLiteral("\"%1\" 的值本房间不能接受").arg(key));
        if (!state->world.roomGrants(*target, request.userId, permission))
            return roomreply::forbidden(QStringLiteral("你不能修改 \"%1\"").arg(key));
        changes.append(Change{settingKey,
                              key == QLatin1String("roomName") ? QJsonValue(value.toString().trimmed()) : value, event,
                              data});
    }
    for (const Change &change : std::as_const(changes)) {
        if (change.key == QLatin1String("roomName"))
            target->name = change.value.toString();
        else
            target->settings.insert(change.key, change.value);
        publishRoomEvent(*target, change.event, change.data);
        if (change.key == QLatin1String("bitrate"))
            emit bitrateChanged(target->id);
    }
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::setRoomCode(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    JsonBody body(request.body);
    if (!body.ok())
        return body.errorReply();
    const QJsonObject object = QJsonDocument::fromJson(request.body).object();
    if (!object.value(QLatin1String("enabled")).isBool())
        return roomreply::invalid(QStringLiteral("request.field_missing"),
                                  QStringLiteral("\"enabled\" 须为 true 或 false"));
    if (!state->world.roomGrants(*target, request.userId, perm("manage_room_code")))
        return roomreply::forbidden(QStringLiteral("你不能管理房间码"));
    const bool enabled = object.value(QLatin1String("enabled")).toBool();
    target->settings.insert(QStringLiteral("roomCodeEnabled"), enabled);
    if (enabled)
        target->settings.insert(QStringLiteral("roomCode"), newRoomCode());
    publishRoomEvent(*target, QStringLiteral("room.room_code.changed"),
                     QJsonObject{{"roomId", target->id},
                                 {"enabled", enabled},
                                 {"byUserId", request.userId},
                                 {"changedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{{"enabled", enabled},
                                           {"roomCode", target->settings.value(QLatin1String("roomCode"))}});
}

ApiReply RoomsApi::removeRoom(const ApiRequest &request, const char *permission)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    if (!state->world.roomGrants(*target, request.userId, perm(permission)))
        return roomreply::forbidden(QStringLiteral("你不能删除这个房间"));
    const QString roomId = target->id;
    for (const QString &userId : QStringList(target->present)) {
        if (Room *still = room(roomId))
            leaveRoom(*still, userId, QStringLiteral("room_deleted"));
    }
    expireRoom(roomId, permission);
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::detachModule(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    if (!state->world.roomGrants(*target, request.userId, perm("manage_module")))
        return roomreply::forbidden(QStringLiteral("你不能管理模块"));
    const QString module = target->settings.value(QLatin1String("attachedModule")).toString();
    if (module.isEmpty())
        return roomreply::invalid(QStringLiteral("room.no_module"), QStringLiteral("没有挂接模块"));
    target->settings.insert(QStringLiteral("attachedModule"), QString());
    publishRoomEvent(*target, QStringLiteral("room.module.detached"),
                     QJsonObject{{"roomId", target->id},
                                 {"moduleId", module},
                                 {"byUserId", request.userId},
                                 {"detachedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
}

} // namespace localservice
