#include "audio/audio_capture_manager.h"
#include "audio/audio_pipeline.h"
#include "audio/fake_capture_backend.h"
#include "audio/memory_audio_storage.h"
#include "audio/neural_suppressor.h"
#include "audio/scripted_detector.h"
#include "support/log_capture.h"
#include "frame_log.h"
#include "support/test_main.h"

#include <QSignalSpy>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using testsupport::FakeCaptureBackend;
using testsupport::FakeMicrophone;
using testsupport::LogCapture;
using testsupport::MemoryAudioStorage;
using testsupport::ScriptedDetector;

using SinkLog = testsupport::FrameLog;

namespace {

// A suppressor that negates every sample, and tells on which threads it was loaded and run.
struct LoadLog
{
    std::mutex mutex;
    QStringList loadThreads;
    QStringList processThreads;
    int loads()
    {
        std::lock_guard lock(mutex);
        return int(loadThreads.size());
    }
};

class NegatingSuppressor : public NeuralSuppressor
{
public:
    NegatingSuppressor(NoiseMode mode_, std::shared_ptr<LoadLog> log_, bool ready_)
        : suppressorMode(mode_)
        , log(std::move(log_))
        , ready(ready_)
    {}
    NoiseMode mode() const override { return suppressorMode; }
    bool isReady() const override { return ready; }
    bool isPassThrough() const override { return false; }
    void process(qint16 *samples, int count) override
    {
        {
            std::lock_guard lock(log->mutex);
            if (log->processThreads.isEmpty() || log->processThreads.back() != QThread::currentThread()->objectName())
                log->processThreads << QThread::currentThread()->objectName();
        }
        for (int i = 0; i < count; ++i)
            samples[i] = qint16(-samples[i]);
    }
    void reset() override {}

private:
    NoiseMode suppressorMode;
    std::shared_ptr<LoadLog> log;
    bool ready;
};

struct Rig
{
    MemoryAudioStorage storage;
    std::shared_ptr<LoadLog> loadLog = std::make_shared<LoadLog>();
    bool loadsModels = false; // else every load gives nothing, as without the runtime
    bool loadsReady = true;
    std::shared_ptr<FakeMicrophone> mic = std::make_shared<FakeMicrophone>();
    QList<AudioDeviceInfo> devices{{"fake-endpoint", "Desk microphone", true}};
    std::unique_ptr<AudioCaptureManager> manager;
    std::shared_ptr<SinkLog> sink = std::make_shared<SinkLog>();

    void build()
    {
        AudioCaptureManager::Dependencies deps;
        deps.engine.backendFactory = [m = mic] { return std::make_unique<FakeCaptureBackend>(m); };
        deps.engine.detectorLibrary = ScriptedDetector::calls();
        deps.listCaptureDevices = [this] { return devices; };
        deps.loadSuppressor = [log = loadLog, ready = loadsReady,
                               loads = loadsModels](NoiseMode mode) -> std::unique_ptr<NeuralSuppressor> {
            {
                std::lock_guard lock(log->mutex);
                log->loadThreads << QThread::currentThread()->objectName();
            }
            if (!loads)
                return nullptr;
            return std::make_unique<NegatingSuppressor>(mode, log, ready);
        };
        manager = std::make_unique<AudioCaptureManager>(&storage, nullptr, deps);
        manager->setFrameSink([s = sink](const qint16 *frame, int, int, int) { s->add(frame); });
    }
    // Pushes frames one by one and waits until the sink has seen them all.
    bool pushFrames(int count, qint16 value)
    {
        const std::size_t before = sink->count();
        for (int i = 0; i < count; ++i)
            mic->push(std::vector<qint16>(480, value));
        // The capture thread runs them on its own schedule, slowly on a loaded or instrumented
        // machine; the wait ends as soon as the frames are through.
        return QTest::qWaitFor([&] { return sink->count() >= before + std::size_t(count); }, 30000);
    }
};
} // namespace

class AudioCaptureManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { ScriptedDetector::speech = 1; }

    void storedSettingsLoad()
    {
        Rig rig;
        rig.storage.values = {{"inputGainDb", -45},
                              {"noiseMode", ""},
                              {"vadThresholdPct", 2},
                              {"inputDeviceId", "mic-7"},
                              {"aecEnabled", false}};
        rig.build();
        QCOMPARE(rig.manager->inputGainDb(), -30);
        QCOMPARE(rig.manager->noiseMode(), QString("fastenhancer"));
        QCOMPARE(rig.manager->vadThresholdPct(), 2); // the detector clamps it
        QCOMPARE(rig.manager->deviceId(), QString("mic-7"));
        QCOMPARE(rig.manager->aecEnabled(), false);
        QCOMPARE(rig.manager->captureRequested(), false);
        QCOMPARE(rig.manager->inputPeak(), 0.0f);
        QCOMPARE(rig.storage.writes, 0);
    }

    void settersClampAndPersist_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stored");
        QTest::newRow("gain below floor") << "inputGainDb" << -45 << -30;
        QTest::newRow("gain in range") << "inputGainDb" << 6 << 6;
        QTest::newRow("gain above ceiling") << "inputGainDb" << 40 << 30;
        QTest::newRow("threshold 0") << "vadThresholdPct" << 0 << 5;
        QTest::newRow("threshold 99") << "vadThresholdPct" << 99 << 95;
        QTest::newRow("threshold 40") << "vadThresholdPct" << 40 << 40;
        QTest::newRow("hangover 50") << "vadHangoverMs" << 50 << 100;
        QTest::newRow("hangover 5000") << "vadHangoverMs" << 5000 << 1000;
        QTest::newRow("hangover 400") << "vadHangoverMs" << 400 << 400;
    }

    void settersClampAndPersist()
    {
        QFETCH(QString, setting);
        QFETCH(int, value);
        QFETCH(int, stored);
        Rig rig;
        rig.build();
        int read = 0;
        if (setting == "inputGainDb") {
            rig.manager->setInputGainDb(value);
            read = rig.manager->inputGainDb();
        } else if (setting == "vadThresholdPct") {
            rig.manager->setVadThresholdPct(value);
            read = rig.manager->vadThresholdPct();
        } else {
            rig.manager->setVadHangoverMs(value);
            read = rig.manager->vadHangoverMs();
        }
        QCOMPARE(read, stored);
        QCOMPARE(rig.storage.values.value(setting).toInt(), stored);
    }

    void noiseModeAndFlagsPersist()
    {
        Rig rig;
        rig.build();
        rig.manager->setNoiseMode(QString());
        QCOMPARE(rig.manager->noiseMode(), QString("fastenhancer"));
        QCOMPARE(rig.storage.values.value("noiseMode").toString(), QString("fastenhancer"));
        rig.manager->setNoiseMode("webrtc");
        QCOMPARE(rig.storage.values.value("noiseMode").toString(), QString("webrtc"));
        rig.manager->setAgcEnabled(true);
        rig.manager->setHpfEnabled(false);
        rig.manager->setVadSilentStop(false);
        QCOMPARE(rig.storage.values.value("agcEnabled").toBool(), true);
        QCOMPARE(rig.storage.values.value("hpfEnabled").toBool(), false);
        QCOMPARE(rig.storage.values.value("vadSilentStop").toBool(), false);

        const int writes = rig.storage.writes;
        rig.manager->setDeviceId(QString()); // unchanged: nothing written, nothing queued
        QCOMPARE(rig.storage.writes, writes);
        rig.manager->setDeviceId("mic-2");
        QCOMPARE(rig.storage.values.value("inputDeviceId").toString(), QString("mic-2"));
    }

    void gainReachesTheCapturedAudio_data()
    {
        QTest::addColumn<int>("db");
        QTest::addColumn<int>("expected");
        QTest::newRow("-45 dB is silence") << -45 << 0;
        QTest::newRow("+6 dB") << 6 << 1995;
        QTest::newRow("0 dB") << 0 << 1000;
    }

    void gainReachesTheCapturedAudio()
    {
        QFETCH(int, db);
        QFETCH(int, expected);
        Rig rig;
        // Without the echo module, which would filter the constant test signal away.
        rig.storage.values = {{"vadSilentStop", false}, {"aecEnabled", false}, {"hpfEnabled", false}};
        rig.build();
        rig.manager->setInputGainDb(db);
        rig.manager->startCapture();
        QVERIFY(rig.pushFrames(3, 1000));
        QCOMPARE(int(rig.sink->last()[0]), expected);
    }

    // The model of the stored neural mode is loaded once, on the manager's worker, before any
    // capture; every capture start (a room join) reuses it, and the capture thread runs it
    // without ever loading one.
    void modelsAreLoadedOnceOffTheCaptureThread()
    {
        Rig rig;
        rig.loadsModels = true;
        rig.storage.values = {{"noiseMode", "dpdfnet"}, {"vadSilentStop", false}, {"aecEnabled", false},
                              {"hpfEnabled", false}};
        rig.build();
        QTRY_COMPARE_WITH_TIMEOUT(rig.loadLog->loads(), 1, 30000);
        for (int join = 0; join < 3; ++join) {
            rig.manager->startCapture();
            QVERIFY(rig.pushFrames(2, 900));
            QCOMPARE(rig.sink->last(), std::vector<qint16>(480, -900));
            rig.manager->stopCapture();
        }
        QCOMPARE(rig.loadLog->loads(), 1);
        {
            std::lock_guard lock(rig.loadLog->mutex);
            QCOMPARE(rig.loadLog->loadThreads, QStringList{"audio-model-loader"});
            QCOMPARE(rig.loadLog->processThreads, QStringList{"audio-capture"});
        }

        // Another neural mode loads its own model; a non-neural one loads nothing and the
        // frames pass unchanged; the same mode again loads nothing new.
        rig.manager->startCapture();
        rig.manager->setNoiseMode("fastenhancer");
        QTRY_COMPARE_WITH_TIMEOUT(rig.loadLog->loads(), 2, 30000);
        rig.manager->setNoiseMode("fastenhancer");
        rig.manager->setNoiseMode("off");
        QVERIFY(rig.pushFrames(2, 900));
        QCOMPARE(rig.sink->last(), std::vector<qint16>(480, 900));
        rig.manager->setNoiseMode("fastenhancer");
        QTRY_COMPARE_WITH_TIMEOUT(rig.loadLog->loads(), 3, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.pushFrames(1, 900) && rig.sink->last() == std::vector<qint16>(480, -900), 30000);
    }

    // A model that failed to load leaves the frames as they are.
    void failedModelPassesAudioThrough()
    {
        Rig rig;
        rig.loadsModels = true;
        rig.loadsReady = false;
        rig.storage.values = {{"noiseMode", "fastenhancer"}, {"vadSilentStop", false}, {"aecEnabled", false},
                              {"hpfEnabled", false}};
        rig.build();
        QTRY_COMPARE_WITH_TIMEOUT(rig.loadLog->loads(), 1, 30000);
        rig.manager->startCapture();
        QVERIFY(rig.pushFrames(3, 900));
        QCOMPARE(rig.sink->last(), std::vector<qint16>(480, 900));
    }

    void pushToTalkSendsVoiceWhileTheDetectorIsSilent()
    {
        ScriptedDetector::speech = 0;
        Rig rig;
        rig.storage.values = {{"aecEnabled", false}, {"hpfEnabled", false}};
        rig.build();
        rig.manager->setMicMuted(true);
        rig.manager->startCapture();
        QVERIFY(rig.pushFrames(3, 700));
        QCOMPARE(rig.sink->last(), std::vector<qint16>(480, 0));
        rig.manager->setPttActive(true);
        QVERIFY(rig.pushFrames(3, 700));
        QCOMPARE(rig.sink->last(), std::vector<qint16>(480, 700));
        rig.manager->setPttActive(false);
        rig.manager->setBroadcastActive(true);
        QVERIFY(rig.pushFrames(3, 700));
        QCOMPARE(rig.sink->last(), std::vector<qint16>(480, 700));
        rig.manager->setForceMuted(true);
        QVERIFY(rig.pushFrames(3, 700));
        QCOMPARE(rig.sink->last(), std::vector<qint16>(480, 0));
    }

    void relaysResultsAndNamesTheDevice()
    {
        Rig rig;
        rig.build();
        QSignalSpy device(rig.manager.get(), &AudioCaptureManager::captureDeviceChanged);
        QSignalSpy states(rig.manager.get(), &AudioCaptureManager::vadStateChanged);
        QSignalSpy speaking(rig.manager.get(), &AudioCaptureManager::vadSpeakingChanged);
        rig.manager->startCapture();
        QTRY_COMPARE(device.count(), 1);
        QCOMPARE(device.at(0).at(0).toString(), QString("Desk microphone"));
        QCOMPARE(device.at(0).at(1).toBool(), false);
        QVERIFY(rig.pushFrames(3, 300));
        QTRY_COMPARE(speaking.count(), 1);
        QCOMPARE(states.at(0).at(0).toInt(), int(VadDetector::Active));
        QTRY_VERIFY(rig.manager->inputPeak() > 0.0f);

        // An endpoint the enumeration does not list is named by its id.
        rig.devices.clear();
        rig.manager->setDeviceId("other");
        QTRY_COMPARE(device.count(), 2);
        QCOMPARE(device.at(1).at(0).toString(), QString("fake-endpoint"));

        QSignalSpy recorded(rig.manager.get(), &AudioCaptureManager::loopRecordFinished);
        rig.manager->startLoopRecord();
        QVERIFY(rig.pushFrames(2, 9));
        rig.manager->stopLoopRecord();
        QTRY_COMPARE(recorded.count(), 1);
        QCOMPARE(recorded.at(0).at(0).value<QList<qint16>>(), QList<qint16>(960, 9));

        rig.manager->stopCapture();
        QVERIFY(!rig.manager->captureRequested());
        QTRY_COMPARE(rig.manager->inputPeak(), 0.0f);
    }

    void eachDeviceLossIsReopenedOnce()
    {
        LogCapture logs;
        Rig rig;
        rig.build();
        QSignalSpy device(rig.manager.get(), &AudioCaptureManager::captureDeviceChanged);
        rig.manager->startCapture();
        QTRY_COMPARE(device.count(), 1);

        rig.mic->loseDevice();
        QTRY_COMPARE(device.count(), 2);
        QCOMPARE(rig.mic->opens(), 2);
        QVERIFY(rig.manager->captureRequested());

        rig.mic->loseDevice(); // the budget came back with the successful open
        QTRY_COMPARE(device.count(), 3);
        QCOMPARE(logs.count("audio.capture", "reopening capture after device loss"), 2);
        QVERIFY(rig.manager->captureRequested());

        rig.mic->failOpens(1);
        rig.mic->loseDevice();
        QTRY_VERIFY(!rig.manager->captureRequested());
        QCOMPARE(rig.mic->opens(), 4);
        QCOMPARE(logs.count("audio.capture", "reopening capture after device loss"), 3);
    }

    void separateOwnersKeepEachOthersCapture()
    {
        Rig rig;
        rig.build();
        QSignalSpy device(rig.manager.get(), &AudioCaptureManager::captureDeviceChanged);
        int dialog = 0;
        rig.manager->acquireCapture(&dialog);
        QTRY_COMPARE(device.count(), 1);
        QVERIFY(rig.manager->captureActive());
        QVERIFY(!rig.manager->captureRequested()); // not the session's request

        // The voice session joins the running capture without reopening the device.
        rig.manager->startCapture();
        rig.manager->acquireCapture(&dialog); // counted once
        QVERIFY(rig.manager->captureRequested());
        rig.manager->releaseCapture(&dialog);
        QVERIFY(rig.manager->captureRequested());
        QVERIFY(rig.pushFrames(2, 100)); // still running for the voice session
        QTRY_VERIFY(rig.manager->inputPeak() > 0.0f);
        QCOMPARE(rig.mic->opens(), 1);

        // The session leaves while another owner holds capture: it keeps running.
        rig.manager->acquireCapture(&dialog);
        rig.manager->stopCapture();
        QVERIFY(!rig.manager->captureRequested());
        QVERIFY(rig.manager->captureActive());
        QVERIFY(rig.pushFrames(2, 100));
        QCOMPARE(rig.mic->opens(), 1);

        rig.manager->releaseCapture(&dialog);
        rig.manager->releaseCapture(&dialog); // an owner without a request changes nothing
        QVERIFY(!rig.manager->captureActive());
        QTRY_COMPARE(rig.manager->inputPeak(), 0.0f);
    }

    void openFailureEndsTheRequest()
    {
        Rig rig;
        rig.mic->failOpens(1);
        rig.build();
        rig.manager->startCapture();
        QVERIFY(rig.manager->captureRequested());
        QTRY_VERIFY(!rig.manager->captureRequested());
        QCOMPARE(rig.mic->opens(), 1);
    }

    void defaultDeviceChangesReopenTheMatchingSelection_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<bool>("communications");
        QTest::addColumn<bool>("reopens");
        QTest::newRow("empty, communications changed") << "" << true << true;
        QTest::newRow("empty, console changed") << "" << false << false;
        QTest::newRow("default, console changed") << "default" << false << true;
        QTest::newRow("default, communications changed") << "default" << true << false;
        QTest::newRow("endpoint, communications changed") << "mic-9" << true << false;
        QTest::newRow("endpoint, console changed") << "mic-9" << false << false;
    }

    void defaultDeviceChangesReopenTheMatchingSelection()
    {
        QFETCH(QString, selection);
        QFETCH(bool, communications);
        QFETCH(bool, reopens);
        Rig rig;
        rig.storage.values = {{"inputDeviceId", selection}};
        rig.build();
        QSignalSpy device(rig.manager.get(), &AudioCaptureManager::captureDeviceChanged);

        // Not capturing: nothing either way.
        communications ? rig.manager->onDefaultInputChanged() : rig.manager->onDefaultConsoleInputChanged();
        rig.manager->startCapture();
        QTRY_COMPARE(device.count(), 1);
        communications ? rig.manager->onDefaultInputChanged() : rig.manager->onDefaultConsoleInputChanged();
        // Engine calls run in order: once a later call has answered, the reopen (if any) ran.
        QSignalSpy marker(rig.manager.get(), &AudioCaptureManager::loopRecordFinished);
        rig.manager->startLoopRecord();
        rig.manager->stopLoopRecord();
        QTRY_COMPARE(marker.count(), 1);
        QCOMPARE(rig.mic->opens(), reopens ? 2 : 1);
        QCOMPARE(rig.mic->lastDeviceId(), selection);
    }

    void detectorTimersStopOnTheCaptureThread()
    {
        LogCapture logs;
        {
            Rig rig;
            rig.build();
            rig.manager->startCapture();
            QVERIFY(rig.pushFrames(3, 100)); // speech: Active
            ScriptedDetector::speech = 0;
            QVERIFY(rig.pushFrames(3, 100)); // silence: the hangover timer is armed
        }
        for (const auto &e : logs.entries())
            QVERIFY2(!e.message.contains("Timers cannot be stopped from another thread")
                         && !e.message.contains("Timers cannot be started from another thread"),
                     qPrintable(e.message));
    }

    void sinkCanBeReplacedWhileFramesFlow()
    {
        Rig rig;
        rig.storage.values = {{"vadSilentStop", false}};
        rig.build();
        rig.manager->startCapture();
        QVERIFY(rig.pushFrames(1, 1));

        std::atomic<int> calls{0};
        std::atomic<bool> stop{false};
        std::thread producer([&] {
            while (!stop.load()) {
                if (rig.mic->pending() < 4)
                    rig.mic->push(std::vector<qint16>(480, 3));
                else
                    std::this_thread::yield();
            }
        });
        for (int i = 0; i < 300; ++i) {
            // Each sink owns state that dies with it; a sink used after its replacement
            // would touch freed memory.
            auto owned = std::make_shared<std::vector<int>>(16, i);
            rig.manager->setFrameSink([owned, &calls](const qint16 *frame, int n, int, int) {
                (*owned)[std::size_t(frame[0]) % owned->size()] += n;
                calls.fetch_add(1);
            });
            if (i % 50 == 0)
                rig.manager->setFrameSink({});
        }
        QTRY_VERIFY(calls.load() > 0);
        stop = true;
        producer.join();
        rig.manager->setFrameSink({});
    }
};

KESTOVA_TEST_MAIN(AudioCaptureManagerTest)
#include "test_audio_capture_manager.moc"
