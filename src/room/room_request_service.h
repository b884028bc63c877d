#pragma once

#include "room/room_error.h"

#include <QObject>
#include <QString>

class ActiveRoomSession;
class IHttpClient;

// The approver's side of the requests that wait for the active room: join requests of
// other users and sub-room requests. Each decision is one REST call; the request
// leaves the room's lists through the room's stream. Stateless. GUI thread only.
class RoomRequestService : public QObject
{
    Q_OBJECT

public:
    // Nothing is owned; both must outlive the service.
    RoomRequestService(IHttpClient *http, ActiveRoomSession *session, QObject *parent = nullptr);
    ~RoomRequestService() override;

    // Each acts on the room that is active when called; nothing without one or for an empty id.
    void approveJoin(const QString &requestId);
    void rejectJoin(const QString &requestId);
    void approveSubroom(const QString &requestId);
    void rejectSubroom(const QString &requestId);

signals:
    void requestActionFailed(RoomErrorCode code, QString msg);

private:
    void post(const char *kind, const char *action, const QString &requestId);

    IHttpClient *http = nullptr;
    ActiveRoomSession *session = nullptr;
};
