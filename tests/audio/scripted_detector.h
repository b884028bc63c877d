#pragma once

#include "audio/vad_detector.h"

#include <atomic>

namespace testsupport {

// A detector library whose every hop answers with the current value of `speech`; usable from
// any thread.
struct ScriptedDetector
{
    static inline std::atomic<int> speech{0};

    static VadDetector::LibraryCalls calls()
    {
        VadDetector::LibraryCalls c;
        c.create = [](void **handle, std::size_t, float) {
            static int token;
            *handle = &token;
            return 0;
        };
        c.process = [](void *, const qint16 *, std::size_t, float *probability, int *flag) {
            *flag = speech.load();
            *probability = *flag ? 0.9f : 0.1f;
            return 0;
        };
        c.destroy = [](void **handle) {
            *handle = nullptr;
            return 0;
        };
        return c;
    }
};

} // namespace testsupport
