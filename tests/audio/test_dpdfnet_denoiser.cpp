#include "audio/audio_pipeline.h"
#include "audio/denoise_models.h"
#include "audio/dpdfnet_denoiser.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

using testsupport::DenoiseModels;
using testsupport::LogCapture;
using Floats = std::vector<float>;
Q_DECLARE_METATYPE(Floats)

class DpdfnetDenoiserTest : public QObject
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

    void floatLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Floats>("values");
        QTest::addColumn<QString>("error");
        QTest::newRow("spaces after commas") << "0.1, 0.2,0.3" << Floats{0.1f, 0.2f, 0.3f} << "";
        QTest::newRow("empty") << "" << Floats{} << "";
        QTest::newRow("trailing comma") << "1,2," << Floats{1, 2} << "";
        QTest::newRow("text after the number") << "1.5x, 2e1" << Floats{1.5f, 20} << "";
        QTest::newRow("empty part") << "0.1,,0.3" << Floats{} << "invalid stof argument";
        QTest::newRow("word") << "abc" << Floats{} << "invalid stof argument";
        QTest::newRow("too large") << "1e60" << Floats{} << "stof argument out of range";
    }

    void floatLists()
    {
        QFETCH(QString, text);
        QFETCH(Floats, values);
        QFETCH(QString, error);
        try {
            const Floats parsed = parseFloatList(text.toStdString());
            QVERIFY2(error.isEmpty(), "no error thrown");
            QCOMPARE(parsed, values);
        } catch (const std::exception &e) {
            QCOMPARE(QString(e.what()), error);
        }
    }

    void contractViolationsAreRefusedWithTheirReason_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("message");
        QTest::newRow("one input and output") << "dp_one_io"
                                              << "expected streaming signature with 2 inputs and 2 outputs";
        QTest::newRow("spectrum of one dimension") << "dp_spec_1d"
                                                   << "spec input shape has no usable freq_bins dim";
        QTest::newRow("one frequency bin") << "dp_spec_bins1"
                                           << "spec input shape has no usable freq_bins dim";
        QTest::newRow("dynamic state") << "dp_state_dynamic"
                                       << "state input has non-static shape";
        QTest::newRow("missing key") << "dp_missing_spec_norm_init"
                                     << "missing model metadata key: spec_norm_init";
        QTest::newRow("state smaller than its parts") << "dp_state_too_small"
                                                      << "state metadata inconsistent with model shape";
        QTest::newRow("state size differs from shape") << "dp_state_size_mismatch"
                                                       << "state metadata inconsistent with model shape";
        QTest::newRow("bad float list") << "dp_bad_float"
                                        << "invalid stof argument";
        QTest::newRow("bad integer") << "dp_bad_integer"
                                     << "invalid stoll argument";
    }

    void contractViolationsAreRefusedWithTheirReason()
    {
        QFETCH(QString, model);
        QFETCH(QString, message);
        LogCapture logs;
        DpdfnetDenoiser denoiser(models->path(model));
        QVERIFY(!denoiser.ensureLoaded(480));
        QVERIFY2(logs.contains("audio.denoise", "dpdfnet model contract check failed: " + message),
                 qPrintable(logs.entries().isEmpty() ? QString() : logs.entries().last().message));
        std::vector<qint16> frame(480, 321);
        denoiser.process(frame.data(), 480);
        QCOMPARE(frame, std::vector<qint16>(480, 321));
        QVERIFY(!denoiser.ensureLoaded(480));
        QCOMPARE(logs.count("audio.denoise", "dpdfnet"), 1);
    }

    void missingModelFailsOnceAndForAll()
    {
        LogCapture logs;
        DpdfnetDenoiser denoiser(models->path("nothing_here"));
        QVERIFY(!denoiser.ensureLoaded(480));
        QVERIFY(!denoiser.ensureLoaded(480));
        QCOMPARE(logs.count("audio.denoise", "dpdfnet session create failed:"), 1);
    }

    void identityModelReconstructsExactly()
    {
        LogCapture logs;
        DpdfnetDenoiser denoiser(models->path("dp_identity"));
        QVERIFY(denoiser.ensureLoaded(480));
        QCOMPARE(denoiser.freqBins(), 481);
        QCOMPARE(denoiser.windowLength(), 960);
        QCOMPARE(denoiser.hop(), 480);
        QVERIFY(logs.contains("audio.denoise", "dpdfnet loaded, win=960 hop=480 freq_bins=481 load_ms="));

        // The window is power-complementary at 50 % overlap.
        const auto &w = denoiser.window();
        QCOMPARE(w.size(), std::size_t(960));
        for (std::size_t i = 0; i < 480; ++i)
            QVERIFY(std::abs(w[i] * w[i] + w[i + 480] * w[i + 480] - 1.0f) < 1e-5f);

        // The initial state: erb_norm_init, then spec_norm_init, then zeros.
        const std::vector<float> state0 = denoiser.state();
        QCOMPARE(state0.size(), std::size_t(64));
        QCOMPARE(state0[0], 0.5f);
        QCOMPARE(state0[1], -1.5f);
        QCOMPARE(state0[2], 0.25f);
        QCOMPARE(state0[3], 0.125f);
        QCOMPARE(state0[4], 1e-3f);
        QCOMPARE(state0[5], 0.0f);

        std::vector<qint16> in, out;
        for (int k = 0; k < 12; ++k) {
            std::vector<qint16> frame(480);
            for (int i = 0; i < 480; ++i) {
                const double t = (k * 480 + i) / 48000.0;
                frame[std::size_t(i)] =
                    qint16(8000 * std::sin(2 * M_PI * 440 * t) + 3000 * std::sin(2 * M_PI * 3100 * t));
            }
            in.insert(in.end(), frame.begin(), frame.end());
            denoiser.process(frame.data(), 480);
            out.insert(out.end(), frame.begin(), frame.end());
        }
        // One run per frame once a window is buffered: 11 runs for 12 frames. The state
        // counter in the model shows every run's state was handed to the next.
        QCOMPARE(denoiser.state()[0], 0.5f + 11.0f);
        for (std::size_t i = 0; i < 480; ++i)
            QCOMPARE(out[i], qint16(0));
        // From the second window on every sample has both overlapping halves: exact, one
        // frame late.
        for (std::size_t i = 960; i < out.size(); ++i)
            QVERIFY2(std::abs(out[i] - in[i - 480]) <= 1,
                     qPrintable(QString("%1: %2 vs %3").arg(i).arg(out[i]).arg(in[i - 480])));
    }

    void failingRunsKeepTheInputBounded()
    {
        LogCapture logs;
        DpdfnetDenoiser denoiser(models->path("dp_state_grows"));
        QVERIFY(denoiser.ensureLoaded(480));
        for (int k = 0; k < 200; ++k) {
            std::vector<qint16> frame(480, 55);
            denoiser.process(frame.data(), 480);
            if (k >= 2)
                QCOMPARE(frame, std::vector<qint16>(480, 55)); // unchanged while runs fail
            QVERIFY(denoiser.pendingInput() <= 960 + 4800);
        }
        // One line for the first failure, not one every 10 ms; the suppressor is no longer ready.
        QCOMPARE(logs.count("audio.denoise", "dpdfnet inference failed:"), 1);
        QVERIFY(!denoiser.isReady());
    }

    void extraInputsAndOutputsAreIgnored()
    {
        DpdfnetDenoiser denoiser(models->path("dp_extra_io"));
        QVERIFY(denoiser.ensureLoaded(480));
    }

    void pipelineRunsTheSuppressorInItsMode()
    {
        LogCapture logs;
        AudioPipeline pipeline(48000, 1);
        pipeline.setNoiseMode(NoiseMode::DpdfNet);
        std::vector<qint16> frame(480, 900);
        pipeline.process(frame.data(), 480);
        QCOMPARE(frame, std::vector<qint16>(480, 900)); // no model next to the test: unchanged
        QCOMPARE(logs.count("audio.denoise", "dpdfnet session create failed:"), 1);
        QVERIFY(pipeline.lastProcessUs() > 0);
    }
};

KESTOVA_TEST_MAIN(DpdfnetDenoiserTest)
#include "test_dpdfnet_denoiser.moc"
