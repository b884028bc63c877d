#include "audio/audio_capture_engine.h"
#include "audio/audio_frame_sink_slot.h"
#include "audio/audio_pipeline.h"
#include "audio/fake_capture_backend.h"
#include "audio/scripted_detector.h"
#include "audio/speech_samples.h"
#include "support/test_main.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <vector>

using testsupport::FakeCaptureBackend;
using testsupport::FakeMicrophone;
using testsupport::ScriptedDetector;
using Samples = std::vector<qint16>;

namespace {
constexpr int kRate = 48000;
constexpr int kFrame = 480;

// A loudspeaker and a microphone in one room, around the real capture engine: every 10 ms the
// far end's voice is played (and handed to the capture pipeline as the render reference, as
// the playback's render thread does), and the microphone hears it back `echoDelayMs` later,
// attenuated and with two reflections, mixed with the user's own voice.
struct Room
{
    std::shared_ptr<FakeMicrophone> mic = std::make_shared<FakeMicrophone>();
    std::shared_ptr<AudioFrameSinkSlot> sink = std::make_shared<AudioFrameSinkSlot>();
    AudioPipelineSlot pipelineSlot;
    std::unique_ptr<AudioCaptureEngine> engine;
    Samples sent; // what the engine handed to the media connection
    std::deque<double> air; // played samples on their way to the microphone

    static constexpr int echoDelayMs = 50;

    explicit Room(bool echoCancellation)
    {
        AudioCaptureEngine::Dependencies deps;
        deps.backendFactory = [m = mic] { return std::make_unique<FakeCaptureBackend>(m); };
        deps.detectorLibrary = ScriptedDetector::calls();
        engine = std::make_unique<AudioCaptureEngine>(sink, &pipelineSlot, deps);
        engine->setNoiseMode(QStringLiteral("off"));
        engine->setVadSilentStop(false);
        engine->setAecEnabled(echoCancellation);
        engine->setHpfEnabled(true);
        sink->sink = [this](const qint16 *frame, int, int, int) { sent.insert(sent.end(), frame, frame + kFrame); };
        engine->startCapture();
        air.assign(std::size_t(echoDelayMs * kRate / 1000 + 720), 0.0);
    }

    // One 10 ms step: `far` is played, `nearVoice` is spoken into the microphone.
    void step(const qint16 *far, const qint16 *nearVoice)
    {
        if (const auto pipeline = pipelineSlot.load())
            pipeline->pushRenderReference(far, kFrame, kRate, 1);
        Samples micFrame(kFrame);
        const std::size_t delay = std::size_t(echoDelayMs * kRate / 1000);
        for (int i = 0; i < kFrame; ++i) {
            air.push_back(far[i]);
            air.pop_front();
            const std::size_t now = air.size() - 1;
            const double echo =
                0.3 * air[now - delay] + 0.1 * air[now - delay - 240] + 0.04 * air[now - delay - 720];
            micFrame[std::size_t(i)] = qint16(std::clamp(std::lround(echo + nearVoice[i]), -32768L, 32767L));
        }
        mic->push(std::move(micFrame));
        engine->onCaptureEvent();
    }
};

double energy(const Samples &v, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = from; i < std::min(to, v.size()); ++i)
        sum += double(v[i]) * v[i];
    return sum;
}

double db(double ratio)
{
    return 10 * std::log10(std::max(ratio, 1e-12));
}
} // namespace

// Echo cancellation on the sent audio, through the real capture engine: what the far end would
// hear back of its own voice, with echo cancellation on and off.
class EchoCancellationTest : public QObject
{
    Q_OBJECT

    Samples farVoice;
    Samples nearVoice;

    struct Result
    {
        double echoBack = 0;   // sent energy while only the far end talks (after convergence)
        double nearSent = 0;   // sent energy while only the user talks
        double nearSpoken = 0; // what the user said over the same span
        double doubleTalkNear = 0;
        double doubleTalkSent = 0;
    };

    // 0-10 s the far end talks; 10-14 s only the user; 14-18 s both.
    Result run(bool echoCancellation)
    {
        ScriptedDetector::speech = 1;
        Room room(echoCancellation);
        const std::size_t total = std::size_t(18 * kRate);
        Samples far(total, 0), nearSide(total, 0);
        for (std::size_t i = 0; i < total; ++i) {
            const bool farTalks = i < std::size_t(10 * kRate) || i >= std::size_t(14 * kRate);
            const bool nearTalks = i >= std::size_t(10 * kRate);
            if (farTalks)
                far[i] = farVoice[i % farVoice.size()];
            if (nearTalks)
                nearSide[i] = nearVoice[(i - 10 * kRate) % nearVoice.size()];
        }
        for (std::size_t at = 0; at + kFrame <= total; at += kFrame)
            room.step(far.data() + at, nearSide.data() + at);

        Result r;
        r.echoBack = energy(room.sent, 5 * kRate, 10 * kRate);
        r.nearSent = energy(room.sent, 10 * kRate + kRate / 2, 14 * kRate);
        r.nearSpoken = energy(nearSide, 10 * kRate + kRate / 2, 14 * kRate);
        r.doubleTalkSent = energy(room.sent, 14 * kRate + kRate / 2, 18 * kRate);
        r.doubleTalkNear = energy(nearSide, 14 * kRate + kRate / 2, 18 * kRate);
        return r;
    }

private slots:
    void initTestCase()
    {
        farVoice = testsupport::synthesizeSpeech(
            "This is the other member of the room talking through your loudspeakers. The quick brown fox "
            "jumps over the lazy dog, and the echo of every word comes back through the microphone.");
        nearVoice = testsupport::synthesizeSpeech(
            "Hello, I am the user of this client, and my own voice must still reach the others.",
            {"-v", "en-us", "-p", "70"});
        for (auto *v : {&farVoice, &nearVoice})
            for (auto &s : *v)
                s = qint16(s / 2);
    }

    void echoIsRemovedAndTheUsersVoiceStays()
    {
        if (farVoice.empty() || nearVoice.empty())
            QSKIP("espeak-ng or sox is not installed");
        const Result off = run(false);
        const Result on = run(true);
        const double reduction = db(off.echoBack / on.echoBack);
        const double nearKept = db(on.nearSent / on.nearSpoken);
        const double doubleTalkKept = db(on.doubleTalkSent / on.doubleTalkNear);
        qInfo("echo sent back %.1f dB weaker with echo cancellation; the user's voice alone %+.1f dB, "
              "during double talk %+.1f dB",
              reduction, nearKept, doubleTalkKept);
        QVERIFY2(reduction >= 20, qPrintable(QString::number(reduction)));
        // The user's voice alone arrives at its level; while both talk it still arrives.
        QVERIFY2(std::abs(nearKept) <= 3, qPrintable(QString::number(nearKept)));
        QVERIFY2(doubleTalkKept > -10, qPrintable(QString::number(doubleTalkKept)));
        // Without echo cancellation the echo goes out as the microphone heard it.
        QVERIFY(off.echoBack > 0);
    }
};

KESTOVA_TEST_MAIN(EchoCancellationTest)
#include "test_echo_cancellation.moc"
