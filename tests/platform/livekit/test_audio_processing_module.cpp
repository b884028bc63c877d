#include "audio/speech_samples.h"
#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_processing_module.h"
#include "support/test_main.h"

#include <cmath>
#include <stdexcept>
#include <vector>

using livekit::AudioFrame;
using livekit::AudioProcessingModule;

namespace {
constexpr int kRate = 48000;
constexpr int kBlock = 480;

std::int16_t at(const std::vector<std::int16_t> &v, long i)
{
    return i >= 0 && i < long(v.size()) ? v[std::size_t(i)] : 0;
}

std::int16_t clamp16(double v)
{
    return std::int16_t(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

double energyDb(double in, double out)
{
    return 10 * std::log10((out + 1e-9) / (in + 1e-9));
}

AudioProcessingModule::Options echoOnly()
{
    AudioProcessingModule::Options o;
    o.echoCancellation = true;
    o.highPassFilter = true;
    return o;
}
} // namespace

class AudioProcessingModuleTest : public QObject
{
    Q_OBJECT

    std::vector<std::int16_t> far;
    std::vector<std::int16_t> near;

    // The microphone hears the far end through a 30 ms path with two reflections, plus
    // (from `nearFrom` seconds on, if given) the near-end talker. Returns the energy of the
    // microphone and of the cleaned output from `measureFrom` seconds on, and of the near
    // end alone over the same window.
    struct Result
    {
        double mic = 0, out = 0, nearOnly = 0;
        bool referenceUntouched = true;
    };
    Result run(AudioProcessingModule &apm, double seconds, double measureFrom, double nearFrom)
    {
        const long delay = 30 * kRate / 1000;
        auto echo = [&](long n) {
            const long m = n % long(far.size());
            return 0.4 * at(far, m - delay) + 0.15 * at(far, m - delay - 240) + 0.05 * at(far, m - delay - 720);
        };
        Result r;
        const long frames = long(seconds * kRate) / kBlock;
        for (long f = 0; f < frames; ++f) {
            std::vector<std::int16_t> x(kBlock), m(kBlock);
            std::vector<double> nearPart(kBlock, 0.0);
            for (int i = 0; i < kBlock; ++i) {
                const long n = f * kBlock + i;
                x[std::size_t(i)] = at(far, n % long(far.size()));
                if (nearFrom >= 0 && n >= long(nearFrom * kRate))
                    nearPart[std::size_t(i)] = at(near, (n - long(nearFrom * kRate)) % long(near.size()));
                m[std::size_t(i)] = clamp16(echo(n) + nearPart[std::size_t(i)]);
            }
            AudioFrame farFrame(x, kRate, 1, kBlock);
            apm.processReverseStream(farFrame);
            r.referenceUntouched = r.referenceUntouched && farFrame.data() == x;
            AudioFrame micFrame(m, kRate, 1, kBlock);
            apm.processStream(micFrame);
            if (double(f) * kBlock / kRate >= measureFrom) {
                for (int i = 0; i < kBlock; ++i) {
                    r.mic += double(m[std::size_t(i)]) * m[std::size_t(i)];
                    r.out += double(micFrame.data()[std::size_t(i)]) * micFrame.data()[std::size_t(i)];
                    r.nearOnly += nearPart[std::size_t(i)] * nearPart[std::size_t(i)];
                }
            }
        }
        return r;
    }

private slots:
    void initTestCase()
    {
        far = testsupport::synthesizeSpeech(
            "The quick brown fox jumps over the lazy dog. We are testing echo cancellation with a "
            "synthetic talker, sentence after sentence, for several seconds.");
        near = testsupport::synthesizeSpeech(
            "Hello there, this is the near end talker speaking into the microphone while the other side is quiet.",
            {"-v", "en-us", "-p", "70"});
        for (auto *v : {&far, &near})
            for (auto &s : *v)
                s = std::int16_t(s / 2);
    }

    void echoIsRemovedFromFarEndSpeech()
    {
        if (far.empty())
            QSKIP("espeak-ng or sox is not installed");
        AudioProcessingModule apm(echoOnly());
        apm.setStreamDelayMs(30);
        const Result r = run(apm, 12, 4, -1);
        QVERIFY(r.referenceUntouched);
        const double reduction = -energyDb(r.mic, r.out);
        qInfo("echo reduced by %.1f dB", reduction);
        QVERIFY2(reduction >= 20, qPrintable(QString::number(reduction)));
    }

    void nearEndSpeechIsKeptDuringDoubleTalk()
    {
        if (far.empty() || near.empty())
            QSKIP("espeak-ng or sox is not installed");
        AudioProcessingModule apm(echoOnly());
        apm.setStreamDelayMs(30);
        const Result r = run(apm, 12, 5, 4);
        // The output keeps most of the near-end talker: within 10 dB of the talker alone.
        const double kept = energyDb(r.nearOnly, r.out);
        qInfo("near end kept at %.1f dB", kept);
        QVERIFY2(kept > -10, qPrintable(QString::number(kept)));
    }

    void withoutEchoCancellationTheEchoStays()
    {
        if (far.empty())
            QSKIP("espeak-ng or sox is not installed");
        AudioProcessingModule::Options o;
        AudioProcessingModule apm(o);
        const Result r = run(apm, 4, 1, -1);
        QVERIFY(std::abs(energyDb(r.mic, r.out)) < 1.0);
    }

    void framesMustHoldTenMilliseconds()
    {
        AudioProcessingModule apm(echoOnly());
        AudioFrame shortFrame(std::vector<std::int16_t>(441, 0), kRate, 1, 441);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, apm.processStream(shortFrame));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, apm.processReverseStream(shortFrame));
        AudioFrame stereo(std::vector<std::int16_t>(960, 0), kRate, 2, kBlock);
        apm.processReverseStream(stereo);
        apm.processStream(stereo);
        AudioFrame sixteen(std::vector<std::int16_t>(160, 0), 16000, 1, 160);
        apm.processStream(sixteen);
    }

    void frameSizeMustMatchItsShape()
    {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, AudioFrame(std::vector<std::int16_t>(479), kRate, 1, kBlock));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, AudioFrame(std::vector<std::int16_t>(480), kRate, 2, kBlock));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, AudioFrame(std::vector<std::int16_t>(), 0, 1, 0));
        const AudioFrame ok(std::vector<std::int16_t>(960, 3), kRate, 2, kBlock);
        QCOMPARE(ok.numChannels(), 2);
        QCOMPARE(ok.samplesPerChannel(), kBlock);
        QCOMPARE(ok.sampleRate(), kRate);
        QCOMPARE(ok.data().size(), std::size_t(960));
    }
};

KESTOVA_TEST_MAIN(AudioProcessingModuleTest)
#include "test_audio_processing_module.moc"
