#pragma once

#include "room/room_error.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class ActiveRoomSession;
class IHttpClient;
class QJsonObject;

// The user's own requests to join rooms that admit members only on approval: created
// on the server, remembered while pending, decided by gateway events, withdrawn by
// the user or automatically when the user enters a room. No timer: only the server's
// events expire a request. GUI thread only.
class RoomApplyService : public QObject
{
    Q_OBJECT

public:
    struct Pending
    {
        QString requestId;
        QString roomId;
        QString roomName;       // may be empty
        qint64 expiresAtMs = 0; // 0 or less never expires locally
    };

    // Nothing is owned; both must outlive the service.
    RoomApplyService(IHttpClient *http, ActiveRoomSession *session, QObject *parent = nullptr);
    ~RoomApplyService() override;

    // Test hook: the clock, in milliseconds since the epoch.
    void setClock(std::function<qint64()> clock);

    // Creates a join request, unless a live one for the room is pending.
    void beginApply(const QString &roomId);
    // Withdraws the pending request with that id; unknown ids are ignored.
    void cancel(const QString &requestId);
    // Entry for GatewayService::eventReceived: approvals, rejections and expiries; the
    // version is not used.
    void handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version = 0);
    // Entry for ActiveRoomSession::activeRoomChanged: entering a room withdraws every pending request.
    void withdrawOnEnter();
    // Logout: forgets everything without contacting the server; a request still under
    // way is forgotten when its answer comes.
    void reset();

    QList<Pending> pendingRequests() const { return pending; }

signals:
    void applyCreated(QString requestId, QString roomId, qlonglong startMs, qlonglong expiresAtMs);
    void applyNameResolved(QString requestId, QString roomName);
    void applyApproved(QString requestId, QString roomId);
    void applyRejected(QString requestId, QString roomId, QString roomName);
    void applyExpired(QString requestId);
    void applyCancelled(QString requestId);
    void applyFailed(RoomErrorCode code, QString msg);

private:
    void postCancel(const Pending &record, bool reportFailure);
    // Takes the pending record with that id out of the list; nothing when none.
    std::optional<Pending> take(const QString &requestId);

    IHttpClient *http = nullptr;
    ActiveRoomSession *session = nullptr;
    QString lastActiveRoomId;
    QList<Pending> pending;
    quint64 generation = 0;
    std::function<qint64()> clock;
};
