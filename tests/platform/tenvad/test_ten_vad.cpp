#include "audio/speech_samples.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

using testsupport::LogCapture;

// The "ten_vad" library built with the project, measured through its three calls on generated
// 16 kHz audio: the Silero model where the runtime and the model are in place, WebRTC's
// detector where either is missing.

namespace {
constexpr int kRate = 16000;
constexpr std::size_t kHop = 256; // the detector's hop (16 ms)
using Samples = std::vector<int16_t>;

// The three calls of one loaded copy of the library.
struct TenVad
{
    std::unique_ptr<QLibrary> library;
    int (*create)(void **, std::size_t, float) = nullptr;
    int (*process)(void *, const int16_t *, std::size_t, float *, int *) = nullptr;
    int (*destroy)(void **) = nullptr;

    explicit TenVad(const QString &path)
        : library(std::make_unique<QLibrary>(path))
    {
        if (!library->load())
            return;
        create = reinterpret_cast<decltype(create)>(library->resolve("ten_vad_create"));
        process = reinterpret_cast<decltype(process)>(library->resolve("ten_vad_process"));
        destroy = reinterpret_cast<decltype(destroy)>(library->resolve("ten_vad_destroy"));
    }
    bool usable() const { return create && process && destroy; }

    struct Hop
    {
        float probability = 0;
        int flag = 0;
    };
    // A new instance at `threshold` judges `audio` hop by hop; empty when a call fails.
    std::vector<Hop> judge(const Samples &audio, float threshold) const
    {
        void *handle = nullptr;
        if (create(&handle, kHop, threshold) != 0 || !handle)
            return {};
        std::vector<Hop> hops;
        for (std::size_t at = 0; at + kHop <= audio.size(); at += kHop) {
            Hop h;
            if (process(handle, audio.data() + at, kHop, &h.probability, &h.flag) != 0) {
                hops.clear();
                break;
            }
            hops.push_back(h);
        }
        destroy(&handle);
        return hops;
    }
};

// A copy of the library in a folder of its own, with `modelBytes` as its model (none when null).
struct LibraryCopy
{
    QTemporaryDir dir;
    QString path;

    LibraryCopy(const QString &original, const QByteArray *modelBytes)
    {
        path = dir.filePath(QFileInfo(original).fileName());
        QFile::copy(original, path);
        if (modelBytes) {
            QDir(dir.path()).mkpath("models");
            QFile model(dir.filePath("models/silero_vad.onnx"));
            if (model.open(QIODevice::WriteOnly))
                model.write(*modelBytes);
        }
    }
};

Samples toSamples(const std::vector<double> &x)
{
    Samples s(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        s[i] = static_cast<int16_t>(std::lround(std::clamp(x[i] * 32767.0, -32768.0, 32767.0)));
    return s;
}

double rmsOf(const std::vector<double> &x)
{
    double sum = 0;
    for (double v : x)
        sum += v * v;
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(1, x.size())));
}

std::vector<double> scaledTo(std::vector<double> x, double dbfs)
{
    const double gain = std::pow(10.0, dbfs / 20.0) / std::max(1e-12, rmsOf(x));
    for (double &v : x)
        v *= gain;
    return x;
}

// The noises, `seconds` long at 16 kHz, at the given RMS level.
std::vector<double> whiteNoise(double seconds, double dbfs, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, 1.0);
    std::vector<double> x(static_cast<std::size_t>(seconds * kRate));
    for (double &v : x)
        v = n(rng);
    return scaledTo(std::move(x), dbfs);
}

// Mains hum: 100 Hz with its second and third harmonics.
std::vector<double> hum(double seconds, double dbfs)
{
    std::vector<double> x(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / kRate;
        x[i] = std::sin(2 * M_PI * 100 * t) + 0.4 * std::sin(2 * M_PI * 200 * t) + 0.2 * std::sin(2 * M_PI * 300 * t);
    }
    return scaledTo(std::move(x), dbfs);
}

// A fan: white noise integrated with a slow leak (a -6 dB per octave slope above ~16 Hz).
std::vector<double> brownNoise(double seconds, double dbfs, unsigned seed)
{
    std::vector<double> x = whiteNoise(seconds, 0, seed);
    double y = 0;
    for (double &v : x) {
        y = 0.994 * y + v;
        v = y;
    }
    return scaledTo(std::move(x), dbfs);
}

// Keyboard-like clicks: 3 ms decaying bursts every 150 ms, peaks near full scale, over faint noise.
std::vector<double> clicks(double seconds, unsigned seed)
{
    std::vector<double> x = whiteNoise(seconds, -70, seed);
    std::mt19937 rng(seed + 1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const std::size_t period = kRate * 150 / 1000;
    const std::size_t length = kRate * 3 / 1000;
    for (std::size_t start = period / 2; start + length < x.size(); start += period)
        for (std::size_t k = 0; k < length; ++k)
            x[start + k] += 0.7 * u(rng) * std::exp(-double(k) / (length / 4.0));
    return x;
}

std::vector<double> toDoubles(const Samples &s)
{
    std::vector<double> x(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        x[i] = s[i] / 32768.0;
    return x;
}

double rmsDbfs(const Samples &s)
{
    return 20 * std::log10(std::max(1e-9, rmsOf(toDoubles(s))));
}

// Speech with a faint noise floor, and which hops hold speech: those within 35 dB of the
// loudest hop of the clean speech (the pauses between words and sentences count as not speech).
struct LabelledSpeech
{
    Samples audio;
    std::vector<bool> speech;
};

LabelledSpeech speechOverFaintNoise(const Samples &clean)
{
    std::vector<double> x = toDoubles(clean);
    const std::vector<double> floor = whiteNoise(double(x.size()) / kRate + 1, -65, 7);
    std::vector<double> hopRms;
    for (std::size_t at = 0; at + kHop <= x.size(); at += kHop)
        hopRms.push_back(rmsOf(std::vector<double>(x.begin() + std::ptrdiff_t(at), x.begin() + std::ptrdiff_t(at + kHop))));
    const double loudest = *std::max_element(hopRms.begin(), hopRms.end());
    LabelledSpeech out;
    for (double r : hopRms)
        out.speech.push_back(r >= loudest * std::pow(10.0, -35.0 / 20.0));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] += floor[i];
    out.audio = toSamples(x);
    return out;
}

const QString kSentences = QStringLiteral(
    "The quick brown fox jumps over the lazy dog. Please call Stella and ask her to bring these things "
    "with her from the store. Six spoons of fresh snow peas, five thick slabs of blue cheese.");

const QList<float> kThresholds{0.05f, 0.2f, 0.35f, 0.5f, 0.65f, 0.8f, 0.95f};
} // namespace

class TenVadTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TenVad> vad;
    bool modelLoaded = false;

private slots:
    void initTestCase()
    {
        LogCapture logs;
        vad = std::make_unique<TenVad>(TEN_VAD_PATH);
        QVERIFY2(vad->usable(), qPrintable(vad->library->errorString()));
        void *handle = nullptr;
        QCOMPARE(vad->create(&handle, kHop, 0.5f), 0);
        QCOMPARE(vad->destroy(&handle), 0);
        modelLoaded = logs.contains("audio.vad", "vad model loaded path=");
#if TEN_VAD_EXPECT_MODEL
        // Built with the runtime and the model in place: the build put the model next to the library.
        QVERIFY2(modelLoaded, "the model next to the library did not load");
#endif
    }

    // Shares of flagged hops at rising thresholds: speech (the hops that hold it) and noises
    // (every hop). Speech must be found, stationary noise must not, and a higher threshold never
    // flags more.
    void detectorTable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("atLeastAtHalf");
        QTest::addColumn<double>("atMostAtHalf");
        QTest::newRow("speech") << "speech" << 0.90 << 1.0;
        QTest::newRow("speech, female voice") << "speech-f" << 0.90 << 1.0;
        QTest::newRow("speech over a fan, 15 dB below it") << "speech+brown" << 0.90 << 1.0;
        QTest::newRow("100 Hz hum") << "hum" << 0.0 << 0.05;
        QTest::newRow("brown noise (fan)") << "brown" << 0.0 << 0.05;
        QTest::newRow("white noise") << "white" << 0.0 << 0.05;
        QTest::newRow("clicks") << "clicks" << 0.0 << 0.05;
    }

    void detectorTable()
    {
        QFETCH(QString, kind);
        QFETCH(double, atLeastAtHalf);
        QFETCH(double, atMostAtHalf);
        if (!modelLoaded)
            QSKIP("the voice detector model is not in use (no runtime or no model; scripts/setup.sh fetches both)");

        Samples audio;
        std::vector<bool> counted;
        if (kind.startsWith("speech")) {
            const Samples clean = testsupport::synthesizeSpeech(
                kSentences, kind == "speech-f" ? QStringList{"-v", "en+f3"} : QStringList{}, kRate);
            if (clean.empty())
                QSKIP("espeak-ng or sox is not installed");
            LabelledSpeech s = speechOverFaintNoise(clean);
            if (kind == "speech+brown") {
                const std::vector<double> fan = brownNoise(double(clean.size()) / kRate + 1, rmsDbfs(clean) - 15, 13);
                std::vector<double> mixed = toDoubles(s.audio);
                for (std::size_t i = 0; i < mixed.size(); ++i)
                    mixed[i] += fan[i];
                s.audio = toSamples(mixed);
            }
            audio = std::move(s.audio);
            counted = std::move(s.speech);
        } else {
            if (kind == "hum")
                audio = toSamples(hum(8, -20));
            else if (kind == "brown")
                audio = toSamples(brownNoise(8, -20, 3));
            else if (kind == "white")
                audio = toSamples(whiteNoise(8, -30, 5));
            else
                audio = toSamples(clicks(8, 11));
            counted.assign(audio.size() / kHop, true);
        }

        QStringList figures;
        double previous = 2.0;
        for (float threshold : kThresholds) {
            const std::vector<TenVad::Hop> hops = vad->judge(audio, threshold);
            QCOMPARE(hops.size(), counted.size());
            int flagged = 0;
            int total = 0;
            for (std::size_t i = 0; i < hops.size(); ++i) {
                QVERIFY(hops[i].probability >= 0.0f && hops[i].probability <= 1.0f);
                QCOMPARE(hops[i].flag, hops[i].probability >= threshold ? 1 : 0);
                if (!counted[i])
                    continue;
                ++total;
                flagged += hops[i].flag;
            }
            QVERIFY(total > 100);
            const double share = double(flagged) / total;
            figures << QStringLiteral("%1: %2%").arg(threshold).arg(100 * share, 0, 'f', 1);
            QVERIFY2(share <= previous, qPrintable(figures.join(", ")));
            previous = share;
            if (qFuzzyCompare(threshold, 0.5f)) {
                QVERIFY2(share >= atLeastAtHalf, qPrintable(figures.join(", ")));
                QVERIFY2(share <= atMostAtHalf, qPrintable(figures.join(", ")));
            }
        }
        qInfo().noquote() << kind << "flagged at threshold" << figures.join(", ");
    }

    // A new instance fed low noise flags nothing in its first 500 ms, at any threshold the
    // detector may use.
    void newInstanceFlagsNothingOnLowNoise_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("white, -50 dBFS") << "white";
        QTest::newRow("brown, -45 dBFS") << "brown";
        QTest::newRow("hum, -45 dBFS") << "hum";
    }

    void newInstanceFlagsNothingOnLowNoise()
    {
        QFETCH(QString, kind);
        const Samples audio = toSamples(kind == "white" ? whiteNoise(0.5, -50, 21)
                                        : kind == "brown" ? brownNoise(0.5, -45, 22)
                                                          : hum(0.5, -45));
        for (float threshold : {0.05f, 0.5f}) {
            const std::vector<TenVad::Hop> hops = vad->judge(audio, threshold);
            QCOMPARE(hops.size(), audio.size() / kHop);
            for (std::size_t i = 0; i < hops.size(); ++i)
                QVERIFY2(hops[i].flag == 0, qPrintable(QStringLiteral("hop %1 at threshold %2: p=%3")
                                                           .arg(i)
                                                           .arg(threshold)
                                                           .arg(hops[i].probability)));
        }
    }

    // Any hop size is gathered into the model's windows: the same audio in hops of 160 and of
    // 256 samples gives the same probability once both have reached the same window.
    void hopsOfAnySizeReachTheSameWindows()
    {
        if (!modelLoaded)
            QSKIP("the voice detector model is not in use");
        const Samples clean = testsupport::synthesizeSpeech("Hello there, one two three.", {}, kRate);
        if (clean.empty())
            QSKIP("espeak-ng or sox is not installed");
        // 2560 samples = five windows; at 160 a hop ends there after 16 hops, at 256 after 10.
        const auto probabilityAfter = [&](std::size_t hop, std::size_t hops) {
            void *handle = nullptr;
            float p = -1;
            int flag = 0;
            if (vad->create(&handle, hop, 0.5f) != 0)
                return -1.0f;
            for (std::size_t i = 0; i < hops; ++i)
                vad->process(handle, clean.data() + 2 * kRate / 10 + i * hop, hop, &p, &flag);
            vad->destroy(&handle);
            return p;
        };
        const float a = probabilityAfter(160, 16);
        const float b = probabilityAfter(256, 10);
        QVERIFY(a >= 0.0f);
        QCOMPARE(a, b);
    }

    void rejectsBadArguments()
    {
        void *handle = reinterpret_cast<void *>(1);
        QVERIFY(vad->create(&handle, 0, 0.5f) != 0);
        QCOMPARE(handle, nullptr);
        QVERIFY(vad->create(&handle, kHop, 1.5f) != 0);
        QVERIFY(vad->create(&handle, kHop, std::nanf("")) != 0);
        QCOMPARE(vad->create(&handle, kHop, 0.5f), 0);
        Samples hop(kHop, 0);
        float p = 0;
        int flag = 0;
        QVERIFY(vad->process(handle, hop.data(), kHop - 1, &p, &flag) != 0);
        QVERIFY(vad->process(handle, nullptr, kHop, &p, &flag) != 0);
        QCOMPARE(vad->process(handle, hop.data(), kHop, &p, &flag), 0);
        QCOMPARE(vad->destroy(&handle), 0);
        QCOMPARE(handle, nullptr);
    }

    // Without the model (missing, unreadable) or the runtime, the library answers from WebRTC's
    // detector and says so once, however many instances are made.
    void fallsBackToTheWebrtcDetector_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reason");
        QTest::newRow("model missing") << "no model" << "reason=model missing";
        QTest::newRow("model unreadable") << "bad model" << "path=";
        QTest::newRow("runtime missing") << "no runtime" << "reason=onnxruntime not loadable";
    }

    void fallsBackToTheWebrtcDetector()
    {
        QFETCH(QString, what);
        QFETCH(QString, reason);
#if !TEN_VAD_WITH_RUNTIME
        if (what != "no runtime")
            QSKIP("built without onnxruntime: every copy falls back for that reason");
        reason = QStringLiteral("reason=built without onnxruntime");
#endif
        const QByteArray garbage("not a model");
        std::unique_ptr<LibraryCopy> copy;
        QString path;
        if (what == "no runtime") {
            path = TEN_VAD_NO_RUNTIME_PATH;
        } else {
            copy = std::make_unique<LibraryCopy>(TEN_VAD_PATH, what == "bad model" ? &garbage : nullptr);
            path = copy->path;
        }

        LogCapture logs;
        TenVad fallback(path);
        QVERIFY2(fallback.usable(), qPrintable(fallback.library->errorString()));
        const Samples clean = testsupport::synthesizeSpeech(kSentences, {}, kRate);
        if (clean.empty())
            QSKIP("espeak-ng or sox is not installed");
        const LabelledSpeech speech = speechOverFaintNoise(clean);
        const std::vector<TenVad::Hop> first = fallback.judge(speech.audio, 0.5f);
        const std::vector<TenVad::Hop> second = fallback.judge(toSamples(whiteNoise(0.5, -50, 31)), 0.5f);
        QCOMPARE(logs.count("audio.vad", "vad model unavailable, using the webrtc detector"), 1);
        QVERIFY2(logs.contains("audio.vad", reason), qPrintable(logs.entries().value(0).message));
        QVERIFY(!logs.contains("audio.vad", "vad model loaded"));

        // It still tells speech: most speech hops flagged, and its coarse probability.
        QCOMPARE(first.size(), speech.speech.size());
        int flagged = 0;
        int total = 0;
        for (std::size_t i = 0; i < first.size(); ++i) {
            const float p = first[i].probability;
            QVERIFY(p == 0.0f || qFuzzyCompare(p, 1.0f / 3) || qFuzzyCompare(p, 2.0f / 3) || p == 1.0f);
            if (speech.speech[i]) {
                ++total;
                flagged += first[i].flag;
            }
        }
        QVERIFY2(flagged > total * 3 / 4, qPrintable(QStringLiteral("%1 of %2").arg(flagged).arg(total)));
        // A new instance does not call its first hops of low noise speech.
        QVERIFY(!second.empty());
        for (const TenVad::Hop &h : second)
            QCOMPARE(h.flag, 0);
    }
};

KESTOVA_TEST_MAIN(TenVadTest)
#include "test_ten_vad.moc"
