#include "audio/audio_playback_manager.h"
#include "fake_remote_stream.h"
#include "memory_audio_storage.h"
#include "platform/audio/clocked_render_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

const QString kCategory = QStringLiteral("audio.playback");

using FakeStream = testsupport::FakeRemoteStream;
using testsupport::FakeTrack;

// A manager over fake streams and a settable clock. `device` null: every render open fails, so
// no render thread runs and the test mixes by hand.
struct Fixture
{
    explicit Fixture(ClockedRenderDevice *device = nullptr)
    {
        AudioPlaybackDependencies deps;
        deps.startTickTimer = false;
        deps.nowMs = [this] { return clock.load(); };
        deps.openStream = [this](const std::shared_ptr<livekit::Track> &) -> std::shared_ptr<IRemoteAudioStream> {
            ++opens;
            if (refuseStreams)
                return nullptr;
            auto stream = std::make_shared<FakeStream>();
            streams.push_back(stream);
            return stream;
        };
        if (device)
            deps.renderClient = device->factory();
        else
            deps.renderClient = [] { return std::unique_ptr<IRenderClient>(); };
        manager = std::make_unique<AudioPlaybackManager>(&storage, nullptr, deps);
    }

    FakeStream &add(const QString &identity, const QString &sid = QStringLiteral("TR_1"))
    {
        manager->addRemoteTrack(std::make_shared<FakeTrack>(), sid, identity);
        return *streams.back();
    }
    std::vector<qint16> mix(int n = 480)
    {
        std::vector<qint16> out(std::size_t(n), qint16(-1));
        manager->mixInto(out);
        return out;
    }

    testsupport::MemoryAudioStorage storage;
    std::atomic<qint64> clock{1000000};
    int opens = 0;
    bool refuseStreams = false;
    std::vector<std::shared_ptr<FakeStream>> streams;
    std::unique_ptr<AudioPlaybackManager> manager;
};

bool allEqual(const std::vector<qint16> &v, qint16 value, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    to = std::min(to, v.size());
    for (std::size_t i = from; i < to; ++i)
        if (v[i] != value)
            return false;
    return true;
}

} // namespace

class TestAudioPlaybackManager : public QObject
{
    Q_OBJECT

private slots:
    void gainLaw_data();
    void gainLaw();
    void gainsAreClampedAndStored();
    void queueKeepsThirtyChunks();
    void queueTrimmedAfterTwoSecondsAboveTarget();
    void underrunsRaiseTargetAndQuietLowersIt();
    void quietSenderIsNotAnUnderrun();
    void resamplesToMono48k();
    void oneSessionPerKey();
    void levelReportsTheLouderTrack();
    void mutedOutputIsSilentAndStillDrains();
    void failedOpenNotRetriedUntilDeviceChanges();
    void defaultChangeRebindsOnlyItsRole();
    void renderThreadWritesTheMixAndReopensAfterLoss();
    void removingSessionsClosesStreams();
    void renderDeviceBelongsToTheRenderThread();
    void silenceOfDiscontinuousTransmissionIsNotAGap();
    void deviceThatStopsPlayingIsRestarted_data();
    void deviceThatStopsPlayingIsRestarted();
};

void TestAudioPlaybackManager::gainLaw_data()
{
    QTest::addColumn<int>("memberDb");
    QTest::addColumn<int>("outputDb");
    QTest::addColumn<int>("expected"); // a constant input of 1000

    QTest::newRow("unity") << 0 << 0 << 1000;
    QTest::newRow("member +6") << 6 << 0 << 1995;
    QTest::newRow("both -6") << -6 << -6 << 251;
    QTest::newRow("member -30 is silent") << -30 << 0 << 0;
    QTest::newRow("output -30 is silent") << 0 << -30 << 0;
    QTest::newRow("member below -30 is silent") << -45 << 10 << 0;
    QTest::newRow("+30 and +30 clip") << 30 << 30 << 32767;
    QTest::newRow("+20 and -20") << 20 << -20 << 1000;
}

void TestAudioPlaybackManager::gainLaw()
{
    QFETCH(int, memberDb);
    QFETCH(int, outputDb);
    QFETCH(int, expected);

    Fixture f;
    f.manager->setParticipantGainDb(QStringLiteral("alice"), memberDb);
    f.manager->setOutputGainDb(outputDb);
    FakeStream &stream = f.add(QStringLiteral("alice"));
    stream.push(1000);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 1);
    f.manager->onPlaybackTick(); // computes the gain

    const auto out = f.mix();
    QCOMPARE(out.front(), qint16(expected));
    QVERIFY(allEqual(out, qint16(expected)));
    // The sample is consumed even when it is not heard.
    QCOMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 0);
    QCOMPARE(f.manager->participantGain(QStringLiteral("alice")) > 1e-4, memberDb > -30);
}

void TestAudioPlaybackManager::gainsAreClampedAndStored()
{
    testsupport::MemoryAudioStorage storage;
    storage.setParticipantGainDb(QStringLiteral("bob"), 55);
    storage.setOutputGainDb(-99);
    AudioPlaybackDependencies deps;
    deps.startTickTimer = false;
    AudioPlaybackManager fromStore(&storage, nullptr, deps); // reads the stored values
    QCOMPARE(fromStore.outputGainDb(), -30);
    QCOMPARE(fromStore.participantGainDb(QStringLiteral("bob")), 30);
    QCOMPARE(fromStore.participantGain(QStringLiteral("bob")), std::pow(10.0, 1.5));
    QCOMPARE(fromStore.participantGainDb(QStringLiteral("never")), 0);

    fromStore.setParticipantGainDb(QStringLiteral("bob"), -40);
    QCOMPARE(storage.participantGainDb(QStringLiteral("bob")), -30);
    QCOMPARE(fromStore.participantGain(QStringLiteral("bob")), 0.0);
    fromStore.setOutputGainDb(45);
    QCOMPARE(storage.outputGainDb(), 30);

    const int writes = storage.writes;
    fromStore.setDeviceId(fromStore.deviceId());
    QCOMPARE(storage.writes, writes); // unchanged id: nothing written
    fromStore.setDeviceId(QStringLiteral("default"));
    QCOMPARE(storage.outputDeviceId(), QStringLiteral("default"));
}

void TestAudioPlaybackManager::queueKeepsThirtyChunks()
{
    testsupport::LogCapture log;
    Fixture f;
    FakeStream &stream = f.add(QStringLiteral("alice"));
    for (int i = 0; i < 30; ++i)
        stream.push(qint16(i + 1));
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 30);
    QVERIFY(!log.contains(kCategory, QStringLiteral("pcm queue full, dropping oldest frame")));

    stream.push(31);
    QTRY_VERIFY(log.contains(kCategory, QStringLiteral("pcm queue full, dropping oldest frame")));
    QCOMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 30);
    // The oldest chunk went: the mix starts with the second one.
    f.manager->onPlaybackTick();
    QCOMPARE(f.mix().front(), qint16(2));
}

void TestAudioPlaybackManager::queueTrimmedAfterTwoSecondsAboveTarget()
{
    testsupport::LogCapture log;
    Fixture f;
    FakeStream &stream = f.add(QStringLiteral("alice"));
    for (int i = 0; i < 4; ++i)
        stream.push(100);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 4);
    for (int i = 0; i < 39; ++i)
        f.manager->onPlaybackTick();
    QCOMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 4);
    f.manager->onPlaybackTick(); // the 40th tick above target + 2
    QCOMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 1);
    QVERIFY(log.contains(kCategory, QStringLiteral("pcm queue trimmed depth_before=4 target=1 from=alice")));
}

void TestAudioPlaybackManager::underrunsRaiseTargetAndQuietLowersIt()
{
    testsupport::LogCapture log;
    Fixture f;
    const QString id = QStringLiteral("alice");
    const QString sid = QStringLiteral("TR_1");
    FakeStream &stream = f.add(id);
    f.manager->onPlaybackTick();

    stream.push(500);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(id, sid), 1);
    f.clock += 10;
    QVERIFY(allEqual(f.mix(), 500));
    // The queue ran dry 10 ms after the last frame: a late packet.
    QVERIFY(allEqual(f.mix(), 0));
    QCOMPARE(f.manager->sessionUnderruns(id, sid), 1);
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 2);

    // Unprimed with target 2: one chunk is not enough to play.
    stream.push(600);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(id, sid), 1);
    QVERIFY(allEqual(f.mix(), 0));
    stream.push(700);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(id, sid), 2);
    QVERIFY(allEqual(f.mix(), 600));
    QVERIFY(allEqual(f.mix(), 700));
    QVERIFY(allEqual(f.mix(), 0)); // second underrun within 100 ms of the last frame
    QCOMPARE(f.manager->sessionUnderruns(id, sid), 2);
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 3);

    f.manager->onPlaybackTick();
    QVERIFY(log.contains(kCategory, QStringLiteral("playback underrun count=2 target=3 from=alice")));
    for (int i = 0; i < 599; ++i)
        f.manager->onPlaybackTick();
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 3);
    f.manager->onPlaybackTick(); // 30 s without a new underrun
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 2);
    QVERIFY(log.contains(kCategory, QStringLiteral("playback target lowered to=2 from=alice")));
    for (int i = 0; i < 600; ++i)
        f.manager->onPlaybackTick();
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 1);
    for (int i = 0; i < 600; ++i)
        f.manager->onPlaybackTick();
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 1); // never below 1

    // The target never rises above 5.
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 5; ++k)
            stream.push(1);
        QTRY_COMPARE(f.manager->sessionQueuedChunks(id, sid), 5);
        while (f.manager->sessionQueuedChunks(id, sid) > 0)
            f.mix();
        f.mix();
    }
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 5);
}

void TestAudioPlaybackManager::quietSenderIsNotAnUnderrun()
{
    Fixture f;
    const QString id = QStringLiteral("alice");
    const QString sid = QStringLiteral("TR_1");
    FakeStream &stream = f.add(id);
    f.manager->onPlaybackTick();

    stream.push(500);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(id, sid), 1);
    QVERIFY(allEqual(f.mix(), 500));
    // The sender stopped talking (no frames under discontinuous transmission).
    f.clock += 100;
    for (int i = 0; i < 20; ++i)
        QVERIFY(allEqual(f.mix(), 0));
    QCOMPARE(f.manager->sessionUnderruns(id, sid), 0);
    QCOMPARE(f.manager->sessionTargetDepth(id, sid), 1);

    // Still primed: the first new frame plays in the very next mix, and a half frame is followed
    // by silence without an underrun once the sender is quiet again.
    f.clock += 5000;
    stream.push(800, 240);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(id, sid), 1);
    f.clock += 150;
    const auto out = f.mix();
    QVERIFY(allEqual(out, 800, 0, 240));
    QVERIFY(allEqual(out, 0, 240));
    QCOMPARE(f.manager->sessionUnderruns(id, sid), 0);
}

void TestAudioPlaybackManager::resamplesToMono48k()
{
    Fixture f;
    FakeStream &stream = f.add(QStringLiteral("alice"));
    stream.push(1200, 160, 16000, 2); // 10 ms of 16 kHz stereo
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 1);
    f.manager->onPlaybackTick();
    const auto out = f.mix(600);
    // 10 ms at 48 kHz mono, then silence.
    QVERIFY(allEqual(out, 1200, 0, 478));
    QVERIFY(allEqual(out, 0, 480));
}

void TestAudioPlaybackManager::oneSessionPerKey()
{
    Fixture f;
    const auto track = std::make_shared<FakeTrack>();
    f.manager->addRemoteTrack(track, QStringLiteral("TR_1"), QStringLiteral("alice"));
    f.manager->addRemoteTrack(track, QStringLiteral("TR_1"), QStringLiteral("alice"));
    QCOMPARE(f.opens, 1);
    QCOMPARE(f.manager->sessionCount(), 1);
    f.manager->addRemoteTrack(track, QStringLiteral("TR_2"), QStringLiteral("alice"));
    f.manager->addRemoteTrack(track, QStringLiteral("TR_1"), QStringLiteral("bob"));
    QCOMPARE(f.manager->sessionCount(), 3);

    f.manager->addRemoteTrack(nullptr, QStringLiteral("TR_3"), QStringLiteral("carol"));
    f.manager->addRemoteTrack(std::make_shared<FakeTrack>(livekit::TrackKind::Video), QStringLiteral("TR_3"),
                              QStringLiteral("carol"));
    f.refuseStreams = true;
    f.manager->addRemoteTrack(track, QStringLiteral("TR_4"), QStringLiteral("carol"));
    QCOMPARE(f.manager->sessionCount(), 3);
    QVERIFY(!f.manager->hasRemoteTrack(QStringLiteral("carol")));
    QCOMPARE(f.opens, 4); // the video and null tracks were never opened
}

void TestAudioPlaybackManager::levelReportsTheLouderTrack()
{
    Fixture f;
    FakeStream &quiet = f.add(QStringLiteral("alice"), QStringLiteral("TR_1"));
    FakeStream &loud = f.add(QStringLiteral("alice"), QStringLiteral("TR_2"));
    quiet.push(8192);
    loud.push(-16384);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 1);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_2")), 1);
    f.manager->onPlaybackTick();
    QCOMPARE(f.manager->participantLevel(QStringLiteral("alice")), 0.5f);
    QCOMPARE(f.manager->participantLevel(QStringLiteral("nobody")), 0.0f);
    // Both tracks of the member mix into one output.
    QVERIFY(allEqual(f.mix(), qint16(8192 - 16384)));
    QCOMPARE(f.manager->outputPeak(), 0.25f);
    f.manager->onPlaybackTick(); // queues empty: the level decays about 20 dB per second
    QVERIFY(qAbs(f.manager->participantLevel(QStringLiteral("alice")) - 0.5f * 0.8913f) < 1e-6f);
}

void TestAudioPlaybackManager::mutedOutputIsSilentAndStillDrains()
{
    Fixture f;
    FakeStream &stream = f.add(QStringLiteral("alice"));
    stream.push(16384);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 1);
    f.manager->onPlaybackTick();
    QVERIFY(allEqual(f.mix(), 16384));
    const float peak = f.manager->outputPeak();
    QCOMPARE(peak, 0.5f);

    f.manager->setSpeakerMuted(true);
    stream.push(16384);
    stream.push(16384);
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 2);
    QVERIFY(allEqual(f.mix(), 0));
    QCOMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 1);
    QVERIFY(f.manager->outputPeak() < peak);
    QVERIFY(qAbs(f.manager->outputPeak() - peak * std::pow(10.0f, -480.0f / 48000.0f)) < 1e-6f);

    f.manager->setSpeakerMuted(false);
    QVERIFY(allEqual(f.mix(), 16384));
}

void TestAudioPlaybackManager::failedOpenNotRetriedUntilDeviceChanges()
{
    testsupport::LogCapture log;
    ClockedRenderDevice device;
    device.setOpenError(QStringLiteral("render client initialize failed (format refused)"));
    Fixture f(&device);
    f.add(QStringLiteral("alice"));

    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 1);
    QVERIFY(log.contains(kCategory,
                         QStringLiteral("render open failed: render client initialize failed (format refused)")));
    for (int i = 0; i < 5; ++i)
        f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 1);

    f.manager->setDeviceId(QStringLiteral("speaker"));
    f.manager->onPlaybackTick();
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 2);

    // The sessions going to zero and coming back try again.
    f.manager->removeAllSessions();
    f.manager->onPlaybackTick();
    f.add(QStringLiteral("bob"));
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 3);

    // So does a change of the default device of the role in use; the device now opens.
    device.setOpenError(QString());
    f.manager->setDeviceId(QString());
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 4);
    QVERIFY(device.isOpen());
    QVERIFY(log.contains(kCategory, QStringLiteral("wasapi render started endpoint=speaker buffer_frames=1920")));
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 4); // bound: left alone

    f.manager->removeAllSessions();
    f.manager->onPlaybackTick();
    QVERIFY(!device.isOpen());
    QVERIFY(log.contains(kCategory, QStringLiteral("no remote sessions, destroying render")));
}

void TestAudioPlaybackManager::defaultChangeRebindsOnlyItsRole()
{
    testsupport::LogCapture log;
    ClockedRenderDevice device;
    device.setEndpoints({QStringLiteral("headset"), QStringLiteral("speaker")}, QStringLiteral("headset"),
                        QStringLiteral("speaker"));
    Fixture f(&device);
    f.add(QStringLiteral("alice"));

    f.manager->setDeviceId(QStringLiteral("default"));
    f.manager->onPlaybackTick();
    QCOMPARE(device.openedEndpoints(), QStringList{QStringLiteral("speaker")});
    f.manager->onDefaultCommOutputChanged(); // the other role: ignored
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 1);
    f.manager->onDefaultConsoleOutputChanged();
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 2);
    QVERIFY(log.contains(kCategory, QStringLiteral("default console output changed, rebinding sink")));

    f.manager->setDeviceId(QString());
    f.manager->onPlaybackTick();
    QCOMPARE(device.openedEndpoints().last(), QStringLiteral("headset"));
    f.manager->onDefaultConsoleOutputChanged();
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 3);
    f.manager->onDefaultCommOutputChanged();
    f.manager->onPlaybackTick();
    QCOMPARE(device.openAttempts(), 4);

    // An id that no longer exists falls back to the communications default.
    f.manager->setDeviceId(QStringLiteral("gone"));
    f.manager->onPlaybackTick();
    QCOMPARE(device.openedEndpoints().last(), QStringLiteral("headset"));
    QVERIFY(log.contains(kCategory, QStringLiteral("stored render device not found, falling back to default")));
}

void TestAudioPlaybackManager::renderThreadWritesTheMixAndReopensAfterLoss()
{
    ClockedRenderDevice device;
    Fixture f(&device);
    FakeStream &stream = f.add(QStringLiteral("alice"));
    for (int i = 0; i < 3; ++i)
        stream.push(qint16(1000 * (i + 1)));
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 3);
    f.manager->onPlaybackTick();
    QVERIFY(device.waitUntilIdle());

    // The device starts full of silence; the render thread writes only below its waterline.
    QCOMPARE(device.queuedFrames(), 1920);
    QVERIFY(allEqual(device.advance(1440), 0));
    QVERIFY(allEqual(device.advance(480), 0));
    const auto written = device.written();
    QVERIFY(!written.empty());
    QCOMPARE(written.front(), qint16(1000));
    QVERIFY(device.queuedFrames() >= 480);

    // The device goes away: the render thread ends and the next tick reopens it.
    device.setDeviceLost(true);
    device.advance(480);
    device.setDeviceLost(false);
    QTRY_VERIFY_WITH_TIMEOUT((f.manager->onPlaybackTick(), device.openAttempts() == 2), 2000);
    QVERIFY(device.isOpen());
}

void TestAudioPlaybackManager::removingSessionsClosesStreams()
{
    Fixture f;
    f.add(QStringLiteral("alice"), QStringLiteral("TR_1"));
    f.add(QStringLiteral("bob"), QStringLiteral("TR_1"));
    f.add(QStringLiteral("carol"), QStringLiteral("TR_1"));
    f.manager->removeRemoteTrack(QStringLiteral("alice"), QStringLiteral("TR_9")); // unknown: nothing
    QCOMPARE(f.manager->sessionCount(), 3);
    f.manager->removeRemoteTrack(QStringLiteral("alice"), QStringLiteral("TR_1"));
    QVERIFY(f.streams[0]->isClosed());
    QVERIFY(!f.streams[1]->isClosed());
    QVERIFY(!f.manager->hasRemoteTrack(QStringLiteral("alice")));
    f.manager->removeAllSessions();
    QVERIFY(f.streams[1]->isClosed() && f.streams[2]->isClosed());
    QCOMPARE(f.manager->sessionCount(), 0);
    // A stream that ended by itself leaves its session in place, silent.
    FakeStream &ended = f.add(QStringLiteral("dave"));
    ended.close();
    QCOMPARE(f.manager->sessionCount(), 1);
    QVERIFY(allEqual(f.mix(), 0));
}

namespace {

// Hands every call to a client of a clocked device and notes the thread of each open, write and
// close.
class ThreadNotingClient : public IRenderClient
{
public:
    struct Threads
    {
        std::mutex mutex;
        QThread *open = nullptr;
        QThread *write = nullptr;
        QThread *close = nullptr;
    };
    ThreadNotingClient(std::unique_ptr<IRenderClient> inner, std::shared_ptr<Threads> threads)
        : m_inner(std::move(inner))
        , m_threads(std::move(threads))
    {}
    RenderOpenResult open(const QString &id, int rate, int channels) override
    {
        note(&Threads::open);
        return m_inner->open(id, rate, channels);
    }
    void close() override
    {
        note(&Threads::close);
        m_inner->close();
    }
    int padding() const override { return m_inner->padding(); }
    int bufferFrames() const override { return m_inner->bufferFrames(); }
    bool hasEvent() const override { return m_inner->hasEvent(); }
    RenderWait waitEvent(int timeoutMs) override { return m_inner->waitEvent(timeoutMs); }
    void signalEvent() override { m_inner->signalEvent(); }
    bool write(const qint16 *samples, int frames) override
    {
        note(&Threads::write);
        return m_inner->write(samples, frames);
    }

private:
    void note(QThread *Threads::*which)
    {
        std::lock_guard lock(m_threads->mutex);
        (*m_threads).*which = QThread::currentThread();
    }
    std::unique_ptr<IRenderClient> m_inner;
    std::shared_ptr<Threads> m_threads;
};

} // namespace

// The device's objects (a QAudioSink over the sound server) are made, used and closed by the
// render thread alone; the GUI thread only starts and stops that thread.
void TestAudioPlaybackManager::renderDeviceBelongsToTheRenderThread()
{
    ClockedRenderDevice device;
    auto threads = std::make_shared<ThreadNotingClient::Threads>();
    AudioPlaybackDependencies deps;
    deps.startTickTimer = false;
    std::vector<std::shared_ptr<FakeStream>> streams;
    deps.openStream = [&streams](const std::shared_ptr<livekit::Track> &) -> std::shared_ptr<IRemoteAudioStream> {
        streams.push_back(std::make_shared<FakeStream>());
        return streams.back();
    };
    deps.renderClient = [factory = device.factory(), threads] {
        return std::unique_ptr<IRenderClient>(std::make_unique<ThreadNotingClient>(factory(), threads));
    };
    AudioPlaybackManager manager(nullptr, nullptr, deps);
    manager.addRemoteTrack(std::make_shared<FakeTrack>(), QStringLiteral("TR_1"), QStringLiteral("alice"));
    streams.back()->push(1000);
    manager.onPlaybackTick();
    QVERIFY(device.isOpen());
    QVERIFY(device.waitUntilIdle());
    device.advance(1920);
    QTRY_VERIFY(!device.written().empty());
    manager.removeAllSessions();
    manager.onPlaybackTick(); // no sessions: the render stops
    QVERIFY(!device.isOpen());
    std::lock_guard lock(threads->mutex);
    QVERIFY(threads->open && threads->write && threads->close);
    QVERIFY(threads->open != QThread::currentThread());
    QCOMPARE(threads->write, threads->open);
    QCOMPARE(threads->close, threads->open);
}

// A sender in discontinuous transmission goes quiet and then sends a comfort-noise update every
// few hundred ms: those pauses are no late frames. A pause in the middle of loud audio is one.
void TestAudioPlaybackManager::silenceOfDiscontinuousTransmissionIsNotAGap()
{
    Fixture f;
    testsupport::LogCapture log;
    FakeStream &stream = f.add(QStringLiteral("alice"));
    int queued = 0;
    const auto frameAfter = [&](int ms, qint16 value) {
        f.clock += ms;
        stream.push(value);
        ++queued;
        QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), queued);
    };
    frameAfter(0, 8000);
    frameAfter(10, 20); // the voice stops: comfort noise
    frameAfter(400, 25);
    frameAfter(400, 18);
    QCOMPARE(log.count(kCategory, QStringLiteral("frame gap too large")), 0);
    QCOMPARE(log.count(kCategory, QStringLiteral("audio resumed after silence")), 0);
    frameAfter(300, 8000); // the voice comes back
    QCOMPARE(log.count(kCategory, QStringLiteral("frame gap too large")), 0);
    QVERIFY(log.contains(kCategory, QStringLiteral("audio resumed after silence gap_ms=300 from=alice")));
    frameAfter(10, 8000);
    frameAfter(80, 8000); // a late frame while talking
    QCOMPARE(log.count(kCategory, QStringLiteral("frame gap too large gap_ms=80")), 1);
}

void TestAudioPlaybackManager::deviceThatStopsPlayingIsRestarted_data()
{
    QTest::addColumn<int>("startThreshold");
    QTest::addColumn<bool>("reopened");
    // A sound server that, once it ran dry, waits for a full buffer before it plays again.
    QTest::newRow("waits for a full buffer") << 1920 << false;
    // One that does not play again even then.
    QTest::newRow("never plays again") << 1921 << true;
}

void TestAudioPlaybackManager::deviceThatStopsPlayingIsRestarted()
{
    QFETCH(int, startThreshold);
    QFETCH(bool, reopened);
    ClockedRenderDevice device;
    Fixture f(&device);
    testsupport::LogCapture log;
    FakeStream &stream = f.add(QStringLiteral("alice"));
    for (int i = 0; i < 20; ++i)
        stream.push(qint16(1000));
    QTRY_COMPARE(f.manager->sessionQueuedChunks(QStringLiteral("alice"), QStringLiteral("TR_1")), 20);
    f.manager->onPlaybackTick();
    QVERIFY(device.waitUntilIdle());
    device.setStartThreshold(startThreshold);

    // A late wake-up lets the device run dry; the render thread then keeps less in it than the
    // device waits for.
    device.advance(1920 + 480);
    QVERIFY(device.queuedFrames() > 0 && device.queuedFrames() < 1920);
    bool played = false;
    for (int i = 0; i < 40 && !played; ++i) {
        f.clock += 50;
        for (int k = 0; k < 5; ++k)
            stream.push(qint16(1000)); // the far end goes on talking
        f.manager->onPlaybackTick();
        played = !allEqual(device.advance(480), 0);
    }
    QVERIFY2(played, "the device never played the remote audio again");
    QCOMPARE(device.openAttempts(), reopened ? 2 : 1);
    QVERIFY(log.contains(kCategory, QStringLiteral("render stalled, filling device")));
    QCOMPARE(log.contains(kCategory, QStringLiteral("render stalled, reopening device")), reopened);
}

KESTOVA_TEST_MAIN(TestAudioPlaybackManager)
#include "test_audio_playback_manager.moc"
