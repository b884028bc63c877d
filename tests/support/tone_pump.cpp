#include "support/tone_pump.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

namespace testsupport {

TonePump::TonePump(double hz, Sink sink)
    : m_hz(hz)
    , m_sink(std::move(sink))
{}

TonePump::~TonePump()
{
    stop();
}

void TonePump::start()
{
    if (m_running.exchange(true))
        return;
    m_thread = std::thread([this] { run(); });
}

void TonePump::stop()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
}

void TonePump::run()
{
    constexpr int kSamples = 480;
    std::vector<std::int16_t> frame(kSamples);
    double phase = 0;
    auto next = std::chrono::steady_clock::now();
    while (m_running) {
        const double hz = m_hz.load();
        const double step = 2 * M_PI * hz / 48000.0;
        for (int i = 0; i < kSamples; ++i) {
            frame[static_cast<std::size_t>(i)] = hz > 0 ? static_cast<std::int16_t>(16000 * std::sin(phase)) : 0;
            phase = std::fmod(phase + step, 2 * M_PI);
        }
        m_sink(frame.data(), kSamples);
        ++m_frames;
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next); // the pace of a sound card, not a wait for a result
    }
}

double toneFrequency(const std::vector<std::int16_t> &samples)
{
    // Crossings with hysteresis, counted over the span between the first and the last one, so that
    // silent stretches do not bias the estimate.
    long first = -1;
    long last = -1;
    long crossings = 0;
    int previous = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int value = samples[i];
        if (std::abs(value) < 1000)
            continue;
        const int sign = value > 0 ? 1 : -1;
        if (previous != 0 && sign != previous) {
            if (first < 0)
                first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++crossings;
        }
        previous = sign;
    }
    if (crossings < 3 || last <= first)
        return 0;
    return (crossings - 1) / 2.0 / ((last - first) / 48000.0);
}

} // namespace testsupport
