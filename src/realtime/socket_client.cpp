#include "realtime/socket_client.h"

#include <QSignalBlocker>
#include <QUrl>
#include <QWebSocket>

namespace {
// Close code that tells the server the client is about to connect again.
constexpr auto kReconnectCloseCode = static_cast<QWebSocketProtocol::CloseCode>(4000);
} // namespace

SocketClient::SocketClient(QObject *parent)
    : AbstractSocketClient(parent)
    , socket(new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this))
{
    connect(socket, &QWebSocket::connected, this, &AbstractSocketClient::connected);
    connect(socket, &QWebSocket::disconnected, this, &AbstractSocketClient::disconnected);
    connect(socket, &QWebSocket::textMessageReceived, this, &AbstractSocketClient::textMessageReceived);
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            [this](QAbstractSocket::SocketError) { emit errorOccurred(socket->errorString()); });
}

SocketClient::~SocketClient()
{
    // The socket dies with this object; its last signals must not reach a half-destroyed owner.
    socket->disconnect(this);
}

void SocketClient::open(const QUrl &url)
{
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        // A connection still closing belongs to the past: its end must not be reported
        // as the end of the connection opened now.
        const QSignalBlocker blocker(socket);
        socket->abort();
    }
    socket->open(url);
}

void SocketClient::close()
{
    socket->close(QWebSocketProtocol::CloseCodeNormal, QString());
}

void SocketClient::reconnect()
{
    socket->close(kReconnectCloseCode, QStringLiteral("reconnect"));
}

void SocketClient::sendText(const QString &text)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->sendTextMessage(text);
}
