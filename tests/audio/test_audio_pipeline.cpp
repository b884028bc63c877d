#include "audio/audio_pipeline.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

using testsupport::LogCapture;
using Samples = std::vector<qint16>;
Q_DECLARE_METATYPE(Samples)

class AudioPipelineTest : public QObject
{
    Q_OBJECT

private slots:
    void downmixResampleCases_data()
    {
        QTest::addColumn<Samples>("input");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sourceRate");
        QTest::addColumn<int>("targetRate");
        QTest::addColumn<Samples>("expected");
        QTest::newRow("same rate mono") << Samples{1, -2, 3} << 1 << 48000 << 48000 << Samples{1, -2, 3};
        QTest::newRow("stereo averaged, halves away from zero")
            << Samples{1, 2, -1, -2, 100, 300} << 2 << 48000 << 48000 << Samples{2, -2, 200};
        QTest::newRow("trailing partial frame ignored") << Samples{4, 6, 9} << 2 << 48000 << 48000 << Samples{5};
        QTest::newRow("upsample keeps both ends")
            << Samples{0, 300} << 1 << 16000 << 48000 << Samples{0, 60, 120, 180, 240, 300};
        QTest::newRow("downsample keeps both ends")
            << Samples{0, 10, 20, 30, 40, 50} << 1 << 48000 << 16000 << Samples{0, 50};
        QTest::newRow("one frame at another rate") << Samples{7} << 1 << 44100 << 48000 << Samples{7};
        QTest::newRow("one frame stretched") << Samples{7} << 1 << 8000 << 48000 << Samples(6, 7);
        QTest::newRow("shrinks to at least one") << Samples{5, 9} << 1 << 48000 << 8000 << Samples{5};
        QTest::newRow("full scale stereo stays in range")
            << Samples{-32768, -32768, 32767, 32767} << 2 << 48000 << 48000 << Samples{-32768, 32767};
        QTest::newRow("zero count") << Samples{} << 1 << 48000 << 48000 << Samples{};
        QTest::newRow("no channels") << Samples{1, 2} << 0 << 48000 << 48000 << Samples{};
        QTest::newRow("bad source rate") << Samples{1, 2} << 1 << 0 << 48000 << Samples{};
        QTest::newRow("bad target rate") << Samples{1, 2} << 1 << 48000 << -1 << Samples{};
        QTest::newRow("fewer samples than channels") << Samples{1} << 2 << 48000 << 48000 << Samples{};
    }

    void downmixResampleCases()
    {
        QFETCH(Samples, input);
        QFETCH(int, channels);
        QFETCH(int, sourceRate);
        QFETCH(int, targetRate);
        QFETCH(Samples, expected);
        QCOMPARE(downmixResample(input.data(), int(input.size()), channels, sourceRate, targetRate), expected);
    }

    void downmixResampleLengths()
    {
        // 10 ms of 16 kHz stereo becomes 10 ms of 48 kHz mono.
        Samples stereo(320, 1000);
        QCOMPARE(downmixResample(stereo.data(), 320, 2, 16000, 48000).size(), std::size_t(480));
        Samples cd(441 * 2, 0);
        QCOMPARE(downmixResample(cd.data(), 882, 2, 44100, 48000).size(), std::size_t(480));
        QVERIFY(downmixResample(nullptr, 10, 1, 48000, 48000).empty());
    }

    void nullOrEmptyFrameIsLeftAlone()
    {
        AudioPipeline p(48000, 1);
        Samples frame(480, 20000);
        QCOMPARE(p.process(frame.data(), 480), 480);
        const float peak = p.peakLevel();
        QVERIFY(peak > 0.6f);
        QCOMPARE(p.process(nullptr, 480), 0);
        Samples copy = frame;
        QCOMPARE(p.process(copy.data(), 0), 0);
        QCOMPARE(copy, frame);
        QCOMPARE(p.peakLevel(), peak);
    }

    void limiterOnFullScaleSquareWave()
    {
        AudioPipeline p(48000, 1);
        // 100 Hz square wave at full scale, one second.
        Samples wave(48000);
        for (std::size_t i = 0; i < wave.size(); ++i)
            wave[i] = (i / 240) % 2 == 0 ? 32767 : -32767;
        Samples out = wave;
        for (std::size_t at = 0; at < out.size(); at += 480)
            QCOMPARE(p.process(out.data() + at, 480), 480);

        // The envelope needs 178 samples to pass -3 dBFS: everything before is untouched.
        for (int i = 0; i < 177; ++i)
            QCOMPARE(out[std::size_t(i)], wave[std::size_t(i)]);
        QVERIFY(out[177] < wave[177]);
        // Settled: the output sits near T^(11/12) of full scale and never clips.
        const double settled = std::pow(std::pow(10.0, -0.15), 11.0 / 12.0);
        for (std::size_t i = 24000; i < out.size(); ++i)
            QVERIFY2(std::abs(std::abs(out[i]) / 32768.0 - settled) < 0.02, qPrintable(QString::number(out[i])));
        for (std::size_t i = 177; i < out.size(); ++i)
            QVERIFY(std::abs(int(out[i])) < 32767);
    }

    void quietAudioPassesTheGainUnlimited()
    {
        AudioPipeline p(48000, 1);
        p.setVolume(2.0);
        Samples frame(480);
        for (int i = 0; i < 480; ++i)
            frame[std::size_t(i)] = qint16((i % 2 ? 1 : -1) * 1001);
        Samples out = frame;
        p.process(out.data(), 480);
        for (int i = 0; i < 480; ++i)
            QCOMPARE(out[std::size_t(i)], qint16(frame[std::size_t(i)] * 2));
    }

    void volumeLimits_data()
    {
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("stored");
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("negative") << -3.0 << 0.0;
        QTest::newRow("not a number") << std::nan("") << 0.0;
        QTest::newRow("unity") << 1.0 << 1.0;
        QTest::newRow("maximum") << 31.6227766 << 31.6227766;
        QTest::newRow("above maximum") << 100.0 << 31.622776601683793;
    }

    void volumeLimits()
    {
        QFETCH(double, gain);
        QFETCH(double, stored);
        AudioPipeline p(48000, 1);
        p.setVolume(gain);
        QVERIFY(std::abs(p.volume() - stored) < 1e-6);
    }

    void volumeZeroGivesSilenceAndResetsTheEnvelope()
    {
        AudioPipeline p(48000, 1);
        Samples loud(4800, 32000);
        for (std::size_t at = 0; at < loud.size(); at += 480)
            p.process(loud.data() + at, 480);
        p.setVolume(0);
        Samples frame(480, 12345);
        p.process(frame.data(), 480);
        QCOMPARE(frame, Samples(480, 0));
        // The envelope is back at 0: a loud frame passes its first 177 samples untouched.
        p.setVolume(1.0);
        Samples again(480, 32000);
        p.process(again.data(), 480);
        QCOMPARE(again[0], qint16(32000));
        QCOMPARE(again[150], qint16(32000));
    }

    void maximumVolumeIsLimited()
    {
        AudioPipeline p(48000, 1);
        p.setVolume(1000.0);
        Samples frame(48000);
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = qint16(3000 * std::sin(2 * M_PI * 440 * double(i) / 48000));
        for (std::size_t at = 0; at < frame.size(); at += 480)
            p.process(frame.data() + at, 480);
        // 3000 x 31.6 would be 94868: the limiter keeps the settled output within full scale,
        // near -3 dBFS compressed 12:1.
        int largest = 0;
        for (std::size_t i = 24000; i < frame.size(); ++i)
            largest = std::max(largest, std::abs(int(frame[i])));
        QVERIFY2(largest < 32767 && largest > 23000, qPrintable(QString::number(largest)));
    }

    void peakMeterFallsTwentyDecibelsPerSecond()
    {
        AudioPipeline p(48000, 1);
        Samples frame(480, 0);
        frame[100] = -32768;
        p.process(frame.data(), 480);
        QCOMPARE(p.peakLevel(), 1.0f);
        Samples silence(480, 0);
        for (int i = 0; i < 100; ++i) {
            Samples s = silence;
            p.process(s.data(), 480);
        }
        const double db = 20 * std::log10(double(p.peakLevel()));
        QVERIFY2(db < -19.5 && db > -20.5, qPrintable(QString::number(db)));
    }

    void disabledPipelinePassesFramesAndDecaysThePeak()
    {
        AudioPipeline p(48000, 1);
        Samples loud(480, 30000);
        p.process(loud.data(), 480);
        const float peak = p.peakLevel();
        p.setVolume(0.5);
        p.setEnabled(false);
        Samples frame(480, 1234);
        p.process(frame.data(), 480);
        QCOMPARE(frame, Samples(480, 1234));
        QCOMPARE(p.peakLevel(), peak * 0.9772f);
    }

    void modesWithoutSuppressorOnlyApplyTheGain_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("deepfilter") << int(NoiseMode::DeepFilter);
    }

    void modesWithoutSuppressorOnlyApplyTheGain()
    {
        QFETCH(int, mode);
        AudioPipeline reference(48000, 1);
        AudioPipeline p(48000, 1);
        p.setNoiseMode(NoiseMode(mode));
        Samples a(480), b;
        for (int i = 0; i < 480; ++i)
            a[std::size_t(i)] = qint16(25000 * std::sin(i * 0.1));
        b = a;
        reference.setVolume(1.5);
        p.setVolume(1.5);
        reference.process(a.data(), 480);
        QCOMPARE(reference.lastProcessUs(), 0.0);
        p.process(b.data(), 480);
        QCOMPARE(b, a);
        QVERIFY(p.lastProcessUs() >= 0.0 && p.lastProcessUs() < 1000.0);
    }

    void referenceIsFedInTenMillisecondChunks()
    {
        AudioPipeline p(48000, 1);
        Samples far(1000, 100);
        p.pushRenderReference(far.data(), 1000, 48000, 1);
        auto s = p.echoPathState();
        QVERIFY(s.moduleExists);
        QCOMPARE(s.chunksFed, 2);
        QCOMPARE(s.backlogSamples, 40);
        p.pushRenderReference(far.data(), 440, 48000, 1);
        s = p.echoPathState();
        QCOMPARE(s.chunksFed, 3);
        QCOMPARE(s.backlogSamples, 0);

        // 16 kHz stereo: 320 samples are 160 frames, which become 480 mono samples.
        Samples stereo(320, -50);
        p.pushRenderReference(stereo.data(), 320, 16000, 2);
        s = p.echoPathState();
        QCOMPARE(s.chunksFed, 4);
        QCOMPARE(s.backlogSamples, 0);

        // One sample at another rate gives one sample.
        p.pushRenderReference(stereo.data(), 1, 44100, 1);
        QCOMPARE(p.echoPathState().backlogSamples, 1);

        // Bad input is ignored.
        p.pushRenderReference(nullptr, 480, 48000, 1);
        p.pushRenderReference(far.data(), 0, 48000, 1);
        p.pushRenderReference(far.data(), 480, 0, 1);
        p.pushRenderReference(far.data(), 480, 48000, 0);
        QCOMPARE(p.echoPathState().chunksFed, 4);
        QCOMPARE(p.echoPathState().modulesCreated, 1);
    }

    void echoModuleFollowsTheOptions()
    {
        LogCapture logs;
        AudioPipeline p(48000, 1);
        // Built with the pipeline: echo cancellation and the high-pass filter are on at start.
        AudioPipeline::EchoPathState s = p.echoPathState();
        QVERIFY(s.moduleExists);
        QVERIFY(s.echoCancellation);
        QCOMPARE(s.modulesCreated, 1);
        Samples far(480, 100);
        p.pushRenderReference(far.data(), 100, 48000, 1); // leaves a backlog
        QCOMPARE(p.echoPathState().backlogSamples, 100);

        // Echo cancellation off: a new module that still filters the near end but takes no
        // far-end reference.
        p.setAecEnabled(false);
        s = p.echoPathState();
        QVERIFY(s.moduleExists);
        QVERIFY(!s.echoCancellation);
        QCOMPARE(s.modulesCreated, 2);
        QCOMPARE(s.backlogSamples, 0);
        QVERIFY(logs.contains("audio.pipeline", "aec disabled"));
        p.pushRenderReference(far.data(), 480, 48000, 1);
        QCOMPARE(p.echoPathState().chunksFed, 0);
        p.setAecEnabled(false); // unchanged: nothing
        QCOMPARE(p.echoPathState().modulesCreated, 2);
        QCOMPARE(logs.count("audio.pipeline", "aec disabled"), 1);

        // All three off: no module, and the near end is left alone.
        p.setHpfEnabled(false);
        QVERIFY(!p.echoPathState().moduleExists);
        Samples frame(480, 1000);
        QVERIFY(!p.processNearEnd(frame.data(), 480));
        QCOMPARE(frame, Samples(480, 1000));

        // Automatic gain alone is enough for a module.
        p.setAgcEnabled(true);
        QVERIFY(p.echoPathState().moduleExists);
        QVERIFY(p.processNearEnd(frame.data(), 480));
        QCOMPARE(p.echoPathState().nearFramesProcessed, 1);
        p.setAecEnabled(true);
        p.pushRenderReference(far.data(), 480, 48000, 1);
        QCOMPARE(p.echoPathState().chunksFed, 1);

        // A noise-mode change keeps the module and what it has learnt of the echo path.
        const int built = p.echoPathState().modulesCreated;
        p.setNoiseMode(NoiseMode::WebRtc);
        p.setNoiseMode(NoiseMode::Off);
        QCOMPARE(p.echoPathState().modulesCreated, built);
        QCOMPARE(p.echoPathState().chunksFed, 1);

        // Switched off: no module, nothing taken; switched on: a new one.
        p.setEnabled(false);
        QVERIFY(!p.echoPathState().moduleExists);
        p.pushRenderReference(far.data(), 480, 48000, 1);
        QVERIFY(!p.processNearEnd(frame.data(), 480));
        QVERIFY(!p.echoPathState().moduleExists);
        p.setEnabled(true);
        QVERIFY(p.echoPathState().moduleExists);
        QCOMPARE(p.echoPathState().modulesCreated, built + 1);
    }

    // References pushed from another thread (the render thread) feed the module the owner
    // built, and never build one there.
    void referenceFromRenderThreadNeverBuildsAModule()
    {
        AudioPipeline p(48000, 1);
        Samples far(480, 100);
        const int created = p.echoPathState().modulesCreated;
        std::thread([&] {
            for (int i = 0; i < 10; ++i)
                p.pushRenderReference(far.data(), 480, 48000, 1);
        }).join();
        QCOMPARE(p.echoPathState().modulesCreated, created);
        QCOMPARE(p.echoPathState().chunksFed, 10);
    }

    void nearEndPassesTheHighPassFilter()
    {
        // A constant offset and a 30 Hz rumble are what the filter exists for; a 1 kHz tone
        // passes. Only whole 10 ms frames are processed.
        AudioPipeline p(48000, 1);
        p.setAecEnabled(false);
        auto rms = [](const Samples &v) {
            double sum = 0;
            for (qint16 x : v)
                sum += double(x) * x;
            return std::sqrt(sum / double(v.size()));
        };
        bool allProcessed = true;
        auto run = [&](double hz, double offset) {
            Samples last;
            for (int f = 0; f < 200; ++f) {
                Samples frame(480);
                for (int i = 0; i < 480; ++i)
                    frame[std::size_t(i)] = qint16(offset + 8000 * std::sin(2 * M_PI * hz * (f * 480 + i) / 48000.0));
                allProcessed = p.processNearEnd(frame.data(), 480) && allProcessed;
                last = frame;
            }
            return rms(last);
        };
        const double tone = 8000 / std::sqrt(2.0);
        QVERIFY2(run(1000, 0) > tone * 0.7, "a 1 kHz tone passes");
        QVERIFY2(run(30, 0) < tone * 0.3, "a 30 Hz rumble is cut");
        QVERIFY2(run(1000, 6000) < tone * 1.2, "an offset is removed");
        QVERIFY(allProcessed);

        Samples odd(441, 5000);
        QVERIFY(!p.processNearEnd(odd.data(), 441));
        QCOMPARE(odd, Samples(441, 5000));
        QVERIFY(!p.processNearEnd(nullptr, 480));
    }

    // Every stage starts its frame with the vector registers' upper halves clean, whatever the
    // thread ran before: with them dirty, WebRTC's processing ran up to three times slower on
    // the capture thread (see bench/RESULTS.md).
    void stagesStartWithCleanVectorState()
    {
#if defined(__x86_64__)
        unsigned a = 0, b = 0, c = 0, d = 0;
        // XGETBV with ECX = 1 reports which register states are in use.
        if (!__builtin_cpu_supports("avx") || !__get_cpuid_count(0xD, 1, &a, &b, &c, &d) || !(a & 4))
            QSKIP("the processor cannot report its vector register state");
        auto dirty = [] { asm volatile("vpcmpeqd %%ymm15, %%ymm15, %%ymm15" ::: "xmm15"); };
        auto upperInUse = [] {
            unsigned lo = 0, hi = 0;
            asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
            return (lo & 4) != 0;
        };
        dirty();
        QVERIFY(upperInUse()); // the check can see dirty state

        AudioPipeline p(48000, 1);
        p.setNoiseMode(NoiseMode::WebRtc);
        Samples frame(480, 1000);
        dirty();
        QVERIFY(p.processNearEnd(frame.data(), 480));
        QVERIFY(!upperInUse());
        dirty();
        p.process(frame.data(), 480);
        QVERIFY(!upperInUse());
        dirty();
        p.pushRenderReference(frame.data(), 480, 48000, 1);
        QVERIFY(!upperInUse());
#else
        QSKIP("x86 only");
#endif
    }

    void renderThreadOutlivesTheCaptureSidesRelease()
    {
        // The render thread pushes through the slot while the owner replaces and drops
        // pipelines and changes their options; a pipeline must stay alive while it is used.
        AudioPipelineSlot slot;
        std::atomic<bool> stop{false};
        std::atomic<int> pushes{0};
        std::thread render([&] {
            Samples far(441 * 2, 200);
            while (!stop.load()) {
                if (auto p = slot.load()) {
                    p->pushRenderReference(far.data(), int(far.size()), 44100, 2);
                    pushes.fetch_add(1);
                }
            }
        });
        Samples frame(480, 3000);
        for (int round = 0; round < 60; ++round) {
            auto p = std::make_shared<AudioPipeline>(48000, 1);
            slot.store(p);
            for (int i = 0; i < 5; ++i) {
                p->process(frame.data(), 480);
                p->setAecEnabled(i % 2 == 0);
                (void)p->peakLevel();
            }
            slot.store(nullptr);
            p.reset();
        }
        // The render thread may not have been scheduled yet: give it a pipeline until it
        // has pushed at least once, so the test always exercises the hand-over.
        slot.store(std::make_shared<AudioPipeline>(48000, 1));
        for (int waited = 0; pushes.load() == 0 && waited < 5000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        slot.store(nullptr);
        stop = true;
        render.join();
        QVERIFY(pushes.load() > 0);
    }
};

KESTOVA_TEST_MAIN(AudioPipelineTest)
#include "test_audio_pipeline.moc"
