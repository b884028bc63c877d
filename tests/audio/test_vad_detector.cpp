#include "audio/speech_samples.h"
#include "audio/vad_detector.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

#include <cmath>
#include <deque>
#include <random>
#include <vector>

using testsupport::LogCapture;

namespace {
// A scripted detector library: counts its calls, records what it was given and answers each
// hop with the next scripted flag (0 once the script runs out).
struct ScriptedLibrary
{
    int creates = 0;
    int processes = 0;
    int destroys = 0;
    int createResult = 0;
    int processResult = 0;
    std::size_t lastHop = 0;
    float lastThreshold = 0;
    std::deque<int> flags;
    std::deque<float> probabilities;
    std::vector<qint16> received;
    int token = 0;
};
ScriptedLibrary lib;

int scriptedCreate(void **handle, std::size_t hop, float threshold)
{
    ++lib.creates;
    lib.lastHop = hop;
    lib.lastThreshold = threshold;
    *handle = lib.createResult == 0 ? &lib.token : nullptr;
    return lib.createResult;
}

int scriptedProcess(void *, const qint16 *samples, std::size_t count, float *probability, int *flag)
{
    ++lib.processes;
    lib.received.insert(lib.received.end(), samples, samples + count);
    *flag = 0;
    *probability = 0;
    if (!lib.flags.empty()) {
        *flag = lib.flags.front();
        lib.flags.pop_front();
    }
    if (!lib.probabilities.empty()) {
        *probability = lib.probabilities.front();
        lib.probabilities.pop_front();
    } else {
        *probability = *flag ? 0.9f : 0.1f;
    }
    return lib.processResult;
}

int scriptedDestroy(void **handle)
{
    ++lib.destroys;
    *handle = nullptr;
    return 0;
}

VadDetector::LibraryCalls scriptedCalls()
{
    VadDetector::LibraryCalls calls;
    calls.create = scriptedCreate;
    calls.process = scriptedProcess;
    calls.destroy = scriptedDestroy;
    return calls;
}

// 768 samples at 48 kHz become exactly one 256-sample hop at 16 kHz (16 ms).
constexpr int kHopInput = 768;

// Drives a detector on a manual clock: hops every 16 ms, timers fired when they come due.
struct Timeline
{
    VadDetector &vad;
    qint64 now = 0;
    std::vector<std::pair<qint64, int>> changes;
    std::vector<std::pair<qint64, int>> bitrates;
    std::vector<qint16> frame = std::vector<qint16>(kHopInput, 0);

    explicit Timeline(VadDetector &v)
        : vad(v)
    {
        vad.setManualClock([this] { return now; });
        QObject::connect(&vad, &VadDetector::stateChanged, &vad,
                         [this](VadDetector::VadState s) { changes.emplace_back(now, int(s)); });
        QObject::connect(&vad, &VadDetector::bitrateChangeRequested, &vad,
                         [this](int bps) { bitrates.emplace_back(now, bps); });
    }
    void runTo(qint64 t)
    {
        while (auto due = vad.nextTimerDueMs()) {
            if (*due > t)
                break;
            now = *due;
            vad.fireDueTimers();
        }
        now = t;
    }
    // One hop at time t with the given library flag.
    void hop(qint64 t, int flag)
    {
        runTo(t);
        lib.flags.push_back(flag);
        vad.feed(frame.data(), kHopInput);
    }
};
} // namespace

class VadDetectorTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { lib = ScriptedLibrary(); }

    void libraryIsCalledEverySixteenMilliseconds()
    {
        VadDetector vad(scriptedCalls());
        QCOMPARE(lib.creates, 1);
        QCOMPARE(lib.lastHop, std::size_t(256));
        QCOMPARE(lib.lastThreshold, 0.5f);

        std::vector<qint16> frame(480, 100);
        vad.feed(frame.data(), 480); // 160 resampled samples: no hop yet
        QCOMPARE(lib.processes, 0);
        vad.feed(frame.data(), 480); // 320: one hop
        QCOMPARE(lib.processes, 1);
        for (int i = 0; i < 6; ++i)
            vad.feed(frame.data(), 480); // 8 frames = 1280 samples = 5 hops
        QCOMPARE(lib.processes, 5);
        QCOMPARE(lib.received.size(), std::size_t(5 * 256));

        // Odd feed sizes carry the decimation phase over: 1000 frames of 1..9 samples, then
        // the total input decides the count.
        int total = 8 * 480;
        for (int i = 0; i < 1000; ++i) {
            const int n = 1 + i % 9;
            vad.feed(frame.data(), n);
            total += n;
        }
        QCOMPARE(lib.processes, total / 3 / 256);

        // Null data and empty counts are ignored.
        const int before = lib.processes;
        vad.feed(nullptr, 480);
        vad.feed(frame.data(), 0);
        QCOMPARE(lib.processes, before);
    }

    void filterPassesDirectCurrentAtUnityGain()
    {
        VadDetector vad(scriptedCalls());
        std::vector<qint16> frame(480, 10000);
        for (int i = 0; i < 20; ++i)
            vad.feed(frame.data(), 480);
        // The first 10 outputs are the filter filling from the zero history; after that a
        // constant input passes unchanged.
        QVERIFY(lib.received.size() > 1000);
        for (std::size_t i = 11; i < lib.received.size(); ++i)
            QVERIFY2(std::abs(lib.received[i] - 10000) <= 1, qPrintable(QString::number(lib.received[i])));

        // Full scale does not overflow.
        lib.received.clear();
        std::fill(frame.begin(), frame.end(), qint16(-32768));
        for (int i = 0; i < 20; ++i)
            vad.feed(frame.data(), 480);
        // Up to one hop of the earlier level was still queued, then the filter's own 10.
        QVERIFY(lib.received.size() > 600);
        for (std::size_t i = 256 + 11; i < lib.received.size(); ++i)
            QVERIFY2(lib.received[i] <= -32767, qPrintable(QString::number(lib.received[i])));
    }

    void filterRemovesWhatLiesAboveSixteenKilohertzNyquist()
    {
        VadDetector vad(scriptedCalls());
        // 12 kHz at 48 kHz would alias to 4 kHz after plain decimation; the filter removes it.
        std::vector<qint16> frame(480);
        for (int i = 0; i < 480; ++i)
            frame[static_cast<std::size_t>(i)] = static_cast<qint16>(20000 * std::sin(2 * M_PI * 12000 * i / 48000.0));
        for (int i = 0; i < 20; ++i)
            vad.feed(frame.data(), 480);
        int largest = 0;
        for (std::size_t i = 20; i < lib.received.size(); ++i)
            largest = std::max(largest, std::abs(int(lib.received[i])));
        QVERIFY2(largest < 20000 / 30, qPrintable(QString::number(largest)));
    }

    void speechEndsThroughHangoverWithDwell_data()
    {
        QTest::addColumn<int>("hangoverMs");
        QTest::addColumn<int>("speechHops");
        QTest::addColumn<qint64>("expectHangoverAfterLast");
        QTest::addColumn<qint64>("expectSilentAfterLast");
        // Default: gap timer 100 ms after the first non-speech hop at L+16 gives Hangover at
        // L+116; the silence timer fires at L+300 but Hangover must last 200 ms: L+316.
        QTest::newRow("hangover 300, long speech") << 300 << 20 << qint64(116) << qint64(316);
        // One isolated speech hop: Active must last 100 ms (gap timer would fire at +76),
        // Hangover its 200 ms.
        QTest::newRow("hangover 100, one hop") << 100 << 1 << qint64(100) << qint64(300);
        // Long hangover: gap interval capped at 200 ms; Silent exactly at the hangover.
        QTest::newRow("hangover 1000, long speech") << 1000 << 20 << qint64(216) << qint64(1000);
    }

    void speechEndsThroughHangoverWithDwell()
    {
        QFETCH(int, hangoverMs);
        QFETCH(int, speechHops);
        QFETCH(qint64, expectHangoverAfterLast);
        QFETCH(qint64, expectSilentAfterLast);

        VadDetector vad(scriptedCalls());
        vad.setHangoverMs(hangoverMs);
        Timeline tl(vad);
        const qint64 start = 1000; // past the Silent dwell since construction
        for (int i = 0; i < speechHops; ++i)
            tl.hop(start + 16 * i, 1);
        const qint64 last = start + 16 * (speechHops - 1);
        for (qint64 t = last + 16; t <= last + 1600; t += 16)
            tl.hop(t, 0);

        QCOMPARE(tl.changes.size(), std::size_t(3));
        QCOMPARE(tl.changes[0], std::make_pair(start, int(VadDetector::Active)));
        QCOMPARE(tl.changes[1], std::make_pair(last + expectHangoverAfterLast, int(VadDetector::Hangover)));
        QCOMPARE(tl.changes[2], std::make_pair(last + expectSilentAfterLast, int(VadDetector::Silent)));
        QCOMPARE(vad.state(), VadDetector::Silent);
    }

    void speechDuringHangoverReturnsAtOnce()
    {
        VadDetector vad(scriptedCalls());
        Timeline tl(vad);
        for (int i = 0; i < 10; ++i)
            tl.hop(1000 + 16 * i, 1);
        qint64 t = 1000 + 16 * 10;
        while (vad.state() != VadDetector::Hangover) {
            tl.hop(t, 0);
            t += 16;
        }
        tl.hop(t, 1);
        QCOMPARE(vad.state(), VadDetector::Active);
        QCOMPARE(tl.changes.back(), std::make_pair(t, int(VadDetector::Active)));
        // A gap shorter than the gap interval never leaves Active.
        const std::size_t changes = tl.changes.size();
        for (int round = 0; round < 5; ++round) {
            tl.hop(t += 16, 0);
            tl.hop(t += 16, 0);
            tl.hop(t += 16, 1);
        }
        QCOMPARE(tl.changes.size(), changes);
    }

    void gapIntervalFollowsHangover_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("stored");
        QTest::addColumn<qint64>("gap");
        QTest::newRow("300") << 300 << 300 << qint64(100);
        QTest::newRow("100") << 100 << 100 << qint64(60);
        QTest::newRow("1000") << 1000 << 1000 << qint64(200);
        QTest::newRow("below range") << 20 << 50 << qint64(60);
        QTest::newRow("above range") << 10000 << 3000 << qint64(200);
    }

    void gapIntervalFollowsHangover()
    {
        QFETCH(int, requested);
        QFETCH(int, stored);
        QFETCH(qint64, gap);
        VadDetector vad(scriptedCalls());
        vad.setHangoverMs(requested);
        QCOMPARE(vad.hangoverMs(), stored);
        Timeline tl(vad);
        tl.hop(1000, 1);
        tl.hop(1016, 0);
        QCOMPARE(vad.nextTimerDueMs(), std::optional<qint64>(1016 + gap));
    }

    void bitrateFollowsState_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("hangover");
        QTest::newRow("below floor") << 6000 << 8000 << 8000;
        QTest::newRow("under cap") << 12000 << 12000 << 12000;
        QTest::newRow("over cap") << 64000 << 64000 << 16000;
    }

    void bitrateFollowsState()
    {
        QFETCH(int, room);
        QFETCH(int, active);
        QFETCH(int, hangover);
        VadDetector vad(scriptedCalls());
        QSignalSpy noSignal(&vad, &VadDetector::bitrateChangeRequested);
        vad.setRoomBitrate(room);
        QCOMPARE(noSignal.count(), 0); // takes effect at the next change
        Timeline tl(vad);
        tl.hop(1000, 1);
        for (qint64 t = 1016; t < 2500; t += 16)
            tl.hop(t, 0);
        QCOMPARE(tl.bitrates.size(), std::size_t(3));
        QCOMPARE(tl.bitrates[0].second, active);
        QCOMPARE(tl.bitrates[1].second, hangover);
        QCOMPARE(tl.bitrates[2].second, 8000);
    }

    void mutingSilencesAtOnceAndStopsFeeding()
    {
        VadDetector vad(scriptedCalls());
        Timeline tl(vad);
        tl.hop(1000, 1);
        QCOMPARE(vad.state(), VadDetector::Active);
        tl.runTo(1010); // inside Active's 100 ms dwell: muting must not wait for it
        vad.setMuted(true);
        QCOMPARE(vad.state(), VadDetector::Silent);
        QCOMPARE(tl.changes.back(), std::make_pair(qint64(1010), int(VadDetector::Silent)));
        QCOMPARE(tl.bitrates.back(), std::make_pair(qint64(1010), 8000));
        QVERIFY(!vad.nextTimerDueMs());

        const int calls = lib.processes;
        const std::size_t changes = tl.changes.size();
        for (qint64 t = 1026; t < 1500; t += 16)
            tl.hop(t, 1);
        QCOMPARE(lib.processes, calls);
        QCOMPARE(tl.changes.size(), changes);

        vad.setMuted(false); // unmuting only stores
        QCOMPARE(tl.changes.size(), changes);
        tl.hop(1600, 1);
        QCOMPARE(vad.state(), VadDetector::Active);
    }

    void probabilityIsThePeakOfSixHops()
    {
        VadDetector vad(scriptedCalls());
        QSignalSpy spy(&vad, &VadDetector::probabilityUpdated);
        Timeline tl(vad);
        lib.probabilities = {0.1f, 0.7f, 0.2f, 0.3f, 0.0f, 0.4f, 0.2f, 0.2f, 0.3f, 0.1f, 0.25f, 0.15f};
        for (int i = 0; i < 12; ++i)
            tl.hop(1000 + 16 * i, 0);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toFloat(), 0.7f);
        QCOMPARE(spy.at(1).at(0).toFloat(), 0.3f);
    }

    void failedHopChangesNothing()
    {
        VadDetector vad(scriptedCalls());
        QSignalSpy spy(&vad, &VadDetector::probabilityUpdated);
        Timeline tl(vad);
        lib.processResult = -1;
        for (int i = 0; i < 12; ++i)
            tl.hop(1000 + 16 * i, 1);
        QCOMPARE(lib.processes, 12);
        QCOMPARE(spy.count(), 0);
        QVERIFY(tl.changes.empty());
    }

    void thresholdIsClampedAndKeepsTheInstance()
    {
        LogCapture logs;
        VadDetector vad(scriptedCalls());
        vad.setThreshold(0.01f);
        QCOMPARE(vad.threshold(), 0.05f);
        QCOMPARE(logs.count("audio.vad", "threshold set"), 1);

        vad.setThreshold(0.05f);
        QCOMPARE(logs.count("audio.vad", "threshold set"), 1);

        vad.setThreshold(2.0f);
        QCOMPARE(vad.threshold(), 0.95f);
        QCOMPARE(logs.count("audio.vad", "threshold set"), 2);
        // A new instance would start from nothing: the one made at construction stays.
        QCOMPARE(lib.creates, 1);
        QCOMPARE(lib.destroys, 0);
        QCOMPARE(lib.lastThreshold, 0.5f);
    }

    // After a change the library's probability is judged against the new threshold; at the
    // threshold the instance was made with, the library's own flag counts again.
    void changedThresholdJudgesTheProbability_data()
    {
        QTest::addColumn<float>("threshold");
        QTest::addColumn<float>("probability");
        QTest::addColumn<int>("libraryFlag");
        QTest::addColumn<bool>("speech");
        QTest::newRow("raised, below it though the library says speech") << 0.7f << 0.6f << 1 << false;
        QTest::newRow("raised, above it") << 0.7f << 0.75f << 1 << true;
        QTest::newRow("lowered, above it though the library says none") << 0.2f << 0.3f << 0 << true;
        QTest::newRow("lowered, below it") << 0.2f << 0.1f << 0 << false;
        QTest::newRow("back at the instance's, its flag counts") << 0.5f << 0.9f << 0 << false;
    }

    void changedThresholdJudgesTheProbability()
    {
        QFETCH(float, threshold);
        QFETCH(float, probability);
        QFETCH(int, libraryFlag);
        QFETCH(bool, speech);
        VadDetector vad(scriptedCalls());
        Timeline tl(vad);
        vad.setThreshold(0.8f);
        vad.setThreshold(threshold);
        lib.probabilities.push_back(probability);
        tl.hop(1000, libraryFlag);
        QCOMPARE(vad.state() == VadDetector::Active, speech);
        QCOMPARE(lib.creates, 1);
    }

    void unusableLibraryLeavesTheDetectorSilent()
    {
        {
            LogCapture logs;
            VadDetector::LibraryCalls calls = scriptedCalls();
            calls.destroy = nullptr;
            VadDetector vad(calls);
            QVERIFY(logs.contains("audio.vad", "ten_vad.dll symbols not found"));
            QVERIFY(!vad.isUsable());
            QCOMPARE(lib.creates, 0);
        }
        {
            LogCapture logs;
            lib.createResult = -7;
            VadDetector vad(scriptedCalls());
            QVERIFY(logs.contains("audio.vad", "ten_vad_create failed, ret=-7"));
            QVERIFY(!vad.isUsable());
            QSignalSpy spy(&vad, &VadDetector::stateChanged);
            std::vector<qint16> frame(480, 5000);
            for (int i = 0; i < 50; ++i)
                vad.feed(frame.data(), 480);
            QCOMPARE(lib.processes, 0);
            QCOMPARE(spy.count(), 0);
            QCOMPARE(vad.state(), VadDetector::Silent);
        }
    }

    // The library built with the project, behind the detector's own filter and hops: low noise
    // (not digital silence, which no microphone delivers) leaves it silent from the first hop
    // on, and speech makes it active.
    void ownLibraryTellsSpeechFromLowNoise()
    {
        VadDetector vad;
        if (!vad.isUsable())
            QFAIL("the detector library built with the project did not load");
        const std::vector<std::int16_t> speech =
            testsupport::synthesizeSpeech("Hello there, this is a test of the voice detector.");
        if (speech.empty())
            QSKIP("espeak-ng or sox is not installed");

        QSignalSpy states(&vad, &VadDetector::stateChanged);
        QSignalSpy probabilities(&vad, &VadDetector::probabilityUpdated);
        qint64 now = 0;
        vad.setManualClock([&now] { return now; });

        // White noise at about -50 dBFS, one second of it.
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0.0, 100.0);
        std::vector<qint16> quiet(480);
        for (int i = 0; i < 100; ++i, now += 10) {
            for (qint16 &v : quiet)
                v = static_cast<qint16>(std::lround(noise(rng)));
            vad.feed(quiet.data(), 480);
        }
        QCOMPARE(states.count(), 0);
        QVERIFY(probabilities.count() >= 9);
        for (const auto &args : probabilities)
            QVERIFY2(args.at(0).toFloat() < 0.5f, qPrintable(QString::number(args.at(0).toFloat())));
        probabilities.clear();

        for (std::size_t at = 0; at + 480 <= speech.size(); at += 480, now += 10)
            vad.feed(reinterpret_cast<const qint16 *>(speech.data()) + at, 480);
        QVERIFY(states.count() >= 1);
        QCOMPARE(states.at(0).at(0).value<VadDetector::VadState>(), VadDetector::Active);
        float highest = 0;
        for (const auto &args : probabilities)
            highest = std::max(highest, args.at(0).toFloat());
        QVERIFY(highest > 0.5f);
    }
};

KESTOVA_TEST_MAIN(VadDetectorTest)
#include "test_vad_detector.moc"
