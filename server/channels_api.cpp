#include "channels_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "role_order.h"
#include "rooms_api.h"
#include "service_log.h"
#include "service_state.h"
#include "token_issuer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QUuid>

namespace localservice {

namespace {

constexpr int kMaxNameChars = 64;
constexpr int kMaxDescriptionChars = 500;
constexpr int kMaxRoles = 32;
constexpr int kMaxRooms = 100;

QString perm(const char *name)
{
    return QStringLiteral("core.channel.") + QLatin1String(name);
}

ApiReply notFound()
{
    return ApiReply::error(404, QStringLiteral("channel.not_found"), QStringLiteral("没有这个频道"));
}

ApiReply forbidden(const QString &message)
{
    return ApiReply::error(403, QStringLiteral("channel.forbidden"), message);
}

ApiReply invalid(const QString &code, const QString &message)
{
    return ApiReply::error(400, code, message);
}

// Whether the user owns the channel, or holds a role that ranks above each of the roles.
bool ranksAbove(const Channel &c, const QString &userId, const QList<qint64> &roleIds)
{
    return userId == c.ownerId || roleRanksAbove(c, userId, roleIds);
}

// Whether the user's role may manage roles, and the user ranks above each of these.
bool mayManageRoles(const Channel &c, const QString &userId, const QList<qint64> &roleIds)
{
    return c.grants(userId, perm("manage_roles")) && ranksAbove(c, userId, roleIds);
}

// A permission list of known channel keys. "*" stands for every permission: the owner's
// role holds it, and clients send a role's list back as they hold it.
std::optional<QStringList> permissionList(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QStringList known = allChannelPermissions() << QStringLiteral("*");
    QStringList keys;
    for (const QJsonValue &item : value.toArray()) {
        if (!known.contains(item.toString()) || keys.contains(item.toString()))
            return std::nullopt;
        keys << item.toString();
    }
    return keys;
}

} // namespace

ChannelsApi::ChannelsApi(ServiceState *state_, GatewayHub *gateway_, RoomsApi *rooms_, QObject *parent)
    : QObject(parent)
    , state(state_)
    , gateway(gateway_)
    , rooms(rooms_)
{
    connect(rooms, &RoomsApi::channelRoomRemoved, this, &ChannelsApi::onChannelRoomRemoved);
}

void ChannelsApi::onChannelRoomRemoved(const QString &channelId, const QString &roomId)
{
    Channel *c = channel(channelId);
    if (!c || !c->roomIds.contains(roomId))
        return;
    c->roomIds.removeAll(roomId);
    qCInfo(lcServiceChannels).noquote().nospace()
        << "channel room removed channel_id=" << channelId << " room_id=" << roomId;
    publish(*c, QStringLiteral("channel.room.deleted"), QJsonObject{{"channelId", channelId}, {"roomId", roomId}});
}

qint64 ChannelsApi::now() const
{
    return rooms->now();
}

void ChannelsApi::addRoutes(ApiRouter &router)
{
    using Access = ApiRouter::Access;
    const auto on = [this, &router](const char *method, const char *path,
                                    ApiReply (ChannelsApi::*handler)(const ApiRequest &)) {
        router.add(method, QString::fromLatin1(path), Access::SignedIn,
                   [this, handler](const ApiRequest &request) { return (this->*handler)(request); });
    };
    on("GET", "/v1/channels", &ChannelsApi::list);
    on("POST", "/v1/channels", &ChannelsApi::create);
    on("PATCH", "/v1/channels/{}", &ChannelsApi::update);
    on("DELETE", "/v1/channels/{}", &ChannelsApi::dissolve);
    on("DELETE", "/v1/channels/{}/members/{}", &ChannelsApi::removeMember); // "me" leaves
    on("PUT", "/v1/channels/{}/members/{}/role", &ChannelsApi::setMemberRole);
    on("POST", "/v1/channels/{}/roles", &ChannelsApi::createRole);
    on("PATCH", "/v1/channels/{}/roles/{}", &ChannelsApi::updateRole);
    on("DELETE", "/v1/channels/{}/roles/{}", &ChannelsApi::deleteRole);
    on("POST", "/v1/channels/{}/roles/{}/reassign", &ChannelsApi::reassignRole);
    on("PUT", "/v1/channels/{}/role-order", &ChannelsApi::reorderRoles);
    on("PUT", "/v1/channels/{}/room-order", &ChannelsApi::reorderRooms);
    on("POST", "/v1/channels/{}/rooms", &ChannelsApi::createRoom);
    router.add("PUT", QStringLiteral("/v1/channels/{}/bans/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setBan(request, true); });
    router.add("DELETE", QStringLiteral("/v1/channels/{}/bans/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setBan(request, false); });
}

Channel *ChannelsApi::channel(const QString &id)
{
    const auto found = state->world.channels.find(id);
    return found == state->world.channels.end() ? nullptr : &found.value();
}

Channel *ChannelsApi::memberChannel(const ApiRequest &request, ApiReply *refusal)
{
    Channel *found = channel(request.captures.at(0));
    if (!found) {
        *refusal = notFound();
        return nullptr;
    }
    if (found->bans.contains(request.userId)) {
        *refusal = ApiReply::error(403, QStringLiteral("channel.banned"), QStringLiteral("你已被本频道封禁"));
        return nullptr;
    }
    if (!found->memberRoles.contains(request.userId)) {
        *refusal = ApiReply::error(403, QStringLiteral("channel.not_member"), QStringLiteral("你不在本频道"));
        return nullptr;
    }
    return found;
}

void ChannelsApi::publish(Channel &channel, const QString &event, const QJsonObject &data, const QString &aboutUserId)
{
    ++channel.version;
    gateway->publishToWatchersIf(QStringLiteral("channel:") + channel.id, event, data, channel.version,
                                 [aboutUserId](const QString &userId) { return userId != aboutUserId; });
    if (!aboutUserId.isEmpty())
        gateway->publishToUser(aboutUserId, event, data, channel.version);
    emit stateChanged();
}

QJsonArray ChannelsApi::rolesJson(const Channel &channel) const
{
    QJsonArray roles;
    for (const ChannelRole &role : channel.roles)
        roles.append(QJsonObject{{"roleId", double(role.roleId)},
                                 {"name", role.name},
                                 {"level", role.level},
                                 {"permissions", stringArray(role.permissions)}});
    return roles;
}

std::optional<QJsonObject> ChannelsApi::snapshot(const QString &userId, const QString &channelId) const
{
    const auto found = state->world.channels.constFind(channelId);
    if (found == state->world.channels.cend() || !found->memberRoles.contains(userId) || found->bans.contains(userId))
        return std::nullopt;
    const Channel &c = *found;
    QJsonArray members;
    for (auto it = c.memberRoles.begin(); it != c.memberRoles.end(); ++it)
        members.append(QJsonObject{{"userId", it.key()},
                                   {"roleId", double(it.value())},
                                   {"joinedAt", double(c.joinedAt.value(it.key()))}});
    QJsonArray bans;
    for (auto it = c.bans.begin(); it != c.bans.end(); ++it) {
        QJsonObject ban = it.value();
        ban.insert(QStringLiteral("userId"), it.key());
        bans.append(ban);
    }
    const bool seesCode = c.grants(userId, perm("manage_code")) || c.codeEnabled;
    return QJsonObject{{"channelId", c.id},
                       {"name", c.name},
                       {"description", c.description},
                       {"code", seesCode ? c.inviteCode : QString()},
                       {"codeEnabled", c.codeEnabled},
                       {"createdAt", double(c.createdAtMs)},
                       {"defaultRoleId", double(c.defaultRoleId)},
                       {"version", double(c.version)},
                       {"ownerId", c.ownerId},
                       {"members", members},
                       {"roles", rolesJson(c)},
                       {"roomIds", stringArray(c.roomIds)},
                       {"bans", bans}};
}

ApiReply ChannelsApi::list(const ApiRequest &request)
{
    QStringList ids;
    for (const Channel &c : std::as_const(state->world.channels)) {
        if (c.memberRoles.contains(request.userId) && !c.bans.contains(request.userId))
            ids << c.id;
    }
    return ApiReply::json(200, QJsonObject{{"channels", stringArray(ids)}});
}

ApiReply ChannelsApi::create(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString name = body.requiredString("name", kMaxNameChars).trimmed();
    if (!body.ok())
        return body.errorReply();
    if (name.isEmpty())
        return invalid(QStringLiteral("channel.invalid_name"), QStringLiteral("频道需要名称"));
    Channel c;
    c.id = QStringLiteral("c") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    c.name = name;
    c.ownerId = request.userId;
    c.createdAtMs = now();
    c.version = 1;
    do {
        c.inviteCode = TokenIssuer::randomDigits(8);
    } while (std::any_of(state->world.channels.cbegin(), state->world.channels.cend(),
                         [&c](const Channel &other) { return other.inviteCode == c.inviteCode; }));
    c.roles = {
        ChannelRole{kOwnerRoleId, QStringLiteral("频道主"), 100, {QStringLiteral("*")}},
        ChannelRole{2,
                    QStringLiteral("管理员"),
                    50,
                    {perm("remove_members"), perm("ban_members"), perm("assign_roles"), perm("create_attached_room"),
                     perm("reorder_rooms"), perm("manage_code"), perm("change_description")}},
        ChannelRole{3, QStringLiteral("成员"), 10, {}},
    };
    c.nextRoleId = 4;
    c.defaultRoleId = 3;
    c.memberRoles.insert(request.userId, kOwnerRoleId);
    c.joinedAt.insert(request.userId, now());
    state->world.channels.insert(c.id, c);
    qCInfo(lcServiceChannels).noquote().nospace() << "channel created channel_id=" << c.id << " owner=" << c.ownerId;
    gateway->publishToUser(request.userId, QStringLiteral("channel.member.joined"),
                           QJsonObject{{"channelId", c.id},
                                       {"userId", request.userId},
                                       {"roleId", double(kOwnerRoleId)},
                                       {"joinedAt", double(now())}},
                           c.version);
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{{"channelId", c.id}, {"code", c.inviteCode}});
}

ApiReply ChannelsApi::update(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QJsonValue name = body->value(QLatin1String("name"));
    const QJsonValue description = body->value(QLatin1String("description"));
    const QJsonValue codeEnabled = body->value(QLatin1String("codeEnabled"));
    if (body->isEmpty()
        || (!name.isUndefined()
            && (!name.isString() || name.toString().trimmed().isEmpty()
                || name.toString().trimmed().size() > kMaxNameChars))
        || (!description.isUndefined()
            && (!description.isString() || description.toString().size() > kMaxDescriptionChars))
        || (!codeEnabled.isUndefined() && !codeEnabled.isBool()))
        return invalid(QStringLiteral("channel.invalid_settings"), QStringLiteral("名称、简介或频道码开关的值无效"));
    for (auto it = body->begin(); it != body->end(); ++it) {
        if (it.key() != QLatin1String("name") && it.key() != QLatin1String("description")
            && it.key() != QLatin1String("codeEnabled"))
            return invalid(QStringLiteral("channel.invalid_settings"),
                           QStringLiteral("未知的设置 \"%1\"").arg(it.key().left(64)));
    }
    if ((!name.isUndefined() && !c->grants(request.userId, perm("change_name")))
        || (!description.isUndefined() && !c->grants(request.userId, perm("change_description")))
        || (!codeEnabled.isUndefined() && !c->grants(request.userId, perm("manage_code"))))
        return forbidden(QStringLiteral("你不能修改这些设置"));
    if (!name.isUndefined())
        c->name = name.toString().trimmed();
    if (!description.isUndefined())
        c->description = description.toString();
    if (!codeEnabled.isUndefined())
        c->codeEnabled = codeEnabled.toBool();
    publish(*c, QStringLiteral("channel.updated"),
            QJsonObject{{"channelId", c->id},
                        {"name", c->name},
                        {"description", c->description},
                        {"code", c->inviteCode},
                        {"codeEnabled", c->codeEnabled}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::dissolve(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    if (!c->grants(request.userId, perm("delete_channel")))
        return forbidden(QStringLiteral("你不能解散这个频道"));
    const Channel gone = *c;
    ++c->version;
    gateway->publishToWatchers(QStringLiteral("channel:") + gone.id, QStringLiteral("channel.deleted"),
                               QJsonObject{{"channelId", gone.id}}, c->version);
    for (const QString &memberId : gone.memberRoles.keys())
        gateway->publishToUser(memberId, QStringLiteral("channel.deleted"), QJsonObject{{"channelId", gone.id}},
                               c->version);
    state->world.channels.remove(gone.id);
    for (const QString &roomId : gone.roomIds) {
        if (Room *room = rooms->room(roomId))
            room->channelId.clear();
    }
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::removeMember(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const bool self = request.captures.at(1) == QLatin1String("me");
    const QString userId = self ? request.userId : request.captures.at(1);
    if (self) {
        if (userId == c->ownerId)
            return invalid(QStringLiteral("channel.owner_cannot_leave"),
                           QStringLiteral("频道主不能直接退出, 请先转让频道主或解散频道"));
    } else {
        if (!c->memberRoles.contains(userId))
            return invalid(QStringLiteral("channel.not_member"), QStringLiteral("该用户不在本频道"));
        if (!c->grants(request.userId, perm("remove_members")) || !c->outranks(request.userId, userId))
            return forbidden(QStringLiteral("你不能移出该成员"));
    }
    c->memberRoles.remove(userId);
    c->joinedAt.remove(userId);
    publish(*c, self ? QStringLiteral("channel.member.left") : QStringLiteral("channel.member.removed"),
            self ? QJsonObject{{"channelId", c->id}, {"userId", userId}}
                 : QJsonObject{{"channelId", c->id}, {"userId", userId}, {"byUserId", request.userId}},
            userId);
    gateway->dropUserFromTargets(userId, QString(), {QStringLiteral("channel:") + c->id});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::setMemberRole(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const QString userId = request.captures.at(1);
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QJsonValue roleValue = body->value(QLatin1String("roleId"));
    const ChannelRole *role = isWholeNumber(roleValue) ? c->role(qint64(roleValue.toDouble())) : nullptr;
    if (!role)
        return invalid(QStringLiteral("channel.role_not_found"), QStringLiteral("没有这个身份"));
    if (!c->memberRoles.contains(userId))
        return invalid(QStringLiteral("channel.not_member"), QStringLiteral("该用户不在本频道"));
    // The owner's role is the owner's alone.
    if (!c->grants(request.userId, perm("assign_roles")) || !c->outranks(request.userId, userId)
        || role->roleId == kOwnerRoleId || !ranksAbove(*c, request.userId, {role->roleId}))
        return forbidden(QStringLiteral("你不能给该成员分配这个身份"));
    c->memberRoles.insert(userId, role->roleId);
    publish(*c, QStringLiteral("channel.member.role_changed"),
            QJsonObject{{"channelId", c->id},
                        {"userId", userId},
                        {"roleId", double(role->roleId)},
                        {"byUserId", request.userId}},
            userId);
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::createRole(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const QString name = body->value(QLatin1String("name")).toString().trimmed();
    const std::optional<QStringList> permissions = permissionList(body->value(QLatin1String("permissions")));
    if (name.isEmpty() || name.size() > kMaxNameChars || !permissions)
        return invalid(QStringLiteral("channel.invalid_role"), QStringLiteral("身份需要名称和有效的权限"));
    if (!c->grants(request.userId, perm("manage_roles")))
        return forbidden(QStringLiteral("你不能管理身份"));
    for (const QString &key : *permissions) {
        if (!c->grants(request.userId, key))
            return forbidden(QStringLiteral("不能授予自己没有的权限"));
    }
    if (c->roles.size() >= kMaxRoles)
        return invalid(QStringLiteral("channel.too_many_roles"), QStringLiteral("本频道的身份数量已达上限"));
    const ChannelRole *own = c->roleOf(request.userId);
    c->roles.append(ChannelRole{c->nextRoleId++, name, std::max(1, (own ? own->level : 2) - 1), *permissions});
    const qint64 roleId = c->roles.last().roleId;
    publish(*c, QStringLiteral("channel.role.created"), QJsonObject{{"channelId", c->id}, {"roles", rolesJson(*c)}});
    return ApiReply::json(200, QJsonObject{{"roleId", double(roleId)}});
}

ApiReply ChannelsApi::updateRole(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const qint64 roleId = request.captures.at(1).toLongLong();
    const QString name = body->value(QLatin1String("name")).toString().trimmed();
    const std::optional<QStringList> permissions = permissionList(body->value(QLatin1String("permissions")));
    if (name.isEmpty() || name.size() > kMaxNameChars || !permissions)
        return invalid(QStringLiteral("channel.invalid_role"), QStringLiteral("身份需要名称和有效的权限"));
    const ChannelRole *role = c->role(roleId);
    if (!role)
        return invalid(QStringLiteral("channel.role_not_found"), QStringLiteral("没有这个身份"));
    if (!mayManageRoles(*c, request.userId, {roleId}))
        return forbidden(QStringLiteral("你不能修改这个身份"));
    for (const QString &key : *permissions) {
        if (!c->grants(request.userId, key))
            return forbidden(QStringLiteral("不能授予自己没有的权限"));
    }
    for (ChannelRole &r : c->roles) {
        if (r.roleId == roleId) {
            r.name = name;
            r.permissions = *permissions;
            publish(*c, QStringLiteral("channel.role.updated"),
                    QJsonObject{{"channelId", c->id},
                                {"role", QJsonObject{{"roleId", double(r.roleId)},
                                                     {"name", r.name},
                                                     {"level", r.level},
                                                     {"permissions", stringArray(r.permissions)}}}});
        }
    }
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::deleteRole(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const qint64 roleId = request.captures.at(1).toLongLong();
    const ChannelRole *role = c->role(roleId);
    if (!role)
        return invalid(QStringLiteral("channel.role_not_found"), QStringLiteral("没有这个身份"));
    if (!mayManageRoles(*c, request.userId, {roleId}))
        return forbidden(QStringLiteral("你不能删除这个身份"));
    if (roleId == kOwnerRoleId || roleId == c->defaultRoleId || c->memberRoles.values().contains(roleId))
        return invalid(QStringLiteral("channel.role_in_use"), QStringLiteral("该身份仍有成员或是默认身份"));
    c->roles.erase(std::remove_if(c->roles.begin(), c->roles.end(),
                                  [roleId](const ChannelRole &r) { return r.roleId == roleId; }),
                   c->roles.end());
    publish(*c, QStringLiteral("channel.role.deleted"),
            QJsonObject{{"channelId", c->id}, {"deletedRoleId", double(roleId)}, {"roles", rolesJson(*c)}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::reassignRole(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const ChannelRole *from = c->role(request.captures.at(1).toLongLong());
    const QJsonValue toValue = body->value(QLatin1String("toRoleId"));
    const ChannelRole *to = isWholeNumber(toValue) ? c->role(qint64(toValue.toDouble())) : nullptr;
    if (!from || !to || from == to || from->roleId == kOwnerRoleId || to->roleId == kOwnerRoleId)
        return invalid(QStringLiteral("channel.role_not_found"), QStringLiteral("需要两个不同且存在的身份"));
    if (!mayManageRoles(*c, request.userId, {from->roleId, to->roleId}))
        return forbidden(QStringLiteral("你不能在这些身份之间改派成员"));
    const qint64 fromId = from->roleId;
    const qint64 toId = to->roleId;
    for (auto it = c->memberRoles.begin(); it != c->memberRoles.end(); ++it) {
        if (it.value() == fromId)
            it.value() = toId;
    }
    publish(*c, QStringLiteral("channel.members.role_reassigned"),
            QJsonObject{{"channelId", c->id},
                        {"fromRoleId", double(fromId)},
                        {"toRoleId", double(toId)},
                        {"byUserId", request.userId}});
    return ApiReply::json(200, QJsonObject{});
}

// "roleIds" names the roles to rank anew, lowest first, leaving out the owner's role
// and those the caller may not edit; the others keep their places.
ApiReply ChannelsApi::reorderRoles(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const std::optional<QList<qint64>> ids = wholeNumberList(body->value(QLatin1String("roleIds")));
    const std::optional<QList<ChannelRole>> reordered =
        ids ? reorderedRoles(c->roles, *ids, kOwnerRoleId) : std::nullopt;
    if (!reordered)
        return invalid(QStringLiteral("channel.invalid_order"),
                       QStringLiteral("身份列表只能包含房主以外的身份, 且每个只出现一次"));
    if (!mayManageRoles(*c, request.userId, *ids))
        return forbidden(QStringLiteral("你不能调整这些身份的顺序"));
    c->roles = *reordered;
    publish(*c, QStringLiteral("channel.roles.reordered"), QJsonObject{{"channelId", c->id}, {"roles", rolesJson(*c)}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::reorderRooms(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    QStringList ids = stringList(body->value(QLatin1String("roomIds")));
    QStringList sortedIds = ids;
    QStringList current = c->roomIds;
    sortedIds.sort();
    current.sort();
    if (!body->value(QLatin1String("roomIds")).isArray() || sortedIds != current || ids.removeDuplicates() != 0)
        return invalid(QStringLiteral("channel.invalid_order"), QStringLiteral("房间列表必须包含每个房间且只出现一次"));
    if (!c->grants(request.userId, perm("reorder_rooms")))
        return forbidden(QStringLiteral("你不能调整房间顺序"));
    c->roomIds = stringList(body->value(QLatin1String("roomIds")));
    publish(*c, QStringLiteral("channel.rooms.reordered"),
            QJsonObject{{"channelId", c->id}, {"roomIds", stringArray(c->roomIds)}});
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChannelsApi::createRoom(const ApiRequest &request)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    if (!c->grants(request.userId, perm("create_attached_room")))
        return forbidden(QStringLiteral("你不能在本频道创建房间"));
    if (c->roomIds.size() >= kMaxRooms)
        return invalid(QStringLiteral("channel.too_many_rooms"), QStringLiteral("本频道的房间数量已达上限"));
    const QString name = c->name + QStringLiteral(" %1").arg(c->roomIds.size() + 1);
    const QString channelId = c->id;
    const QString roomId = rooms->addRoom(request.userId, name, true, RoomsApi::defaultRoomSettings(), channelId);
    Channel *still = channel(channelId);
    still->roomIds.append(roomId);
    publish(*still, QStringLiteral("channel.room.created"), QJsonObject{{"channelId", channelId}, {"roomId", roomId}});
    return ApiReply::json(200, QJsonObject{{"roomId", roomId}, {"name", name}});
}

ApiReply ChannelsApi::setBan(const ApiRequest &request, bool on)
{
    ApiReply refusal;
    Channel *c = memberChannel(request, &refusal);
    if (!c)
        return refusal;
    const QString userId = request.captures.at(1);
    if (!state->accounts.contains(userId))
        return invalid(QStringLiteral("channel.unknown_user"), QStringLiteral("没有这个用户"));
    if (!c->grants(request.userId, perm("ban_members")) || !c->outranks(request.userId, userId))
        return forbidden(QStringLiteral("你不能封禁该用户"));
    if (on == c->bans.contains(userId))
        return ApiReply::json(200, QJsonObject{});
    if (on) {
        c->bans.insert(userId, QJsonObject{{"bannedBy", request.userId}, {"reason", ""}, {"bannedAt", double(now())}});
        c->memberRoles.remove(userId);
        c->joinedAt.remove(userId);
        publish(*c, QStringLiteral("channel.member.banned"),
                QJsonObject{{"channelId", c->id}, {"userId", userId}, {"byUserId", request.userId}}, userId);
        gateway->dropUserFromTargets(userId, QString(), {QStringLiteral("channel:") + c->id});
    } else {
        c->bans.remove(userId);
        publish(*c, QStringLiteral("channel.member.unbanned"),
                QJsonObject{{"channelId", c->id}, {"userId", userId}, {"byUserId", request.userId}}, userId);
    }
    return ApiReply::json(200, QJsonObject{});
}

} // namespace localservice
