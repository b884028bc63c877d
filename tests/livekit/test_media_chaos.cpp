// The media server dies in the middle of a call: both connections report the loss, and once the
// server is back the next connect works, the microphone is published again and is heard again,
// whether the listener comes back before or after the microphone does.
#include "audio/audio_playback_manager.h"
#include "audio/remote_audio_stream.h"
#include "livekit/livekit_connection.h"
#include "platform/livekit/audio_stream.h"
#include "platform/livekit/livekit.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/track.h"
#include "platform/livekit/track_publication.h"
#include "support/janus_test_server.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTimer>

#include <mutex>
#include <thread>
#include <vector>

using testsupport::JanusTestServer;
using testsupport::RoomRecorder;
using testsupport::TonePump;

namespace {

constexpr int kConnectMs = 5000;
constexpr int kHearMs = 8000;

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

// Alice publishes her microphone, which keeps playing a 440 Hz tone; the server confirms the
// publication.
bool publishes(LiveKitConnection &alice)
{
    alice.publishAudio(32000);
    alice.setSendingAudio(true);
    QDeadlineTimer deadline(10000);
    while (!alice.isAudioPublished() && !deadline.hasExpired())
        QTest::qWait(20);
    return alice.isAudioPublished();
}

// What bob's playback reads from the tracks his connection hands it, all streams together: only
// alice sends sound, so a tone in it is hers.
class PlaybackTap
{
public:
    AudioPlaybackDependencies dependencies()
    {
        AudioPlaybackDependencies deps;
        deps.startTickTimer = false; // no render device: the tap is the only reader
        deps.openStream = [this](const std::shared_ptr<livekit::Track> &track) -> std::shared_ptr<IRemoteAudioStream> {
            std::shared_ptr<IRemoteAudioStream> inner = openRemoteAudioStream(track);
            if (!inner)
                return nullptr;
            return std::make_shared<Stream>(std::move(inner), this);
        };
        return deps;
    }
    std::vector<std::int16_t> heard()
    {
        std::lock_guard lock(mutex);
        return samples;
    }
    void clear()
    {
        std::lock_guard lock(mutex);
        samples.clear();
    }

private:
    class Stream : public IRemoteAudioStream
    {
    public:
        Stream(std::shared_ptr<IRemoteAudioStream> inner, PlaybackTap *tap)
            : m_inner(std::move(inner))
            , m_tap(tap)
        {}
        bool read(livekit::AudioFrame &frame) override
        {
            if (!m_inner->read(frame))
                return false;
            std::lock_guard lock(m_tap->mutex);
            m_tap->samples.insert(m_tap->samples.end(), frame.data().begin(), frame.data().end());
            return true;
        }
        void close() override { m_inner->close(); }

    private:
        std::shared_ptr<IRemoteAudioStream> m_inner;
        PlaybackTap *m_tap;
    };

    std::mutex mutex;
    std::vector<std::int16_t> samples;
};

// Waits until a second of sound was heard and returns its frequency (0: none).
double frequencyHeard(PlaybackTap &tap)
{
    QDeadlineTimer deadline(kHearMs);
    while (tap.heard().size() < 48000 && !deadline.hasExpired())
        QTest::qWait(20);
    return testsupport::toneFrequency(tap.heard());
}

// A member of the room who only listens, to hear from the outside what alice sends. Bob's
// connection publishes a track of its own, so the listener picks alice's by her identity.
struct Listener
{
    RoomRecorder recorder;
    livekit::Room room;
    std::shared_ptr<livekit::AudioStream> stream;
    std::thread reader;
    std::mutex mutex;
    std::vector<std::int16_t> samples;

    bool join(const JanusTestServer &janus, const QString &identity)
    {
        room.setDelegate(&recorder);
        try {
            return room.connect(janus.url().toStdString(), janus.token(identity).toStdString());
        } catch (const std::exception &e) {
            qWarning("listener could not connect: %s", e.what());
            return false;
        }
    }
    ~Listener()
    {
        room.setDelegate(nullptr);
        if (stream)
            stream->close();
        if (reader.joinable())
            reader.join();
    }

    std::shared_ptr<livekit::Track> subscribedTrackOf(const std::string &identity) const
    {
        const std::shared_ptr<livekit::RemoteParticipant> participant = room.remoteParticipant(identity).lock();
        if (!participant)
            return nullptr;
        for (const auto &[sid, publication] : participant->trackPublications())
            if (std::shared_ptr<livekit::Track> track = publication->track())
                return track;
        return nullptr;
    }
    std::size_t receivedCount()
    {
        std::lock_guard lock(mutex);
        return samples.size();
    }

    // Waits for alice's track, reads a second of it and returns the frequency heard (0: none).
    double hearsAlice()
    {
        QDeadlineTimer deadline(kHearMs);
        std::shared_ptr<livekit::Track> track;
        while (!(track = subscribedTrackOf("alice")) && !deadline.hasExpired())
            QTest::qWait(20);
        stream = livekit::AudioStream::fromTrack(track, livekit::AudioStreamOptions{120, {}, {}});
        if (!stream) {
            qWarning("the listener never subscribed to alice's track");
            return 0;
        }
        reader = std::thread([this] {
            livekit::AudioFrameEvent event;
            while (stream->read(event)) {
                std::lock_guard lock(mutex);
                samples.insert(samples.end(), event.frame.data().begin(), event.frame.data().end());
            }
        });
        while (receivedCount() < 48000 && !deadline.hasExpired())
            QTest::qWait(20);
        std::lock_guard lock(mutex);
        return testsupport::toneFrequency(samples);
    }
};

} // namespace

class MediaChaosTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void serverKilledMidCallThenBack_data();
    void serverKilledMidCallThenBack();

private:
    JanusTestServer janus;
};

void MediaChaosTest::initTestCase()
{
    KESTOVA_REQUIRE_PRIVATE_NETWORK();
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
}

void MediaChaosTest::serverKilledMidCallThenBack_data()
{
    QTest::addColumn<bool>("listenerFirst");
    QTest::newRow("listener back before the microphone") << true;
    QTest::newRow("listener back after the microphone") << false;
}

void MediaChaosTest::serverKilledMidCallThenBack()
{
    QFETCH(bool, listenerFirst);
    if (!janus.isRunning())
        QVERIFY2(janus.start(), qPrintable(janus.errorText()));
    PlaybackTap tap;
    AudioPlaybackManager playback(nullptr, nullptr, tap.dependencies());
    LiveKitConnection alice(LiveKitConnection::Role::Own);
    LiveKitConnection bob(LiveKitConnection::Role::Own);
    bob.setPlaybackManager(&playback);
    // Stands in for the speaker, taking the mix a little faster than it is made so no queue fills.
    QTimer speaker;
    QObject::connect(&speaker, &QTimer::timeout, [&playback] {
        std::vector<qint16> out(1920);
        playback.mixInto(out);
    });
    speaker.start(20);
    TonePump pump(440, [&alice](const std::int16_t *frame, int samples) {
        alice.pushCaptureFrame(frame, samples, 48000, 1, false);
    });
    pump.start();
    QVERIFY(connectAs(alice, janus, QStringLiteral("alice")));
    QVERIFY(connectAs(bob, janus, QStringLiteral("bob")));
    QVERIFY(publishes(alice));
    const double before = frequencyHeard(tap);
    QVERIFY2(std::abs(before - 440) < 5, qPrintable(QStringLiteral("bob heard %1 Hz before the crash").arg(before)));

    QSignalSpy aliceLost(&alice, &LiveKitConnection::disconnected);
    QSignalSpy bobLost(&bob, &LiveKitConnection::disconnected);
    janus.kill();
    QTRY_COMPARE_WITH_TIMEOUT(aliceLost.count(), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(bobLost.count(), 1, 3000);
    QCOMPARE(aliceLost.first().first().toString(), QStringLiteral("语音连接断开：信令关闭"));
    QVERIFY(!alice.isConnected() && !bob.isConnected());
    // The lost room's tracks no longer play.
    QVERIFY(!playback.hasRemoteTrack(QStringLiteral("alice")));

    // While the server is down a connect fails and says so; nothing hangs.
    janus.stop();
    QSignalSpy failed(&bob, &LiveKitConnection::connectionFailed);
    bob.connectToRoom(janus.url(), janus.token(QStringLiteral("bob")));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kConnectMs);
    QVERIFY(!bob.isConnected() && !bob.isConnecting());

    // Back up: the same connections connect again, alice publishes again and a listener hears her
    // tone, whichever of the two comes back first.
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
    Listener carol;
    tap.clear();
    if (listenerFirst) {
        QVERIFY(connectAs(bob, janus, QStringLiteral("bob")));
        QVERIFY(carol.join(janus, QStringLiteral("carol")));
    }
    QVERIFY(connectAs(alice, janus, QStringLiteral("alice")));
    QVERIFY(publishes(alice));
    if (!listenerFirst) {
        QVERIFY(connectAs(bob, janus, QStringLiteral("bob")));
        QVERIFY(carol.join(janus, QStringLiteral("carol")));
    }
    const double hz = carol.hearsAlice();
    QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("the listener heard %1 Hz").arg(hz)));
    const double after = frequencyHeard(tap);
    QVERIFY2(std::abs(after - 440) < 5, qPrintable(QStringLiteral("bob heard %1 Hz after the restart").arg(after)));
    pump.stop();
    alice.disconnectFromRoom(QStringLiteral("done"));
    bob.disconnectFromRoom(QStringLiteral("done"));
}

KESTOVA_MEDIA_TEST_MAIN(MediaChaosTest)
#include "test_media_chaos.moc"
