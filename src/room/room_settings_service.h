#pragma once

#include "room/room_error.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class IHttpClient;
class RoomEntityFeed;
class RoomEntityStore;
class WatchRegistry;
struct RoomRequest;

// The room administration client: settings, roles and their permissions, a member's
// role, the room code switch, the preference member list, the attached module, and
// deleting the room. A success changes nothing locally (the room's stream brings the
// change); bad arguments send nothing. Role ids travel as decimal text in paths and
// as exact 64-bit integers in bodies; ids in paths are single path segments.
// GUI thread only.
class RoomSettingsService : public QObject
{
    Q_OBJECT

public:
    // Nothing is owned; all must outlive the service.
    RoomSettingsService(IHttpClient *http, RoomEntityStore *store, RoomEntityFeed *feed, QObject *parent = nullptr);
    ~RoomSettingsService() override;

    // Set once by the wiring; until then the room code switch re-announces nothing.
    void setWatchRegistry(WatchRegistry *registry);

    // One settings key per call, as the settings dialog names it; "name" travels as
    // "roomName" and the sub-room switches in the spelling of the room's stream.
    void saveSettings(const QString &roomId, const QJsonObject &updates);
    void setRoomCodeEnabled(const QString &roomId, bool enabled);
    void createRole(const QString &roomId, const QString &name);
    // permissions: the role's complete new set of permission keys.
    void updateRole(const QString &roomId, qint64 roleId, const QString &name, const QList<QString> &permissions);
    void deleteRole(const QString &roomId, qint64 roleId);
    void reorderRoles(const QString &roomId, const QList<qint64> &roleIds);
    void reassignRole(const QString &roomId, qint64 fromRoleId, qint64 toRoleId);
    void assignMemberRole(const QString &roomId, const QString &userId, qint64 roleId);
    void deleteRoom(const QString &roomId);
    void detachModule(const QString &roomId);
    // Both send the whole new list. They build on the last list sent for the room
    // until its stream shows that list or the request fails, so quick successive
    // changes keep each other; a room the store holds no snapshot of is refused.
    void addPrefMember(const QString &roomId, const QString &userId);
    void removePrefMember(const QString &roomId, const QString &userId);

signals:
    void settingsFailed(RoomErrorCode code, QString msg);

private:
    void send(RoomRequest request, const char *label, const QString &roomId, QString successLine,
              std::function<void()> afterSuccess = {}, std::function<void()> afterFailure = {});
    void sendSettings(const QString &roomId, const QJsonObject &body, std::function<void()> afterFailure);
    // The list a preference change builds on; nothing when the room is unknown.
    std::optional<QStringList> prefBase(const QString &roomId) const;
    void sendPref(const QString &roomId, const QStringList &members);
    void onRoomChanged(const QString &roomId);

    IHttpClient *http = nullptr;
    RoomEntityStore *store = nullptr;
    RoomEntityFeed *feed = nullptr;
    WatchRegistry *watchRegistry = nullptr;
    // Per room, the preference list last sent and not yet seen in the room's stream.
    QHash<QString, QStringList> sentPref;
};
