#include "audio/audio_pipeline.h"
#include "audio/vad_detector.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cmath>
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
        const double x = std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 440 * t)
                         + 0.25 * std::sin(2 * M_PI * 880 * t);
        v[i] = qint16(std::clamp(x / 1.75 * level * 32767, -32768.0, 32767.0));
    }
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

// The detector per frame: filter and decimation, plus the library's hops (every 1.6 frames).
static void BM_VadFeed(benchmark::State &state)
{
    const bool ownLibrary = state.range(0) == 1;
    VadDetector::LibraryCalls scripted;
    scripted.create = scriptedCreate;
    scripted.process = scriptedProcess;
    scripted.destroy = scriptedDestroy;
    VadDetector detector = ownLibrary ? VadDetector() : VadDetector(scripted);
    if (!detector.isUsable()) {
        state.SkipWithError("detector library not found (set LD_LIBRARY_PATH to build/src/app)");
        return;
    }
    const std::vector<qint16> signal = testSignal();
    std::size_t at = 0;
    for (auto _ : state) {
        detector.feed(signal.data() + at, kFrame);
        at = (at + kFrame) % signal.size();
    }
    state.SetLabel(ownLibrary ? "with the ten_vad library" : "filter only (library calls scripted)");
}
BENCHMARK(BM_VadFeed)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
