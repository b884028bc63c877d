#include "rooms_api.h"

#include "role_order.h"
#include "room_api_support.h"
#include "service_state.h"

#include <algorithm>

// The roles of a room: giving a member a role, and creating, changing, deleting,
// reordering and emptying roles.
namespace localservice {

using namespace roomapi;

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

bool RoomsApi::actsAsOwner(const Room &room, const QString &userId) const
{
    return userId == room.ownerId || state->world.cascades(room, userId);
}

bool RoomsApi::ranksAbove(const Room &room, const QString &userId, const QList<qint64> &roleIds) const
{
    return actsAsOwner(room, userId) || roleRanksAbove(room, userId, roleIds);
}

bool RoomsApi::mayManageRoles(const Room &room, const QString &userId, const QList<qint64> &roleIds) const
{
    return state->world.roomGrants(room, userId, perm("manage_roles")) && ranksAbove(room, userId, roleIds);
}

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
        return roomreply::invalid(QStringLiteral("request.field_missing"), QStringLiteral("\"roleId\" 须为整数"));
    const RoomRole *role = target->role(qint64(roleValue.toDouble()));
    if (!role)
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("没有这个身份"));
    if (!target->isMember(userId))
        return roomreply::invalid(QStringLiteral("room.not_member"), QStringLiteral("该用户不是成员"));
    // The owner's role is the owner's alone.
    if (!state->world.roomGrants(*target, request.userId, perm("assign_roles"))
        || !state->world.roomOutranks(*target, request.userId, userId) || role->roleId == kOwnerRoleId
        || !ranksAbove(*target, request.userId, {role->roleId}))
        return roomreply::forbidden(QStringLiteral("你不能给该成员分配这个身份"));
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
        return roomreply::invalid(QStringLiteral("room.invalid_role"), QStringLiteral("身份需要名称和有效的权限"));
    if (!state->world.roomGrants(*target, request.userId, perm("manage_roles")))
        return roomreply::forbidden(QStringLiteral("你不能管理身份"));
    if (target->roles.size() >= kMaxRoles)
        return roomreply::invalid(QStringLiteral("room.too_many_roles"), QStringLiteral("本房间的身份数量已达上限"));
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
        return roomreply::invalid(QStringLiteral("room.invalid_role"), QStringLiteral("身份需要名称和有效的权限"));
    if (!target->role(roleId))
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("没有这个身份"));
    if (!mayManageRoles(*target, request.userId, {roleId}))
        return roomreply::forbidden(QStringLiteral("你不能修改这个身份"));
    // Nobody hands out a permission they do not hold themselves.
    for (const QString &key : *permissions) {
        if (!state->world.roomGrants(*target, request.userId, key))
            return roomreply::forbidden(QStringLiteral("不能授予自己没有的权限"));
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
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("没有这个身份"));
    if (!mayManageRoles(*target, request.userId, {roleId}))
        return roomreply::forbidden(QStringLiteral("你不能删除这个身份"));
    if (role->isJoinDefault || roleId == kOwnerRoleId || target->memberRoles.values().contains(roleId))
        return roomreply::invalid(QStringLiteral("room.role_in_use"), QStringLiteral("该身份仍有成员或是默认身份"));
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

// "roleIds" names the roles to rank anew, lowest first, leaving out the owner's role
// and those the caller may not edit; the others keep their places.
ApiReply RoomsApi::reorderRoles(const ApiRequest &request)
{
    Room *target = room(request.captures.at(0));
    if (!target)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = objectBody(request);
    if (!body)
        return malformed();
    const std::optional<QList<qint64>> ids = wholeNumberList(body->value(QLatin1String("roleIds")));
    const std::optional<QList<RoomRole>> reordered =
        ids ? reorderedRoles(target->roles, *ids, kOwnerRoleId) : std::nullopt;
    if (!reordered)
        return roomreply::invalid(QStringLiteral("room.invalid_order"),
                                  QStringLiteral("身份列表只能包含房主以外的身份, 且每个只出现一次"));
    if (!mayManageRoles(*target, request.userId, *ids))
        return roomreply::forbidden(QStringLiteral("你不能调整这些身份的顺序"));
    target->roles = *reordered;
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
    if (!fromRole || !toRole || fromRole == toRole || fromRole->roleId == kOwnerRoleId
        || toRole->roleId == kOwnerRoleId)
        return roomreply::invalid(QStringLiteral("room.role_not_found"), QStringLiteral("需要两个不同且存在的身份"));
    if (!mayManageRoles(*target, request.userId, {fromRole->roleId, toRole->roleId}))
        return roomreply::forbidden(QStringLiteral("你不能在这些身份之间改派成员"));
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

} // namespace localservice
