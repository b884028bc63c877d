#pragma once

#include "realtime/gateway_timings.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <set>

class AbstractSocketClient;
class QTimer;

// The realtime gateway session: connects with an access token, resumes the server
// session after a drop, keeps it alive with heartbeats, reconnects with back-off,
// dispatches the server's frames as signals and sends the client's commands.
// It knows nothing of sign-in: the owner installs a token provider and starts and
// stops it. Everything runs on the GUI thread.
class GatewayService : public QObject
{
    Q_OBJECT
public:
    // Receives the access token; an empty token means none could be had.
    using TokenCallback = std::function<void(const QString &token)>;
    // Called before every connect; calls the callback at once or later (after a refresh).
    using TokenProvider = std::function<void(TokenCallback)>;

    // The socket is not owned and must outlive the gateway.
    explicit GatewayService(AbstractSocketClient *socket, QObject *parent = nullptr);
    ~GatewayService() override;

    void setTokenProvider(TokenProvider provider);
    // Base URL of the gateway endpoint ("wss://host/ws"); the query is added per connect.
    // Defaults to the one that belongs to the API base URL in use.
    void setGatewayUrl(const QUrl &url);
    QUrl gatewayUrl() const { return baseUrl; }
    void setTimings(const GatewayTimings &value);

    // The current server session id; empty before the first session and after stop.
    QString sessionId() const { return currentSessionId; }
    // True from "session-established" until the connection drops or the gateway stops.
    bool isSessionEstablished() const { return established; }

    // The gateway endpoint on the API host: https becomes wss, http becomes ws, path "/ws".
    static QUrl gatewayUrlForApiBase(const QUrl &apiBase);
    // Back-off before the reconnect numbered `attempt` (0 for the first), plus a jitter
    // drawn from the 32-bit `random`.
    static int reconnectDelayMs(int attempt, quint32 random, const GatewayTimings &timings);

public slots:
    // Enables the gateway and connects at once (no-op while a connection is under way).
    void start();
    // Disables the gateway, forgets the session and closes the socket; emits nothing.
    void stop();
    // stop, then waits until the socket has closed, for a short while at most.
    void shutdown();

    void subscribeRoomChat(const QString &roomId);
    void unsubscribeRoomChat(const QString &roomId);
    void subscribeProfiles(const QStringList &userIds);
    void unsubscribeProfiles(const QStringList &userIds);
    void watch(const QStringList &targets);
    void unwatch(const QStringList &targets);

signals:
    void sessionReady();
    void sessionLost();
    void resyncRequired();
    void eventReceived(const QString &name, const QJsonObject &payload, qint64 version);
    void streamSnapshotReceived(const QString &target, const QJsonObject &snapshot);
    void watchResultReceived(const QString &target, bool ok);

private:
    void connectNow();
    void requestToken();
    void openWithToken(const QString &token);
    void scheduleReconnect();
    void sendHeartbeat();
    void onPongTimeout();
    void onSocketConnected();
    void onSocketDisconnected();
    void onSocketError(const QString &reason);
    void onTextMessage(const QString &text);
    void handleEvent(const QString &name, const QJsonObject &frame);
    void onSessionEstablished(const QJsonObject &data);
    void onWatched(const QJsonObject &data);
    void onStreamSnapshot(const QJsonObject &data);
    void onServerEvent(const QString &name, const QJsonObject &frame);
    void send(const QString &name, const QJsonObject &data = {});
    // Records `seq` as received in this server session; false when it was received before.
    bool firstDelivery(qint64 seq);
    void forgetDeliveries();
    void rememberToken(const QString &token);
    // `text` without any token this gateway has connected with and without the value of
    // any "token=" query item: socket errors may quote the request URL.
    QString redacted(QString text) const;

    AbstractSocketClient *socket = nullptr;
    TokenProvider tokenProvider;
    bool enabled = false;
    bool socketOpen = false;
    QString currentSessionId;
    qint64 lastSeq = 0;
    // The numbers received in the current server session: every number up to
    // `deliveredFloor`, and those above it in `deliveredAbove`. A resume replays from the
    // resume point while live events may already have come on the new connection, so
    // the same number can arrive twice and is passed on once.
    qint64 deliveredFloor = 0;
    std::set<qint64> deliveredAbove;
    int reconnectAttempt = 0;
    QTimer *reconnectTimer = nullptr;
    QTimer *heartbeatTimer = nullptr;
    QTimer *pongTimer = nullptr;

    // The socket's open has been called and neither connected nor failed yet.
    bool socketOpening = false;
    bool established = false;
    // Identifies the token request whose answer may still open a connection; every new
    // request and every stop makes the earlier answers stale.
    quint64 tokenRequest = 0;
    QUrl baseUrl;
    GatewayTimings timings;
    // The latest tokens connected with, newest first, kept only to keep them out of the log.
    QStringList recentTokens;
};
