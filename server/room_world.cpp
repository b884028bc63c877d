#include "room_world.h"

#include <QJsonValue>
#include <QVariant>

namespace localservice {

namespace {

// Format 1 gave the owner's role the id 1; format 2 gives it kOwnerRoleId.
constexpr int kFormat = 2;
constexpr qint64 kFormerOwnerRoleId = 1;

// A role id of a format 1 state in today's terms.
qint64 ownerRoleOfFormat1(qint64 roleId)
{
    return roleId == kFormerOwnerRoleId ? kOwnerRoleId : roleId;
}

qint64 int64Of(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toVariant().toLongLong();
}

QString textOf(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toString();
}

bool flagOf(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toBool();
}

QJsonObject roleJson(const RoomRole &r)
{
    return QJsonObject{{"roleId", double(r.roleId)},
                       {"name", r.name},
                       {"level", r.level},
                       {"permissions", stringArray(r.permissions)},
                       {"isJoinDefault", r.isJoinDefault}};
}

RoomRole roleFrom(const QJsonObject &o)
{
    RoomRole r;
    r.roleId = int64Of(o, "roleId");
    r.name = textOf(o, "name");
    r.level = o.value(QLatin1String("level")).toInt();
    r.permissions = stringList(o.value(QLatin1String("permissions")));
    r.isJoinDefault = flagOf(o, "isJoinDefault");
    return r;
}

QJsonObject int64Map(const QHash<QString, qint64> &map)
{
    QJsonObject o;
    for (auto it = map.begin(); it != map.end(); ++it)
        o.insert(it.key(), double(it.value()));
    return o;
}

QHash<QString, qint64> int64MapFrom(const QJsonObject &o)
{
    QHash<QString, qint64> map;
    for (auto it = o.begin(); it != o.end(); ++it)
        map.insert(it.key(), it.value().toVariant().toLongLong());
    return map;
}

QJsonObject messageJson(const ChatMessage &m)
{
    return QJsonObject{
        {"messageId", m.messageId},   {"userId", m.userId},       {"content", m.content},
        {"title", m.title},           {"tagId", double(m.tagId)}, {"seq", double(m.seq)},
        {"sentAt", double(m.sentAt)}, {"hidden", m.hidden},       {"attachmentIds", stringArray(m.attachmentIds)}};
}

ChatMessage messageFrom(const QJsonObject &o)
{
    ChatMessage m;
    m.messageId = textOf(o, "messageId");
    m.userId = textOf(o, "userId");
    m.content = textOf(o, "content");
    m.title = textOf(o, "title");
    m.tagId = int64Of(o, "tagId");
    m.seq = int64Of(o, "seq");
    m.sentAt = int64Of(o, "sentAt");
    m.hidden = flagOf(o, "hidden");
    m.attachmentIds = stringList(o.value(QLatin1String("attachmentIds")));
    return m;
}

QJsonObject roomJson(const Room &r)
{
    QJsonArray roles;
    for (const RoomRole &role : r.roles)
        roles.append(roleJson(role));
    QJsonObject overrides;
    for (auto it = r.overrides.begin(); it != r.overrides.end(); ++it) {
        QJsonObject keys;
        for (auto k = it->begin(); k != it->end(); ++k)
            keys.insert(k.key(), k.value());
        overrides.insert(it.key(), keys);
    }
    QJsonObject childOverrides;
    for (auto it = r.childOverrides.begin(); it != r.childOverrides.end(); ++it)
        childOverrides.insert(it.key(), it.value());
    QJsonArray mutes;
    for (const RoomMute &m : r.mutes)
        mutes.append(QJsonObject{{"userId", m.userId}, {"variant", m.variant}, {"expireAtMs", double(m.expireAtMs)}});
    QJsonArray requests;
    for (const JoinRequest &q : r.joinRequests)
        requests.append(QJsonObject{{"requestId", q.requestId},
                                    {"fromUserId", q.fromUserId},
                                    {"createdAt", double(q.createdAt)},
                                    {"expiresAtMs", double(q.expiresAtMs)}});
    QJsonArray subrooms;
    for (const SubroomRequest &q : r.subroomRequests)
        subrooms.append(QJsonObject{{"requestId", q.requestId},
                                    {"childRoomId", q.childRoomId},
                                    {"fromUserId", q.fromUserId},
                                    {"createdAt", double(q.createdAt)},
                                    {"expiresAtMs", double(q.expiresAtMs)}});
    QJsonArray messages;
    for (const ChatMessage &m : r.messages)
        messages.append(messageJson(m));
    QJsonArray tags;
    for (const ChatTag &t : r.tags)
        tags.append(QJsonObject{{"tagId", double(t.tagId)},
                                {"name", t.name},
                                {"createdBy", t.createdBy},
                                {"firstMessageId", t.firstMessageId},
                                {"archived", t.archived}});
    QJsonObject cursors;
    for (auto it = r.readCursors.begin(); it != r.readCursors.end(); ++it) {
        QJsonObject perTag;
        for (auto t = it->begin(); t != it->end(); ++t)
            perTag.insert(QString::number(t.key()), double(t.value()));
        cursors.insert(it.key(), perTag);
    }
    return QJsonObject{
        {"id", r.id},
        {"name", r.name},
        {"ownerId", r.ownerId},
        {"channelId", r.channelId},
        {"parentRoomId", r.parentRoomId},
        {"childRoomIds", stringArray(r.childRoomIds)},
        {"childOverrides", childOverrides},
        {"persistent", r.persistent},
        {"version", double(r.version)},
        {"createdAtMs", double(r.createdAtMs)},
        {"mediaRoom", double(r.mediaRoom)},
        {"settings", r.settings},
        {"roles", roles},
        {"nextRoleId", double(r.nextRoleId)},
        {"memberRoles", int64Map(r.memberRoles)},
        {"overrides", overrides},
        {"bans", stringArray(QStringList(r.bans.begin(), r.bans.end()))},
        {"mutes", mutes},
        {"followCode", r.followCode},
        {"followCodeExpiresAtMs", double(r.followCodeExpiresAtMs)},
        {"joinRequests", requests},
        {"subroomRequests", subrooms},
        {"messages", messages},
        {"nextSeq", double(r.nextSeq)},
        {"tags", tags},
        {"nextTagId", double(r.nextTagId)},
        {"tagsEnabled", r.tagsEnabled},
        {"readCursors", cursors},
    };
}

Room roomFrom(const QJsonObject &o)
{
    Room r;
    r.id = textOf(o, "id");
    r.name = textOf(o, "name");
    r.ownerId = textOf(o, "ownerId");
    r.channelId = textOf(o, "channelId");
    r.parentRoomId = textOf(o, "parentRoomId");
    r.childRoomIds = stringList(o.value(QLatin1String("childRoomIds")));
    const QJsonObject childOverrides = o.value(QLatin1String("childOverrides")).toObject();
    for (auto it = childOverrides.begin(); it != childOverrides.end(); ++it)
        r.childOverrides.insert(it.key(), it.value().toObject());
    r.persistent = flagOf(o, "persistent");
    r.version = int64Of(o, "version");
    r.createdAtMs = int64Of(o, "createdAtMs");
    r.mediaRoom = int64Of(o, "mediaRoom");
    r.settings = o.value(QLatin1String("settings")).toObject();
    for (const QJsonValue &v : o.value(QLatin1String("roles")).toArray())
        r.roles.append(roleFrom(v.toObject()));
    r.nextRoleId = std::max<qint64>(1, int64Of(o, "nextRoleId"));
    r.memberRoles = int64MapFrom(o.value(QLatin1String("memberRoles")).toObject());
    const QJsonObject overrides = o.value(QLatin1String("overrides")).toObject();
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
        const QJsonObject keys = it.value().toObject();
        for (auto k = keys.begin(); k != keys.end(); ++k)
            r.overrides[it.key()].insert(k.key(), k.value().toBool());
    }
    for (const QString &ban : stringList(o.value(QLatin1String("bans"))))
        r.bans.insert(ban);
    for (const QJsonValue &v : o.value(QLatin1String("mutes")).toArray()) {
        const QJsonObject m = v.toObject();
        r.mutes.append(RoomMute{textOf(m, "userId"), textOf(m, "variant"), int64Of(m, "expireAtMs")});
    }
    r.followCode = textOf(o, "followCode");
    r.followCodeExpiresAtMs = int64Of(o, "followCodeExpiresAtMs");
    for (const QJsonValue &v : o.value(QLatin1String("joinRequests")).toArray()) {
        const QJsonObject q = v.toObject();
        r.joinRequests.append(JoinRequest{textOf(q, "requestId"), textOf(q, "fromUserId"), int64Of(q, "createdAt"),
                                          int64Of(q, "expiresAtMs")});
    }
    for (const QJsonValue &v : o.value(QLatin1String("subroomRequests")).toArray()) {
        const QJsonObject q = v.toObject();
        r.subroomRequests.append(SubroomRequest{textOf(q, "requestId"), textOf(q, "childRoomId"),
                                                textOf(q, "fromUserId"), int64Of(q, "createdAt"),
                                                int64Of(q, "expiresAtMs")});
    }
    for (const QJsonValue &v : o.value(QLatin1String("messages")).toArray())
        r.messages.append(messageFrom(v.toObject()));
    r.nextSeq = std::max<qint64>(1, int64Of(o, "nextSeq"));
    for (const QJsonValue &v : o.value(QLatin1String("tags")).toArray()) {
        const QJsonObject t = v.toObject();
        r.tags.append(ChatTag{int64Of(t, "tagId"), textOf(t, "name"), textOf(t, "createdBy"),
                              textOf(t, "firstMessageId"), flagOf(t, "archived")});
    }
    r.nextTagId = std::max<qint64>(1, int64Of(o, "nextTagId"));
    r.tagsEnabled = flagOf(o, "tagsEnabled");
    const QJsonObject cursors = o.value(QLatin1String("readCursors")).toObject();
    for (auto it = cursors.begin(); it != cursors.end(); ++it) {
        const QJsonObject perTag = it.value().toObject();
        for (auto t = perTag.begin(); t != perTag.end(); ++t)
            r.readCursors[it.key()].insert(t.key().toLongLong(), t.value().toVariant().toLongLong());
    }
    return r;
}

QJsonObject channelJson(const Channel &c)
{
    QJsonArray roles;
    for (const ChannelRole &role : c.roles)
        roles.append(QJsonObject{{"roleId", double(role.roleId)},
                                 {"name", role.name},
                                 {"level", role.level},
                                 {"permissions", stringArray(role.permissions)}});
    QJsonObject bans;
    for (auto it = c.bans.begin(); it != c.bans.end(); ++it)
        bans.insert(it.key(), it.value());
    return QJsonObject{
        {"id", c.id},
        {"name", c.name},
        {"ownerId", c.ownerId},
        {"inviteCode", c.inviteCode},
        {"version", double(c.version)},
        {"createdAtMs", double(c.createdAtMs)},
        {"settings", c.settings},
        {"roles", roles},
        {"nextRoleId", double(c.nextRoleId)},
        {"memberRoles", int64Map(c.memberRoles)},
        {"joinedAt", int64Map(c.joinedAt)},
        {"bans", bans},
        {"roomIds", stringArray(c.roomIds)},
        {"description", c.description},
        {"codeEnabled", c.codeEnabled},
        {"defaultRoleId", double(c.defaultRoleId)},
    };
}

Channel channelFrom(const QJsonObject &o)
{
    Channel c;
    c.id = textOf(o, "id");
    c.name = textOf(o, "name");
    c.ownerId = textOf(o, "ownerId");
    c.inviteCode = textOf(o, "inviteCode");
    c.version = int64Of(o, "version");
    c.createdAtMs = int64Of(o, "createdAtMs");
    c.settings = o.value(QLatin1String("settings")).toObject();
    for (const QJsonValue &v : o.value(QLatin1String("roles")).toArray()) {
        const QJsonObject r = v.toObject();
        c.roles.append(ChannelRole{int64Of(r, "roleId"), textOf(r, "name"), r.value(QLatin1String("level")).toInt(),
                                   stringList(r.value(QLatin1String("permissions")))});
    }
    c.nextRoleId = std::max<qint64>(1, int64Of(o, "nextRoleId"));
    c.memberRoles = int64MapFrom(o.value(QLatin1String("memberRoles")).toObject());
    c.joinedAt = int64MapFrom(o.value(QLatin1String("joinedAt")).toObject());
    const QJsonObject bans = o.value(QLatin1String("bans")).toObject();
    for (auto it = bans.begin(); it != bans.end(); ++it)
        c.bans.insert(it.key(), it.value().toObject());
    c.roomIds = stringList(o.value(QLatin1String("roomIds")));
    c.description = textOf(o, "description");
    c.codeEnabled = flagOf(o, "codeEnabled");
    c.defaultRoleId = int64Of(o, "defaultRoleId");
    return c;
}

} // namespace

QJsonArray stringArray(const QStringList &list)
{
    QJsonArray array;
    for (const QString &item : list)
        array.append(item);
    return array;
}

QStringList stringList(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list << item.toString();
    return list;
}

QStringList allRoomPermissions()
{
    return {QStringLiteral("core.room.approve_requests"),
            QStringLiteral("core.room.approve_subroom_attach"),
            QStringLiteral("core.room.assign_roles"),
            QStringLiteral("core.room.ban_members"),
            QStringLiteral("core.room.bypass_admission"),
            QStringLiteral("core.room.change_access_mode"),
            QStringLiteral("core.room.change_bitrate"),
            QStringLiteral("core.room.change_name"),
            QStringLiteral("core.room.config_tag_system"),
            QStringLiteral("core.room.create_tag"),
            QStringLiteral("core.room.delete"),
            QStringLiteral("core.room.dissolve"),
            QStringLiteral("core.room.edit_other_tags"),
            QStringLiteral("core.room.edit_own_tag"),
            QStringLiteral("core.room.hide_message"),
            QStringLiteral("core.room.invite_members"),
            QStringLiteral("core.room.kick_members"),
            QStringLiteral("core.room.manage_attach_to_parent_room"),
            QStringLiteral("core.room.manage_follow_code"),
            QStringLiteral("core.room.manage_module"),
            QStringLiteral("core.room.manage_pref"),
            QStringLiteral("core.room.manage_roles"),
            QStringLiteral("core.room.manage_room_code"),
            QStringLiteral("core.room.mute_text_members"),
            QStringLiteral("core.room.mute_voice_members"),
            QStringLiteral("core.room.override_child_broadcast"),
            QStringLiteral("core.room.override_child_chat"),
            QStringLiteral("core.room.retag_other_messages"),
            QStringLiteral("core.room.retag_own_message"),
            QStringLiteral("core.room.send_message"),
            QStringLiteral("core.room.speak"),
            QStringLiteral("core.room.toggle_allow_subroom_attach"),
            QStringLiteral("core.room.toggle_allow_subroom_broadcast"),
            QStringLiteral("core.room.toggle_allow_subroom_chat"),
            QStringLiteral("core.room.toggle_code_direct_entry"),
            QStringLiteral("core.room.toggle_require_approval"),
            QStringLiteral("core.room.transfer_ownership")};
}

QStringList allChannelPermissions()
{
    return {QStringLiteral("core.channel.assign_roles"),         QStringLiteral("core.channel.ban_members"),
            QStringLiteral("core.channel.cascade_rooms"),        QStringLiteral("core.channel.change_description"),
            QStringLiteral("core.channel.change_name"),          QStringLiteral("core.channel.create_attached_room"),
            QStringLiteral("core.channel.delete_attached_room"), QStringLiteral("core.channel.delete_channel"),
            QStringLiteral("core.channel.manage_code"),          QStringLiteral("core.channel.manage_roles"),
            QStringLiteral("core.channel.remove_members"),       QStringLiteral("core.channel.reorder_rooms"),
            QStringLiteral("core.channel.transfer_ownership")};
}

const RoomRole *Room::role(qint64 roleId) const
{
    for (const RoomRole &r : roles) {
        if (r.roleId == roleId)
            return &r;
    }
    return nullptr;
}

const RoomRole *Room::joinDefaultRole() const
{
    for (const RoomRole &r : roles) {
        if (r.isJoinDefault)
            return &r;
    }
    return nullptr;
}

const RoomRole *Room::roleOf(const QString &userId) const
{
    const auto found = memberRoles.constFind(userId);
    return found != memberRoles.cend() ? role(found.value()) : joinDefaultRole();
}

bool Room::grants(const QString &userId, const QString &permission) const
{
    if (userId.isEmpty())
        return false;
    if (userId == ownerId)
        return true;
    const auto override = overrides.constFind(userId);
    if (override != overrides.cend() && override->contains(permission))
        return override->value(permission);
    const RoomRole *held = roleOf(userId);
    return held && held->permissions.contains(permission);
}

bool Room::outranks(const QString &actorId, const QString &targetId) const
{
    if (actorId == targetId || targetId == ownerId)
        return false;
    if (actorId == ownerId)
        return true;
    const RoomRole *actor = roleOf(actorId);
    const RoomRole *target = roleOf(targetId);
    return actor && (!target || actor->level > target->level);
}

bool Room::isMuted(const QString &userId, const QString &variant, qint64 nowMs) const
{
    for (const RoomMute &m : mutes) {
        if (m.userId == userId && m.variant == variant && (m.expireAtMs < 0 || m.expireAtMs > nowMs))
            return true;
    }
    return false;
}

const ChatMessage *Room::message(const QString &messageId) const
{
    for (const ChatMessage &m : messages) {
        if (m.messageId == messageId)
            return &m;
    }
    return nullptr;
}

ChatMessage *Room::message(const QString &messageId)
{
    for (ChatMessage &m : messages) {
        if (m.messageId == messageId)
            return &m;
    }
    return nullptr;
}

ChatTag *Room::tag(qint64 tagId)
{
    for (ChatTag &t : tags) {
        if (t.tagId == tagId)
            return &t;
    }
    return nullptr;
}

const ChannelRole *Channel::role(qint64 roleId) const
{
    for (const ChannelRole &r : roles) {
        if (r.roleId == roleId)
            return &r;
    }
    return nullptr;
}

const ChannelRole *Channel::roleOf(const QString &userId) const
{
    const auto found = memberRoles.constFind(userId);
    return found == memberRoles.cend() ? nullptr : role(found.value());
}

bool Channel::grants(const QString &userId, const QString &permission) const
{
    if (userId == ownerId)
        return true;
    const ChannelRole *held = roleOf(userId);
    return held && (held->permissions.contains(permission) || held->permissions.contains(QStringLiteral("*")));
}

bool Channel::outranks(const QString &actorId, const QString &targetId) const
{
    if (actorId == targetId || targetId == ownerId)
        return false;
    if (actorId == ownerId)
        return true;
    const ChannelRole *actor = roleOf(actorId);
    const ChannelRole *target = roleOf(targetId);
    return actor && (!target || actor->level > target->level);
}

bool RoomWorld::cascades(const Room &room, const QString &userId) const
{
    if (room.channelId.isEmpty() || userId.isEmpty())
        return false;
    const auto channel = channels.constFind(room.channelId);
    return channel != channels.cend() && !channel->bans.contains(userId) && channel->memberRoles.contains(userId)
           && channel->grants(userId, QStringLiteral("core.channel.cascade_rooms"));
}

bool RoomWorld::roomGrants(const Room &room, const QString &userId, const QString &permission) const
{
    return room.grants(userId, permission) || cascades(room, userId);
}

bool RoomWorld::roomOutranks(const Room &room, const QString &actorId, const QString &targetId) const
{
    if (actorId == targetId)
        return false;
    return cascades(room, actorId) || room.outranks(actorId, targetId);
}

Room *RoomWorld::roomByCode(const QString &code)
{
    for (Room &room : rooms) {
        if (!code.isEmpty() && room.settings.value(QLatin1String("roomCode")).toString() == code)
            return &room;
    }
    return nullptr;
}

Room *RoomWorld::roomByFollowCode(const QString &code, qint64 nowMs)
{
    for (Room &room : rooms) {
        if (!code.isEmpty() && room.followCode == code
            && (room.followCodeExpiresAtMs == 0 || room.followCodeExpiresAtMs > nowMs))
            return &room;
    }
    return nullptr;
}

Room *RoomWorld::roomWithPresence(const QString &userId)
{
    for (Room &room : rooms) {
        if (room.present.contains(userId))
            return &room;
    }
    return nullptr;
}

QJsonObject RoomWorld::toJson() const
{
    QJsonArray roomArray;
    for (const Room &r : rooms)
        roomArray.append(roomJson(r));
    QJsonArray channelArray;
    for (const Channel &c : channels)
        channelArray.append(channelJson(c));
    QJsonArray attachmentArray;
    for (const ChatAttachment &a : attachments) {
        attachmentArray.append(QJsonObject{{"attachmentId", a.attachmentId},
                                           {"roomId", a.roomId},
                                           {"ownerId", a.ownerId},
                                           {"fileName", a.fileName},
                                           {"contentType", a.contentType},
                                           {"sizeBytes", double(a.sizeBytes)},
                                           {"width", a.width},
                                           {"height", a.height},
                                           {"uploadDigest", QString::fromLatin1(a.uploadDigest.toHex())},
                                           {"stored", a.stored},
                                           {"used", a.used}});
    }
    QJsonObject subscriptions;
    for (auto it = chatSubscriptions.begin(); it != chatSubscriptions.end(); ++it)
        subscriptions.insert(it.key(), stringArray(it.value()));
    QJsonObject prefs;
    for (auto it = preferences.begin(); it != preferences.end(); ++it)
        prefs.insert(it.key(), it.value());
    return QJsonObject{{"format", kFormat},
                       {"rooms", roomArray},
                       {"channels", channelArray},
                       {"attachments", attachmentArray},
                       {"chatSubscriptions", subscriptions},
                       {"preferences", prefs},
                       {"nextMediaRoom", double(nextMediaRoom)}};
}

std::optional<RoomWorld> RoomWorld::fromJson(const QJsonObject &json, QString *error)
{
    RoomWorld world;
    if (json.isEmpty())
        return world;
    const int format = json.value(QLatin1String("format")).toInt();
    if (format != kFormat && format != 1) {
        *error = QStringLiteral("the rooms section has an unknown format");
        return std::nullopt;
    }
    for (const QJsonValue &v : json.value(QLatin1String("rooms")).toArray()) {
        Room room = roomFrom(v.toObject());
        if (format == 1) {
            for (RoomRole &role : room.roles)
                role.roleId = ownerRoleOfFormat1(role.roleId);
            for (qint64 &roleId : room.memberRoles)
                roleId = ownerRoleOfFormat1(roleId);
        }
        if (room.id.isEmpty() || world.rooms.contains(room.id)) {
            *error = QStringLiteral("a room lacks its id or shares it with another");
            return std::nullopt;
        }
        world.rooms.insert(room.id, room);
    }
    for (const QJsonValue &v : json.value(QLatin1String("channels")).toArray()) {
        Channel channel = channelFrom(v.toObject());
        if (format == 1) {
            for (ChannelRole &role : channel.roles)
                role.roleId = ownerRoleOfFormat1(role.roleId);
            for (qint64 &roleId : channel.memberRoles)
                roleId = ownerRoleOfFormat1(roleId);
        }
        if (channel.id.isEmpty() || world.channels.contains(channel.id)) {
            *error = QStringLiteral("a channel lacks its id or shares it with another");
            return std::nullopt;
        }
        world.channels.insert(channel.id, channel);
    }
    for (const QJsonValue &v : json.value(QLatin1String("attachments")).toArray()) {
        const QJsonObject o = v.toObject();
        ChatAttachment a;
        a.attachmentId = textOf(o, "attachmentId");
        a.roomId = textOf(o, "roomId");
        a.ownerId = textOf(o, "ownerId");
        a.fileName = textOf(o, "fileName");
        a.contentType = textOf(o, "contentType");
        a.sizeBytes = int64Of(o, "sizeBytes");
        a.width = o.value(QLatin1String("width")).toInt();
        a.height = o.value(QLatin1String("height")).toInt();
        a.uploadDigest = QByteArray::fromHex(textOf(o, "uploadDigest").toLatin1());
        a.stored = flagOf(o, "stored");
        a.used = flagOf(o, "used");
        if (!a.attachmentId.isEmpty())
            world.attachments.insert(a.attachmentId, a);
    }
    const QJsonObject subscriptions = json.value(QLatin1String("chatSubscriptions")).toObject();
    for (auto it = subscriptions.begin(); it != subscriptions.end(); ++it)
        world.chatSubscriptions.insert(it.key(), stringList(it.value()));
    const QJsonObject prefs = json.value(QLatin1String("preferences")).toObject();
    for (auto it = prefs.begin(); it != prefs.end(); ++it)
        world.preferences.insert(it.key(), it.value().toObject());
    world.nextMediaRoom = std::max<qint64>(1001, int64Of(json, "nextMediaRoom"));
    return world;
}

} // namespace localservice
