#pragma once

#include "room/room_error.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class ActiveRoomSession;
class IHttpClient;
struct HttpResponse;
struct RoomRequest;

// The hierarchy actions on the active room: attach it under a parent, detach it from
// its parent, detach one of its children, and set a per-child override. The hierarchy
// itself arrives through the rooms' streams. Stateless. GUI thread only.
class RoomSubroomService : public QObject
{
    Q_OBJECT

public:
    // Nothing is owned; both must outlive the service.
    RoomSubroomService(IHttpClient *http, ActiveRoomSession *session, QObject *parent = nullptr);
    ~RoomSubroomService() override;

    // Nothing for an empty parent id or the active room's own id.
    void attachToParent(const QString &parentRoomId);
    // Nothing when the active room has no parent.
    void detachFromParent();
    void detachChild(const QString &childRoomId);
    // Sends "allowBroadcast" (broadcastField) or "allowChat" with the value, or null
    // (back to the parent's setting) when the value is empty.
    void setChildOverride(const QString &childRoomId, bool broadcastField, std::optional<bool> value);

signals:
    void attachPending(QString childRoomId);
    void subroomFailed(RoomErrorCode code, QString msg);

private:
    QString activeRoomId() const;
    void send(RoomRequest request, std::function<void(const HttpResponse &)> onSuccess);

    IHttpClient *http = nullptr;
    ActiveRoomSession *session = nullptr;
};
