#pragma once

#include <QObject>
#include <QString>

class QUrl;

// The gateway's socket as the gateway sees it: one text-frame connection at a time.
// GUI thread only.
class AbstractSocketClient : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~AbstractSocketClient() override = default;

    // Opens a connection to `url`; a connection still open is dropped first.
    virtual void open(const QUrl &url) = 0;
    // Normal closure (code 1000).
    virtual void close() = 0;
    // Closes with code 4000 so that the owner reconnects; does not open again itself.
    virtual void reconnect() = 0;
    // Sends one text frame; nothing goes out unless connected.
    virtual void sendText(const QString &text) = 0;

signals:
    void connected();
    void disconnected();
    void textMessageReceived(const QString &text);
    void errorOccurred(const QString &reason);
};
