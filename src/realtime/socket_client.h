#pragma once

#include "realtime/abstract_socket_client.h"

class QWebSocket;

// The gateway socket over one QWebSocket (a Qt child). GUI thread only.
class SocketClient : public AbstractSocketClient
{
    Q_OBJECT
public:
    explicit SocketClient(QObject *parent = nullptr);
    ~SocketClient() override;

    void open(const QUrl &url) override;
    void close() override;
    void reconnect() override;
    void sendText(const QString &text) override;

private:
    QWebSocket *socket = nullptr;
};
