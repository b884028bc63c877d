#pragma once

#include "room/room_error.h"

#include <QObject>
#include <QString>

class ActiveRoomSession;
class IHttpClient;
struct RoomRequest;

// The moderation actions of a member with the matching permission: voice and text
// mutes, kick, ban and dissolving. Most act on the active room; banIn and muteTextIn
// name their room. Nothing changes locally on success: the room's stream brings the
// change. An empty id, or a missing active room where one is needed, sends nothing.
// Stateless. GUI thread only.
class RoomModerationService : public QObject
{
    Q_OBJECT

public:
    // Nothing is owned; both must outlive the service.
    RoomModerationService(IHttpClient *http, ActiveRoomSession *session, QObject *parent = nullptr);
    ~RoomModerationService() override;

    void muteVoice(const QString &userId);
    void unmuteVoice(const QString &userId);
    void muteText(const QString &userId);
    // expireAtMs: absolute time in milliseconds since the epoch, sent unchanged.
    void muteTextIn(const QString &roomId, const QString &userId, qint64 expireAtMs);
    void unmuteText(const QString &userId);
    void kick(const QString &userId);
    void ban(const QString &userId);
    void banIn(const QString &roomId, const QString &userId);
    void dissolve();

signals:
    void moderationFailed(RoomErrorCode code, QString msg);

private:
    QString activeRoomId() const;
    void send(RoomRequest request, QString successLine);

    IHttpClient *http = nullptr;
    ActiveRoomSession *session = nullptr;
};
