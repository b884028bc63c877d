// Measures the media path through a real media server in a private network namespace: connect time
// (the first connect of the process and later ones), frame-in to frame-out latency with a tone check,
// CPU of the two clients and of the server while talking, and bytes on the wire with discontinuous
// transmission during silence. Prints a table; asserts nothing. Run by hand:
//
//   build/bench/bench_media_path
//
// It is not a Google Benchmark loop: each figure needs seconds of real time.
//
// The second part runs the client's own path, mouth to ear: a microphone stand-in feeds the capture
// engine, whose frames go through the voice connection to the media server and back through a
// second connection into the playback manager, whose render thread mixes them into a sound card
// stand-in that plays in real time. The latency ends where the render thread writes the onset into
// the device (the device's own buffer excluded). The same run measures how late the render thread
// wakes. KESTOVA_BENCH_CLIENT_PATH_S sets its length (default 60 s).

#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"
#include "audio/fake_capture_backend.h"
#include "audio/memory_audio_storage.h"
#include "audio/scripted_detector.h"
#include "livekit/livekit_connection.h"
#include "platform/audio/i_render_client.h"
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
#include <QEventLoop>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
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

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5));
    return values[i];
}

// A sound card that plays 48 kHz mono in real time from a 40 ms buffer. It notes when a write
// carries the first loud sample after quiet (an onset reaching the device), and how late the render
// thread wakes after each 5 ms period.
class RealtimeSoundCard : public IRenderClient
{
public:
    struct Record
    {
        std::mutex mutex;
        std::vector<Clock::time_point> onsets;
        double worstLateMs = 0;
        std::vector<double> lateMs;
        Clock::time_point lastLoud{};
    };
    explicit RealtimeSoundCard(std::shared_ptr<Record> record)
        : m_record(std::move(record))
    {}
    RenderOpenResult open(const QString &, int, int) override
    {
        m_queued = kBuffer; // starts full of silence, as a device does
        m_played = Clock::now();
        m_open = true;
        return {true, {}, QStringLiteral("bench-card"), kBuffer};
    }
    void close() override { m_open = false; }
    int padding() const override
    {
        if (!m_open)
            return -1;
        drain();
        return m_queued;
    }
    int bufferFrames() const override { return kBuffer; }
    bool hasEvent() const override { return true; }
    RenderWait waitEvent(int timeoutMs) override
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::min(timeoutMs, kPeriodMs));
        std::unique_lock lock(m_wakeMutex);
        const bool signalled = m_wake.wait_until(lock, deadline, [this] { return m_signalled; });
        m_signalled = false;
        lock.unlock();
        if (!signalled) {
            const double late = std::chrono::duration<double, std::milli>(Clock::now() - deadline).count();
            std::lock_guard record(m_record->mutex);
            m_record->lateMs.push_back(late);
            m_record->worstLateMs = std::max(m_record->worstLateMs, late);
        }
        return RenderWait::Signalled;
    }
    void signalEvent() override
    {
        std::lock_guard lock(m_wakeMutex);
        m_signalled = true;
        m_wake.notify_all();
    }
    bool write(const qint16 *samples, int frames) override
    {
        if (!m_open || frames <= 0)
            return false;
        drain();
        const auto now = Clock::now();
        bool loud = false;
        for (int i = 0; i < frames && !loud; ++i)
            loud = std::abs(samples[i]) > 3000;
        if (loud) {
            std::lock_guard record(m_record->mutex);
            if (m_record->lastLoud == Clock::time_point{} || now - m_record->lastLoud > std::chrono::milliseconds(100))
                m_record->onsets.push_back(now);
            m_record->lastLoud = now;
        }
        m_queued = std::min(kBuffer, m_queued + frames);
        return true;
    }

private:
    static constexpr int kBuffer = 1920;
    static constexpr int kPeriodMs = 5;
    void drain() const
    {
        const auto now = Clock::now();
        const auto played = std::chrono::duration_cast<std::chrono::microseconds>(now - m_played).count() * 48 / 1000;
        if (played <= 0)
            return;
        m_queued = int(std::max<std::int64_t>(0, m_queued - played));
        m_played += std::chrono::microseconds(played * 1000 / 48);
    }
    std::shared_ptr<Record> m_record;
    mutable int m_queued = 0;
    mutable Clock::time_point m_played;
    bool m_open = false;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_signalled = false;
};

void waitWithEvents(const std::function<bool()> &done, int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Mouth to ear through the client's own path; prints its rows of the table.
void measureClientPath(const testsupport::JanusTestServer &janus)
{
    bool ok = false;
    int seconds = qEnvironmentVariableIntValue("KESTOVA_BENCH_CLIENT_PATH_S", &ok);
    if (!ok || seconds <= 0)
        seconds = 60;

    testsupport::MemoryAudioStorage storage;
    auto mic = std::make_shared<testsupport::FakeMicrophone>();
    testsupport::ScriptedDetector::speech = 1;
    AudioCaptureManager::Dependencies audio;
    audio.engine.backendFactory = [mic] { return std::make_unique<testsupport::FakeCaptureBackend>(mic); };
    audio.engine.detectorLibrary = testsupport::ScriptedDetector::calls();
    audio.listCaptureDevices = [] { return QList<AudioDeviceInfo>{{"fake-endpoint", "Bench microphone", true}}; };
    AudioCaptureManager capture(&storage, nullptr, audio);
    capture.setNoiseMode(QStringLiteral("off"));
    capture.setVadSilentStop(false);

    auto record = std::make_shared<RealtimeSoundCard::Record>();
    AudioPlaybackDependencies playbackDeps;
    playbackDeps.renderClient = [record] { return std::make_unique<RealtimeSoundCard>(record); };
    AudioPlaybackManager playback(nullptr, nullptr, playbackDeps);

    LiveKitConnection alice(LiveKitConnection::Role::Own);
    LiveKitConnection bob(LiveKitConnection::Role::Own);
    bob.setPlaybackManager(&playback);
    capture.setFrameSink([&alice](const qint16 *data, int samples, int rate, int channels) {
        alice.pushCaptureFrame(data, samples, rate, channels, false);
    });
    bool aliceUp = false, bobUp = false;
    QObject::connect(&alice, &LiveKitConnection::connectedToRoom, [&aliceUp] { aliceUp = true; });
    QObject::connect(&bob, &LiveKitConnection::connectedToRoom, [&bobUp] { bobUp = true; });
    bob.connectToRoom(janus.url(), janus.token(QStringLiteral("bob")));
    alice.connectToRoom(janus.url(), janus.token(QStringLiteral("alice")));
    waitWithEvents([&] { return aliceUp && bobUp; }, 10000);
    alice.publishAudio(32000);
    alice.setSendingAudio(true);
    capture.startCapture();
    waitWithEvents([&] { return alice.isAudioPublished() && playback.hasRemoteTrack(QStringLiteral("alice")); },
                   10000);
    if (!alice.isAudioPublished() || !playback.hasRemoteTrack(QStringLiteral("alice"))) {
        std::printf("| mouth to ear through the client | not measured: the call did not come up |\n");
        return;
    }

    // The microphone: 10 ms frames in real time, a 200 ms burst of 440 Hz every 600 ms.
    std::vector<Clock::time_point> mouths;
    std::mutex mouthMutex;
    std::atomic<bool> running{true};
    std::thread speaker([&] {
        double phase = 0;
        auto next = Clock::now();
        for (std::int64_t n = 0; running; ++n) {
            const bool loud = n % 60 < 20;
            std::vector<qint16> frame(480);
            for (auto &sample : frame) {
                sample = loud ? qint16(16000 * std::sin(phase)) : qint16(0);
                phase = std::fmod(phase + 2 * M_PI * 440 / 48000.0, 2 * M_PI);
            }
            if (loud && n % 60 == 0) {
                std::lock_guard lock(mouthMutex);
                mouths.push_back(Clock::now());
            }
            mic->push(std::move(frame));
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
    });
    // The first seconds settle the jitter margin; the lateness counts from there too.
    waitWithEvents([] { return false; }, 2000);
    {
        std::lock_guard lock(record->mutex);
        record->onsets.clear();
        record->lateMs.clear();
        record->worstLateMs = 0;
    }
    {
        std::lock_guard lock(mouthMutex);
        mouths.clear();
    }
    waitWithEvents([] { return false; }, seconds * 1000);
    running = false;
    speaker.join();

    std::vector<double> latencies;
    double worstLate = 0;
    double medianLate = 0;
    {
        std::lock_guard lock(record->mutex);
        std::lock_guard mouthLock(mouthMutex);
        for (const Clock::time_point &ear : record->onsets) {
            // The latest mouth onset before this ear onset, if it is recent enough to be its cause.
            const auto it = std::upper_bound(mouths.begin(), mouths.end(), ear);
            if (it == mouths.begin())
                continue;
            const double ms = std::chrono::duration<double, std::milli>(ear - *std::prev(it)).count();
            if (ms < 500)
                latencies.push_back(ms);
        }
        worstLate = record->worstLateMs;
        medianLate = median(record->lateMs);
    }
    std::printf("| mouth to ear through the client (capture engine, server, playback render), %zu onsets | "
                "median %.1f ms, 95th percentile %.1f ms |\n",
                latencies.size(), median(latencies), percentile(latencies, 0.95));
    std::printf("| render thread wake-up lateness over %d s | worst %.2f ms, median %.3f ms |\n", seconds, worstLate,
                medianLate);
    capture.stopCapture();
    capture.setFrameSink({});
    alice.disconnectFromRoom(QStringLiteral("done"));
    bob.disconnectFromRoom(QStringLiteral("done"));
    playback.removeAllSessions();
    waitWithEvents([] { return LiveKitConnection::roomsBeingEnded() == 0; }, 5000);
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
    measureClientPath(janus);
    return 0;
}
