#pragma once

#include "api_router.h"
#include "room_world.h"

#include <QObject>

#include <functional>
#include <optional>

class QTimer;

namespace localservice {

class GatewayHub;
struct ServiceState;

// Replies shared by the room, chat and media areas.
namespace roomreply {
ApiReply notFound();
ApiReply forbidden(const QString &message);
ApiReply banned();
ApiReply notInRoom();
ApiReply invalid(const QString &code, const QString &message);
} // namespace roomreply

// The room endpoints under "/v1/rooms" and "/v1/match": creating rooms, joining
// (directly, by room code or by follow code, or through a join request), presence,
// moderation, roles, settings and sub-rooms. Every room change is one numbered event
// to the watchers of "room:<id>" with the room's next version; requests, follow
// codes and sub-room requests go to the private stream "room:<id>:private", which
// only members present in the room may watch. Every request is checked against the
// caller's rights before anything changes. GUI thread only.
//
// The handlers live by concern: rooms, presence and settings in rooms_api.cpp;
// joining, leaving and moderation in room_membership_api.cpp; roles in
// room_roles_api.cpp; codes, requests, follow codes and sub-rooms in
// room_requests_api.cpp.
class RoomsApi : public QObject
{
    Q_OBJECT
public:
    RoomsApi(ServiceState *state, GatewayHub *gateway, QObject *parent = nullptr);

    void setClock(std::function<qint64()> nowMs);
    void addRoutes(ApiRouter &router);
    // Ends what has run out by the clock (join and sub-room requests, timed mutes),
    // each with the event its watchers expect, and arms the timer for the next
    // deadline. The service calls it once its state is loaded; the timer after that.
    void expireDue();
    // The longest the expiry timer waits before it reads the clock again, so a clock
    // that jumps (or a test that moves it) is noticed within that time.
    void setExpiryCheckMs(int ms);

    qint64 now() const { return clock(); }
    Room *room(const QString &roomId);
    QStringList roomIds() const { return allRoomIds(); }
    // A change of the room: the next version, one event to the room's watchers.
    void publishRoomEvent(Room &room, const QString &event, const QJsonObject &data);
    static QJsonObject defaultRoomSettings();
    // A new room owned by `ownerId`, with settings already checked; its id.
    QString addRoom(const QString &ownerId, const QString &name, bool persistent, QJsonObject settings,
                    const QString &channelId);
    // Whether the user may read the room's chat: not banned, and a member or present.
    bool canReadChat(const QString &userId, const QString &roomId) const;

    // A gateway session lost its socket, got it back, or ended: the presence it holds
    // is marked disconnected, connected again, or ends.
    void onSessionDetached(const QString &sessionId, const QString &userId);
    void onSessionReattached(const QString &sessionId, const QString &userId);
    void onSessionEnded(const QString &sessionId, const QString &userId);

    std::optional<QJsonObject> publicSnapshot(const QString &userId, const QString &roomId) const;
    std::optional<QJsonObject> privateSnapshot(const QString &userId, const QString &roomId) const;

signals:
    void stateChanged();
    // A room is gone (deleted, dissolved or expired).
    void roomRemoved(const QString &roomId, qint64 mediaRoom);
    // A removed room belonged to that channel.
    void channelRoomRemoved(const QString &channelId, const QString &roomId);
    void roomCreated(const QString &roomId);
    void bitrateChanged(const QString &roomId);

private:
    // Rooms, presence and settings.
    ApiReply createRoom(const ApiRequest &request, bool persistent);
    ApiReply myRooms(const ApiRequest &request);
    ApiReply saveSettings(const ApiRequest &request);
    ApiReply setRoomCode(const ApiRequest &request);
    ApiReply removeRoom(const ApiRequest &request, const char *permission);
    ApiReply detachModule(const ApiRequest &request);
    // Makes the user present in the room with that gateway session, taking them out
    // of any other room first; a new member gets the join-default role.
    void enterRoom(Room &room, const QString &userId, const QString &sessionId);
    // Takes the user's presence out of the room, with the reason; an empty temporary
    // room then expires.
    void leaveRoom(Room &room, const QString &userId, const QString &reason);
    // By value: callers pass the id held by the room that this removes.
    void expireRoom(QString roomId, const char *why);
    // A private event: to the private stream's watchers that may see requests.
    void publishPrivateEvent(Room &room, const QString &event, const QJsonObject &data, const QString &permission);
    QString newRoomCode() const;
    QStringList allRoomIds() const;
    // Arms the expiry timer for the earliest deadline of all rooms, or stops it.
    void scheduleExpiry();

    // Membership and moderation.
    ApiReply join(const ApiRequest &request);
    ApiReply leave(const ApiRequest &request);
    ApiReply kick(const ApiRequest &request);
    ApiReply setBan(const ApiRequest &request, bool on);
    ApiReply setMute(const ApiRequest &request, bool on);
    void removeMember(Room &room, const QString &userId);

    // Roles.
    ApiReply assignRole(const ApiRequest &request);
    ApiReply createRole(const ApiRequest &request);
    ApiReply updateRole(const ApiRequest &request);
    ApiReply deleteRole(const ApiRequest &request);
    ApiReply reorderRoles(const ApiRequest &request);
    ApiReply reassignRoles(const ApiRequest &request);
    QJsonArray rolesEventJson(const Room &room) const;
    // The room's owner, or who the room's channel lets act in all its rooms: not bound
    // to rank below their own role.
    bool actsAsOwner(const Room &room, const QString &userId) const;
    // Whether the user acts as owner, or holds a role that ranks above each of the roles.
    bool ranksAbove(const Room &room, const QString &userId, const QList<qint64> &roleIds) const;
    // Whether the user's role may manage roles, and the user ranks above each of these.
    bool mayManageRoles(const Room &room, const QString &userId, const QList<qint64> &roleIds) const;

    // Codes, requests and sub-rooms.
    ApiReply joinByCode(const ApiRequest &request);
    ApiReply createJoinRequest(const ApiRequest &request);
    ApiReply cancelJoinRequest(const ApiRequest &request);
    ApiReply decideJoinRequest(const ApiRequest &request);
    ApiReply setFollowCode(const ApiRequest &request, bool on);
    ApiReply attachToParent(const ApiRequest &request);
    ApiReply detachFromParent(const ApiRequest &request);
    ApiReply detachChild(const ApiRequest &request);
    ApiReply setChildOverride(const ApiRequest &request);
    ApiReply decideSubroomRequest(const ApiRequest &request);
    ApiReply cancelSubroomRequest(const ApiRequest &request);
    ApiReply attachByCode(const ApiRequest &request);
    ApiReply matchPreference(const ApiRequest &request);
    // Attaches `child` under `parent` at once.
    void attach(Room &child, Room &parent, const QString &byUserId);
    void detach(Room &child, const QString &trigger, const QString &byUserId);

    ServiceState *state;
    GatewayHub *gateway;
    std::function<qint64()> clock;
    QTimer *expiryTimer;
    int expiryCheckMs = 60000;
};

} // namespace localservice
