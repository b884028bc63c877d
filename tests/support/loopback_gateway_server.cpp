#include "support/loopback_gateway_server.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

#include <memory>

namespace testsupport {

LoopbackGatewayServer::LoopbackGatewayServer(QObject *parent)
    : QObject(parent)
    , tcp(new QTcpServer(this))
    , server(new QWebSocketServer(QStringLiteral("loopback-gateway"), QWebSocketServer::NonSecureMode, this))
{
    // The TCP listener is this server's own, so that it can refuse or drop a connection
    // before the WebSocket server sees it.
    connect(tcp, &QTcpServer::newConnection, this, &LoopbackGatewayServer::onTcpConnection);
    connect(server, &QWebSocketServer::newConnection, this, &LoopbackGatewayServer::onNewConnection);
}

LoopbackGatewayServer::~LoopbackGatewayServer()
{
    for (QWebSocket *connection : std::as_const(connections))
        connection->disconnect(this);
}

bool LoopbackGatewayServer::listen(quint16 port)
{
    return tcp->listen(QHostAddress::LocalHost, port);
}

void LoopbackGatewayServer::stopListening()
{
    tcp->close();
}

quint16 LoopbackGatewayServer::port() const
{
    return tcp->serverPort();
}

void LoopbackGatewayServer::refuseUpgrades(int count, int status, int holdMs, bool reflectRequestLine)
{
    refusalsLeft = count;
    refusalStatus = status;
    refusalHoldMs = holdMs;
    refusalReflects = reflectRequestLine;
}

void LoopbackGatewayServer::onTcpConnection()
{
    while (QTcpSocket *connection = tcp->nextPendingConnection()) {
        if (!accepting) {
            connection->abort();
            connection->deleteLater();
        } else if (refusalsLeft > 0) {
            --refusalsLeft;
            refuse(connection);
        } else {
            server->handleConnection(connection);
        }
    }
}

void LoopbackGatewayServer::refuse(QTcpSocket *connection)
{
    connection->setParent(this);
    ++refused;
    const int status = refusalStatus;
    const int holdMs = refusalHoldMs;
    const bool reflect = refusalReflects;
    auto head = std::make_shared<QByteArray>();
    connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
    connect(connection, &QTcpSocket::readyRead, connection, [connection, head, status, holdMs, reflect] {
        const bool answered = head->contains("\r\n\r\n");
        head->append(connection->readAll());
        if (answered || !head->contains("\r\n\r\n"))
            return;
        const QByteArray requestLine = head->left(head->indexOf("\r\n"));
        const QByteArray reason = reflect ? requestLine : QByteArrayLiteral("Service Unavailable");
        connection->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Length: 0\r\n\r\n");
        QTimer::singleShot(holdMs, connection, [connection] { connection->disconnectFromHost(); });
    });
}

QUrl LoopbackGatewayServer::apiBaseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

QUrl LoopbackGatewayServer::gatewayUrl() const
{
    return QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port()));
}

QList<QJsonObject> LoopbackGatewayServer::receivedEvents(const QString &name) const
{
    QList<QJsonObject> events;
    for (const QString &text : frames) {
        const QJsonObject frame = QJsonDocument::fromJson(text.toUtf8()).object();
        if (frame.value(QLatin1String("event")).toString() == name)
            events.append(frame);
    }
    return events;
}

void LoopbackGatewayServer::onNewConnection()
{
    while (QWebSocket *connection = server->nextPendingConnection()) {
        connection->setParent(this);
        connections.append(connection);
        ++accepted;
        const QUrlQuery query(connection->requestUrl());
        token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
        requestedSessionId = query.queryItemValue(QStringLiteral("sessionId"), QUrl::FullyDecoded);
        connect(connection, &QWebSocket::textMessageReceived, this,
                [this, connection](const QString &text) { onText(connection, text); });
        connect(connection, &QWebSocket::disconnected, this, [this, connection] { onDisconnected(connection); });
        emit clientConnected();
        if (!autoEstablish)
            continue;
        if (resumeAccepted && issuedSessions.contains(requestedSessionId))
            sendSessionEstablished(requestedSessionId, true);
        else
            sendSessionEstablished(QStringLiteral("session-%1").arg(++sessionsIssued), false);
    }
}

void LoopbackGatewayServer::onText(QWebSocket *connection, const QString &text)
{
    frames.append(text);
    const QJsonObject frame = QJsonDocument::fromJson(text.toUtf8()).object();
    if (answerHeartbeats && frame.value(QLatin1String("event")).toString() == QLatin1String("heartbeat"))
        connection->sendTextMessage(QStringLiteral("{\"event\":\"pong\"}"));
    frameFromLatest = connection == latest();
    emit frameReceived(text);
}

void LoopbackGatewayServer::onDisconnected(QWebSocket *connection)
{
    connections.removeOne(connection);
    const int code = connection->closeCode();
    codes.append(code);
    connection->deleteLater();
    emit clientDisconnected(code);
}

QWebSocket *LoopbackGatewayServer::latest() const
{
    return connections.isEmpty() ? nullptr : connections.last();
}

void LoopbackGatewayServer::sendSessionEstablished(const QString &id, bool resumed)
{
    sessionId = id;
    if (!id.isEmpty() && !issuedSessions.contains(id))
        issuedSessions.append(id);
    sendFrame({{QStringLiteral("event"), QStringLiteral("session-established")},
               {QStringLiteral("data"),
                QJsonObject{{QStringLiteral("sessionId"), id}, {QStringLiteral("resumed"), resumed}}}});
}

void LoopbackGatewayServer::sendResumed(int count)
{
    sendFrame({{QStringLiteral("event"), QStringLiteral("resumed")},
               {QStringLiteral("data"), QJsonObject{{QStringLiteral("count"), count}}}});
}

void LoopbackGatewayServer::sendBufferMiss()
{
    sendFrame({{QStringLiteral("event"), QStringLiteral("buffer-miss")}});
}

void LoopbackGatewayServer::sendSessionInvalid()
{
    issuedSessions.removeAll(sessionId);
    sendFrame({{QStringLiteral("event"), QStringLiteral("session-invalid")}});
}

void LoopbackGatewayServer::sendPleaseReconnect()
{
    sendFrame({{QStringLiteral("event"), QStringLiteral("please-reconnect")}});
}

void LoopbackGatewayServer::sendSessionKick()
{
    sendFrame({{QStringLiteral("event"), QStringLiteral("session-kick")}});
}

void LoopbackGatewayServer::sendWatched(const QList<QPair<QString, bool>> &results)
{
    QJsonArray array;
    for (const auto &[target, ok] : results)
        array.append(QJsonObject{{QStringLiteral("target"), target}, {QStringLiteral("ok"), ok}});
    sendFrame({{QStringLiteral("event"), QStringLiteral("watched")},
               {QStringLiteral("data"), QJsonObject{{QStringLiteral("results"), array}}}});
}

void LoopbackGatewayServer::sendStreamSnapshot(const QString &target, const QJsonObject &snapshot)
{
    sendFrame({{QStringLiteral("event"), QStringLiteral("stream-snapshot")},
               {QStringLiteral("data"),
                QJsonObject{{QStringLiteral("target"), target}, {QStringLiteral("snapshot"), snapshot}}}});
}

void LoopbackGatewayServer::sendEvent(const QString &name, const QJsonObject &data, std::optional<double> seq,
                                      std::optional<double> version)
{
    QJsonObject frame{{QStringLiteral("event"), name}, {QStringLiteral("data"), data}};
    if (seq)
        frame.insert(QStringLiteral("seq"), *seq);
    if (version)
        frame.insert(QStringLiteral("version"), *version);
    sendFrame(frame);
}

void LoopbackGatewayServer::sendFrame(const QJsonObject &frame)
{
    sendText(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void LoopbackGatewayServer::sendText(const QString &text)
{
    if (QWebSocket *connection = latest())
        connection->sendTextMessage(text);
}

void LoopbackGatewayServer::dropConnection()
{
    if (QWebSocket *connection = latest())
        connection->abort();
}

} // namespace testsupport
