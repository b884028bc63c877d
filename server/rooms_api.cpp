#include "rooms_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "service_log.h"
#include "service_state.h"
#include "token_issuer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QTimer>
#include <QUuid>

#include <algorithm>

namespace localservice {

namespace roomreply {

ApiReply notFound()
{
    return ApiReply::error(404, QStringLiteral("room.not_found"), QStringLiteral("no such room"));
}

ApiReply forbidden(const QString &message)
{
    return ApiReply::error(403, QStringLiteral("room.forbidden"), message);
}

ApiReply banned()
{
    return ApiReply::error(403, QStringLiteral("room.banned"), QStringLiteral("you are banned from this room"));
}

ApiReply notInRoom()
{
    return ApiReply::error(403, QStringLiteral("room.not_in_room"), QStringLiteral("you are not in this room"));
}

ApiReply invalid(const QString &code, const QString &message)
{
    return ApiReply::error(400, code, message);
}

} // namespace roomreply

namespace {

constexpr qint64 kJoinRequestTtlMs = 10 * 60 * 1000;
constexpr qint64 kFollowCodeTtlMs = 24 * 3600 * 1000;
constexpr int kMaxNameChars = 64;
constexpr int kMaxRoles = 32;

QString perm(const char *name)
{
    return QStringLiteral("core.room.") + QLatin1String(name);
}

// A JSON object body, or nothing when the body is not one.
std::optional<QJsonObject> objectBody(const ApiRequest &request)
{
    if (request.body.trimmed().isEmpty())
        return QJsonObject{};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

ApiReply malformed()
{
    return roomreply::invalid(QStringLiteral("request.malformed_json"),
                              QStringLiteral("the body must be one JSON object"));
}

bool isWholeNumber(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == double(qint64(value.toDouble()));
}

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
        RoomRole{1, QStringLiteral("owner"), 100, allRoomPermissions(), false},
        RoomRole{2, QStringLiteral("moderator"), 50, moderator, false},
        RoomRole{3, QStringLiteral("member"), 10, member, true},
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
        *problem = QStringLiteral("\"%1\" has a value this room cannot take").arg(key);
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
    gateway->publishToWatchersIf(QStringLiteral("room:") + room.id + QStringLiteral(":private"), event, data,
                                 room.version, [target, permission](const QString &userId) {
                                     return permission.isEmpty() || target->grants(userId, permission);
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
    if (!room.grants(userId, perm("manage_room_code")) && !room.isPresent(userId))
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
    if (room.grants(userId, perm("manage_follow_code")) && !room.followCode.isEmpty()) {
        snapshot.insert(QStringLiteral("followCode"), room.followCode);
        snapshot.insert(QStringLiteral("followCodeExpiresAtMs"), double(room.followCodeExpiresAtMs));
    }
    if (room.grants(userId, perm("approve_requests"))) {
        QJsonArray requests;
        for (const JoinRequest &q : room.joinRequests)
            requests.append(QJsonObject{{"requestId", q.requestId},
                                        {"fromUserId", q.fromUserId},
                                        {"createdAt", double(q.createdAt)},
                                        {"expiresAtMs", double(q.expiresAtMs)}});
        snapshot.insert(QStringLiteral("pendingJoinRequests"), requests);
    }
    if (room.grants(userId, perm("approve_subroom_attach"))) {
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

QJsonArray RoomsApi::rolesEventJson(const Room &room) const
{
    QJsonArray roles;
    for (const RoomRole &role : room.roles) {
        QJsonObject permissions;
        for (const QString &key : role.permissions)
            permissions.insert(key, true);
        roles.append(QJsonObject{{"id", double(role.roleId)},
                                 {"name", role.name},
                                 {"level", role.level},
                                 {"permissions", permissions},
                                 {"isJoinDefault", role.isJoinDefault}});
    }
    return roles;
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
                                  QStringLiteral("the room name must be text of at most 64 characters"));
    const Account account = state->accounts.value(request.userId);
    if (name.isEmpty())
        name = (account.nickname.isEmpty() ? account.username : account.nickname) + QStringLiteral("'s room");
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
    room.memberRoles.insert(ownerId, 1);
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
    if (!gone.channelId.isEmpty()) {
        if (auto channel = state->world.channels.find(gone.channelId); channel != state->world.channels.end())
            channel->roomIds.removeAll(roomId);
    }
    state->world.rooms.remove(roomId);
    for (auto it = state->world.chatSubscriptions.begin(); it != state->world.chatSubscriptions.end(); ++it)
        it->removeAll(roomId);
    qCInfo(lcServiceRooms).noquote().nospace() << "room removed room_id=" << roomId << " reason=" << why;
    emit roomRemoved(roomId, gone.mediaRoom);
    emit stateChanged();
}

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
    const bool bypass = target->grants(request.userId, perm("bypass_admission"));
    if (!member && !bypass) {
        const QString mode = target->settings.value(QLatin1String("accessMode")).toString();
        const QStringList prefMembers = stringList(target->settings.value(QLatin1String("prefMembers")));
        if (mode == QLatin1String("invite_only"))
            return roomreply::forbidden(QStringLiteral("this room admits invited members only"));
        if (mode == QLatin1String("pref_only") && !prefMembers.contains(request.userId))
            return roomreply::forbidden(QStringLiteral("this room admits its preference members only"));
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
    if (!target->isPresent(request.userId) && request.userId != target->ownerId)
        return roomreply::notInRoom();
    if (!target->grants(request.userId, perm("kick_members")) || !target->outranks(request.userId, userId))
        return roomreply::forbidden(QStringLiteral("you may not remove this member"));
    if (!target->isMember(userId) && !target->isPresent(userId))
        return roomreply::invalid(QStringLiteral("room.not_member"), QStringLiteral("that user is not in this room"));
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
    if (!target->grants(request.userId, perm("ban_members")) || !target->outranks(request.userId, userId))
        return roomreply::forbidden(QStringLiteral("you may not ban this user"));
    if (!state->accounts.contains(userId))
        return roomreply::invalid(QStringLiteral("room.unknown_user"), QStringLiteral("no such user"));
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
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("no such path"));
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    qint64 expireAtMs = -1;
    if (on && body->contains(QLatin1String("expireAtMs"))) {
        const QJsonValue value = body->value(QLatin1String("expireAtMs"));
        if (!isWholeNumber(value) || (value.toDouble() != -1 && value.toDouble() <= double(now())))
            return roomreply::invalid(QStringLiteral("room.invalid_expiry"),
                                      QStringLiteral("expireAtMs must be a future time or -1"));
        expireAtMs = qint64(value.toDouble());
    }
    const QString permission =
        variant == QLatin1String("voice") ? perm("mute_voice_members") : perm("mute_text_members");
    if (!target->grants(request.userId, permission) || !target->outranks(request.userId, userId))
        return roomreply::forbidden(QStringLiteral("you may not mute this member"));
    if (!target->isMember(userId) && !target->isPresent(userId))
        return roomreply::invalid(QStringLiteral("room.not_member"), QStringLiteral("that user is not in this room"));
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

// ---------------------------------------------------------------- roles

ApiReply RoomsApi::assignRole(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString userId = request.captures.at(1);
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QJsonValue roleValue = body->value(QLatin1String("roleId"));
    if (!isWholeNumber(roleValue))
        return roomreply::invalid(QStringLiteral("request.field_missing"),
                                  QStringLiteral("\"roleId\" must be a whole number"));
    const RoomRole *role = target->role(qint64(roleValue.toDouble()));
    if (!role)
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("no such role"));
    if (!target->isMember(userId))
        return roomreply::invalid(QStringLiteral("room.not_member"), QStringLiteral("that user is not a member"));
    const RoomRole *own = target->roleOf(request.userId);
    const bool owner = request.userId == target->ownerId;
    if (!target->grants(request.userId, perm("assign_roles")) || !target->outranks(request.userId, userId)
        || (!owner && (!own || role->level >= own->level)))
        return roomreply::forbidden(QStringLiteral("you may not give this role to this member"));
    target->memberRoles.insert(userId, role->roleId);
    publishRoomEvent(*target, QStringLiteral("room.member.role_changed"),
                     QJsonObject{{"roomId", target->id},
                                 {"userId", userId},
                                 {"roleId", double(role->roleId)},
                                 {"changedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
}

namespace {

// "permissions": {key: true, ...} with known keys only.
std::optional<QStringList> permissionKeys(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QStringList known = allRoomPermissions();
    QStringList keys;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()) || !it.value().isBool())
            return std::nullopt;
        if (it.value().toBool())
            keys << it.key();
    }
    return keys;
}

} // namespace

ApiReply RoomsApi::createRole(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QString name = body->value(QLatin1String("name")).toString().trimmed();
    const std::optional<QStringList> permissions = permissionKeys(body->value(QLatin1String("permissions")));
    if (name.isEmpty() || name.size() > kMaxNameChars || !permissions)
        return roomreply::invalid(QStringLiteral("room.invalid_role"),
                                  QStringLiteral("a role needs a name and known permissions"));
    if (!target->grants(request.userId, perm("manage_roles")))
        return roomreply::forbidden(QStringLiteral("you may not manage roles"));
    if (target->roles.size() >= kMaxRoles)
        return roomreply::invalid(QStringLiteral("room.too_many_roles"),
                                  QStringLiteral("this room has as many roles as it may"));
    const RoomRole *own = target->roleOf(request.userId);
    // A new role ranks just below the creator's, so it can be managed by them.
    const int level = std::max(1, (own ? own->level : 1) - 1);
    target->roles.append(RoomRole{target->nextRoleId++, name, level, *permissions, false});
    publishRoomEvent(*target, QStringLiteral("room.role.created"),
                     QJsonObject{{"roomId", target->id},
                                 {"roles", rolesEventJson(*target)},
                                 {"byUserId", request.userId},
                                 {"createdAt", double(now())}});
    return ApiReply::json(200, QJsonObject{{"roleId", double(target->roles.last().roleId)}});
}

ApiReply RoomsApi::updateRole(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    bool ok = false;
    const qint64 roleId = request.captures.at(1).toLongLong(&ok);
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QString name = body->value(QLatin1String("name")).toString().trimmed();
    const std::optional<QStringList> permissions = permissionKeys(body->value(QLatin1String("permissions")));
    if (!ok || name.isEmpty() || name.size() > kMaxNameChars || !permissions)
        return roomreply::invalid(QStringLiteral("room.invalid_role"),
                                  QStringLiteral("a role needs a name and known permissions"));
    if (!target->role(roleId))
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("no such role"));
    const RoomRole *own = target->roleOf(request.userId);
    const bool owner = request.userId == target->ownerId;
    if (!target->grants(request.userId, perm("manage_roles"))
        || (!owner && (!own || target->role(roleId)->level >= own->level)))
        return roomreply::forbidden(QStringLiteral("you may not change this role"));
    // Nobody hands out a permission they do not hold themselves.
    for (const QString &key : *permissions) {
        if (!target->grants(request.userId, key))
            return roomreply::forbidden(QStringLiteral("you may not grant a permission you do not hold"));
    }
    RoomRole *role = nullptr;
    for (RoomRole &r : target->roles) {
        if (r.roleId == roleId)
            role = &r;
    }
    role->name = name;
    role->permissions = *permissions;
    QJsonObject permissionObject;
    for (const QString &key : role->permissions)
        permissionObject.insert(key, true);
    publishRoomEvent(*target, QStringLiteral("room.role.updated"),
                     QJsonObject{{"roomId", target->id},
                                 {"role", QJsonObject{{"id", double(role->roleId)},
                                                      {"name", role->name},
                                                      {"level", role->level},
                                                      {"permissions", permissionObject}}},
                                 {"byUserId", request.userId},
                                 {"updatedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::deleteRole(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    bool ok = false;
    const qint64 roleId = request.captures.at(1).toLongLong(&ok);
    const RoomRole *role = ok ? target->role(roleId) : nullptr;
    if (!role)
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("no such role"));
    const RoomRole *own = target->roleOf(request.userId);
    const bool owner = request.userId == target->ownerId;
    if (!target->grants(request.userId, perm("manage_roles")) || (!owner && (!own || role->level >= own->level)))
        return roomreply::forbidden(QStringLiteral("you may not delete this role"));
    if (role->isJoinDefault || roleId == 1 || target->memberRoles.values().contains(roleId))
        return roomreply::invalid(QStringLiteral("room.role_in_use"),
                                  QStringLiteral("the role is held or is the join default"));
    target->roles.erase(std::remove_if(target->roles.begin(), target->roles.end(),
                                       [roleId](const RoomRole &r) { return r.roleId == roleId; }),
                        target->roles.end());
    publishRoomEvent(*target, QStringLiteral("room.role.deleted"),
                     QJsonObject{{"roomId", target->id},
                                 {"roleId", double(roleId)},
                                 {"roles", rolesEventJson(*target)},
                                 {"byUserId", request.userId},
                                 {"deletedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::reorderRoles(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QJsonArray ids = body->value(QLatin1String("roleIds")).toArray();
    QList<RoomRole> reordered;
    for (const QJsonValue &id : ids) {
        const RoomRole *role = isWholeNumber(id) ? target->role(qint64(id.toDouble())) : nullptr;
        if (!role || std::any_of(reordered.cbegin(), reordered.cend(), [role](const RoomRole &r) {
                return r.roleId == role->roleId;
            }))
            return roomreply::invalid(QStringLiteral("room.invalid_order"),
                                      QStringLiteral("roleIds must name every role once"));
        reordered.append(*role);
    }
    if (reordered.size() != target->roles.size())
        return roomreply::invalid(QStringLiteral("room.invalid_order"),
                                  QStringLiteral("roleIds must name every role once"));
    if (request.userId != target->ownerId)
        return roomreply::forbidden(QStringLiteral("only the owner reorders roles"));
    // The first role ranks highest; the owner's role keeps the top.
    for (int i = 0; i < reordered.size(); ++i)
        reordered[i].level = reordered[i].roleId == 1 ? 100 : std::max(1, 90 - i);
    target->roles = reordered;
    publishRoomEvent(*target, QStringLiteral("room.roles.reordered"),
                     QJsonObject{{"roomId", target->id},
                                 {"roles", rolesEventJson(*target)},
                                 {"byUserId", request.userId},
                                 {"reorderedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::reassignRoles(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QJsonValue from = body->value(QLatin1String("fromRoleId"));
    const QJsonValue to = body->value(QLatin1String("toRoleId"));
    const RoomRole *fromRole = isWholeNumber(from) ? target->role(qint64(from.toDouble())) : nullptr;
    const RoomRole *toRole = isWholeNumber(to) ? target->role(qint64(to.toDouble())) : nullptr;
    if (!fromRole || !toRole || fromRole == toRole || fromRole->roleId == 1)
        return roomreply::invalid(QStringLiteral("room.role_not_found"),
                                  QStringLiteral("two different existing roles are needed"));
    const RoomRole *own = target->roleOf(request.userId);
    const bool owner = request.userId == target->ownerId;
    if (!target->grants(request.userId, perm("manage_roles"))
        || (!owner && (!own || fromRole->level >= own->level || toRole->level >= own->level)))
        return roomreply::forbidden(QStringLiteral("you may not move members between these roles"));
    const qint64 fromId = fromRole->roleId;
    const qint64 toId = toRole->roleId;
    for (auto it = target->memberRoles.begin(); it != target->memberRoles.end(); ++it) {
        if (it.value() == fromId && it.key() != target->ownerId)
            it.value() = toId;
    }
    publishRoomEvent(*target, QStringLiteral("room.members.role_reassigned"),
                     QJsonObject{{"roomId", target->id},
                                 {"fromRoleId", double(fromId)},
                                 {"toRoleId", double(toId)},
                                 {"byUserId", request.userId},
                                 {"reassignedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
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
        return roomreply::invalid(QStringLiteral("room.invalid_settings"), QStringLiteral("nothing to change"));

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
                                          QStringLiteral("\"pref\" must list known users once each"));
            if (!target->grants(request.userId, permission))
                return roomreply::forbidden(QStringLiteral("you may not change \"%1\"").arg(key));
            continue;
        } else {
            return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                      QStringLiteral("unknown setting \"%1\"").arg(key.left(64)));
        }
        if (!valid)
            return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                      QStringLiteral("\"%1\" has a value this room cannot take").arg(key));
        if (!target->grants(request.userId, permission))
            return roomreply::forbidden(QStringLiteral("you may not change \"%1\"").arg(key));
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
                                  QStringLiteral("\"enabled\" must be true or false"));
    if (!target->grants(request.userId, perm("manage_room_code")))
        return roomreply::forbidden(QStringLiteral("you may not manage the room code"));
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
    if (!target->grants(request.userId, perm(permission)))
        return roomreply::forbidden(QStringLiteral("you may not remove this room"));
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
    if (!target->grants(request.userId, perm("manage_module")))
        return roomreply::forbidden(QStringLiteral("you may not manage the module"));
    const QString module = target->settings.value(QLatin1String("attachedModule")).toString();
    if (module.isEmpty())
        return roomreply::invalid(QStringLiteral("room.no_module"), QStringLiteral("no module is attached"));
    target->settings.insert(QStringLiteral("attachedModule"), QString());
    publishRoomEvent(*target, QStringLiteral("room.module.detached"),
                     QJsonObject{{"roomId", target->id},
                                 {"moduleId", module},
                                 {"byUserId", request.userId},
                                 {"detachedAt", double(now())}});
    return ApiReply::json(200, QJsonObject{});
}

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
                    return refuse("match.channel_banned", QStringLiteral("you are banned from this channel"));
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
        return ApiReply::error(404, QStringLiteral("match.invalid_code"),
                               QStringLiteral("no room or channel has this code"));
    }
    if (target->bans.contains(request.userId))
        return refuse("match.join_rejected", QStringLiteral("you are banned from this room"));
    const bool direct = roomCode && target->settings.value(QLatin1String("codeDirectEntry")).toBool();
    const bool needsApproval = target->settings.value(QLatin1String("requireApproval")).toBool() && !direct
                               && !target->isMember(request.userId)
                               && !target->grants(request.userId, perm("bypass_admission"));
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
        return roomreply::invalid(QStringLiteral("room.already_in_room"),
                                  QStringLiteral("you are already in this room"));
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
            return roomreply::forbidden(QStringLiteral("this is not your request"));
        target->joinRequests.removeAt(i);
        const QJsonObject data{{"requestId", q.requestId},
                               {"roomId", target->id},
                               {"fromUserId", q.fromUserId},
                               {"cancelledAt", double(now())}};
        publishPrivateEvent(*target, QStringLiteral("room.request.cancelled"), data, perm("approve_requests"));
        gateway->publishToUser(q.fromUserId, QStringLiteral("room.request.cancelled"), data);
        return ApiReply::json(200, QJsonObject{});
    }
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("no such request"));
}

ApiReply RoomsApi::decideJoinRequest(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const QString requestId = request.captures.at(1);
    const QString action = request.captures.at(2);
    if (action != QLatin1String("approve") && action != QLatin1String("reject"))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("no such path"));
    if (!target->isPresent(request.userId) || !target->grants(request.userId, perm("approve_requests")))
        return roomreply::forbidden(QStringLiteral("you may not decide join requests"));
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
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("no such request"));
}

ApiReply RoomsApi::setFollowCode(const ApiRequest &request, bool on)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    if (!target->grants(request.userId, perm("manage_follow_code")))
        return roomreply::forbidden(QStringLiteral("you may not manage the follow code"));
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
    if (!child->grants(request.userId, perm("manage_attach_to_parent_room")))
        return roomreply::forbidden(QStringLiteral("you may not attach this room"));
    if (!child->parentRoomId.isEmpty() || !child->childRoomIds.isEmpty() || !parent->parentRoomId.isEmpty())
        return roomreply::invalid(QStringLiteral("room.hierarchy"), QStringLiteral("rooms nest one level deep only"));
    if (parent->bans.contains(request.userId))
        return roomreply::banned();
    const QString policy = parent->settings.value(QLatin1String("allowSubRoom")).toString();
    if (policy == QLatin1String("reject"))
        return roomreply::forbidden(QStringLiteral("this room takes no sub-rooms"));
    if (policy == QLatin1String("allow") || parent->grants(request.userId, perm("approve_subroom_attach"))) {
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
        return ApiReply::error(404, QStringLiteral("match.invalid_code"), QStringLiteral("no room has this code"));
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
        return roomreply::invalid(QStringLiteral("room.hierarchy"), QStringLiteral("this room has no parent"));
    if (!child->grants(request.userId, perm("manage_attach_to_parent_room")))
        return roomreply::forbidden(QStringLiteral("you may not detach this room"));
    detach(*child, QStringLiteral("child_left"), request.userId);
    return ApiReply::json(200, QJsonObject{});
}

ApiReply RoomsApi::detachChild(const ApiRequest &request)
{
    Room *parent = room(request.captures.at(0));
    Room *child = room(request.captures.at(1));
    if (!parent || !child || child->parentRoomId != parent->id)
        return roomreply::notFound();
    if (!parent->grants(request.userId, perm("approve_subroom_attach")))
        return roomreply::forbidden(QStringLiteral("you may not detach sub-rooms"));
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
                                  QStringLiteral("give \"allowBroadcast\" or \"allowChat\""));
    const bool broadcast = body->contains(QLatin1String("allowBroadcast"));
    const QJsonValue value = body->begin().value();
    if (!value.isBool() && !value.isNull())
        return roomreply::invalid(QStringLiteral("room.invalid_settings"),
                                  QStringLiteral("the override is true, false or null"));
    if (!parent->grants(request.userId, broadcast ? perm("override_child_broadcast") : perm("override_child_chat")))
        return roomreply::forbidden(QStringLiteral("you may not override this sub-room"));
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
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("no such path"));
    if (!parent->grants(request.userId, perm("approve_subroom_attach")))
        return roomreply::forbidden(QStringLiteral("you may not decide sub-room requests"));
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
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("no such request"));
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
            return roomreply::forbidden(QStringLiteral("this is not your request"));
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
    return ApiReply::error(404, QStringLiteral("room.request_not_found"), QStringLiteral("no such request"));
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
