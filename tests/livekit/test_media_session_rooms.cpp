#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"
#include "audio/fake_capture_backend.h"
#include "audio/memory_audio_storage.h"
#include "audio/scripted_detector.h"
#include "livekit/livekit_connection.h"
#include "livekit/media_session_service.h"
#include "platform/livekit/room.h"
#include "support/fake_http_client.h"
#include "support/janus_test_server.h"
#include "support/log_capture.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"
#include "support/turn_meter.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTimer>

using testsupport::FakeCaptureBackend;
using testsupport::FakeHttpClient;
using testsupport::FakeMicrophone;
using testsupport::JanusTestServer;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::MemoryAudioStorage;
using testsupport::RoomRecorder;
using testsupport::ScriptedDetector;
using testsupport::TonePump;
using testsupport::TurnMeter;

namespace {

constexpr int kWaitMs = 8000;

// A member of one room who only listens, to hear from the outside what the session sends.
struct Listener
{
    RoomRecorder recorder;
    livekit::Room room;

    bool join(const JanusTestServer &janus, const QString &identity, int roomNumber)
    {
        room.setDelegate(&recorder);
        try {
            return room.connect(janus.url(roomNumber).toStdString(), janus.token(identity, roomNumber).toStdString());
        } catch (const std::exception &e) {
            qWarning("listener could not connect: %s", e.what());
            return false;
        }
    }
    ~Listener() { room.setDelegate(nullptr); }

    bool heardSound() const
    {
        for (std::int16_t sample : recorder.received())
            if (std::abs(sample) > 3000)
                return true;
        return false;
    }
    bool heardSpeaking(const std::string &identity) const
    {
        for (const RoomRecorder::Data &packet : recorder.dataPackets())
            if (packet.topic == "spk" && packet.identity == identity && packet.payload == std::vector<std::uint8_t>{1})
                return true;
        return false;
    }
    bool saw(const std::string &identity) const
    {
        for (const std::string &left : recorder.leftIdentities())
            if (left == identity)
                return true;
        return false;
    }
};

} // namespace

// The media session against a real media server with two rooms: a sub-room and its parent.
class MediaSessionRoomsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { janus.resume(); } // a check that failed while the server was stopped
    void broadcastReachesParentRoom();
    void endingWithStalledServerKeepsLoopTurning_data();
    void endingWithStalledServerKeepsLoopTurning();

private:
    JanusTestServer janus;
};

void MediaSessionRoomsTest::initTestCase()
{
    KESTOVA_REQUIRE_PRIVATE_NETWORK();
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
}

void MediaSessionRoomsTest::broadcastReachesParentRoom()
{
    FakeHttpClient http;
    MemoryAudioStorage storage;
    storage.values.insert(QStringLiteral("noiseMode"), QStringLiteral("off"));
    storage.values.insert(QStringLiteral("aecEnabled"), false);
    auto mic = std::make_shared<FakeMicrophone>();
    ScriptedDetector::speech = 1;
    AudioCaptureManager::Dependencies audio;
    audio.engine.backendFactory = [mic] { return std::make_unique<FakeCaptureBackend>(mic); };
    audio.engine.detectorLibrary = ScriptedDetector::calls();
    audio.listCaptureDevices = [] { return QList<AudioDeviceInfo>{{"fake-endpoint", "Desk microphone", true}}; };
    AudioCaptureManager capture(&storage, nullptr, audio);
    AudioPlaybackManager playback;
    auto media = std::make_unique<MediaSessionService>(&http, &capture, &playback);
    media->setSelfIdProvider([] { return QStringLiteral("alice"); });

    // The listeners need the library, which the session's connections hold.
    QTRY_VERIFY_WITH_TIMEOUT(LiveKitConnection::runtimeUsers() > 0, 5000);
    Listener bob;
    Listener carol;
    QVERIFY(bob.join(janus, QStringLiteral("bob"), JanusTestServer::kRoom));
    QVERIFY(carol.join(janus, QStringLiteral("carol"), JanusTestServer::kParentRoom));

    LogCapture log;
    media->syncRooms(true, QStringLiteral("sub"), QStringLiteral("top"));
    http.answer(QStringLiteral("/v1/rooms/sub/livekit-token"), 0,
                jsonReply(200, {{"token", janus.token(QStringLiteral("alice"), JanusTestServer::kRoom)},
                                {"url", janus.url(JanusTestServer::kRoom)},
                                {"roomBitrate", 32000}}));
    http.answer(QStringLiteral("/v1/rooms/top/livekit-token"), 0,
                jsonReply(200, {{"token", janus.token(QStringLiteral("alice"), JanusTestServer::kParentRoom)},
                                {"url", janus.url(JanusTestServer::kParentRoom)}}));
    const QString session = QStringLiteral("livekit.session");
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(session, QStringLiteral("media connected session=own")), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(session, QStringLiteral("media connected session=parent")), kWaitMs);

    TonePump pump(440, [mic](const std::int16_t *frame, int samples) {
        mic->push(std::vector<qint16>(frame, frame + samples));
    });
    pump.start();

    // Holding broadcast: the voice and the speaking flag go to the parent room.
    media->setBroadcastActive(true);
    media->setLocalSpeaking(true);
    QTRY_VERIFY_WITH_TIMEOUT(carol.recorder.subscribed() >= 1, kWaitMs);
    QVERIFY(carol.recorder.startReading());
    QTRY_VERIFY_WITH_TIMEOUT(carol.recorder.received().size() > 48000, kWaitMs);
    const double hz = testsupport::toneFrequency(carol.recorder.received());
    QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("parent room heard %1 Hz").arg(hz)));
    QTRY_VERIFY_WITH_TIMEOUT(carol.heardSpeaking("alice"), kWaitMs);

    // Meanwhile the sub-room hears its member's track carry silence.
    QTRY_VERIFY_WITH_TIMEOUT(bob.recorder.subscribed() >= 1, kWaitMs);
    QVERIFY(bob.recorder.startReading());
    // Silence is sent as discontinuous transmission, so little or nothing is decoded; the voice
    // would be heard within a few tens of milliseconds.
    QTest::qWait(1000);
    QVERIFY(!bob.heardSound());
    QVERIFY(!bob.heardSpeaking("alice"));

    // Leaving ends both sessions: both rooms see the user go.
    media->syncRooms(false, QString(), QString());
    QCOMPARE(log.count(session, QStringLiteral("media session end")), 2);
    QTRY_VERIFY_WITH_TIMEOUT(carol.saw("alice"), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bob.saw("alice"), kWaitMs);
    pump.stop();
    bob.recorder.stopReading();
    carol.recorder.stopReading();
    media.reset();
    ScriptedDetector::speech = 0;
}

void MediaSessionRoomsTest::endingWithStalledServerKeepsLoopTurning_data()
{
    QTest::addColumn<bool>("signOut");
    QTest::newRow("leaving the room") << false;
    QTest::newRow("signing out") << true;
}

// The user leaves (or signs out) while the media server is stopped: it answers nothing and its
// sockets stay open. The session's microphone is published and a member's voice plays; none of
// the ending waits on the GUI thread for the server.
void MediaSessionRoomsTest::endingWithStalledServerKeepsLoopTurning()
{
    QFETCH(bool, signOut);
    FakeHttpClient http;
    MemoryAudioStorage storage;
    storage.values.insert(QStringLiteral("noiseMode"), QStringLiteral("off"));
    auto mic = std::make_shared<FakeMicrophone>();
    ScriptedDetector::speech = 1;
    AudioCaptureManager::Dependencies audio;
    audio.engine.backendFactory = [mic] { return std::make_unique<FakeCaptureBackend>(mic); };
    audio.engine.detectorLibrary = ScriptedDetector::calls();
    audio.listCaptureDevices = [] { return QList<AudioDeviceInfo>{{"fake-endpoint", "Desk microphone", true}}; };
    AudioCaptureManager capture(&storage, nullptr, audio);
    AudioPlaybackManager playback;
    auto media = std::make_unique<MediaSessionService>(&http, &capture, &playback);
    QTRY_VERIFY_WITH_TIMEOUT(LiveKitConnection::runtimeUsers() > 0, 5000);
    Listener bob; // a member whose track alice's playback takes
    QVERIFY(bob.join(janus, QStringLiteral("bob"), JanusTestServer::kRoom));

    LogCapture log;
    media->syncRooms(true, QStringLiteral("sub"), QString());
    http.answer(QStringLiteral("/v1/rooms/sub/livekit-token"), 0,
                jsonReply(200, {{"token", janus.token(QStringLiteral("alice"), JanusTestServer::kRoom)},
                                {"url", janus.url(JanusTestServer::kRoom)}}));
    const QString session = QStringLiteral("livekit.session");
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(session, QStringLiteral("media connected session=own")), kWaitMs);
    TonePump pump(440, [mic](const std::int16_t *frame, int samples) {
        mic->push(std::vector<qint16>(frame, frame + samples));
    });
    pump.start();
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("livekit.connection"), QStringLiteral("audio published")),
                             kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(playback.hasRemoteTrack(QStringLiteral("bob")), kWaitMs);

    const qint64 pid = janus.pid();
    janus.pause();
    TurnMeter meter;
    QTimer::singleShot(5, [&] {
        if (signOut)
            media.reset();
        else
            media->syncRooms(false, QString(), QString());
    });
    QTest::qWait(1500);
    // Time the GUI thread only waited for a core on a loaded machine is not counted.
    const double worst = meter.worstOwnMs();
    qInfo("longest event-loop turn while ending: %.1f ms (%.1f ms of wall time)", worst, meter.worstMs());
    QVERIFY2(worst < testsupport::TurnMeter::stallBoundMs(), qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(worst)));
    QVERIFY(!playback.hasRemoteTrack(QStringLiteral("bob")));

    janus.resume();
    pump.stop();
    media.reset();
    QTRY_COMPARE_WITH_TIMEOUT(LiveKitConnection::roomsBeingEnded(), 0, 10000);
    QCOMPARE(janus.pid(), pid);
    ScriptedDetector::speech = 0;
}

KESTOVA_MEDIA_TEST_MAIN(MediaSessionRoomsTest)
#include "test_media_session_rooms.moc"
