#include "audio/audio_capture_engine.h"
#include "audio/audio_frame_sink_slot.h"
#include "audio/audio_pipeline.h"
#include "audio/vad_detector.h"
#include "platform/audio/audio_event.h"
#include "platform/audio/i_audio_capture_backend.h"
#ifdef KESTOVA_HAVE_ORT
#include "audio/dpdfnet_denoiser.h"
#include "audio/fast_enhancer_denoiser.h"
#include "audio/ort_setup.h"

#include <onnxruntime_cxx_api.h>

#include <QProcess>
#include <QTemporaryDir>
#endif

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>

#include <cmath>
#include <random>
#include <vector>

namespace {
constexpr int kFrame = 480; // 10 ms at 48 kHz

// One second of a speech-like test signal: a 220 Hz tone with harmonics, its level swinging
// between quiet and loud so that the limiter engages part of the time.
std::vector<qint16> testSignal()
{
    std::vector<qint16> v(48000);
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / 48000;
        const double level = 0.15 + 0.8 * std::fabs(std::sin(2 * M_PI * 1.5 * t));
        const double x =
            std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 440 * t) + 0.25 * std::sin(2 * M_PI * 880 * t);
        v[i] = qint16(std::clamp(x / 1.75 * level * 32767, -32768.0, 32767.0));
    }
    return v;
}

// The test signal with steady white noise 40 dB below full scale, the way a noise suppressor
// meets a voice in a room: its cost depends on what it hears, and a pure tone alone soon
// counts as noise to it.
std::vector<qint16> noisySignal()
{
    std::vector<qint16> v = testSignal();
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.01 * 32768);
    for (qint16 &x : v)
        x = qint16(std::clamp(x + noise(rng), -32768.0, 32767.0));
    return v;
}

int scriptedCreate(void **handle, std::size_t, float)
{
    static int token;
    *handle = &token;
    return 0;
}
int scriptedProcess(void *, const qint16 *, std::size_t, float *probability, int *flag)
{
    *probability = 0.5f;
    *flag = 0;
    return 0;
}
int scriptedDestroy(void **handle)
{
    *handle = nullptr;
    return 0;
}
} // namespace

// The capture path per frame without a suppressor: gain, limiter and peak meter.
static void BM_PipelineProcess(benchmark::State &state)
{
    AudioPipeline pipeline(48000, 1);
    pipeline.setVolume(state.range(0) / 100.0);
    const std::vector<qint16> signal = testSignal();
    std::vector<qint16> frame(kFrame);
    std::size_t at = 0;
    for (auto _ : state) {
        std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(at), kFrame, frame.begin());
        at = (at + kFrame) % signal.size();
        benchmark::DoNotOptimize(pipeline.process(frame.data(), kFrame));
    }
    state.SetLabel("volume x" + std::to_string(state.range(0) / 100.0).substr(0, 4));
}
BENCHMARK(BM_PipelineProcess)->Arg(100)->Arg(400)->Unit(benchmark::kMicrosecond);

namespace {
// The three calls of the project's "ten_vad" library: the one built next to the application
// (with its model), or a copy in a folder of its own, without the model, which answers from
// WebRTC's voice detector. Loaded once per run; null members when it did not load.
VadDetector::LibraryCalls tenVadCalls(bool withModel)
{
    static QTemporaryDir copyDir;
    static QLibrary built(QStringLiteral(TEN_VAD_PATH));
    static QLibrary copy;
    QLibrary &library = withModel ? built : copy;
    if (!withModel && copy.fileName().isEmpty()) {
        const QString path = copyDir.filePath(QStringLiteral("libten_vad.so"));
        QFile::copy(QStringLiteral(TEN_VAD_PATH), path);
        copy.setFileName(path);
    }
    VadDetector::LibraryCalls calls;
    if (!library.load())
        return calls;
    calls.create = reinterpret_cast<decltype(calls.create)>(library.resolve("ten_vad_create"));
    calls.process = reinterpret_cast<decltype(calls.process)>(library.resolve("ten_vad_process"));
    calls.destroy = reinterpret_cast<decltype(calls.destroy)>(library.resolve("ten_vad_destroy"));
    return calls;
}
} // namespace

// The detector per frame: filter and decimation, plus the library's hops (every 1.6 frames).
// 0: library calls scripted; 1: the project's "ten_vad" library with its model (one model run
// every 3.2 frames); 2: that library without the model, answering from WebRTC's voice detector.
static void BM_VadFeed(benchmark::State &state)
{
    VadDetector::LibraryCalls calls;
    calls.create = scriptedCreate;
    calls.process = scriptedProcess;
    calls.destroy = scriptedDestroy;
    if (state.range(0) > 0)
        calls = tenVadCalls(state.range(0) == 1);
    VadDetector detector(calls);
    if (!detector.isUsable()) {
        state.SkipWithError("detector library did not load");
        return;
    }
    const std::vector<qint16> signal = testSignal();
    std::size_t at = 0;
    for (auto _ : state) {
        detector.feed(signal.data() + at, kFrame);
        at = (at + kFrame) % signal.size();
    }
    const char *labels[] = {"filter only (library calls scripted)", "ten_vad library, Silero model",
                            "ten_vad library without its model (WebRTC detector)"};
    state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_VadFeed)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The library alone, two hops of 256 samples at 16 kHz: one full model window (32 ms), the
// cost of the frame in which the model runs.
static void BM_VadModelWindow(benchmark::State &state)
{
    const VadDetector::LibraryCalls calls = tenVadCalls(true);
    void *handle = nullptr;
    if (!calls.create || calls.create(&handle, 256, 0.5f) != 0) {
        state.SkipWithError("detector library did not load");
        return;
    }
    std::vector<qint16> hops(512);
    const std::vector<qint16> signal = testSignal();
    for (std::size_t i = 0; i < hops.size(); ++i)
        hops[i] = signal[i * 3];
    float probability = 0;
    int flag = 0;
    for (auto _ : state) {
        calls.process(handle, hops.data(), 256, &probability, &flag);
        calls.process(handle, hops.data() + 256, 256, &probability, &flag);
    }
    calls.destroy(&handle);
}
BENCHMARK(BM_VadModelWindow)->Unit(benchmark::kMicrosecond);

// The far-end path per 10 ms: conversion, chunking and the echo module's reverse stream.
static void BM_RenderReference(benchmark::State &state)
{
    AudioPipeline pipeline(48000, 1);
    const std::vector<qint16> signal = testSignal();
    std::size_t at = 0;
    for (auto _ : state) {
        pipeline.pushRenderReference(signal.data() + at, kFrame, 48000, 1);
        at = (at + kFrame) % signal.size();
    }
}
BENCHMARK(BM_RenderReference)->Unit(benchmark::kMicrosecond);

// WebRTC's noise suppressor (the "webrtc" noise mode, and the neural modes' stand-in) per
// frame, inside the pipeline with its gain stage; the echo module is not run here.
static void BM_WebRtcNoiseSuppressorFrame(benchmark::State &state)
{
    AudioPipeline pipeline(48000, 1);
    pipeline.setNoiseMode(NoiseMode::WebRtc);
    const std::vector<qint16> signal = noisySignal();
    std::vector<qint16> frame(kFrame);
    std::size_t at = 0;
    for (auto _ : state) {
        std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(at), kFrame, frame.begin());
        at = (at + kFrame) % signal.size();
        benchmark::DoNotOptimize(pipeline.process(frame.data(), kFrame));
    }
}
BENCHMARK(BM_WebRtcNoiseSuppressorFrame)->Unit(benchmark::kMicrosecond);

namespace {
// A microphone that always has the next 10 ms of the noisy test signal ready.
class SignalBackend : public IAudioCaptureBackend
{
public:
    CaptureOpenResult open(const QString &, int, int) override
    {
        opened = true;
        CaptureOpenResult r;
        r.ok = true;
        r.endpointId = QStringLiteral("bench");
        return r;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    int eventHandle() const override { return opened ? event.fd() : -1; }
    bool readPackets(std::vector<qint16> &out) override
    {
        out.insert(out.end(), signal.begin() + std::ptrdiff_t(at), signal.begin() + std::ptrdiff_t(at + kFrame));
        at = (at + kFrame) % signal.size();
        return true;
    }

private:
    AudioEvent event;
    std::vector<qint16> signal = noisySignal();
    std::size_t at = 0;
    bool opened = false;
};
} // namespace

// The whole capture chain per 10 ms frame, as the capture thread runs it on each device event:
// the read, the echo module on the raw frame (echo cancellation against a far end fed every
// frame, and the high-pass filter), the voice detector with its library, the noise suppressor
// ("off" or "webrtc"), gain, limiter, load meter and the sink. No neural model.
static void BM_CaptureChain(benchmark::State &state)
{
    const bool echoModule = state.range(0) == 1;
    const bool webrtcNs = state.range(1) == 1;
    auto sink = std::make_shared<AudioFrameSinkSlot>();
    std::int64_t sentSamples = 0;
    sink->sink = [&sentSamples](const qint16 *, int n, int, int) { sentSamples += n; };
    AudioPipelineSlot slot;
    AudioCaptureEngine::Dependencies deps;
    deps.backendFactory = [] { return std::make_unique<SignalBackend>(); };
    AudioCaptureEngine engine(sink, &slot, deps);
    engine.setNoiseMode(webrtcNs ? QStringLiteral("webrtc") : QStringLiteral("off"));
    engine.setAecEnabled(echoModule);
    engine.setHpfEnabled(echoModule);
    engine.setVadSilentStop(false);
    engine.startCapture();
    const std::shared_ptr<AudioPipeline> pipeline = slot.load();
    const std::vector<qint16> far = testSignal();
    std::size_t at = 0;
    for (auto _ : state) {
        if (echoModule) {
            pipeline->pushRenderReference(far.data() + at, kFrame, 48000, 1);
            at = (at + kFrame) % far.size();
        }
        engine.onCaptureEvent();
    }
    engine.stopCapture();
    if (sentSamples < std::int64_t(state.iterations()) * kFrame)
        state.SkipWithError("frames did not reach the sink");
    state.SetLabel(std::string(echoModule ? "echo module on (with its far-end push)" : "echo module off") + ", "
                   + (webrtcNs ? "webrtc noise suppression" : "no suppressor"));
}
BENCHMARK(BM_CaptureChain)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMicrosecond);

#ifdef KESTOVA_HAVE_ORT
namespace {
// The project's contract models, generated once per run.
const QTemporaryDir &modelDir()
{
    static QTemporaryDir dir;
    static const bool made = QProcess::execute("/usr/bin/python3", {KESTOVA_MODEL_SCRIPT, "tests", dir.path()}) == 0;
    Q_UNUSED(made)
    return dir;
}
} // namespace

// One 10 ms frame through the FastEnhancer suppressor (its generated model: one hop of 480
// samples, a scale and an add).
static void BM_FastEnhancerFrame(benchmark::State &state)
{
    FastEnhancerDenoiser denoiser(modelDir().filePath("fe_scaling.onnx"));
    if (!denoiser.ensureLoaded(kFrame)) {
        state.SkipWithError("model not available");
        return;
    }
    const std::vector<qint16> signal = testSignal();
    std::vector<qint16> frame(kFrame);
    std::size_t at = 0;
    for (auto _ : state) {
        std::copy_n(signal.begin() + std::ptrdiff_t(at), kFrame, frame.begin());
        at = (at + kFrame) % signal.size();
        denoiser.process(frame.data(), kFrame);
    }
}
BENCHMARK(BM_FastEnhancerFrame)->Unit(benchmark::kMicrosecond);

// One 10 ms frame through the DPDFNet suppressor (identity spectral model, 960-point window):
// window, real FFT, run, inverse FFT, overlap-add.
static void BM_DpdfnetFrame(benchmark::State &state)
{
    DpdfnetDenoiser denoiser(modelDir().filePath("dp_identity.onnx"));
    if (!denoiser.ensureLoaded(kFrame)) {
        state.SkipWithError("model not available");
        return;
    }
    const std::vector<qint16> signal = testSignal();
    std::vector<qint16> frame(kFrame);
    std::size_t at = 0;
    for (auto _ : state) {
        std::copy_n(signal.begin() + std::ptrdiff_t(at), kFrame, frame.begin());
        at = (at + kFrame) % signal.size();
        denoiser.process(frame.data(), kFrame);
    }
}
BENCHMARK(BM_DpdfnetFrame)->Unit(benchmark::kMicrosecond);

// The runtime's own cost of one run of each model, tensors prepared beforehand: what the
// suppressors add is the difference.
static void BM_RuntimeRunOnly(benchmark::State &state)
{
    const bool spectral = state.range(0) == 1;
    QString error;
    auto session = createOrtSession(modelDir().filePath(spectral ? "dp_identity.onnx" : "fe_scaling.onnx"), &error);
    if (!session) {
        state.SkipWithError("model not available");
        return;
    }
    Ort::AllocatorWithDefaultOptions allocator;
    const std::vector<int64_t> a = spectral ? std::vector<int64_t>{1, 1, 481, 2} : std::vector<int64_t>{1, 480};
    const std::vector<int64_t> b = spectral ? std::vector<int64_t>{64} : std::vector<int64_t>{1, 1};
    std::vector<Ort::Value> inputs;
    inputs.push_back(Ort::Value::CreateTensor<float>(allocator, a.data(), a.size()));
    inputs.push_back(Ort::Value::CreateTensor<float>(allocator, b.data(), b.size()));
    std::fill_n(inputs[0].GetTensorMutableData<float>(), inputs[0].GetTensorTypeAndShapeInfo().GetElementCount(), 0.1f);
    std::fill_n(inputs[1].GetTensorMutableData<float>(), inputs[1].GetTensorTypeAndShapeInfo().GetElementCount(), 0.0f);
    const char *in[] = {spectral ? "spec" : "wav_in", spectral ? "state" : "cache_in_0"};
    const char *out[] = {spectral ? "spec_out" : "enhanced", spectral ? "state_out" : "cache_out_0"};
    for (auto _ : state)
        benchmark::DoNotOptimize(session->Run(Ort::RunOptions{nullptr}, in, inputs.data(), 2, out, 2));
    state.SetLabel(spectral ? "dpdfnet model" : "fastenhancer model");
}
BENCHMARK(BM_RuntimeRunOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
