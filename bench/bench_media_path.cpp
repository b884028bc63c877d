// Measures the media path through a real media server in a private network namespace: connect time
// (the first connect of the process and later ones), frame-in to frame-out latency with a tone check,
// CPU of the two clients and of the server while talking, and bytes on the wire with discontinuous
// transmission during silence. Prints a table; asserts nothing. Run by hand:
//
//   build/bench/bench_media_path
//
// It is not a Google Benchmark loop: each figure needs seconds of real time.

#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_source.h"
#include "platform/livekit/livekit.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/track.h"
#include "platform/livekit/track_publication.h"
#include "support/janus_test_server.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using namespace livekit;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::uint64_t wireBytesSent(const std::shared_ptr<LocalAudioTrack> &track)
{
    auto future = track->getStats();
    if (future.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
        return 0;
    for (const RtcStats &record : future.get())
        if (const auto *transport = std::get_if<TransportStats>(&record.stats))
            return transport->bytesSent;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    testsupport::enterPrivateNetwork(argc, argv);
    QCoreApplication app(argc, argv);
    if (!testsupport::privateNetworkUnavailable().isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(testsupport::privateNetworkUnavailable()));
        return 0;
    }
    testsupport::JanusTestServer janus;
    if (!janus.start()) {
        std::printf("media server: %s\n", qPrintable(janus.errorText()));
        return 1;
    }
    const std::string url = janus.url().toStdString();

    // Connect times: the library made ready (certificate included), then the first connect of the
    // process and five more.
    auto start = Clock::now();
    initialize(LogLevel::Info);
    const double initializeMs = msSince(start);
    std::vector<double> connects;
    for (int i = 0; i < 6; ++i) {
        Room room;
        start = Clock::now();
        room.connect(url, janus.token(QStringLiteral("probe%1").arg(i)).toStdString());
        connects.push_back(msSince(start));
    }

    // Two clients: A talks in bursts (200 ms tone every 500 ms), B listens.
    testsupport::RoomRecorder listener;
    Room b;
    b.setDelegate(&listener);
    b.connect(url, janus.token(QStringLiteral("b")).toStdString());
    Room a;
    a.connect(url, janus.token(QStringLiteral("a")).toStdString());
    auto source = std::make_shared<AudioSource>(48000, 1, 0);
    auto track = LocalAudioTrack::createLocalAudioTrack("microphone", source);
    TrackPublishOptions options;
    options.audioEncoding.maxBitrate = 32000;
    a.localParticipant().lock()->publishTrack(track, options);
    for (int i = 0; i < 500 && listener.subscribed() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    listener.startReading();

    std::vector<Clock::time_point> onsets;
    std::atomic<bool> talking{true};
    std::atomic<bool> running{true};
    std::mutex onsetMutex;
    std::thread capture([&] {
        std::vector<std::int16_t> frame(480);
        double phase = 0;
        auto next = Clock::now();
        for (std::int64_t n = 0; running; ++n) {
            const bool loud = talking && (n % 50) < 20;
            for (auto &sample : frame) {
                sample = loud ? static_cast<std::int16_t>(16000 * std::sin(phase)) : 0;
                phase = std::fmod(phase + 2 * M_PI * 440 / 48000.0, 2 * M_PI);
            }
            if (loud && n % 50 == 0) {
                std::lock_guard lock(onsetMutex);
                onsets.push_back(Clock::now());
            }
            source->captureFrame(AudioFrame(frame, 48000, 1, 480));
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
    });

    // Onsets as the listener sees them: the first loud frame after silence.
    std::vector<double> latencies;
    std::size_t seen = 0;
    bool wasLoud = false;
    const auto talkStart = Clock::now();
    std::vector<std::int16_t> toneSamples; // one whole burst, the first after the onset frames settle
    std::vector<std::int16_t> burst;
    while (msSince(talkStart) < 10000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::vector<std::int16_t> received = listener.received();
        for (; seen + 480 <= received.size(); seen += 480) {
            bool loud = false;
            for (std::size_t i = seen; i < seen + 480; ++i)
                loud = loud || std::abs(received[i]) > 3000;
            if (loud && !wasLoud) {
                std::lock_guard lock(onsetMutex);
                if (!onsets.empty())
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - onsets.back()).count());
            }
            if (loud)
                burst.insert(burst.end(), received.begin() + static_cast<long>(seen),
                             received.begin() + static_cast<long>(seen + 480));
            else if (!burst.empty()) {
                if (toneSamples.empty() && burst.size() >= 10 * 480 && latencies.size() > 2)
                    toneSamples = burst;
                burst.clear();
            }
            wasLoud = loud;
        }
    }

    // CPU while talking, with this thread idle: the two clients (encode, send, receive, decode) and
    // the server relaying.
    listener.clearReceived();
    const double cpu0 = processCpuSeconds();
    const double janus0 = janus.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(20));
    const double talkCpu = processCpuSeconds() - cpu0;
    const double janusCpu = janus.cpuSeconds() - janus0;

    // Silence: the same pacing, zeros only.
    talking = false;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::uint64_t silent0 = wireBytesSent(track);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const std::uint64_t silent1 = wireBytesSent(track);
    running = false;
    capture.join();

    std::printf("| figure | value |\n|---|---|\n");
    std::printf("| initialise (engine and DTLS certificate) | %.0f ms |\n", initializeMs);
    std::printf("| first connect of the process | %.0f ms |\n", connects.front());
    std::printf("| later connects, median of 5 | %.0f ms |\n",
                median(std::vector<double>(connects.begin() + 1, connects.end())));
    std::printf("| frame in to frame out, median of %zu onsets | %.1f ms |\n", latencies.size(), median(latencies));
    std::printf("| tone heard | %.1f Hz |\n", testsupport::toneFrequency(toneSamples));
    std::printf("| CPU of both clients over 20 s talking | %.2f s (%.1f %% of one core per client) |\n", talkCpu,
                talkCpu / 2 / 20 * 100);
    std::printf("| CPU of the media server over the same 20 s | %.2f s (%.1f %%) |\n", janusCpu, janusCpu / 20 * 100);
    std::printf("| bytes on the wire during 5 s of silence (DTX) | %llu (%.2f kbps) |\n",
                static_cast<unsigned long long>(silent1 - silent0), (silent1 - silent0) * 8 / 5.0 / 1000);
    listener.stopReading();
    b.setDelegate(nullptr);
    return 0;
}
