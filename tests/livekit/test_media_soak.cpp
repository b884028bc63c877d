// Many short calls against one media server: in every cycle two to four members join, one of them
// plays a tone, every member keeps sending data packets, a listener hears the tone, and then all
// leave at once while the packets still flow. The server must live through all of it (same process,
// no crash, no core file) and shut down cleanly at the end.
//
// The cycle count is KESTOVA_SOAK_CYCLES (default 12, for the normal suite); the figures quoted in
// bench/RESULTS.md come from a run with KESTOVA_SOAK_CYCLES=300.
#include "livekit/livekit_connection.h"
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_source.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/track.h"
#include "support/janus_test_server.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <atomic>
#include <thread>

using testsupport::JanusTestServer;
using testsupport::RoomRecorder;
using testsupport::TonePump;

namespace {

constexpr int kWaitMs = 8000;

int soakCycles()
{
    bool ok = false;
    const int cycles = qEnvironmentVariableIntValue("KESTOVA_SOAK_CYCLES", &ok);
    return ok && cycles > 0 ? cycles : 12;
}

// One member of a cycle: a room, data packets sent every 20 ms from a thread of its own until the
// member is gone, and for the speaker a microphone playing a tone.
struct Member
{
    RoomRecorder recorder;
    std::unique_ptr<livekit::Room> room = std::make_unique<livekit::Room>();
    std::shared_ptr<livekit::AudioSource> source;
    std::shared_ptr<livekit::LocalAudioTrack> track;
    std::unique_ptr<TonePump> pump;
    std::thread sender;
    std::atomic<bool> sending{false};
    std::atomic<int> sent{0};

    Member() { room->setDelegate(&recorder); }
    ~Member()
    {
        leave();
        stopSending();
    }

    bool join(const JanusTestServer &janus, const QString &identity)
    {
        try {
            return room->connect(janus.url().toStdString(), janus.token(identity).toStdString());
        } catch (const std::exception &e) {
            qWarning("%s could not join: %s", qPrintable(identity), e.what());
            return false;
        }
    }
    void startSending(std::uint8_t cycle)
    {
        sending = true;
        std::weak_ptr<livekit::LocalParticipant> local = room->localParticipant();
        sender = std::thread([this, local, cycle] {
            while (sending) {
                if (auto participant = local.lock()) {
                    try {
                        participant->publishData({cycle, std::uint8_t(sent.load())}, false, {}, "soak");
                        ++sent;
                    } catch (const std::exception &) {
                        // Not open yet, or the room is going: the next packet tries again.
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    void stopSending()
    {
        sending = false;
        if (sender.joinable())
            sender.join();
    }
    bool speak(double hz)
    {
        source = std::make_shared<livekit::AudioSource>(48000, 1, 0);
        track = livekit::LocalAudioTrack::createLocalAudioTrack("microphone", source);
        livekit::TrackPublishOptions options;
        options.audioEncoding.maxBitrate = 32000;
        options.dtx = true;
        options.source = livekit::TrackSource::Microphone;
        pump = std::make_unique<TonePump>(hz, [s = source](const std::int16_t *frame, int samples) {
            s->captureFrame(livekit::AudioFrame(std::vector<std::int16_t>(frame, frame + samples), 48000, 1, samples));
        });
        pump->start();
        try {
            room->localParticipant().lock()->publishTrack(track, options);
            return true;
        } catch (const std::exception &e) {
            qWarning("publish failed: %s", e.what());
            return false;
        }
    }
    // The client's own way out: the room's teardown, with the packets still being sent.
    void leave()
    {
        if (!room)
            return;
        room->setDelegate(nullptr);
        recorder.stopReading();
        room.reset();
        if (pump)
            pump->stop();
    }
};

bool waitFor(const std::function<bool()> &condition, int ms = kWaitMs)
{
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

class MediaSoakTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void joinLeaveCyclesWithDataFlowing();

private:
    JanusTestServer janus;
    // Holds the library initialised for the raw rooms, as a connection does in the client.
    std::unique_ptr<LiveKitConnection> runtime;
};

void MediaSoakTest::initTestCase()
{
    if (!testsupport::privateNetworkUnavailable().isEmpty())
        QSKIP(qPrintable(testsupport::privateNetworkUnavailable()));
    runtime = std::make_unique<LiveKitConnection>(LiveKitConnection::Role::Own);
    QTRY_VERIFY_WITH_TIMEOUT(LiveKitConnection::runtimeUsers() > 0, 5000);
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
}

void MediaSoakTest::cleanupTestCase()
{
    janus.stop();
    runtime.reset();
}

void MediaSoakTest::joinLeaveCyclesWithDataFlowing()
{
    const int cycles = soakCycles();
    const qint64 pid = janus.pid();
    QElapsedTimer total;
    total.start();
    qint64 slowestCycleMs = 0;
    int packets = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        QElapsedTimer cycleClock;
        cycleClock.start();
        const int count = 2 + cycle % 3;
        std::vector<std::unique_ptr<Member>> members;
        for (int i = 0; i < count; ++i) {
            members.push_back(std::make_unique<Member>());
            const QString identity = i == 0 ? QStringLiteral("speaker") : QStringLiteral("m%1-%2").arg(cycle).arg(i);
            QVERIFY2(members.back()->join(janus, identity),
                     qPrintable(QStringLiteral("cycle %1: %2 could not join").arg(cycle).arg(identity)));
            members.back()->startSending(std::uint8_t(cycle));
        }
        QVERIFY2(members.front()->speak(440), qPrintable(QStringLiteral("cycle %1: no publication").arg(cycle)));

        // One listener, a different one each cycle, hears the tone again.
        Member &listener = *members.at(1 + cycle % (count - 1));
        QVERIFY2(waitFor([&] { return listener.recorder.subscribed() > 0; }),
                 qPrintable(QStringLiteral("cycle %1: the listener never got the speaker's track").arg(cycle)));
        QVERIFY(listener.recorder.startReading());
        QVERIFY2(waitFor([&] { return listener.recorder.received().size() >= 9600; }),
                 qPrintable(QStringLiteral("cycle %1: nothing heard").arg(cycle)));
        const double hz = testsupport::toneFrequency(listener.recorder.received());
        QVERIFY2(std::abs(hz - 440) < 10, qPrintable(QStringLiteral("cycle %1: heard %2 Hz").arg(cycle).arg(hz)));
        // Data packets of every member reached the listener before anyone leaves.
        QVERIFY2(waitFor([&] { return listener.recorder.dataCount() >= std::size_t(count - 1); }),
                 qPrintable(QStringLiteral("cycle %1: no data packets arrived").arg(cycle)));

        // Everyone leaves at once, each on a thread of its own, while the packets flow.
        std::vector<std::thread> leaving;
        for (auto &member : members)
            leaving.emplace_back([m = member.get()] { m->leave(); });
        for (std::thread &thread : leaving)
            thread.join();
        for (auto &member : members) {
            member->stopSending();
            packets += member->sent.load();
        }
        members.clear();

        QVERIFY2(janus.isRunning() && janus.pid() == pid,
                 qPrintable(QStringLiteral("cycle %1: the media server died:\n%2").arg(cycle).arg(janus.log().right(3000))));
        slowestCycleMs = std::max(slowestCycleMs, cycleClock.elapsed());
    }
    const double seconds = double(total.elapsed()) / 1000;

    // The server shuts down cleanly once everyone has gone: its teardown of the data channels is
    // complete, nothing is left to race its exit.
    janus.stop();
    QVERIFY2(janus.stoppedCleanly(), qPrintable(QStringLiteral("the media server did not exit cleanly:\n%1")
                                                    .arg(janus.log().right(3000))));
    QVERIFY2(!janus.leftCoreFile(), "the media server left a core file");
    qInfo("soak: cycles=%d seconds=%.1f per_cycle_ms=%.0f slowest_cycle_ms=%lld data_packets=%d server_restarts=0",
          cycles, seconds, seconds * 1000 / cycles, static_cast<long long>(slowestCycleMs), packets);
}

KESTOVA_MEDIA_TEST_MAIN(MediaSoakTest)
#include "test_media_soak.moc"
