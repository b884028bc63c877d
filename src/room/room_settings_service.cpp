#include "room/room_settings_service.h"

#include "net/api_path.h"
#include "realtime/watch_registry.h"
#include "room/room_entity_store.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_stream_target.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {

// The settings dialog's keys that the endpoint knows under another name.
QString endpointKey(const QString &key)
{
    if (key == QLatin1StringView("name"))
        return QStringLiteral("roomName");
    if (key == QLatin1StringView("allowSubroom"))
        return QStringLiteral("allowSubRoom");
    // The sub-room switches travel as the room's stream and room creation spell them.
    if (key == QLatin1StringView("allowSubroomBroadcast"))
        return QStringLiteral("allowSubRoomBroadcast");
    if (key == QLatin1StringView("allowSubroomChat"))
        return QStringLiteral("allowSubRoomChat");
    return key;
}

QString rolePath(const char *pattern, const QString &roomId, qint64 roleId)
{
    return apiPath(QString::fromLatin1(pattern), {roomId, QString::number(roleId)});
}

QJsonArray prefArray(const QStringList &members)
{
    QJsonArray array;
    for (const QString &userId : members)
        array.append(QJsonObject{{QStringLiteral("userId"), userId}});
    return array;
}

} // namespace

RoomSettingsService::RoomSettingsService(IHttpClient *http_, RoomEntityStore *store_, RoomEntityFeed *feed_,
                                         QObject *parent)
    : QObject(parent)
    , http(http_)
    , store(store_)
    , feed(feed_)
{
    connect(store, &RoomEntityStore::changed, this, &RoomSettingsService::onRoomChanged);
    connect(store, &RoomEntityStore::removed, this, [this](const QString &roomId) { sentPref.remove(roomId); });
}

RoomSettingsService::~RoomSettingsService() = default;

void RoomSettingsService::setWatchRegistry(WatchRegistry *registry)
{
    watchRegistry = registry;
}

void RoomSettingsService::saveSettings(const QString &roomId, const QJsonObject &updates)
{
    sendSettings(roomId, updates, {});
}

void RoomSettingsService::sendSettings(const QString &roomId, const QJsonObject &updates,
                                       std::function<void()> afterFailure)
{
    if (roomId.isEmpty() || updates.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Patch;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/settings"), {roomId});
    for (auto it = updates.constBegin(); it != updates.constEnd(); ++it)
        request.body.insert(endpointKey(it.key()), it.value());
    send(std::move(request), "save settings", roomId, logText("settings saved room_id=", roomId), {},
         std::move(afterFailure));
}

void RoomSettingsService::setRoomCodeEnabled(const QString &roomId, bool enabled)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Patch;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/room-code"), {roomId});
    request.body.insert(QStringLiteral("enabled"), enabled);
    send(std::move(request), "toggle room code", roomId,
         logText("room code toggled room_id=", roomId, " enabled=", enabled), [this, roomId] {
             // The public snapshot that follows the watch carries the new room code state.
             if (watchRegistry)
                 watchRegistry->rewatch({publicStreamTarget(roomId)});
         });
}

void RoomSettingsService::createRole(const QString &roomId, const QString &name)
{
    const QString trimmed = name.trimmed();
    if (roomId.isEmpty() || trimmed.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/roles"), {roomId});
    request.body.insert(QStringLiteral("name"), trimmed);
    request.body.insert(QStringLiteral("permissions"), QJsonObject());
    send(std::move(request), "create role", roomId, logText("role created room_id=", roomId));
}

void RoomSettingsService::updateRole(const QString &roomId, qint64 roleId, const QString &name,
                                     const QList<QString> &permissions)
{
    const QString trimmed = name.trimmed();
    if (roomId.isEmpty() || roleId == 0 || trimmed.isEmpty())
        return;
    QJsonObject granted;
    for (const QString &key : permissions)
        granted.insert(key, true);
    RoomRequest request;
    request.method = HttpMethod::Patch;
    request.path = rolePath("/v1/rooms/%1/roles/%2", roomId, roleId);
    request.body.insert(QStringLiteral("name"), trimmed);
    request.body.insert(QStringLiteral("permissions"), granted);
    send(std::move(request), "update role", roomId, logText("role updated room_id=", roomId, " role_id=", roleId));
}

void RoomSettingsService::deleteRole(const QString &roomId, qint64 roleId)
{
    if (roomId.isEmpty() || roleId == 0)
        return;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = rolePath("/v1/rooms/%1/roles/%2", roomId, roleId);
    send(std::move(request), "delete role", roomId, logText("role deleted room_id=", roomId, " role_id=", roleId));
}

void RoomSettingsService::reorderRoles(const QString &roomId, const QList<qint64> &roleIds)
{
    if (roomId.isEmpty() || roleIds.isEmpty())
        return;
    QJsonArray ids;
    for (const qint64 roleId : roleIds)
        ids.append(QJsonValue(roleId));
    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/roles/reorder"), {roomId});
    request.body.insert(QStringLiteral("roleIds"), ids);
    send(std::move(request), "reorder roles", roomId, logText("roles reordered room_id=", roomId));
}

void RoomSettingsService::reassignRole(const QString &roomId, qint64 fromRoleId, qint64 toRoleId)
{
    if (roomId.isEmpty() || fromRoleId == 0 || toRoleId == 0 || fromRoleId == toRoleId)
        return;
    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/roles/reassign"), {roomId});
    request.body.insert(QStringLiteral("fromRoleId"), QJsonValue(fromRoleId));
    request.body.insert(QStringLiteral("toRoleId"), QJsonValue(toRoleId));
    send(std::move(request), "reassign role", roomId,
         logText("roles reassigned room_id=", roomId, " from_role=", fromRoleId, " to_role=", toRoleId));
}

void RoomSettingsService::assignMemberRole(const QString &roomId, const QString &userId, qint64 roleId)
{
    if (roomId.isEmpty() || userId.isEmpty() || roleId == 0)
        return;
    RoomRequest request;
    request.method = HttpMethod::Put;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/members/%2/role"), {roomId, userId});
    request.body.insert(QStringLiteral("roleId"), QJsonValue(roleId));
    send(std::move(request), "assign member role", roomId,
         logText("member role assigned room_id=", roomId, " target=", userId, " role_id=", roleId));
}

void RoomSettingsService::deleteRoom(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1"), {roomId});
    send(std::move(request), "delete room", roomId, logText("room deleted room_id=", roomId));
}

void RoomSettingsService::detachModule(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/module"), {roomId});
    send(std::move(request), "detach module", roomId, logText("module detached room_id=", roomId));
}

std::optional<QStringList> RoomSettingsService::prefBase(const QString &roomId) const
{
    const auto sent = sentPref.constFind(roomId);
    if (sent != sentPref.cend())
        return *sent;
    const RoomEntity *room = store->find(roomId);
    if (!room || room->populated == 0)
        return std::nullopt;
    return room->publicState.prefMembers;
}

void RoomSettingsService::addPrefMember(const QString &roomId, const QString &userId)
{
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    const std::optional<QStringList> base = prefBase(roomId);
    if (!base) {
        qCWarning(lcRoomSettings).nospace() << "pref member change refused, room not known room_id=" << roomId;
        return;
    }
    if (base->contains(userId))
        return;
    sendPref(roomId, *base + QStringList{userId});
}

void RoomSettingsService::removePrefMember(const QString &roomId, const QString &userId)
{
    if (roomId.isEmpty() || userId.isEmpty())
        return;
    const std::optional<QStringList> base = prefBase(roomId);
    if (!base) {
        qCWarning(lcRoomSettings).nospace() << "pref member change refused, room not known room_id=" << roomId;
        return;
    }
    QStringList members = *base;
    members.removeAll(userId);
    sendPref(roomId, members);
}

void RoomSettingsService::sendPref(const QString &roomId, const QStringList &members)
{
    sentPref.insert(roomId, members);
    sendSettings(roomId, QJsonObject{{QStringLiteral("pref"), prefArray(members)}}, [this, roomId, members] {
        // A refused list is not the server's: later changes start from the stream again.
        const auto it = sentPref.constFind(roomId);
        if (it != sentPref.cend() && *it == members)
            sentPref.remove(roomId);
    });
}

void RoomSettingsService::onRoomChanged(const QString &roomId)
{
    const auto it = sentPref.constFind(roomId);
    if (it == sentPref.cend())
        return;
    const RoomEntity *room = store->find(roomId);
    if (room && room->publicState.prefMembers == *it)
        sentPref.remove(roomId);
}

void RoomSettingsService::send(RoomRequest request, const char *label, const QString &roomId, QString successLine,
                               std::function<void()> afterSuccess, std::function<void()> afterFailure)
{
    request.failureLead = logText(label, " failed room_id=", roomId);
    sendRoomRequest(
        http, lcRoomSettings, this, std::move(request),
        [successLine = std::move(successLine), afterSuccess = std::move(afterSuccess)](const HttpResponse &) {
            qCInfo(lcRoomSettings).noquote() << successLine;
            if (afterSuccess)
                afterSuccess();
        },
        [this, afterFailure = std::move(afterFailure)](const RoomRequestError &error) {
            if (afterFailure)
                afterFailure();
            emit settingsFailed(error.code, error.message);
        });
}
