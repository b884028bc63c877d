#pragma once

#include "realtime/events/room_event_payload.h"
#include "room/room_error.h"
#include "room/room_pending_requests.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class IHttpClient;
class RoomAdapterRegistry;
class RoomEntityFeed;
class RoomEntityStore;
class RoomViewModel;
class WatchRegistry;

// The one room the user is in, and the one being entered. Joining asks the server;
// entering watches the room's public and private streams and makes the room active
// once the gateway confirmed both. The session keeps the room store and the watch
// registry holding exactly the rooms that the active and the pending room relate to,
// and turns the active room's events into signals. Every other room service finds
// the active room through currentViewModel. GUI thread only.
class ActiveRoomSession : public QObject
{
    Q_OBJECT

public:
    using IdProvider = std::function<QString()>;

    // Nothing is owned; every pointer must outlive the session.
    ActiveRoomSession(IHttpClient *http, RoomEntityStore *store, RoomEntityFeed *feed, RoomAdapterRegistry *registry,
                      QObject *parent = nullptr);
    // Releases nothing: the store and the registry go down with the session's owner.
    ~ActiveRoomSession() override;

    // Set once by the wiring before use; nothing is re-announced.
    void setWatchRegistry(WatchRegistry *registry);
    void setUserIdProvider(IdProvider provider);
    void setSessionIdProvider(IdProvider provider);

    // The active room's view model; null while no room is active.
    RoomViewModel *currentViewModel() const;
    // The active room's id (the current view model's room id); empty while none.
    QString activeRoomId() const { return activeId; }

    // Asks the server to let the user in; "joined" then enters the room.
    void join(const QString &roomId);
    // Makes the room the pending room and watches its two streams.
    void enter(const QString &roomId);
    // Leaves the active room on the server; the view is left once that succeeded.
    void leave();
    // Leaves a room on the server without touching the view (a declined reconnect).
    void leaveRoom(const QString &roomId);
    // Forgets the pending and the active room and releases all they held (logout); a join
    // still under way is dropped when its answer comes.
    void reset();

public slots:
    void onStreamReady(const QString &target);
    void onStreamDenied(const QString &target);

signals:
    void activeRoomChanged();
    void enterFailed(RoomErrorCode code, QString msg);
    void leaveFailed(RoomErrorCode code, QString msg);
    void joinNeedsApply(QString roomId);
    // Another user entered the active room (never the user's own presence).
    void memberJoined(QString userId);
    void memberLeft(QString userId);
    void joinRequestAdded(roomdata::PendingJoinRequest req);
    void subroomRequestAdded(roomdata::PendingSubroomRequest req);
    void requestResolved(QString requestId, QString byUserId, bool approved);
    void requestRemoved(QString requestId);

private:
    void onJoinReply(const QString &roomId, const QString &outcome);
    void syncWatches();
    void syncPrivateWatch();
    QStringList desiredRoomIds() const;
    void promotePending();
    void setActiveRoom(const QString &roomId);
    void onRoomStoreChanged(const QString &roomId, uint fieldMask);
    void onEventApplied(const QString &roomId, const RoomEventPayload &ev, uint fieldMask);
    bool handleSelfRemoval(const RoomEventPayload &ev);
    void dispatchRoomEvent(const RoomEventPayload &ev, uint fieldMask);
    QString ownUserId() const;

    IHttpClient *http = nullptr;
    RoomEntityStore *store = nullptr;
    RoomEntityFeed *feed = nullptr;
    RoomAdapterRegistry *registry = nullptr;
    WatchRegistry *watches = nullptr;
    IdProvider userIdProvider;
    IdProvider sessionIdProvider;
    QString activeId;
    QString pendingId;
    QStringList watchedRooms;
    QString privateWatchRoomId;
    QStringList awaitedTargets;
    // Counts reset() calls; a join answered after a newer one belongs to an ended session.
    quint64 generation = 0;
};
