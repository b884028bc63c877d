#pragma once

#include "room/room_error.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class IHttpClient;
class QJsonObject;

// The user's own applications to attach a room under another room by its code, while
// the other room decides: tracked from the attach-by-code answer, decided by gateway
// events, withdrawn by the user. No timer. GUI thread only.
class RoomAttachApplyService : public QObject
{
    Q_OBJECT

public:
    struct PendingAttach
    {
        QString requestId;
        QString parentRoomId;   // the room applied to
        QString childRoomId;    // the user's room to be attached
        QString parentName;     // may be empty
        qint64 expiresAtMs = 0; // 0 or less never expires locally
    };

    // The transport is not owned and must outlive the service.
    explicit RoomAttachApplyService(IHttpClient *http, QObject *parent = nullptr);
    ~RoomAttachApplyService() override;

    // Test hook: the clock, in milliseconds since the epoch.
    void setClock(std::function<qint64()> clock);

    void track(const QString &requestId, const QString &parentRoomId, const QString &childRoomId, qint64 expiresAtMs,
               const QString &parentName);
    // Withdraws the tracked application with that id; unknown ids are ignored.
    void cancel(const QString &requestId);
    // Entry for GatewayService::eventReceived: attached, rejected and cancelled sub-room events; the version
    // is not used.
    void handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version = 0);
    // Logout: forgets everything without contacting the server.
    void reset();

    QList<PendingAttach> pendingApplications() const { return pending; }

signals:
    void attachApplyCreated(QString requestId, QString parentRoomId, qlonglong startMs, qlonglong expiresAtMs);
    void attachNameResolved(QString requestId, QString parentName);
    void attachApproved(QString requestId, QString parentLabel);
    void attachRejected(QString requestId, QString parentLabel);
    void attachExpired(QString requestId);
    void attachApplyFailed(RoomErrorCode code, QString msg);

private:
    std::optional<PendingAttach> take(const QString &requestId);

    IHttpClient *http = nullptr;
    QList<PendingAttach> pending;
    std::function<qint64()> clock;
};
