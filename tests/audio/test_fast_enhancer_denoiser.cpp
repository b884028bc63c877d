#include "audio/audio_pipeline.h"
#include "audio/denoise_models.h"
#include "audio/fast_enhancer_denoiser.h"
#include "audio/ort_setup.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <onnxruntime_cxx_api.h>

#include <cmath>
#include <memory>
#include <vector>

using testsupport::DenoiseModels;
using testsupport::LogCapture;

class FastEnhancerDenoiserTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<DenoiseModels> models;

private slots:
    void initTestCase()
    {
        models = std::make_unique<DenoiseModels>();
        if (!models->isValid())
            QSKIP("python3-onnx is not installed: no contract models");
    }

    void contractViolationsAreRefusedWithTheirReason_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("message");
        QTest::newRow("cache without digits") << "fe_cache_no_digits"
                                              << "unexpected model input: cache_in_";
        QTest::newRow("cache with letters") << "fe_cache_letters"
                                            << "unexpected model input: cache_in_x";
        QTest::newRow("foreign input") << "fe_no_wav_in"
                                       << "unexpected model input: audio";
        QTest::newRow("no wav_in") << "fe_only_state"
                                   << "model has no wav_in input";
        QTest::newRow("two audio outputs") << "fe_two_audio_outputs"
                                           << "unexpected model output: extra";
        QTest::newRow("unpaired state output") << "fe_unpaired_output"
                                               << "model outputs do not pair with inputs";
        QTest::newRow("no audio output") << "fe_no_audio_output"
                                         << "model outputs do not pair with inputs";
        QTest::newRow("index mismatch") << "fe_index_mismatch"
                                        << "cache index mismatch between inputs and outputs";
        QTest::newRow("dynamic hop") << "fe_wav_dynamic"
                                     << "wav_in shape is not (1, hop)";
        QTest::newRow("batch of two") << "fe_wav_batch2"
                                      << "wav_in shape is not (1, hop)";
        QTest::newRow("one dimension") << "fe_wav_1d"
                                       << "wav_in shape is not (1, hop)";
        QTest::newRow("dynamic state") << "fe_cache_dynamic"
                                       << "cache_in_0 has non-static shape";
    }

    void contractViolationsAreRefusedWithTheirReason()
    {
        QFETCH(QString, model);
        QFETCH(QString, message);
        LogCapture logs;
        FastEnhancerDenoiser denoiser(models->path(model));
        QVERIFY(!denoiser.ensureLoaded(480));
        QVERIFY2(logs.contains("audio.denoise", "fastenhancer model contract check failed: " + message),
                 qPrintable(logs.entries().isEmpty() ? QString() : logs.entries().last().message));
        std::vector<qint16> frame(480, 1234);
        denoiser.process(frame.data(), 480);
        QCOMPARE(frame, std::vector<qint16>(480, 1234));
        // Never tried again.
        QVERIFY(!denoiser.ensureLoaded(480));
        QCOMPARE(logs.count("audio.denoise", "fastenhancer"), 1);
    }

    void sessionsShareOneEnvironment()
    {
        QString error;
        QVERIFY(!createOrtSession(models->path("not_there"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!createOrtSession(models->path("not_there"), nullptr));
        error.clear();
        auto first = createOrtSession(models->path("fe_scaling"), &error);
        Ort::Env *env = &sharedOrtEnv();
        auto second = createOrtSession(models->path("fe_hop160"), &error);
        QVERIFY2(first && second, qPrintable(error));
        QCOMPARE(&sharedOrtEnv(), env);
        QCOMPARE(modelsDir(), QCoreApplication::applicationDirPath() + "/models");
    }

    void missingModelFailsOnceAndForAll()
    {
        LogCapture logs;
        FastEnhancerDenoiser denoiser(models->path("does_not_exist"));
        QVERIFY(!denoiser.ensureLoaded(480));
        QVERIFY(!denoiser.ensureLoaded(480));
        QCOMPARE(logs.count("audio.denoise", "fastenhancer session create failed:"), 1);
        QVERIFY(logs.contains("audio.denoise", "does_not_exist.onnx"));
    }

    void stateTensorsAreOrderedByIndex()
    {
        LogCapture logs;
        FastEnhancerDenoiser denoiser(models->path("fe_two_caches"));
        QVERIFY(denoiser.ensureLoaded(480));
        QCOMPARE(denoiser.stateTensorCount(), 2);
        QCOMPARE(denoiser.hop(), 480);
        QVERIFY(logs.contains("audio.denoise", "fastenhancer loaded, hop=480 cache_tensors=2 load_ms="));
        // Index 2 is (1, 3) and index 0 is (2, 2): fed in the wrong order, the run would fail.
        std::vector<qint16> frame(480, 100);
        denoiser.process(frame.data(), 480);
        denoiser.process(frame.data(), 480);
        QVERIFY(!logs.contains("audio.denoise", "inference failed"));
    }

    void leadingZerosInAStateIndexStillRun()
    {
        LogCapture logs;
        FastEnhancerDenoiser denoiser(models->path("fe_leading_zero"));
        QVERIFY(denoiser.ensureLoaded(480));
        std::vector<qint16> frame(480, 300);
        denoiser.process(frame.data(), 480);
        denoiser.process(frame.data(), 480);
        QVERIFY(!logs.contains("audio.denoise", "inference failed"));
        QCOMPARE(frame, std::vector<qint16>(480, 300));
    }

    void outputIsOneFrameLateAndCarriesTheState()
    {
        // audio = 0.5 x input + state; the state grows by 0.001 per run.
        FastEnhancerDenoiser denoiser(models->path("fe_scaling"));
        for (int k = 0; k < 6; ++k) {
            std::vector<qint16> frame(480, qint16(1000 * (k + 1)));
            denoiser.process(frame.data(), 480);
            if (k == 0) {
                QCOMPARE(frame, std::vector<qint16>(480, 0));
                continue;
            }
            const float expected = 0.5f * (1000.0f * k) / 32768.0f + 0.001f * float(k - 1);
            const qint16 value = qint16(std::lround(expected * 32768.0f));
            for (qint16 s : frame)
                QVERIFY2(std::abs(s - value) <= 1, qPrintable(QString("%1 vs %2").arg(s).arg(value)));
        }
    }

    void otherHopsDelayByExactlyOneFrame_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("hop");
        QTest::newRow("hop 160") << "fe_hop160" << 160;
        QTest::newRow("hop 256") << "fe_hop256" << 256;
    }

    void otherHopsDelayByExactlyOneFrame()
    {
        QFETCH(QString, model);
        QFETCH(int, hop);
        FastEnhancerDenoiser denoiser(models->path(model));
        QVERIFY(denoiser.ensureLoaded(480));
        QCOMPARE(denoiser.hop(), hop);
        std::vector<qint16> in, out;
        for (int k = 0; k < 20; ++k) {
            std::vector<qint16> frame(480);
            for (int i = 0; i < 480; ++i)
                frame[std::size_t(i)] = qint16(((k * 480 + i) * 37) % 20000 - 10000);
            in.insert(in.end(), frame.begin(), frame.end());
            denoiser.process(frame.data(), 480);
            out.insert(out.end(), frame.begin(), frame.end());
        }
        for (std::size_t i = 0; i < 480; ++i)
            QCOMPARE(out[i], qint16(0));
        for (std::size_t i = 480; i < out.size(); ++i)
            QCOMPARE(out[i], in[i - 480]);
    }

    void failingRunsKeepTheInputBounded()
    {
        LogCapture logs;
        FastEnhancerDenoiser denoiser(models->path("fe_state_grows"));
        QVERIFY(denoiser.ensureLoaded(480));
        std::vector<qint16> frame(480, 42);
        denoiser.process(frame.data(), 480); // the first run works and breaks the state
        for (int k = 0; k < 200; ++k) {
            std::vector<qint16> f(480, 77);
            denoiser.process(f.data(), 480);
            QCOMPARE(f, std::vector<qint16>(480, 77)); // unchanged while runs fail
            QVERIFY(denoiser.pendingInput() <= 480 + 4800);
        }
        // One line for the first failure, not one every 10 ms; the suppressor is no longer ready.
        QCOMPARE(logs.count("audio.denoise", "fastenhancer inference failed:"), 1);
        QVERIFY(!denoiser.isReady());
    }

    // A new capture session starts the loaded model afresh: zero state, one frame of delay.
    void resetStartsTheStreamAgain()
    {
        FastEnhancerDenoiser denoiser(models->path("fe_scaling"));
        auto run = [&] {
            std::vector<qint16> out;
            for (int k = 0; k < 5; ++k) {
                std::vector<qint16> frame(480, 8000);
                denoiser.process(frame.data(), 480);
                out.insert(out.end(), frame.begin(), frame.end());
            }
            return out;
        };
        const std::vector<qint16> first = run();
        const std::vector<qint16> carried = run();
        QVERIFY(carried != first); // the state kept growing
        denoiser.reset();
        QCOMPARE(run(), first);
        QVERIFY(denoiser.isReady());
        QVERIFY(!denoiser.isPassThrough());
    }

    void pipelinePassesAudioWhenTheModelIsMissing()
    {
        LogCapture logs;
        AudioPipeline pipeline(48000, 1);
        pipeline.setNoiseMode(NoiseMode::FastEnhancer);
        for (int k = 0; k < 3; ++k) {
            std::vector<qint16> frame(480, 900);
            pipeline.process(frame.data(), 480);
            QCOMPARE(frame, std::vector<qint16>(480, 900));
        }
        QCOMPARE(logs.count("audio.denoise", "fastenhancer session create failed:"), 1);
        // Leaving the mode and coming back makes a new suppressor, which tries again.
        pipeline.setNoiseMode(NoiseMode::Off);
        pipeline.setNoiseMode(NoiseMode::FastEnhancer);
        std::vector<qint16> frame(480, 900);
        pipeline.process(frame.data(), 480);
        QCOMPARE(logs.count("audio.denoise", "fastenhancer session create failed:"), 2);
    }
};

KESTOVA_TEST_MAIN(FastEnhancerDenoiserTest)
#include "test_fast_enhancer_denoiser.moc"
