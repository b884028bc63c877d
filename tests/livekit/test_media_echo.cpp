#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"
#include "audio/memory_audio_storage.h"
#include "audio/neural_suppressor.h"
#include "audio/scripted_detector.h"
#include "audio/speech_samples.h"
#include "livekit/livekit_connection.h"
#include "livekit/media_session_service.h"
#include "platform/audio/private_pulse_server.h"
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_source.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/track.h"
#include "platform/livekit/track_publication.h"
#include "support/fake_http_client.h"
#include "support/janus_test_server.h"
#include "support/log_capture.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

using testsupport::FakeHttpClient;
using testsupport::JanusTestServer;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::MemoryAudioStorage;
using testsupport::PrivatePulseServer;
using testsupport::RoomRecorder;
using testsupport::ScriptedDetector;

namespace {

constexpr int kWaitMs = 10000;
constexpr int kRate = 48000;
constexpr int kFrame = 480;

// Hands 10 ms of `voice` (looped) to `sink` every 10 ms from a thread of its own, paced by the
// clock; silence while muted.
class VoicePump
{
public:
    using Sink = std::function<void(const std::int16_t *frame)>;
    VoicePump(std::vector<std::int16_t> voice_, Sink sink_)
        : voice(std::move(voice_))
        , sink(std::move(sink_))
    {}
    ~VoicePump() { stop(); }
    void start()
    {
        running = true;
        thread = std::thread([this] {
            std::vector<std::int16_t> frame(kFrame);
            std::size_t at = 0;
            auto next = std::chrono::steady_clock::now();
            while (running.load()) {
                for (int i = 0; i < kFrame; ++i)
                    frame[std::size_t(i)] = muted.load() ? 0 : voice[(at + std::size_t(i)) % voice.size()];
                at += kFrame;
                sink(frame.data());
                next += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(next);
            }
        });
    }
    void stop()
    {
        running = false;
        if (thread.joinable())
            thread.join();
    }
    std::atomic<bool> muted{false};

private:
    std::vector<std::int16_t> voice;
    Sink sink;
    std::atomic<bool> running{false};
    std::thread thread;
};

// The other member: a plain media client that talks and records what it hears back.
struct FarEnd
{
    RoomRecorder recorder;
    livekit::Room room;
    std::shared_ptr<livekit::AudioSource> source;
    std::shared_ptr<livekit::LocalAudioTrack> track;
    std::unique_ptr<VoicePump> pump;

    ~FarEnd()
    {
        if (pump)
            pump->stop();
        recorder.stopReading();
        room.setDelegate(nullptr);
    }
    bool join(const JanusTestServer &janus, const QString &identity, const std::vector<std::int16_t> &voice)
    {
        room.setDelegate(&recorder);
        try {
            if (!room.connect(janus.url().toStdString(), janus.token(identity).toStdString()))
                return false;
            source = std::make_shared<livekit::AudioSource>(kRate, 1, 0);
            track = livekit::LocalAudioTrack::createLocalAudioTrack("microphone", source);
            livekit::TrackPublishOptions options;
            options.audioEncoding.maxBitrate = 32000;
            options.source = livekit::TrackSource::Microphone;
            room.localParticipant().lock()->publishTrack(track, options);
        } catch (const std::exception &e) {
            qWarning("far end could not join: %s", e.what());
            return false;
        }
        pump = std::make_unique<VoicePump>(voice, [s = source](const std::int16_t *frame) {
            s->captureFrame(livekit::AudioFrame(std::vector<std::int16_t>(frame, frame + kFrame), kRate, 1, kFrame));
        });
        pump->start();
        return true;
    }
    std::size_t heard() const { return recorder.received().size(); }
    // Mean power per sample of real time between two marks of heard(): decoded silence and
    // packets the encoder left out (discontinuous transmission) both count as silence.
    double powerBetween(std::size_t from, std::size_t to, double seconds) const
    {
        const std::vector<std::int16_t> got = recorder.received();
        double sum = 0;
        for (std::size_t i = from; i < std::min(to, got.size()); ++i)
            sum += double(got[i]) * got[i];
        return sum / (seconds * kRate);
    }
};

double db(double ratio)
{
    return 10 * std::log10(std::max(ratio, 1e-12));
}

} // namespace

// Echo cancellation end to end: the first client (the user) hears the second member through its
// render path on a sound-server sink; the sink's monitor comes back into the user's microphone
// 50 ms later and attenuated, as from loudspeakers, mixed with the user's own voice. What the
// second member receives back from the user is compared with echo cancellation on and off.
class MediaEchoTest : public QObject
{
    Q_OBJECT

    JanusTestServer janus;
    std::unique_ptr<PrivatePulseServer> pulse;
    std::vector<std::int16_t> farVoice;
    QTemporaryDir files;
    QString nearWav;

    struct Result
    {
        bool measured = false; // the far end's voice reached the microphone in enough windows
        QString failure;       // why not
        double echoAtMic = 0;  // what the user's microphone hears of the far end
        double echoBack = 0;   // what the far end hears back meanwhile
        double nearBack = 0;   // what the far end hears while only the user talks
    };

    // Mean power of what the user's microphone delivers over `ms`, before any processing (the
    // loop test's recording of the raw frames).
    static double micPower(AudioCaptureManager &capture, int ms)
    {
        QSignalSpy recorded(&capture, &AudioCaptureManager::loopRecordFinished);
        capture.startLoopRecord();
        QTest::qWait(ms);
        capture.stopLoopRecord();
        if (!QTest::qWaitFor([&] { return recorded.count() > 0; }, 30000)) {
            qWarning("the microphone recording never came back");
            return 0;
        }
        const auto samples = recorded.at(0).at(0).value<QList<qint16>>();
        double sum = 0;
        for (qint16 x : samples)
            sum += double(x) * x;
        return samples.isEmpty() ? 0 : sum / double(samples.size());
    }

    Result run(bool echoCancellation)
    {
        Result r;
        FakeHttpClient http;
        MemoryAudioStorage storage;
        storage.values = {{"inputDeviceId", "mic"},
                          {"outputDeviceId", "speaker"},
                          {"noiseMode", "off"},
                          {"aecEnabled", echoCancellation},
                          {"hpfEnabled", true},
                          {"vadSilentStop", false}};
        ScriptedDetector::speech = 1;
        AudioCaptureManager::Dependencies audio;
        audio.engine.detectorLibrary = ScriptedDetector::calls();
        audio.loadSuppressor = [](NoiseMode) { return std::unique_ptr<NeuralSuppressor>(); };
        AudioCaptureManager capture(&storage, nullptr, audio);
        AudioPlaybackManager playback(&storage);
        // As the audio assembly joins them: the mix reaches the capture pipeline as the echo
        // reference.
        playback.setPipelineSlot(capture.pipelineSlot());
        auto media = std::make_unique<MediaSessionService>(&http, &capture, &playback);
        // Each run has members of its own: the server may still hold the previous run's members
        // for a moment after they left.
        const QString user = echoCancellation ? QStringLiteral("alice-on") : QStringLiteral("alice-off");
        const QString other = echoCancellation ? QStringLiteral("bob-on") : QStringLiteral("bob-off");
        media->setSelfIdProvider([user] { return user; });

        auto log = std::make_unique<LogCapture>();
        media->syncRooms(true, QStringLiteral("sub"), QString());
        http.answer(QStringLiteral("/v1/rooms/sub/livekit-token"), 0,
                    jsonReply(200, {{"token", janus.token(user)}, {"url", janus.url()}}));
        const bool connected =
            QTest::qWaitFor([&] { return log->contains("livekit.session", "media connected session=own"); }, kWaitMs);
        log.reset();
        if (!connected) {
            r.failure = QStringLiteral("the user's client did not connect");
            return r;
        }

        FarEnd bob;
        if (!bob.join(janus, other, farVoice)) {
            r.failure = QStringLiteral("the far end could not join");
            return r;
        }
        if (!QTest::qWaitFor([&] { return bob.recorder.subscribed() >= 1; }, kWaitMs) || !bob.recorder.startReading()) {
            r.failure = QStringLiteral("the far end never received the user's track");
            return r;
        }
        if (!QTest::qWaitFor([&] { return playback.hasRemoteTrack(other); }, kWaitMs)) {
            r.failure = QStringLiteral("the user's client never played the far end");
            return r;
        }

        // The far end talks. Once its voice comes back into the microphone (the sound server's
        // loopback takes a moment to settle), 6 s for the echo canceller to find the echo path.
        if (!QTest::qWaitFor([&] { return micPower(capture, 500) > 1e4; }, 20000)) {
            r.failure = QStringLiteral("the far end's voice never reached the user's microphone");
            return r;
        }
        QTest::qWait(6000);
        // Then 1 s windows are measured, and only those in which the microphone heard the far end
        // count: the far end's speech has pauses, and on a loaded machine the render path can
        // fall behind for a moment; a window without echo says nothing about its cancellation.
        // Six windows are needed: a playback that stops playing for good fails here.
        int windows = 0;
        int tried = 0;
        double micSum = 0, sentSum = 0;
        QElapsedTimer budget;
        budget.start();
        while (windows < 6 && budget.elapsed() < 30000) {
            const std::size_t from = bob.heard();
            QElapsedTimer clock;
            clock.start();
            const double mic = micPower(capture, 1000);
            const double sent = bob.powerBetween(from, bob.heard(), clock.elapsed() / 1000.0);
            ++tried;
            if (mic < 2e5)
                continue;
            ++windows;
            micSum += mic;
            sentSum += sent;
        }
        qInfo("echo cancellation %s: the far end reached the microphone in %d of %d windows",
              echoCancellation ? "on" : "off", windows, tried);
        if (windows < 6) {
            r.failure = QStringLiteral("the far end's voice reached the user's microphone in only %1 of %2 one-second "
                                       "windows: the playback stopped playing it")
                            .arg(windows)
                            .arg(tried);
            return r;
        }
        r.measured = true;
        r.echoAtMic = micSum / windows;
        r.echoBack = sentSum / windows;
        std::size_t from = 0;
        QElapsedTimer clock;

        // The far end falls silent and the user talks into the room.
        bob.pump->muted = true;
        QTest::qWait(1000);
        from = bob.heard();
        clock.start();
        QProcess::execute("paplay", {"--device=room", nearWav});
        r.nearBack = bob.powerBetween(from, bob.heard(), clock.elapsed() / 1000.0);

        media->syncRooms(false, QString(), QString());
        media.reset();
        ScriptedDetector::speech = 0;
        return r;
    }

private slots:
    void initTestCase()
    {
        if (!testsupport::privateNetworkUnavailable().isEmpty())
            QSKIP(qPrintable(testsupport::privateNetworkUnavailable()));
        // A loaded machine makes the audio threads report every late buffer; past Qt Test's
        // limit of warnings the test's own findings would no longer be printed.
        QLoggingCategory::setFilterRules(QStringLiteral("audio.*.warning=false\naudio.*.info=false"));
        if (!PrivatePulseServer::available())
            QSKIP("pulseaudio is not installed");
        farVoice = testsupport::synthesizeSpeech(
            "This is the other member of the room talking through your loudspeakers. The quick brown fox "
            "jumps over the lazy dog, and every word comes back through the microphone.");
        const std::vector<std::int16_t> nearVoice = testsupport::synthesizeSpeech(
            "Hello, I am the user of this client, and my own voice must still reach the others in the room.",
            {"-v", "en-us", "-p", "70"});
        if (farVoice.empty() || nearVoice.empty())
            QSKIP("espeak-ng or sox is not installed");
        for (auto &s : farVoice)
            s = std::int16_t(s / 2);
        nearWav = files.filePath("near.raw");
        QFile raw(nearWav);
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write(reinterpret_cast<const char *>(nearVoice.data()), qint64(nearVoice.size() * 2));
        raw.close();
        nearWav = files.filePath("near.wav");
        QCOMPARE(QProcess::execute("sox", {"-t", "raw", "-r", "48000", "-c", "1", "-b", "16", "-e", "signed-integer",
                                           files.filePath("near.raw"), nearWav, "vol", "0.5"}),
                 0);

        std::signal(SIGPIPE, SIG_IGN);
        pulse = std::make_unique<PrivatePulseServer>();
        QVERIFY2(pulse->start(), "the private sound server did not start");
        // The user's loudspeaker, and the room their microphone hears: the loudspeaker's sound
        // arrives there 50 ms later at about -12 dB.
        QCOMPARE(pulse->pactl({"load-module", "module-null-sink", "sink_name=speaker", "rate=48000", "channels=1"}), 0);
        QCOMPARE(pulse->pactl({"load-module", "module-null-sink", "sink_name=room", "rate=48000", "channels=1"}), 0);
        QString loopback;
        QCOMPARE(pulse->pactl({"load-module", "module-loopback", "source=speaker.monitor", "sink=room",
                               "latency_msec=50", "source_dont_move=true", "sink_dont_move=true"},
                              &loopback),
                 0);
        // The microphone: the room's sound as a source of its own (monitors are not offered as
        // microphones).
        QCOMPARE(pulse->pactl({"load-module", "module-remap-source", "source_name=mic", "master=room.monitor",
                               "channels=1"}),
                 0);
        QString inputs;
        QCOMPARE(pulse->pactl({"list", "short", "sink-inputs"}, &inputs), 0);
        for (const QString &line : inputs.split('\n')) {
            const QStringList fields = line.split('\t');
            if (fields.size() > 2 && fields.at(2) == loopback)
                QCOMPARE(pulse->pactl({"set-sink-input-volume", fields.at(0), "60%"}), 0);
        }
        QVERIFY2(janus.start(), qPrintable(janus.errorText()));
        // The loopback settles its latency on the first sound it carries: a few seconds of the
        // user's voice through the loudspeaker first, so that both runs meet a settled room.
        QProcess::execute("paplay", {"--device=speaker", nearWav});
    }

    void cleanupTestCase() { pulse.reset(); }

    void echoIsCancelledEndToEnd()
    {
        const Result off = run(false);
        QVERIFY2(off.measured, qPrintable(QStringLiteral("echo cancellation off: ") + off.failure));
        const Result on = run(true);
        QVERIFY2(on.measured, qPrintable(QStringLiteral("echo cancellation on: ") + on.failure));
        // The room's loudness can differ between the runs (the sound server's loopback adapts its
        // timing), so what goes back is measured against the echo the microphone heard in the
        // same run.
        const double passedOff = db(off.echoBack / off.echoAtMic);
        const double passedOn = db(on.echoBack / on.echoAtMic);
        qInfo("of the echo at the microphone the far end hears back %+.1f dB without echo cancellation and %+.1f dB "
              "with it: %.1f dB weaker (raw powers: %.0f and %.0f sent, %.0f and %.0f at the microphone); the "
              "user's own voice arrives at %.0f without and %.0f with",
              passedOff, passedOn, passedOff - passedOn, off.echoBack, on.echoBack, off.echoAtMic, on.echoAtMic,
              off.nearBack, on.nearBack);
        QVERIFY2(off.echoAtMic > 0 && on.echoAtMic > 0 && off.nearBack > 0, "the path through the room carried nothing");
        // Without echo cancellation the echo goes back as the microphone heard it.
        QVERIFY2(passedOff > -6, qPrintable(QString::number(passedOff)));
        QVERIFY2(passedOff - passedOn >= 20, qPrintable(QString::number(passedOff - passedOn)));
        // The user's own voice still arrives, near its level without echo cancellation and far
        // above what is left of the echo.
        QVERIFY2(db(on.nearBack / off.nearBack) > -10, qPrintable(QString::number(db(on.nearBack / off.nearBack))));
        QVERIFY2(db(on.nearBack / on.echoBack) > 20, qPrintable(QString::number(db(on.nearBack / on.echoBack))));
    }
};

KESTOVA_MEDIA_TEST_MAIN(MediaEchoTest)
#include "test_media_echo.moc"
