#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace testsupport {

// A realtime gateway on 127.0.0.1 (plain WebSocket, port 0) that keeps the server's
// side of the gateway protocol, for tests that run the real socket.
//
// Accepting: every connection's "token" and "sessionId" query items are recorded.
// With auto-establish on (the default) the server sends "session-established" at
// once: a connection that names a session this server issued is resumed with it
// (unless resumes are refused), any other gets a fresh session id "session-<n>".
// With it off, the test calls sendSessionEstablished itself.
//
// Answering: "heartbeat" gets "pong" while answerHeartbeats is on (the default).
// Every inbound text frame is recorded in order (all connections), and each
// connection's close code is recorded when it ends.
//
// Sending: the send* calls go to the latest open connection (nothing when none).
//
// Faults: `refuseUpgrades` answers the next upgrades with a plain HTTP status (like a
// server or proxy that is restarting) and holds each refused connection open for a
// while; `setAccepting(false)` closes every new connection at once while keeping the
// port (a server that is down), so a test never has to come back on a released port.
class LoopbackGatewayServer : public QObject
{
    Q_OBJECT
public:
    explicit LoopbackGatewayServer(QObject *parent = nullptr);
    ~LoopbackGatewayServer() override;

    // Listens on 127.0.0.1, on a free port unless one is given (to come back on the
    // same port after stopListening); false when that failed.
    bool listen(quint16 port = 0);
    // Stops accepting connections; open connections stay.
    void stopListening();
    quint16 port() const;
    // "http://127.0.0.1:<port>": the API base whose gateway is this server.
    QUrl apiBaseUrl() const;
    // "ws://127.0.0.1:<port>/ws".
    QUrl gatewayUrl() const;

    void setAutoEstablish(bool on) { autoEstablish = on; }
    void setResumeAccepted(bool on) { resumeAccepted = on; }
    void setAnswerHeartbeats(bool on) { answerHeartbeats = on; }
    // Answers the next `count` upgrade requests with `status` instead of upgrading and
    // closes each of those connections `holdMs` later. With `reflectRequestLine` the
    // reason phrase is the request line as received (query and all), as some proxies do.
    void refuseUpgrades(int count, int status, int holdMs, bool reflectRequestLine = false);
    // While off, every new connection is closed as soon as it is accepted.
    void setAccepting(bool on) { accepting = on; }
    // Upgrade requests refused so far.
    int refusedCount() const { return refused; }

    // Connections accepted so far, and those still open.
    int acceptedCount() const { return accepted; }
    int openCount() const { return int(connections.size()); }
    // Query items of the latest accepted connection ("" when absent).
    QString lastToken() const { return token; }
    QString lastRequestedSessionId() const { return requestedSessionId; }
    // The session id of the latest "session-established" sent.
    QString currentSessionId() const { return sessionId; }

    // Every inbound text frame, in arrival order.
    QStringList receivedFrames() const { return frames; }
    // Whether the frame being handled (in a frameReceived slot) came on the latest
    // connection, the one the send* calls go to. An answer to a frame from an older one
    // belongs on that connection, which has gone or is going.
    bool frameIsFromLatest() const { return frameFromLatest; }
    // The parsed inbound frames whose "event" is `name`.
    QList<QJsonObject> receivedEvents(const QString &name) const;
    // Close codes of the connections that ended, in order (for a connection that
    // ended without a close frame, whatever the socket reports).
    QList<int> closeCodes() const { return codes; }

    void sendSessionEstablished(const QString &id, bool resumed);
    void sendResumed(int count);
    void sendBufferMiss();
    void sendSessionInvalid();
    void sendPleaseReconnect();
    void sendSessionKick();
    // One "watched" frame with a result per (target, ok) pair.
    void sendWatched(const QList<QPair<QString, bool>> &results);
    void sendStreamSnapshot(const QString &target, const QJsonObject &snapshot);
    // A server event; "seq" and "version" are left out when not given.
    void sendEvent(const QString &name, const QJsonObject &data, std::optional<double> seq = std::nullopt,
                   std::optional<double> version = std::nullopt);
    void sendFrame(const QJsonObject &frame);
    // Any text, JSON or not.
    void sendText(const QString &text);
    // Ends the latest connection at the TCP level, without a close frame.
    void dropConnection();

signals:
    void clientConnected();
    void frameReceived(const QString &text);
    void clientDisconnected(int closeCode);

private:
    void onNewConnection();
    void onTcpConnection();
    void refuse(QTcpSocket *connection);
    void onText(QWebSocket *connection, const QString &text);
    void onDisconnected(QWebSocket *connection);
    QWebSocket *latest() const;

    QTcpServer *tcp = nullptr;
    QWebSocketServer *server = nullptr;
    QList<QWebSocket *> connections;
    QStringList issuedSessions;
    QStringList frames;
    QList<int> codes;
    QString token;
    QString requestedSessionId;
    QString sessionId;
    int accepted = 0;
    int sessionsIssued = 0;
    bool autoEstablish = true;
    bool resumeAccepted = true;
    bool answerHeartbeats = true;
    bool accepting = true;
    int refusalsLeft = 0;
    int refusalStatus = 503;
    int refusalHoldMs = 0;
    bool refusalReflects = false;
    int refused = 0;
    bool frameFromLatest = false;
};

} // namespace testsupport
