#include "audio/audio_loopback.h"
#include "scripted_detector.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <mutex>

namespace {

// The loop test's output: records every byte written, always with room for six frames.
struct RecordedOutput
{
    std::mutex mutex;
    std::vector<qint16> samples;
    int starts = 0;
};

class RecordingOutput : public ILoopbackOutput
{
public:
    explicit RecordingOutput(std::shared_ptr<RecordedOutput> record_)
        : record(std::move(record_))
    {}
    bool start() override
    {
        std::lock_guard lock(record->mutex);
        ++record->starts;
        return true;
    }
    qint64 bytesFree() const override { return 960 * 6; }
    qint64 write(const char *data, qint64 bytes) override
    {
        std::lock_guard lock(record->mutex);
        const auto *samples = reinterpret_cast<const qint16 *>(data);
        record->samples.insert(record->samples.end(), samples, samples + bytes / 2);
        return bytes;
    }

private:
    std::shared_ptr<RecordedOutput> record;
};

struct Fixture
{
    // A decoder that works never stalls for long, but under a sanitizer its first buffer can take
    // seconds; only the test of an undecodable file waits out a short stall.
    explicit Fixture(bool scriptedDetector = false, int decodeStallMs = 10000)
    {
        AudioLoopbackDependencies deps;
        if (scriptedDetector)
            deps.makeDetector = [] { return std::make_unique<VadDetector>(testsupport::ScriptedDetector::calls()); };
        deps.tickIntervalMs = 0;
        deps.decodeStallMs = decodeStallMs;
        deps.openOutput = [r = record](const QAudioDevice &) { return std::make_unique<RecordingOutput>(r); };
        loop = std::make_unique<AudioLoopback>(nullptr, deps);
    }
    std::vector<qint16> written()
    {
        std::lock_guard lock(record->mutex);
        return record->samples;
    }

    std::shared_ptr<RecordedOutput> record = std::make_shared<RecordedOutput>();
    std::unique_ptr<AudioLoopback> loop;
};

// A 16-bit PCM WAV file of `seconds` of a 440 Hz tone (left) and silence (right, when stereo).
void writeWav(const QString &path, int rate, int channels, double seconds)
{
    const qint64 frames = qint64(rate * seconds);
    QByteArray data;
    data.resize(frames * channels * 2);
    auto *out = reinterpret_cast<qint16 *>(data.data());
    for (qint64 i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = c == 0 ? qint16(8000 * std::sin(2 * M_PI * 440 * double(i) / rate)) : 0;
    QByteArray header;
    auto u32 = [&header](quint32 v) { header.append(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&header](quint16 v) { header.append(reinterpret_cast<const char *>(&v), 2); };
    header.append("RIFF");
    u32(quint32(36 + data.size()));
    header.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(quint16(channels));
    u32(quint32(rate));
    u32(quint32(rate * channels * 2));
    u16(quint16(channels * 2));
    u16(16);
    header.append("data");
    u32(quint32(data.size()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(header);
    file.write(data);
}

QList<qint16> constant(int count, qint16 value)
{
    return QList<qint16>(count, value);
}

} // namespace

class TestAudioLoopback : public QObject
{
    Q_OBJECT

private slots:
    void playsToTheEndAndPadsTheLastFrame();
    void loopingRestartsDirectly();
    void silentStopWithSilentRecording();
    void playingWithoutSamplesDoesNothing();
    void clearReportsStopped();
    void decodesResampledAndCapped_data();
    void decodesResampledAndCapped();
    void stallCountsChecksNotTime_data();
    void stallCountsChecksNotTime();
    void undecodableFileFails();
    void highPassFilterSwitchReachesTheLoopTest();
};

void TestAudioLoopback::playsToTheEndAndPadsTheLastFrame()
{
    Fixture f;
    QSignalSpy source(f.loop.get(), &AudioLoopback::sourceChanged);
    QSignalSpy stopped(f.loop.get(), &AudioLoopback::playbackStopped);
    f.loop->setVadSilentStop(false);
    f.loop->setHpfEnabled(false); // the filter's tail would reach into the padding
    f.loop->setSource(constant(1000, 3000), QString());
    QCOMPARE(source.count(), 1);
    QCOMPARE(source.at(0).at(1).toDouble(), 1000 / 48000.0);
    f.loop->setPlaying(true);
    f.loop->tickNow();

    const auto out = f.written();
    QCOMPARE(out.size(), std::size_t(3 * 480)); // two full frames and a padded third
    QVERIFY(std::any_of(out.begin(), out.begin() + 1000, [](qint16 s) { return s != 0; }));
    QVERIFY(std::all_of(out.begin() + 1000, out.end(), [](qint16 s) { return s == 0; }));
    QVERIFY(stopped.wait(2000));

    // After the end, playing again starts from the beginning.
    f.loop->setPlaying(true);
    f.loop->tickNow();
    QCOMPARE(f.written().size(), std::size_t(6 * 480));
    QVERIFY(f.written()[1440] != 0);
}

void TestAudioLoopback::loopingRestartsDirectly()
{
    Fixture f;
    f.loop->setVadSilentStop(false);
    f.loop->setHpfEnabled(false); // compared sample by sample below
    QList<qint16> ramp(600);
    for (int i = 0; i < 600; ++i)
        ramp[i] = qint16(1000 + i);
    f.loop->setSource(ramp, QStringLiteral("ramp"));
    f.loop->setLooping(true);
    f.loop->setPlaying(true);
    f.loop->tickNow();
    const auto out = f.written();
    QCOMPARE(out.size(), std::size_t(6 * 480)); // never stops; six frames per tick
    // Frame 2 holds the last 120 samples then zeros; frame 3 is the first frame again.
    QVERIFY(std::all_of(out.begin() + 600, out.begin() + 960, [](qint16 s) { return s == 0; }));
    QCOMPARE(std::vector<qint16>(out.begin() + 960, out.begin() + 1440),
             std::vector<qint16>(out.begin(), out.begin() + 480));
}

void TestAudioLoopback::silentStopWithSilentRecording()
{
    // A recording of a quiet room: faint noise that the detector does not take for a voice.
    QList<qint16> room(48000);
    quint32 seed = 1;
    for (auto &s : room) {
        seed = seed * 1664525u + 1013904223u;
        s = qint16(int(seed >> 24) - 128);
    }
    const auto play = [&room](bool silentStop, int speech) {
        testsupport::ScriptedDetector::speech = speech;
        Fixture f(true);
        f.loop->setVadSilentStop(silentStop);
        f.loop->setSource(room, QString());
        f.loop->setPlaying(true);
        for (int i = 0; i < 4; ++i)
            f.loop->tickNow();
        return f.written();
    };
    const auto isZero = [](qint16 s) { return s == 0; };

    const auto gated = play(true, 0);
    QCOMPARE(gated.size(), std::size_t(24 * 480));
    QVERIFY(std::all_of(gated.begin(), gated.end(), isZero));
    // Without silent-stop the processed recording is heard; so it is while a voice is detected.
    const auto open = play(false, 0);
    QVERIFY(std::count_if(open.begin(), open.end(), isZero) < 24 * 480 / 10);
    const auto voiced = play(true, 1);
    QVERIFY(std::count_if(voiced.begin(), voiced.end(), isZero) < 24 * 480 / 10);
    testsupport::ScriptedDetector::speech = 0;
}

void TestAudioLoopback::playingWithoutSamplesDoesNothing()
{
    Fixture f;
    f.loop->setPlaying(true);
    f.loop->tickNow();
    QVERIFY(f.written().empty());
}

void TestAudioLoopback::clearReportsStopped()
{
    Fixture f;
    QSignalSpy stopped(f.loop.get(), &AudioLoopback::playbackStopped);
    QSignalSpy progress(f.loop.get(), &AudioLoopback::progressChanged);
    f.loop->clear();
    QCOMPARE(stopped.count(), 1);
    QVERIFY(progress.wait(2000));
    QCOMPARE(progress.last().at(1).toDouble(), 0.0);
    f.loop->setSource(constant(4800, 10), QString());
    f.loop->clear();
    f.loop->setPlaying(true);
    f.loop->tickNow();
    QVERIFY(f.written().empty());
}

void TestAudioLoopback::decodesResampledAndCapped_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("fileSeconds");
    QTest::addColumn<double>("expectedSeconds");

    QTest::newRow("44.1 kHz stereo") << 44100 << 2 << 1.5 << 1.5;
    QTest::newRow("48 kHz mono") << 48000 << 1 << 0.5 << 0.5;
    QTest::newRow("90 s capped at 60") << 8000 << 1 << 90.0 << 60.0;
}

void TestAudioLoopback::decodesResampledAndCapped()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(double, fileSeconds);
    QFETCH(double, expectedSeconds);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("voice sample.wav"));
    writeWav(path, rate, channels, fileSeconds);
    Fixture f;
    QSignalSpy source(f.loop.get(), &AudioLoopback::sourceChanged);
    QSignalSpy failed(f.loop.get(), &AudioLoopback::decodeFailed);
    f.loop->loadFile(path);
    QVERIFY(source.wait(60000));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(source.at(0).at(0).toString(), QStringLiteral("voice sample.wav"));
    const double seconds = source.at(0).at(1).toDouble();
    QVERIFY2(std::abs(seconds - expectedSeconds) < 0.01, qPrintable(QString::number(seconds)));

    // The stored samples are 48 kHz mono: a second of playing writes a second of output, and the
    // tone sits where a 440 Hz tone at 48 kHz should (about 110 samples per period).
    f.loop->setVadSilentStop(false);
    f.loop->setPlaying(true);
    f.loop->tickNow();
    const auto out = f.written();
    QCOMPARE(out.size(), std::size_t(6 * 480));
    int crossings = 0;
    for (std::size_t i = 1; i < out.size(); ++i)
        if ((out[i - 1] < 0) != (out[i] < 0))
            ++crossings;
    // 60 ms of 440 Hz: about 53 sign changes.
    QVERIFY2(crossings > 45 && crossings < 60, qPrintable(QString::number(crossings)));
}

void TestAudioLoopback::stallCountsChecksNotTime_data()
{
    // A script of checks of a gauge with a 1000 ms bound (ten checks 100 ms apart): "i" a
    // check on time without progress, "p" one with progress, "L" one without progress that
    // came 5 s late, "S" one that came a minute late; the expected verdict after each.
    QTest::addColumn<QString>("checks");
    QTest::addColumn<QString>("verdicts"); // "." going on, "x" given up

    QTest::newRow("ten idle checks on time") << "iiiiiiiiii"
                                             << ".........x";
    QTest::newRow("progress starts the count again") << "iiiiiiiiipiiiiiiiiii"
                                                     << "...................x";
    QTest::newRow("late checks do not count") << "iiiiiLLLLLLLLLLLLiiiii"
                                              << ".....................x";
    QTest::newRow("a thread starved for a minute") << "S"
                                                   << ".";
    QTest::newRow("slow decode, progress between long gaps") << "SpSpSpSpSpSpSpSpSpSpSp"
                                                             << "......................";
}

void TestAudioLoopback::stallCountsChecksNotTime()
{
    QFETCH(QString, checks);
    QFETCH(QString, verdicts);
    DecodeStallGauge gauge(1000);
    QCOMPARE(gauge.checkIntervalMs(), 100);
    QString seen;
    for (const QChar check : checks) {
        const qint64 since = check == u'L' ? 5000 : check == u'S' ? 60000 : 100;
        seen += gauge.check(since, check == u'p') ? u'x' : u'.';
    }
    QCOMPARE(seen, verdicts);
}

void TestAudioLoopback::undecodableFileFails()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("noise.wav"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    Fixture f(false, 500);
    f.loop->setSource(constant(4800, 10), QStringLiteral("kept"));
    QSignalSpy failed(f.loop.get(), &AudioLoopback::decodeFailed);
    QSignalSpy source(f.loop.get(), &AudioLoopback::sourceChanged);
    testsupport::LogCapture logs;
    f.loop->loadFile(path);
    QVERIFY(failed.wait(10000));
    // A decoder that makes no progress gets one fresh start before the file counts as failed.
    QCOMPARE(logs.count("audio.playback", "loopback decode stalled, starting again"), 1);
    QCOMPARE(failed.count(), 1);
    f.loop->loadFile(dir.filePath(QStringLiteral("missing.wav")));
    QCOMPARE(failed.count(), 2); // at once
    QCOMPARE(source.count(), 0);
    // The previous source is untouched.
    f.loop->setVadSilentStop(false);
    f.loop->setPlaying(true);
    f.loop->tickNow();
    QCOMPARE(f.written().size(), std::size_t(6 * 480));
}

KESTOVA_TEST_MAIN(TestAudioLoopback)
#include "test_audio_loopback.moc"

// The loop test runs the same echo-module stage as the live voice: with the high-pass filter
// on, a constant offset is filtered away; with it off, the samples pass as they are.
void TestAudioLoopback::highPassFilterSwitchReachesTheLoopTest()
{
    for (const bool hpf : {true, false}) {
        Fixture f;
        f.loop->setVadSilentStop(false);
        f.loop->setHpfEnabled(hpf);
        f.loop->setSource(constant(48000, 3000), QString());
        f.loop->setPlaying(true);
        for (int tick = 0; tick < 10 && f.written().size() < 30 * 480; ++tick)
            f.loop->tickNow();
        const auto out = f.written();
        QVERIFY(out.size() >= 30 * 480);
        const std::vector<qint16> lastFrame(out.begin() + 29 * 480, out.begin() + 30 * 480);
        if (hpf)
            QVERIFY2(std::all_of(lastFrame.begin(), lastFrame.end(), [](qint16 s) { return std::abs(s) < 300; }),
                     qPrintable(QString::number(lastFrame[0])));
        else
            QCOMPARE(lastFrame, std::vector<qint16>(480, 3000));
    }
}
