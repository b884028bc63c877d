#pragma once

#include "net/http_types.h"
#include "room/room_error.h"

#include <QObject>
#include <QString>

class ActiveRoomSession;
class IHttpClient;

// Asks the server to issue or withdraw the active room's follow code. The code
// itself arrives through the room's private stream; the replies are not read.
// Stateless. GUI thread only.
class RoomFollowCodeService : public QObject
{
    Q_OBJECT

public:
    // Nothing is owned; both must outlive the service.
    RoomFollowCodeService(IHttpClient *http, ActiveRoomSession *session, QObject *parent = nullptr);
    ~RoomFollowCodeService() override;

    // Both act on the active room; nothing without one.
    void attach();
    void detach();

signals:
    void followCodeFailed(RoomErrorCode code, QString msg);

private:
    void send(HttpMethod method, const char *failureLead, const char *successLead);

    IHttpClient *http = nullptr;
    ActiveRoomSession *session = nullptr;
};
