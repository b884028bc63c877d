#pragma once

#include "api_router.h"
#include "room_world.h"

#include <QObject>

#include <functional>
#include <optional>

namespace localservice {

class GatewayHub;
class RoomsApi;
struct ServiceState;

// The channel endpoints under "/v1/channels": the caller's channels, creating one,
// its settings and code, members and their roles, the roles themselves, bans, and the
// rooms that belong to it. Every change is one numbered event to the watchers of
// "channel:<id>" (members only) with the channel's next version; the member the change
// is about gets it on all of its sessions, so that its channel list follows. Every
// request is checked against the caller's role before anything changes. GUI thread only.
class ChannelsApi : public QObject
{
    Q_OBJECT
public:
    ChannelsApi(ServiceState *state, GatewayHub *gateway, RoomsApi *rooms, QObject *parent = nullptr);

    void addRoutes(ApiRouter &router);
    std::optional<QJsonObject> snapshot(const QString &userId, const QString &channelId) const;

signals:
    void stateChanged();

private:
    ApiReply list(const ApiRequest &request);
    ApiReply create(const ApiRequest &request);
    ApiReply update(const ApiRequest &request);
    ApiReply dissolve(const ApiRequest &request);
    ApiReply removeMember(const ApiRequest &request);
    ApiReply setMemberRole(const ApiRequest &request);
    ApiReply createRole(const ApiRequest &request);
    ApiReply updateRole(const ApiRequest &request);
    ApiReply deleteRole(const ApiRequest &request);
    ApiReply reassignRole(const ApiRequest &request);
    ApiReply reorderRoles(const ApiRequest &request);
    ApiReply reorderRooms(const ApiRequest &request);
    ApiReply createRoom(const ApiRequest &request);
    ApiReply setBan(const ApiRequest &request, bool on);

    // Takes a removed room out of its channel, with the event that tells the channel's
    // watchers.
    void onChannelRoomRemoved(const QString &channelId, const QString &roomId);
    Channel *channel(const QString &id);
    // The channel, when the caller is a member; otherwise the refusal.
    Channel *memberChannel(const ApiRequest &request, ApiReply *refusal);
    void publish(Channel &channel, const QString &event, const QJsonObject &data, const QString &aboutUserId = {});
    QJsonArray rolesJson(const Channel &channel) const;
    qint64 now() const;

    ServiceState *state;
    GatewayHub *gateway;
    RoomsApi *rooms;
};

} // namespace localservice
