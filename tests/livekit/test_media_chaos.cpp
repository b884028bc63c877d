// The media server dies in the middle of a call: both connections report the loss, and once the
// server is back the next connect works and the microphone is published again.
#include "livekit/livekit_connection.h"
#include "platform/livekit/livekit.h"
#include "support/janus_test_server.h"
#include "support/private_network.h"
#include "support/tone_pump.h"

#include <QDeadlineTimer>
#include <QSignalSpy>

using testsupport::JanusTestServer;
using testsupport::TonePump;

namespace {

constexpr int kConnectMs = 5000;

bool connectAs(LiveKitConnection &connection, const JanusTestServer &janus, const QString &identity)
{
    QSignalSpy connected(&connection, &LiveKitConnection::connectedToRoom);
    QSignalSpy failed(&connection, &LiveKitConnection::connectionFailed);
    connection.connectToRoom(janus.url(), janus.token(identity));
    if (connected.wait(kConnectMs) || connected.count() == 1)
        return true;
    qWarning("connect failed: %s", failed.isEmpty() ? "no answer" : qPrintable(failed.first().first().toString()));
    return false;
}

// Alice publishes her microphone and speaks; the server confirms the publication.
bool publishes(LiveKitConnection &alice)
{
    alice.publishAudio(32000);
    alice.setSendingAudio(true);
    TonePump pump(440, [&alice](const std::int16_t *frame, int samples) {
        alice.pushCaptureFrame(frame, samples, 48000, 1, false);
    });
    pump.start();
    QDeadlineTimer deadline(10000);
    while (!alice.isAudioPublished() && !deadline.hasExpired())
        QTest::qWait(20);
    pump.stop();
    return alice.isAudioPublished();
}

} // namespace

class MediaChaosTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void serverKilledMidCallThenBack();

private:
    JanusTestServer janus;
};

void MediaChaosTest::initTestCase()
{
    if (!testsupport::privateNetworkUnavailable().isEmpty())
        QSKIP(qPrintable(testsupport::privateNetworkUnavailable()));
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
}

void MediaChaosTest::serverKilledMidCallThenBack()
{
    LiveKitConnection alice(LiveKitConnection::Role::Own);
    LiveKitConnection bob(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(alice, janus, QStringLiteral("alice")));
    QVERIFY(connectAs(bob, janus, QStringLiteral("bob")));
    QVERIFY(publishes(alice));

    QSignalSpy aliceLost(&alice, &LiveKitConnection::disconnected);
    QSignalSpy bobLost(&bob, &LiveKitConnection::disconnected);
    janus.kill();
    QTRY_COMPARE_WITH_TIMEOUT(aliceLost.count(), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(bobLost.count(), 1, 3000);
    QCOMPARE(aliceLost.first().first().toString(), QStringLiteral("语音连接断开：信令关闭"));
    QVERIFY(!alice.isConnected() && !bob.isConnected());

    // While the server is down a connect fails and says so; nothing hangs.
    janus.stop();
    QSignalSpy failed(&bob, &LiveKitConnection::connectionFailed);
    bob.connectToRoom(janus.url(), janus.token(QStringLiteral("bob")));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kConnectMs);
    QVERIFY(!bob.isConnected() && !bob.isConnecting());

    // Back up: the same connections connect again and publish again.
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
    QVERIFY(connectAs(alice, janus, QStringLiteral("alice")));
    QVERIFY(connectAs(bob, janus, QStringLiteral("bob")));
    QVERIFY(publishes(alice));
    alice.disconnectFromRoom(QStringLiteral("done"));
    bob.disconnectFromRoom(QStringLiteral("done"));
}

KESTOVA_MEDIA_TEST_MAIN(MediaChaosTest)
#include "test_media_chaos.moc"
