#pragma once

#include "api_router.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTimer;
class QWebSocket;

namespace localservice {

// The service's side of the realtime gateway. Every accepted socket carries an access
// token ("token") and may name a session to resume ("sessionId"); its first frame is
// "session-established". A session outlives its socket for a while, numbering and
// buffering the events meant for it, so that a client coming back with "resume"
// gets what it missed ("resumed"), or "buffer-miss" when the buffer no longer reaches
// back far enough. "heartbeat" is answered with "pong", "watch" with a "stream-snapshot"
// per granted target followed by one "watched" frame. Stream targets are answered by
// sources registered per prefix ("room:", "channel:" ...); a target no source grants is
// denied. GUI thread only.
class GatewayHub : public QObject
{
    Q_OBJECT
public:
    using Authenticator = std::function<std::optional<AccessGrant>(const QString &token)>;
    // The snapshot of a target for that user, or nothing to deny the watch.
    using StreamSource = std::function<std::optional<QJsonObject>(const QString &userId, const QString &target)>;
    using Clock = std::function<qint64()>;
    // Whether the user may follow the room's chat.
    using ChatAccess = std::function<bool(const QString &userId, const QString &roomId)>;
    using UserFilter = std::function<bool(const QString &userId)>;

    explicit GatewayHub(QObject *parent = nullptr);
    ~GatewayHub() override;

    void setAuthenticator(Authenticator authenticator);
    void setClock(Clock nowMs);
    // How long a session without a socket is kept for a resume.
    void setDetachedSessionKeepMs(qint64 ms) { detachedKeepMs = ms; }
    // How many events a session keeps for a resume.
    void setBufferSize(int events) { bufferSize = std::max(1, events); }
    void addStreamSource(const QString &prefix, StreamSource source);
    // Without it every chat subscription is refused.
    void setChatAccess(ChatAccess access);

    // Takes over a socket that completed the WebSocket handshake.
    void accept(std::unique_ptr<QWebSocket> socket);

    // A numbered event for every session of the user.
    void publishToUser(const QString &userId, const QString &event, const QJsonObject &data, qint64 version = 0);
    // A numbered event for the user's own sessions and every session subscribed to the user.
    void publishProfileUpdate(const QString &userId, const QJsonObject &data, qint64 version = 0);
    // A numbered event for every session that watches the target.
    void publishToWatchers(const QString &target, const QString &event, const QJsonObject &data, qint64 version = 0);
    // The same, only for the watchers whose user passes the filter.
    void publishToWatchersIf(const QString &target, const QString &event, const QJsonObject &data, qint64 version,
                             const UserFilter &filter);
    // A numbered event for every session subscribed to the room's chat.
    void publishToChat(const QString &roomId, const QString &event, const QJsonObject &data);
    // Ends the user's chat subscriptions and watches of the room (after a ban or a kick).
    void dropUserFromTargets(const QString &userId, const QString &roomId, const QStringList &targets);
    // Sends the target's snapshot again to every connected session that watches it.
    void resendSnapshot(const QString &target);

    // Closes and forgets the sessions of a sign-in (logout).
    void endSignIn(const QString &signInId);
    // Sends "session-kick" to the user's connected sessions.
    void kickUser(const QString &userId);
    // Sends "please-reconnect" to every connected session (graceful shutdown).
    void askAllToReconnect();
    // Ends every connection at the TCP level; the sessions stay for a resume.
    void dropAllConnections();
    // Forgets sessions that have been without a socket for longer than the keep time.
    void expireDetachedSessions();

    int sessionCount() const { return int(sessions.size()); }
    int connectionCount() const { return int(sessionBySocket.size()); }

signals:
    void sessionEstablished(const QString &sessionId, const QString &userId, bool resumed);
    // After a "resume": how many events were replayed, or -1 for a buffer miss.
    void sessionResumed(const QString &sessionId, int replayed);
    // A session lost its socket, got one back, or is gone for good (expired or signed out).
    void sessionDetached(const QString &sessionId, const QString &userId);
    void sessionReattached(const QString &sessionId, const QString &userId);
    void sessionEnded(const QString &sessionId, const QString &userId);

private:
    struct Session
    {
        QString id;
        QString userId;
        QString signInId;
        QWebSocket *socket = nullptr;
        bool awaitingResume = false; // events are only buffered until the "resume" frame
        qint64 lastSeq = 0;
        std::deque<QJsonObject> buffer;
        QSet<QString> watches;
        QSet<QString> profiles;
        QSet<QString> chatRooms;
        qint64 detachedAtMs = 0;
    };

    void onText(QWebSocket *socket, const QString &text);
    void onDisconnected(QWebSocket *socket);
    void handleResume(Session &session, const QJsonObject &data);
    void handleWatch(Session &session, const QJsonObject &data);
    void deliver(Session &session, const QString &event, const QJsonObject &data, qint64 version);
    void sendFrame(QWebSocket *socket, const QString &event, const QJsonObject &data = {});
    void closeSocket(QWebSocket *socket, int code, const QString &reason);
    std::optional<QJsonObject> snapshotFor(const QString &userId, const QString &target) const;

    Authenticator authenticate;
    ChatAccess chatAccess;
    Clock clock;
    QList<QPair<QString, StreamSource>> sources;
    QHash<QString, Session> sessions;
    QHash<QWebSocket *, QString> sessionBySocket;
    QTimer *sweepTimer = nullptr;
    qint64 detachedKeepMs = 120000;
    int bufferSize = 512;
};

} // namespace localservice
