#pragma once

#include "api_router.h"

#include <QObject>

namespace localservice {

class JanusControl;
class RoomsApi;

// "/v1/rooms/<id>/livekit-token": the media server's address for the room and a signed
// token for the caller, with the room's bitrate and whether the caller may speak. A
// caller present in the room, or in one of its sub-rooms (to talk into the parent),
// gets one; everybody else is refused. Without a working media server the endpoint
// refuses with the reason, and everything else goes on. It keeps one media room per
// room: made on demand and at start, re-rated when the room's bitrate changes and
// destroyed with the room. GUI thread only.
class MediaApi : public QObject
{
    Q_OBJECT
public:
    MediaApi(RoomsApi *rooms, JanusControl *janus, QObject *parent = nullptr);

    void addRoutes(ApiRouter &router);
    // Makes the media rooms of every room the service holds (after a start).
    void prepareRooms();
    void onRoomRemoved(const QString &roomId, qint64 mediaRoom);
    void onBitrateChanged(const QString &roomId);

private:
    ApiReply token(const ApiRequest &request);

    RoomsApi *rooms;
    JanusControl *janus;
};

} // namespace localservice
