#include "audio/audio_playback_manager.h"
#include "livekit/livekit_connection.h"
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/livekit.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "support/janus_test_server.h"
#include "support/log_capture.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"
#include "support/turn_meter.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QLoggingCategory>
#include <QSignalSpy>

using testsupport::JanusTestServer;
using testsupport::LogCapture;
using testsupport::RoomRecorder;
using testsupport::TonePump;
using testsupport::TurnMeter;

namespace {

constexpr int kConnectMs = 5000;

// A raw room that listens, to check from the outside what a connection sends.
struct Listener
{
    RoomRecorder recorder;
    livekit::Room room;

    // Needs the library initialised, which a live connection does.
    bool join(const JanusTestServer &janus, const QString &identity)
    {
        room.setDelegate(&recorder);
        const QDeadlineTimer deadline(5000);
        while (LiveKitConnection::runtimeUsers() == 0 && !deadline.hasExpired())
            QTest::qWait(10);
        try {
            return room.connect(janus.url().toStdString(), janus.token(identity).toStdString());
        } catch (const std::exception &e) {
            qWarning("listener could not connect: %s", e.what());
            return false;
        }
    }
    ~Listener() { room.setDelegate(nullptr); }

    // Whether the decoded audio of the last subscribed track holds a loud sample.
    bool heardSound() const
    {
        for (std::int16_t sample : recorder.received())
            if (std::abs(sample) > 3000)
                return true;
        return false;
    }
};

// Sends a data packet; false while the data channel is not open yet.
bool send(const std::shared_ptr<livekit::LocalParticipant> &local, std::vector<std::uint8_t> payload,
          const std::string &topic)
{
    try {
        local->publishData(payload, false, {}, topic);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

// The capture thread's stand-in: pushes 10 ms frames of a tone into a connection.
std::unique_ptr<TonePump> feed(LiveKitConnection &connection, double hz)
{
    auto pump = std::make_unique<TonePump>(hz, [&connection](const std::int16_t *frame, int samples) {
        connection.pushCaptureFrame(frame, samples, 48000, 1, false);
    });
    pump->start();
    return pump;
}

} // namespace

class LiveKitConnectionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void publishesToneAndStatistics();
    void refusesBadToken_data();
    void refusesBadToken();
    void secondConnectWhileFirstInFlight();
    void disconnectWhileConnecting();
    void destroyedDuringAttempt();
    void countsRuntimeUsers();
    void publishTimesOut();
    void muteBeforeFirstPublish();
    void effectiveBitrate_data();
    void effectiveBitrate();
    void speakingPackets();
    void subscriptionFilterAtVolumeFloor();
    void logsJitterBuffer();
    void reportsServerDeath();
    void endingAgainstStalledServerKeepsLoopTurning_data();
    void endingAgainstStalledServerKeepsLoopTurning();

private:
    bool connectAs(LiveKitConnection &connection, const QString &identity);

    JanusTestServer janus;
    int baselineUsers = 0;
};

void LiveKitConnectionTest::initTestCase()
{
    KESTOVA_REQUIRE_PRIVATE_NETWORK();
    // Read once per process, at its first use: set before any connection exists.
    qputenv("KESTOVA_NETEQ_STATS", "1");
    QLoggingCategory::setFilterRules(QStringLiteral("livekit.connection.debug=true"));
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
}

void LiveKitConnectionTest::init()
{
    baselineUsers = LiveKitConnection::runtimeUsers();
}

void LiveKitConnectionTest::cleanup()
{
    janus.resume();
    if (QTest::currentTestFailed())
        qWarning("media server log:\n%s", qPrintable(janus.log().right(3000)));
    if (!janus.isRunning()) {
        janus.stop();
        QVERIFY2(janus.start(), qPrintable(janus.errorText()));
    }
    // Every worker of the test has let go of the library.
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::runtimeUsers(), baselineUsers, 5000);
}

bool LiveKitConnectionTest::connectAs(LiveKitConnection &connection, const QString &identity)
{
    QSignalSpy connected(&connection, &LiveKitConnection::connectedToRoom);
    QSignalSpy failed(&connection, &LiveKitConnection::connectionFailed);
    connection.connectToRoom(janus.url(), janus.token(identity));
    if (connected.wait(kConnectMs) || connected.count() == 1)
        return true;
    qWarning("connect failed: %s", failed.isEmpty() ? "no answer" : qPrintable(failed.first().first().toString()));
    return false;
}

void LiveKitConnectionTest::publishesToneAndStatistics()
{
    LiveKitConnection alice(LiveKitConnection::Role::Own);
    Listener bob;
    QVERIFY(bob.join(janus, QStringLiteral("bob")));
    alice.setStatsIntervalMs(300);
    QSignalSpy quality(&alice, &LiveKitConnection::connectionQualityUpdated);
    QSignalSpy connecting(&alice, &LiveKitConnection::connectingChanged);
    QVERIFY(connectAs(alice, QStringLiteral("alice")));
    QCOMPARE(connecting.count(), 2);
    QVERIFY(alice.isConnected() && !alice.isConnecting());

    LogCapture log;
    alice.publishAudio(32000);
    alice.setSendingAudio(true);
    auto pump = feed(alice, 440);
    QTRY_VERIFY_WITH_TIMEOUT(alice.isAudioPublished(), 5000);
    QVERIFY(
        log.contains(QStringLiteral("livekit.connection"), QStringLiteral("audio published role=0 bitrate_kbps=32")));

    QTRY_COMPARE_WITH_TIMEOUT(bob.recorder.subscribed(), 1, 5000);
    QVERIFY(bob.recorder.startReading());
    QTRY_VERIFY_WITH_TIMEOUT(bob.recorder.received().size() > 48000, 5000);
    const double hz = testsupport::toneFrequency(bob.recorder.received());
    QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("heard %1 Hz").arg(hz)));

    // The first map has no byte baseline yet; a later one measures the send rate.
    QTRY_VERIFY_WITH_TIMEOUT(quality.count() >= 3, 5000);
    const QVariantMap first = quality.first().first().toMap();
    QCOMPARE(first.value(QStringLiteral("uploaded")).toString(), QStringLiteral("0.00 MB"));
    QCOMPARE(first.value(QStringLiteral("codec")).toString(), QStringLiteral("opus"));
    const QVariantMap last = quality.last().first().toMap();
    QVERIFY2(last.value(QStringLiteral("bitrate")).toString().endsWith(QStringLiteral("/32 kbps")),
             qPrintable(last.value(QStringLiteral("bitrate")).toString()));
    QVERIFY(last.value(QStringLiteral("bitrate")).toString() != QStringLiteral("0/32 kbps"));
    // The candidate and the round-trip time follow the first receiver report.
    QTRY_VERIFY_WITH_TIMEOUT(quality.last().first().toMap().contains(QStringLiteral("rtt")), 8000);
    QCOMPARE(quality.last().first().toMap().value(QStringLiteral("connectionType")).toString(),
             QStringLiteral("UDP (host)"));
    pump->stop();
}

void LiveKitConnectionTest::refusesBadToken_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong secret")
        << janus.url()
        << janus.serverToken(QStringLiteral("wrong")) + QLatin1Char('|') + janus.roomToken() + QStringLiteral("|alice")
        << QStringLiteral("LiveKit 连接异常：janus: Unauthorized request (wrong or missing secret/token)");
    QTest::newRow("empty token") << janus.url() << QString() << QStringLiteral("连接参数无效");
    QTest::newRow("empty url") << QString() << janus.token(QStringLiteral("alice")) << QStringLiteral("连接参数无效");
}

void LiveKitConnectionTest::refusesBadToken()
{
    QFETCH(QString, url);
    QFETCH(QString, token);
    QFETCH(QString, reason);
    LiveKitConnection connection(LiveKitConnection::Role::Own);
    QSignalSpy failed(&connection, &LiveKitConnection::connectionFailed);
    connection.connectToRoom(url, token);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kConnectMs);
    QCOMPARE(failed.first().first().toString(), reason);
    QVERIFY(!connection.isConnected() && !connection.isConnecting());
}

void LiveKitConnectionTest::secondConnectWhileFirstInFlight()
{
    LiveKitConnection connection(LiveKitConnection::Role::Parent);
    QSignalSpy connecting(&connection, &LiveKitConnection::connectingChanged);
    QSignalSpy disconnected(&connection, &LiveKitConnection::disconnected);
    QSignalSpy connected(&connection, &LiveKitConnection::connectedToRoom);
    QSignalSpy failed(&connection, &LiveKitConnection::connectionFailed);
    LogCapture log;
    janus.pause(); // both attempts block inside the library's connect
    connection.connectToRoom(janus.url(), janus.token(QStringLiteral("first")));
    connection.connectToRoom(janus.url(), janus.token(QStringLiteral("second")));
    QVERIFY(log.contains(QStringLiteral("livekit.connection"),
                         QStringLiteral("previous connect still in flight, detaching worker")));
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.first().first().toString(), QStringLiteral("正在切换连接"));
    QCOMPARE(connecting.count(), 3); // true, false (switch), true
    QCOMPARE(connecting.at(1).first().toBool(), false);
    janus.resume();
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, kConnectMs);
    // The first attempt's outcome comes too, and is dropped: its worker lets go of the library.
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::runtimeUsers(), baselineUsers + 1, 5000);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(failed.count(), 0);
    QVERIFY(connection.isConnected());
}

void LiveKitConnectionTest::disconnectWhileConnecting()
{
    LiveKitConnection connection(LiveKitConnection::Role::Own);
    QSignalSpy connected(&connection, &LiveKitConnection::connectedToRoom);
    QSignalSpy disconnected(&connection, &LiveKitConnection::disconnected);
    janus.pause();
    connection.connectToRoom(janus.url(), janus.token(QStringLiteral("alice")));
    QVERIFY(connection.isConnecting());
    connection.disconnectFromRoom(QStringLiteral("bye"));
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.first().first().toString(), QStringLiteral("bye"));
    connection.disconnectFromRoom(QStringLiteral("again")); // idle: nothing
    QCOMPARE(disconnected.count(), 1);
    janus.resume();
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::runtimeUsers(), baselineUsers + 1, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(connected.count(), 0);
    QVERIFY(!connection.isConnected());
}

void LiveKitConnectionTest::destroyedDuringAttempt()
{
    janus.pause();
    auto connection = std::make_unique<LiveKitConnection>(LiveKitConnection::Role::Own);
    connection->connectToRoom(janus.url(), janus.token(QStringLiteral("alice")));
    connection.reset();
    // The detached worker still holds the library, so it is not shut down under it.
    QCOMPARE(LiveKitConnection::runtimeUsers(), baselineUsers + 1);
    janus.resume();
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::runtimeUsers(), baselineUsers, 5000);
}

void LiveKitConnectionTest::countsRuntimeUsers()
{
    QCOMPARE(baselineUsers, 0);
    auto first = std::make_unique<LiveKitConnection>(LiveKitConnection::Role::Own);
    auto second = std::make_unique<LiveKitConnection>(LiveKitConnection::Role::Parent);
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::runtimeUsers(), 2, 5000);
    first.reset();
    QCOMPARE(LiveKitConnection::runtimeUsers(), 1);
    second.reset();
    QCOMPARE(LiveKitConnection::runtimeUsers(), 0);
    // Shut down: a room made now is refused.
    livekit::Room room;
    try {
        room.connect(janus.url().toStdString(), janus.token(QStringLiteral("x")).toStdString());
        QFAIL("connected without the library initialised");
    } catch (const std::exception &e) {
        QCOMPARE(std::string(e.what()), std::string("livekit is not initialised"));
    }
    // A new connection initialises it again.
    LiveKitConnection again(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(again, QStringLiteral("again")));
}

void LiveKitConnectionTest::publishTimesOut()
{
    LiveKitConnection connection(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(connection, QStringLiteral("alice")));
    connection.setPublishTimeoutMs(300);
    QSignalSpy timedOut(&connection, &LiveKitConnection::audioPublishTimedOut);
    QSignalSpy failed(&connection, &LiveKitConnection::audioPublishFailed);
    LogCapture log;
    janus.pause(); // the server does not confirm the publication
    connection.publishAudio(32000);
    connection.publishAudio(32000); // in flight: nothing
    QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, 3000);
    QVERIFY(log.contains(QStringLiteral("livekit.connection"), QStringLiteral("publish audio timed out role=0")));
    janus.resume();
    // The late confirmation arrives and is dropped.
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::runtimeUsers(), baselineUsers + 1, 5000);
    QCoreApplication::processEvents();
    QVERIFY(!connection.isAudioPublished());
    QCOMPARE(timedOut.count(), 1);
    QCOMPARE(failed.count(), 0);
    // Track and source survive: the next attempt publishes.
    connection.publishAudio(32000);
    QTRY_VERIFY_WITH_TIMEOUT(connection.isAudioPublished(), 5000);
}

void LiveKitConnectionTest::muteBeforeFirstPublish()
{
    LiveKitConnection alice(LiveKitConnection::Role::Own);
    Listener bob;
    QVERIFY(bob.join(janus, QStringLiteral("bob")));
    QVERIFY(connectAs(alice, QStringLiteral("alice")));
    alice.setMicMuted(true);
    alice.publishAudio(32000);
    alice.setSendingAudio(true);
    auto pump = feed(alice, 440);
    QTRY_VERIFY_WITH_TIMEOUT(alice.isAudioPublished(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(bob.recorder.subscribed(), 1, 5000);
    QVERIFY(bob.recorder.startReading());
    // A second of tone goes in; only silence may come out.
    const std::int64_t until = pump->framesSent() + 100;
    QTRY_VERIFY_WITH_TIMEOUT(pump->framesSent() > until, 3000);
    QVERIFY(!bob.heardSound());
    alice.setMicMuted(false);
    QTRY_VERIFY_WITH_TIMEOUT(bob.heardSound(), 3000);
}

void LiveKitConnectionTest::effectiveBitrate_data()
{
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("cap");
    QTest::addColumn<int>("expected"); // 0: no change
    QTest::newRow("room only") << 48000 << 0 << 48000;
    QTest::newRow("cap only") << 0 << 16000 << 16000;
    QTest::newRow("smaller of both") << 48000 << 16000 << 16000;
    QTest::newRow("neither") << 0 << 0 << 0;
}

void LiveKitConnectionTest::effectiveBitrate()
{
    QFETCH(int, room);
    QFETCH(int, cap);
    QFETCH(int, expected);
    LiveKitConnection connection(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(connection, QStringLiteral("alice")));
    connection.publishAudio(24000);
    QTRY_VERIFY_WITH_TIMEOUT(connection.isAudioPublished(), 5000);
    LogCapture log;
    connection.setRoomBitrate(room);
    connection.setVadBitrate(cap);
    const QString line = QStringLiteral("max bitrate updated, bps=%1").arg(expected);
    if (expected > 0)
        QVERIFY2(log.contains(QStringLiteral("livekit.connection"), line), qPrintable(line));
    else if (room == 0 && cap == 0)
        QVERIFY(!log.contains(QStringLiteral("livekit.connection"), QStringLiteral("max bitrate updated")));
}

void LiveKitConnectionTest::speakingPackets()
{
    LiveKitConnection alice(LiveKitConnection::Role::Own);
    LiveKitConnection bob(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(bob, QStringLiteral("bob")));
    QVERIFY(connectAs(alice, QStringLiteral("alice")));
    QSignalSpy speaking(&bob, &LiveKitConnection::speakingPacketReceived);
    // Packets are lossy and only reach a receiver once its connection to the sender is up, which is
    // why the media session repeats them; so does this test until the first one arrives.
    QTRY_VERIFY_WITH_TIMEOUT((alice.sendSpeaking(true), speaking.count() > 0), 5000);
    QCOMPARE(speaking.first().at(0).toString(), QStringLiteral("alice"));
    QCOMPARE(speaking.first().at(1).toBool(), true);

    // A raw participant sends what the receiver must ignore between two valid packets.
    Listener carol;
    QVERIFY(carol.join(janus, QStringLiteral("carol")));
    auto local = carol.room.localParticipant().lock();
    QVERIFY(local);
    QTRY_VERIFY_WITH_TIMEOUT(send(local, {2}, "spk") && speaking.last().at(0).toString() == QStringLiteral("carol"),
                             5000);
    QVERIFY(speaking.last().at(1).toBool()); // any non-zero byte is speaking
    QVERIFY(send(local, {0, 1}, "spk"));     // not speaking; extra bytes are ignored
    QVERIFY(send(local, {}, "spk"));         // empty payload: ignored
    QVERIFY(send(local, {1}, "other"));      // another topic: ignored
    QVERIFY(send(local, {3}, "spk"));
    // The channel is ordered: after the "not speaking" packet exactly one signal follows.
    const auto afterStop = [&speaking]() -> int {
        for (int i = 0; i < speaking.count(); ++i)
            if (!speaking.at(i).at(1).toBool())
                return static_cast<int>(speaking.count()) - 1 - i;
        return -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(afterStop(), 1, 5000);
    QCOMPARE(speaking.last().at(0).toString(), QStringLiteral("carol"));
    QVERIFY(speaking.last().at(1).toBool());
}

void LiveKitConnectionTest::subscriptionFilterAtVolumeFloor()
{
    const QString alice = QStringLiteral("alice");
    AudioPlaybackManager playback;
    playback.setParticipantGainDb(alice, -30);
    LiveKitConnection bob(LiveKitConnection::Role::Own);
    bob.setPlaybackManager(&playback);
    QVERIFY(connectAs(bob, QStringLiteral("bob")));
    LogCapture log;
    LiveKitConnection speaker(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(speaker, alice));
    // Arriving at the floor: refused, never played.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("livekit.connection"),
                                          QStringLiteral(
                                              "remote track rejected by subscription filter identity=alice")),
                             5000);
    QVERIFY(!playback.hasRemoteTrack(alice));

    // Raising the gain and asking again brings the track back through the subscribed path.
    playback.setParticipantGainDb(alice, 0);
    bob.setParticipantSubscribed(alice, true);
    QTRY_VERIFY_WITH_TIMEOUT(playback.hasRemoteTrack(alice), 5000);

    // Back at the floor, the filter pass takes it away again.
    playback.setParticipantGainDb(alice, -30);
    bob.applySubscriptionFilter();
    QTRY_VERIFY_WITH_TIMEOUT(!playback.hasRemoteTrack(alice), 5000);
    playback.setParticipantGainDb(alice, 0);
    bob.applySubscriptionFilter();
    QTRY_VERIFY_WITH_TIMEOUT(playback.hasRemoteTrack(alice), 5000);

    // Listening mute takes every track away, and a wanted participant cannot override it.
    bob.setListeningMuted(true);
    QTRY_VERIFY_WITH_TIMEOUT(!playback.hasRemoteTrack(alice), 5000);
    bob.setParticipantSubscribed(alice, true);
    QTest::qWait(300); // a negative check: give a wrong subscription time to show up
    QVERIFY(!playback.hasRemoteTrack(alice));
    bob.setListeningMuted(false);
    QTRY_VERIFY_WITH_TIMEOUT(playback.hasRemoteTrack(alice), 5000);
}

void LiveKitConnectionTest::logsJitterBuffer()
{
    // Both publish: a connection polls statistics only while it has a microphone track.
    LiveKitConnection alice(LiveKitConnection::Role::Own);
    LiveKitConnection bob(LiveKitConnection::Role::Own);
    bob.setStatsIntervalMs(300);
    QVERIFY(connectAs(bob, QStringLiteral("bob")));
    QVERIFY(connectAs(alice, QStringLiteral("alice")));
    LogCapture log;
    for (LiveKitConnection *connection : {&alice, &bob}) {
        connection->publishAudio(32000);
        connection->setSendingAudio(true);
    }
    auto pump = feed(alice, 440);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("livekit.connection"),
                                          QStringLiteral("neteq stats identity=alice jb_ms=")),
                             8000);
    QVERIFY(!log.contains(QStringLiteral("livekit.connection"), QStringLiteral("neteq stats identity=bob")));
    pump->stop();
}

void LiveKitConnectionTest::reportsServerDeath()
{
    LiveKitConnection connection(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(connection, QStringLiteral("alice")));
    QSignalSpy disconnected(&connection, &LiveKitConnection::disconnected);
    janus.kill();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 3000);
    QCOMPARE(disconnected.first().first().toString(), QStringLiteral("语音连接断开：信令关闭"));
    QVERIFY(!connection.isConnected());
}

void LiveKitConnectionTest::endingAgainstStalledServerKeepsLoopTurning_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("leaving") << QStringLiteral("leave");
    QTest::newRow("switching") << QStringLiteral("switch");
    QTest::newRow("signing out") << QStringLiteral("destroy");
}

// Ending a published room while the media server is stopped (it answers nothing, its sockets stay
// open) never holds the GUI thread: the unpublish and the room's goodbye wait elsewhere.
void LiveKitConnectionTest::endingAgainstStalledServerKeepsLoopTurning()
{
    QFETCH(QString, how);
    const qint64 pid = janus.pid();
    auto alice = std::make_unique<LiveKitConnection>(LiveKitConnection::Role::Own);
    QVERIFY(connectAs(*alice, QStringLiteral("alice")));
    alice->publishAudio(32000);
    alice->setSendingAudio(true);
    auto pump = feed(*alice, 440);
    QTRY_VERIFY_WITH_TIMEOUT(alice->isAudioPublished(), 5000);
    QSignalSpy disconnected(alice.get(), &LiveKitConnection::disconnected);

    janus.pause();
    TurnMeter meter;
    QElapsedTimer call;
    QTimer::singleShot(5, [&] {
        call.start();
        if (how == QLatin1String("leave")) {
            alice->disconnectFromRoom(QStringLiteral("离开房间"));
        } else if (how == QLatin1String("switch")) {
            alice->connectToRoom(janus.url(), janus.token(QStringLiteral("alice")));
        } else {
            pump->stop();
            alice.reset();
        }
        qInfo("ending took %.1f ms", double(call.nsecsElapsed()) / 1e6);
    });
    // Long enough for a blocking unpublish or goodbye to show.
    QTest::qWait(1500);
    // Time the GUI thread only waited for a core on a loaded machine is not counted.
    const double worst = meter.worstOwnMs();
    qInfo("longest event-loop turn while ending: %.1f ms (%.1f ms of wall time)", worst, meter.worstMs());
    QVERIFY2(worst < testsupport::TurnMeter::stallBoundMs(), qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(worst)));
    if (alice)
        QCOMPARE(disconnected.count(), 1);

    // The server comes back: the ending finishes and the server is the same one.
    janus.resume();
    pump->stop();
    alice.reset();
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::roomsBeingEnded(), 0, 10000);
    QCOMPARE(janus.pid(), pid);
}

KESTOVA_MEDIA_TEST_MAIN(LiveKitConnectionTest)
#include "test_livekit_connection.moc"
