#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;
class QTimer;
class QWebSocket;

namespace localservice {

// The media server beside the service: started with a configuration generated into a
// private folder (only the room plugin and the WebSocket transport, signed tokens with
// a secret of this run, rooms made only by the service through an admin key), and
// driven over its WebSocket API to create, re-rate and destroy one media room per room.
// Requests wait in a queue until the control session is up. Whether voice can work at
// all is decided at start: without a network address other than loopback the media
// server gathers no candidates, so it is not started and `unavailableReason` says why.
// A media server that exits on its own is started again on the same port after a pause
// that doubles while it keeps failing soon after its start; its rooms are made again.
// GUI thread only.
class JanusControl : public QObject
{
    Q_OBJECT
public:
    explicit JanusControl(QObject *parent = nullptr);
    ~JanusControl() override;

    // Starts the media server and waits until its port answers. False with
    // `unavailableReason` set when voice cannot work; the service goes on without it.
    bool start();
    void stop();
    bool available() const { return unavailable.isEmpty(); }
    QString unavailableReason() const { return unavailable; }

    // "ws://127.0.0.1:<port>/?room=<mediaRoom>".
    QString url(qint64 mediaRoom) const;
    // "<server token>|<room token>|<identity>", valid for `ttlSec` from `nowSec`.
    QString token(qint64 mediaRoom, const QString &identity, qint64 nowSec, qint64 ttlSec = 24 * 3600) const;

    void ensureRoom(qint64 mediaRoom, int bitrate);
    void setRoomBitrate(qint64 mediaRoom, int bitrate);
    void destroyRoom(qint64 mediaRoom);
    // Rooms the media server confirmed.
    bool hasRoom(qint64 mediaRoom) const { return createdRooms.contains(mediaRoom); }
    // The running media server's process id; 0 when none runs.
    qint64 processId() const;
    // The pause before the first restart after an unexpected exit, and the longest pause.
    void setRestartDelays(int firstMs, int maxMs);

    static QString signedToken(const QByteArray &secret, qint64 expiry, const QString &realm,
                               const QString &descriptor);
    // Whether this machine has an up, non-loopback interface with an address.
    static bool hasNonLoopbackAddress();

signals:
    void roomReady(qint64 mediaRoom);

private:
    // Starts the process and waits until its port answers, trying the current port
    // first (when there is one), then fresh ones.
    bool launch(QString *why);
    void onExited(int exitCode, int exitStatus);
    void restart();
    // Starts the restart timer with the current pause and doubles the next one, up to the cap.
    void scheduleRestart();
    // Closes the control socket and forgets its session; the rooms it made die with the server.
    void dropControlSession();
    bool writeConfiguration();
    void openControl();
    void send(QJsonObject message);
    void sendPluginBody(const QJsonObject &body);
    void onText(const QString &text);
    QString serverToken() const;

    QTemporaryDir folder;
    QString program;
    std::unique_ptr<QProcess> process;
    QElapsedTimer running; // since the last successful start
    int firstRestartDelayMs = 1000;
    int maxRestartDelayMs = 60000;
    int restartDelayMs = 1000; // the pause before the next restart
    int restarts = 0;
    QWebSocket *control = nullptr;
    QTimer *keepalive = nullptr;
    QTimer *restartTimer = nullptr;
    QByteArray secret;
    QString adminKey;
    quint16 port = 0;
    QString unavailable = QStringLiteral("voice is off: the service was started without the media server");
    qint64 sessionId = 0;
    qint64 handleId = 0;
    qint64 nextTransaction = 1;
    QList<QJsonObject> waiting;      // plugin bodies sent once the handle is up
    QHash<QString, qint64> creating; // transaction -> media room
    QHash<qint64, int> wantedRooms;  // media room -> bitrate, re-created after a restart
    QHash<qint64, bool> createdRooms;
};

} // namespace localservice
