#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace testsupport {

// The media server for media tests, started from a configuration of its own (only the room plugin and
// the WebSocket transport, token authentication with a test secret, one room) inside the test's
// private network (see private_network.h). Usage:
//
//   JanusTestServer janus;
//   QVERIFY2(janus.start(), qPrintable(janus.errorText()));
//   room.connect(janus.url(), janus.token("alice"));
//
// Tokens are minted the way the service mints them: HMAC-SHA1 signed, one for the server and one
// for the room, joined with the identity as "<server>|<room>|<identity>".
class JanusTestServer
{
public:
    static constexpr int kRoom = 1234;
    // A second room, for tests that need two (a sub-room and its parent).
    static constexpr int kParentRoom = 1235;
    static constexpr const char *kSecret = "k-test-secret";

    JanusTestServer();
    ~JanusTestServer();
    JanusTestServer(const JanusTestServer &) = delete;
    JanusTestServer &operator=(const JanusTestServer &) = delete;

    // Starts the server and waits until its WebSocket port answers (a few seconds at most).
    bool start();
    void stop();
    // SIGKILL, as in a crash: no close frame, no goodbye.
    void kill();
    // SIGSTOP / SIGCONT: the server stops answering while its sockets stay open. pause()
    // returns once every thread of the server has stopped.
    void pause();
    void resume();
    bool isRunning() const;
    // Whether the last stop() found the server exiting by itself with status 0 (not by a signal).
    bool stoppedCleanly() const { return m_stoppedCleanly; }
    // Whether the server left a core dump in its folder (its working directory).
    bool leftCoreFile() const;
    QString errorText() const { return m_error; }
    qint64 pid() const;
    // CPU time the server used so far, seconds.
    double cpuSeconds() const;

    QString url(int room = kRoom) const;
    QString token(const QString &identity, int room = kRoom) const;
    static QString signedToken(const QString &secret, qint64 expiry, const QString &realm, const QString &descriptor);
    QString serverToken(const QString &secret = QString::fromLatin1(kSecret)) const;
    QString roomToken(int room = kRoom, const QString &secret = QString::fromLatin1(kSecret)) const;
    // The server's log, for a failure message.
    QString log() const;

private:
    bool writeConfiguration();

    QTemporaryDir m_folder;
    std::unique_ptr<QProcess> m_process;
    QString m_error;
    quint16 m_port = 8188;
    bool m_stoppedCleanly = false;
};

} // namespace testsupport
