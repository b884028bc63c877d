#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace testsupport {

// A stand-in microphone for media tests: calls `sink` with a 10 ms frame (480 mono samples at
// 48 kHz) every 10 ms from a thread of its own, paced by the clock, carrying a sine of `hz` (0: silence)
// at about half of full scale. Usage:
//
//   TonePump pump(440, [&](const std::int16_t *frame, int samples) { source->captureFrame(...); });
//   pump.start(); ... pump.stop();
class TonePump
{
public:
    using Sink = std::function<void(const std::int16_t *frame, int samples)>;

    TonePump(double hz, Sink sink);
    ~TonePump();
    TonePump(const TonePump &) = delete;
    TonePump &operator=(const TonePump &) = delete;

    void start();
    void stop();
    void setFrequency(double hz) { m_hz = hz; }
    std::int64_t framesSent() const { return m_frames.load(); }

private:
    void run();

    std::atomic<double> m_hz;
    Sink m_sink;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<std::int64_t> m_frames{0};
};

// Frequency of the loud part of `samples` (48 kHz), from its zero crossings; 0 without a tone.
double toneFrequency(const std::vector<std::int16_t> &samples);

} // namespace testsupport
