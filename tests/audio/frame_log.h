#pragma once

#include <QtGlobal>

#include <cstddef>
#include <mutex>
#include <vector>

namespace testsupport {

// The 10 ms frames a capture sink was handed: written on the capture thread, read on the test
// thread.
struct FrameLog
{
    std::mutex mutex;
    std::vector<std::vector<qint16>> frames;

    void add(const qint16 *frame)
    {
        std::lock_guard lock(mutex);
        frames.emplace_back(frame, frame + 480);
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return frames.size();
    }
    std::vector<qint16> last()
    {
        std::lock_guard lock(mutex);
        return frames.empty() ? std::vector<qint16>() : frames.back();
    }
};

} // namespace testsupport
