#pragma once

#include <QtGlobal>

#include <functional>
#include <mutex>

// The hand-off point of captured frames. The capture thread calls the sink with the mutex
// held, once per 10 ms frame, as (frame, 480, 48000, 1); the GUI thread replaces the sink
// under the same mutex, so a sink is never replaced or destroyed while it runs. The capture
// thread only tries the mutex: a frame that meets a replacement is dropped, never waited for.
// The mutex is the outermost lock of the capture path.
struct AudioFrameSinkSlot
{
    using Sink = std::function<void(const qint16 *frame, int samplesPerChannel, int sampleRate, int channels)>;

    std::mutex mutex;
    Sink sink; // guarded by mutex; empty when no consumer is installed
};
