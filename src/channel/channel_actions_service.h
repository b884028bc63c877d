#pragma once

#include "channel/channel_error_code.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class IHttpClient;
class QJsonObject;
struct HttpResponse;

// The channel administration requests. Each operation sends exactly one request and
// reports through its callback (which may be empty); nothing changes locally on
// success, the channel's stream brings the change. Ids are placed in paths as single
// path segments; role ids travel as exact 64-bit JSON integers. GUI thread only;
// callbacks run on the GUI thread when the reply arrives.
class ChannelActionsService : public QObject
{
    Q_OBJECT

public:
    using ResultCallback = std::function<void(bool ok, ChannelErrorCode code, const QString &message)>;
    using CreateCallback =
        std::function<void(bool ok, const QString &channelId, ChannelErrorCode code, const QString &message)>;
    using CreateRoleCallback =
        std::function<void(bool ok, qint64 roleId, ChannelErrorCode code, const QString &message)>;
    using CreateRoomCallback = std::function<void(bool ok, const QString &roomId, const QString &name,
                                                  ChannelErrorCode code, const QString &message)>;

    // The transport is not owned and must outlive the service.
    explicit ChannelActionsService(IHttpClient *http, QObject *parent = nullptr);
    ~ChannelActionsService() override;

    void create(const QString &name, CreateCallback callback);
    void createRole(const QString &channelId, const QString &name, const QList<QString> &permissions,
                    CreateRoleCallback callback);
    void createRoom(const QString &channelId, CreateRoomCallback callback);
    void deleteRole(const QString &channelId, qint64 roleId, ResultCallback callback);
    void dissolve(const QString &channelId, ResultCallback callback);
    void leave(const QString &channelId, ResultCallback callback);
    void reassignRole(const QString &channelId, qint64 fromRoleId, qint64 toRoleId, ResultCallback callback);
    void reorderRoles(const QString &channelId, const QList<qint64> &roleIds, ResultCallback callback);
    void reorderRooms(const QString &channelId, const QStringList &roomIds, ResultCallback callback);
    void setCodeEnabled(const QString &channelId, bool enabled, ResultCallback callback);
    void setMemberRole(const QString &channelId, const QString &userId, qint64 roleId, ResultCallback callback);
    void updateRole(const QString &channelId, qint64 roleId, const QString &name, const QList<QString> &permissions,
                    ResultCallback callback);
    // Sends "name" and "description" each only when its pointer is not null.
    void updateSettings(const QString &channelId, const QString *name, const QString *description,
                        ResultCallback callback);

private:
    void deleteRequest(const char *label, const QString &path, ResultCallback callback);
    void patchRequest(const char *label, const QString &path, const QJsonObject &body, ResultCallback callback);
    void postRequest(const char *label, const QString &path, const QJsonObject &body, ResultCallback callback);
    void putRequest(const char *label, const QString &path, const QJsonObject &body, ResultCallback callback);

    IHttpClient *http = nullptr;
};
