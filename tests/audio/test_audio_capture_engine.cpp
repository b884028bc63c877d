#include "audio/audio_capture_engine.h"
#include "audio/audio_frame_sink_slot.h"
#include "audio/audio_pipeline.h"
#include "audio/fake_capture_backend.h"
#include "audio/noise_mode.h"
#include "audio/scripted_detector.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

#include <cmath>
#include <vector>

using testsupport::FakeCaptureBackend;
using testsupport::FakeMicrophone;
using testsupport::LogCapture;
using testsupport::ScriptedDetector;

namespace {
// An engine on the test thread with a fake microphone and a scripted detector; capture events
// are run by hand, so every frame's path is deterministic.
struct Rig
{
    std::shared_ptr<FakeMicrophone> mic = std::make_shared<FakeMicrophone>();
    std::shared_ptr<AudioFrameSinkSlot> sink = std::make_shared<AudioFrameSinkSlot>();
    AudioPipelineSlot pipelineSlot;
    std::unique_ptr<AudioCaptureEngine> engine;
    std::vector<std::vector<qint16>> frames;

    Rig()
    {
        AudioCaptureEngine::Dependencies deps;
        deps.backendFactory = [m = mic] { return std::make_unique<FakeCaptureBackend>(m); };
        deps.detectorLibrary = ScriptedDetector::calls();
        engine = std::make_unique<AudioCaptureEngine>(sink, &pipelineSlot, deps);
        // The echo module (on by default) changes every frame; these checks follow the other
        // stages exactly, so it stays off unless a test switches it on.
        engine->setAecEnabled(false);
        engine->setHpfEnabled(false);
        sink->sink = [this](const qint16 *frame, int perChannel, int rate, int channels) {
            QCOMPARE(perChannel, 480);
            QCOMPARE(rate, 48000);
            QCOMPARE(channels, 1);
            frames.emplace_back(frame, frame + 480);
        };
    }
    // One capture event that reads `samples`.
    void read(const std::vector<qint16> &samples)
    {
        mic->push(samples);
        engine->onCaptureEvent();
    }
    void readFrames(int count, qint16 value)
    {
        for (int i = 0; i < count; ++i)
            read(std::vector<qint16>(480, value));
    }
};

bool isZero(const std::vector<qint16> &frame)
{
    return std::all_of(frame.begin(), frame.end(), [](qint16 s) { return s == 0; });
}
} // namespace

class AudioCaptureEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { ScriptedDetector::speech = 0; }

    void backlogIsBoundedToFiftyMilliseconds()
    {
        LogCapture logs;
        Rig rig;
        rig.engine->setVadSilentStop(false);
        rig.engine->startCapture();
        QVERIFY(rig.engine->isCapturing());

        rig.read(std::vector<qint16>(300, 7));
        QVERIFY(rig.frames.empty()); // fewer than 480 wait
        rig.read(std::vector<qint16>(180, 7));
        QCOMPARE(rig.frames.size(), std::size_t(1));

        std::vector<qint16> burst(3000);
        for (int i = 0; i < 3000; ++i)
            burst[std::size_t(i)] = qint16(i);
        rig.frames.clear();
        rig.read(burst);
        QCOMPARE(rig.frames.size(), std::size_t(5)); // the newest 2400 samples
        QCOMPARE(rig.frames[0][0], qint16(600));
        QCOMPARE(rig.frames[4][479], qint16(2999));
        QCOMPARE(logs.count("audio.capture", "capture backlog overflow, dropping oldest frames"), 1);

        rig.read(std::vector<qint16>(3000, 1)); // still overflowing: no second warning
        QCOMPARE(logs.count("audio.capture", "capture backlog overflow"), 1);
        rig.read(std::vector<qint16>(480, 1));
        QCOMPARE(logs.count("audio.capture", "capture backlog recovered, dropped_ms=25"), 1);
        rig.read(std::vector<qint16>(3000, 1));
        rig.read(std::vector<qint16>(100, 1));
        QCOMPARE(logs.count("audio.capture", "capture backlog recovered, dropped_ms=12"), 1);
    }

    void whatTheSinkReceives_data()
    {
        QTest::addColumn<bool>("micMuted");
        QTest::addColumn<bool>("forceMuted");
        QTest::addColumn<bool>("ptt");
        QTest::addColumn<bool>("broadcast");
        QTest::addColumn<bool>("silentStop");
        QTest::addColumn<bool>("speech");
        QTest::addColumn<bool>("voice");
        QTest::newRow("speaking") << false << false << false << false << true << true << true;
        QTest::newRow("silent, silent-stop on") << false << false << false << false << true << false << false;
        QTest::newRow("silent, silent-stop off") << false << false << false << false << false << false << true;
        QTest::newRow("mic muted") << true << false << false << false << true << true << false;
        QTest::newRow("mic muted, push-to-talk") << true << false << true << false << true << true << true;
        QTest::newRow("mic muted, broadcast") << true << false << false << true << true << true << true;
        QTest::newRow("silent, push-to-talk") << false << false << true << false << true << false << true;
        QTest::newRow("silent, broadcast") << false << false << false << true << true << false << true;
        QTest::newRow("force muted, push-to-talk") << false << true << true << false << true << true << false;
        QTest::newRow("force muted, silent-stop off") << false << true << false << false << false << true << false;
    }

    void whatTheSinkReceives()
    {
        QFETCH(bool, micMuted);
        QFETCH(bool, forceMuted);
        QFETCH(bool, ptt);
        QFETCH(bool, broadcast);
        QFETCH(bool, silentStop);
        QFETCH(bool, speech);
        QFETCH(bool, voice);
        Rig rig;
        QSignalSpy states(rig.engine.get(), &AudioCaptureEngine::vadStateChanged);
        rig.engine->setMicMuted(micMuted);
        rig.engine->setForceMuted(forceMuted);
        rig.engine->setPttActive(ptt);
        rig.engine->setBroadcastActive(broadcast);
        rig.engine->setVadSilentStop(silentStop);
        ScriptedDetector::speech = speech ? 1 : 0;
        rig.engine->startCapture();
        rig.readFrames(10, 1000);
        QCOMPARE(rig.frames.size(), std::size_t(10));
        QCOMPARE(!isZero(rig.frames.back()), voice);
        if (voice)
            QCOMPARE(rig.frames.back(), std::vector<qint16>(480, 1000));

        // A muted detector reports Silent whatever the library says.
        const bool transmitMuted = forceMuted || (micMuted && !ptt && !broadcast);
        const bool active = speech && !transmitMuted;
        QCOMPARE(!states.isEmpty() && states.last().at(0).toInt() == VadDetector::Active, active);
    }

    void speakingFollowsOnlyTheActiveState()
    {
        Rig rig;
        QSignalSpy speaking(rig.engine.get(), &AudioCaptureEngine::vadSpeakingChanged);
        QSignalSpy bitrates(rig.engine.get(), &AudioCaptureEngine::vadBitrateChangeRequested);
        rig.engine->setVadRoomBitrate(24000);
        rig.engine->startCapture();
        ScriptedDetector::speech = 1;
        rig.readFrames(3, 100);
        QCOMPARE(speaking.count(), 1);
        QCOMPARE(speaking.at(0).at(0).toBool(), true);
        QCOMPARE(bitrates.last().at(0).toInt(), 24000);
        rig.engine->setMicMuted(true);
        QCOMPARE(speaking.count(), 2);
        QCOMPARE(speaking.at(1).at(0).toBool(), false);
        QCOMPARE(bitrates.last().at(0).toInt(), 8000);
    }

    void loopRecordingStopsAtThirtySeconds()
    {
        Rig rig;
        QSignalSpy finished(rig.engine.get(), &AudioCaptureEngine::loopRecordFinished);
        rig.engine->startCapture();
        rig.engine->startLoopRecord();
        for (int i = 0; i < 601; ++i)
            rig.read(std::vector<qint16>(2400, qint16(i)));
        QCOMPARE(finished.count(), 1);
        const auto samples = finished.at(0).at(0).value<QList<qint16>>();
        QCOMPARE(samples.size(), qsizetype(1440000));
        QCOMPARE(samples.first(), qint16(0));
        QCOMPARE(samples.last(), qint16(599));

        rig.engine->stopLoopRecord(); // not recording: nothing
        QCOMPARE(finished.count(), 1);

        rig.engine->startLoopRecord();
        rig.readFrames(3, -5); // raw frames, before any processing
        rig.engine->stopLoopRecord();
        QCOMPARE(finished.count(), 2);
        QCOMPARE(finished.at(1).at(0).value<QList<qint16>>(), QList<qint16>(1440, -5));
    }

    void calibrationMeasuresSpeechOnly_data()
    {
        QTest::addColumn<int>("amplitude");
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("speech");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("db");
        QTest::newRow("at target") << 2320 << 60 << true << true << 0;
        QTest::newRow("quiet") << 232 << 60 << true << true << 20;
        QTest::newRow("very quiet is capped") << 3 << 60 << true << true << 30;
        QTest::newRow("full scale") << 32767 << 60 << true << true << -23;
        QTest::newRow("too short") << 2320 << 49 << true << false << 0;
        QTest::newRow("no speech") << 2320 << 100 << false << false << 0;
        QTest::newRow("digital silence") << 0 << 100 << true << false << 0;
    }

    void calibrationMeasuresSpeechOnly()
    {
        QFETCH(int, amplitude);
        QFETCH(int, frames);
        QFETCH(bool, speech);
        QFETCH(bool, ok);
        QFETCH(int, db);
        Rig rig;
        QSignalSpy finished(rig.engine.get(), &AudioCaptureEngine::calibrationFinished);
        ScriptedDetector::speech = speech ? 1 : 0;
        rig.engine->startCapture();
        rig.readFrames(2, 0); // the detector turns Active on the first hop
        rig.engine->startCalibration();
        std::vector<qint16> square(480);
        for (int i = 0; i < 480; ++i)
            square[std::size_t(i)] = qint16(i % 2 ? amplitude : -amplitude);
        for (int i = 0; i < frames; ++i)
            rig.read(square);
        rig.engine->stopCalibration();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), ok);
        QCOMPARE(finished.at(0).at(1).toInt(), db);
        rig.engine->stopCalibration(); // not calibrating: nothing
        QCOMPARE(finished.count(), 1);
    }

    void deviceLossKeepsTheCaptureForAReopen()
    {
        LogCapture logs;
        Rig rig;
        QSignalSpy failed(rig.engine.get(), &AudioCaptureEngine::captureFailed);
        QSignalSpy started(rig.engine.get(), &AudioCaptureEngine::captureStarted);
        rig.engine->setVadSilentStop(false);
        rig.engine->startCapture();
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(0).toString(), QString("fake-endpoint"));
        QVERIFY(rig.pipelineSlot.load());

        rig.mic->loseDevice();
        rig.engine->onCaptureEvent();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QString("capture device invalidated"));
        QCOMPARE(failed.at(0).at(1).toBool(), true);
        QVERIFY(logs.contains("audio.capture", "capture device invalidated"));
        QVERIFY(rig.engine->isCapturing());
        QVERIFY(rig.pipelineSlot.load()); // kept for the reopen
        rig.engine->onCaptureEvent();     // the backend is closed: ignored
        QCOMPARE(failed.count(), 1);

        rig.engine->reopenDevice();
        QCOMPARE(rig.mic->opens(), 2);
        QCOMPARE(started.count(), 2);
        rig.readFrames(1, 50);
        QCOMPARE(rig.frames.size(), std::size_t(1));

        // A reopen that fails stops the capture.
        rig.mic->failOpens(1);
        QSignalSpy stopped(rig.engine.get(), &AudioCaptureEngine::captureStopped);
        rig.engine->reopenDevice();
        QCOMPARE(failed.count(), 2);
        QCOMPARE(failed.at(1).at(1).toBool(), false);
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!rig.engine->isCapturing());
        QVERIFY(!rig.pipelineSlot.load());
        rig.engine->reopenDevice(); // not capturing: nothing
        QCOMPARE(rig.mic->opens(), 3);
    }

    void openFailureReleasesThePipeline()
    {
        LogCapture logs;
        Rig rig;
        QSignalSpy failed(rig.engine.get(), &AudioCaptureEngine::captureFailed);
        rig.mic->failOpens(1, "no capture endpoint (no audio input device)");
        rig.engine->startCapture();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QString("no capture endpoint (no audio input device)"));
        QCOMPARE(failed.at(0).at(1).toBool(), false);
        QVERIFY(logs.contains("audio.capture", "capture open failed: no capture endpoint"));
        QVERIFY(!rig.engine->isCapturing());
        QVERIFY(!rig.pipelineSlot.load());
    }

    void restrictedStartStopsAndStartsNothing()
    {
        Rig rig;
        QSignalSpy stopped(rig.engine.get(), &AudioCaptureEngine::captureStopped);
        rig.engine->startCapture();
        rig.engine->setAudioRestricted(true);
        rig.engine->startCapture();
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!rig.engine->isCapturing());
        QCOMPARE(rig.mic->opens(), 1);
        rig.engine->stopCapture(); // already stopped: no second signal
        QCOMPARE(stopped.count(), 1);
    }

    void deviceIdChangesReopenOnlyWhenDifferent()
    {
        Rig rig;
        rig.engine->setDeviceId("mic-a");
        rig.engine->startCapture();
        QCOMPARE(rig.mic->opens(), 1);
        QCOMPARE(rig.mic->lastDeviceId(), QString("mic-a"));
        rig.engine->setDeviceId("mic-a");
        QCOMPARE(rig.mic->opens(), 1);
        rig.engine->setDeviceId("mic-b");
        QCOMPARE(rig.mic->opens(), 2);
        QCOMPARE(rig.mic->lastDeviceId(), QString("mic-b"));
    }

    void volumeReachesTheRunningPipeline()
    {
        Rig rig;
        rig.engine->setVadSilentStop(false);
        rig.engine->setInputVolume(0.5);
        rig.engine->startCapture();
        rig.readFrames(1, 1000);
        QCOMPARE(rig.frames.back()[0], qint16(500));
        rig.engine->setInputVolume(0.0);
        rig.readFrames(1, 1000);
        QVERIFY(isZero(rig.frames.back()));
    }

    void noiseModeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("mode");
        QTest::newRow("off") << "off" << int(NoiseMode::Off);
        QTest::newRow("empty") << "" << int(NoiseMode::Off);
        QTest::newRow("webrtc") << "webrtc" << int(NoiseMode::WebRtc);
        QTest::newRow("deepfilter") << "deepfilter" << int(NoiseMode::DeepFilter);
        QTest::newRow("fastenhancer") << "fastenhancer" << int(NoiseMode::FastEnhancer);
        QTest::newRow("dpdfnet") << "dpdfnet" << int(NoiseMode::DpdfNet);
        QTest::newRow("letter case differs") << "FastEnhancer" << int(NoiseMode::Off);
        QTest::newRow("padded") << " webrtc" << int(NoiseMode::Off);
    }

    void noiseModeNames()
    {
        QFETCH(QString, name);
        QFETCH(int, mode);
        QCOMPARE(int(parseNoiseMode(name)), mode);
        if (mode != int(NoiseMode::Off) || name == "off")
            QCOMPARE(noiseModeName(NoiseMode(mode)), name);
    }
};

KESTOVA_TEST_MAIN(AudioCaptureEngineTest)
#include "test_audio_capture_engine.moc"
