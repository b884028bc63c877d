#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The sample queues both neural suppressors keep around their model runs. Capture
// thread only; the queues belong to one suppressor.
namespace denoise {

// While runs keep failing the input keeps arriving; beyond what one run needs plus this
// much the oldest samples are dropped, so a broken model never grows the capture
// thread's memory (100 ms at 48 kHz).
constexpr std::size_t kMaxBacklog = 4800;

inline void appendSamples(std::vector<float> &fifo, const qint16 *samples, int count)
{
    for (int i = 0; i < count; ++i)
        fifo.push_back(samples[i] / 32768.0f);
}

// Drops the oldest input beyond `needed` plus the backlog allowance.
inline void dropBacklog(std::vector<float> &fifo, std::size_t needed)
{
    const std::size_t limit = needed + kMaxBacklog;
    if (fifo.size() > limit)
        fifo.erase(fifo.begin(), fifo.begin() + std::ptrdiff_t(fifo.size() - limit));
}

inline qint16 toSample(float v)
{
    const float r = std::round(v * 32768.0f);
    return static_cast<qint16>(std::clamp(r, -32768.0f, 32767.0f));
}

// Fills `samples` with what the output queue holds, right-aligned: while the model's
// latency has not produced enough yet, the frame starts with silence.
inline void drainOutput(std::vector<float> &fifo, qint16 *samples, int count)
{
    const std::size_t n = std::min(std::size_t(count), fifo.size());
    const std::size_t lead = std::size_t(count) - n;
    std::fill_n(samples, lead, qint16(0));
    for (std::size_t i = 0; i < n; ++i)
        samples[lead + i] = toSample(fifo[i]);
    fifo.erase(fifo.begin(), fifo.begin() + std::ptrdiff_t(n));
}

} // namespace denoise
