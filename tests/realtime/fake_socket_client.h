#pragma once

#include "realtime/abstract_socket_client.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QUrl>

// A socket without a network: records what the gateway asks of it and lets a test
// play the connection's side (connected, disconnected, errors, inbound frames).
class FakeSocketClient : public AbstractSocketClient
{
    Q_OBJECT
public:
    static constexpr int kNormalClose = 1000;
    static constexpr int kReconnectClose = 4000;

    using AbstractSocketClient::AbstractSocketClient;

    void open(const QUrl &url) override { openedUrls.append(url); }
    void close() override { closeCodes.append(kNormalClose); }
    void reconnect() override { closeCodes.append(kReconnectClose); }
    void sendText(const QString &text) override
    {
        sentFrames.append(text);
        emit textSent(text);
    }

    void deliverConnected() { emit connected(); }
    void deliverDisconnected() { emit disconnected(); }
    void deliverError(const QString &reason) { emit errorOccurred(reason); }
    void deliverText(const QString &text) { emit textMessageReceived(text); }
    void deliverFrame(const QJsonObject &frame)
    {
        deliverText(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
    }
    void deliverEvent(const QString &name, const QJsonObject &data = {})
    {
        QJsonObject frame{{QStringLiteral("event"), name}};
        if (!data.isEmpty())
            frame.insert(QStringLiteral("data"), data);
        deliverFrame(frame);
    }
    void deliverSession(const QString &sessionId, bool resumed)
    {
        deliverEvent(QStringLiteral("session-established"),
                     {{QStringLiteral("sessionId"), sessionId}, {QStringLiteral("resumed"), resumed}});
    }

    // Sent frames whose "event" is `name`, parsed.
    QList<QJsonObject> sentEvents(const QString &name) const
    {
        QList<QJsonObject> events;
        for (const QString &text : sentFrames) {
            const QJsonObject frame = QJsonDocument::fromJson(text.toUtf8()).object();
            if (frame.value(QLatin1String("event")).toString() == name)
                events.append(frame);
        }
        return events;
    }

    QList<QUrl> openedUrls;
    QList<int> closeCodes;
    QStringList sentFrames;

signals:
    void textSent(const QString &text);
};
