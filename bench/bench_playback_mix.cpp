#include "audio/audio_playback_manager.h"
#include "fake_remote_stream.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kFrame = 480; // 10 ms at 48 kHz
constexpr int kBacklog = 20;

// The render thread's mix of `members` remote voices for one 10 ms buffer. Every member's
// queue is kept at the same depth (refilled outside the timing), so each mix takes one full
// chunk from every member at a gain of -6 dB, as a room in full conversation would.
void BM_RenderMix(benchmark::State &state)
{
    const int members = int(state.range(0));
    std::vector<std::shared_ptr<testsupport::FakeRemoteStream>> streams;
    AudioPlaybackDependencies deps;
    deps.startTickTimer = false;
    deps.renderClient = [] { return std::unique_ptr<IRenderClient>(); }; // no device: mix by hand
    deps.openStream = [&streams](const std::shared_ptr<livekit::Track> &) {
        streams.push_back(std::make_shared<testsupport::FakeRemoteStream>());
        return std::static_pointer_cast<IRemoteAudioStream>(streams.back());
    };
    AudioPlaybackManager manager(nullptr, nullptr, deps);
    QStringList ids;
    for (int m = 0; m < members; ++m) {
        ids << QStringLiteral("member-%1").arg(m);
        manager.setParticipantGainDb(ids.last(), -6);
        manager.addRemoteTrack(std::make_shared<testsupport::FakeTrack>(), QStringLiteral("TR"), ids.last());
    }
    const auto refill = [&] {
        for (int m = 0; m < members; ++m) {
            const int missing = kBacklog - manager.sessionQueuedChunks(ids[m], QStringLiteral("TR"));
            for (int k = 0; k < missing; ++k)
                streams[std::size_t(m)]->push(qint16(1000 + m));
            while (manager.sessionQueuedChunks(ids[m], QStringLiteral("TR")) < kBacklog)
                std::this_thread::yield();
        }
    };
    refill();
    manager.onPlaybackTick(); // gains
    std::vector<qint16> out(kFrame);
    int sinceRefill = 0;
    for (auto _ : state) {
        manager.mixInto(out);
        benchmark::DoNotOptimize(out.data());
        if (++sinceRefill == kBacklog / 2) {
            state.PauseTiming();
            refill();
            sinceRefill = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_RenderMix)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
