#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace testsupport {

// Measures how long the GUI thread's event loop goes without turning: a precise 1 ms timer notes
// the longest gap between two of its ticks from construction on. Usage:
//
//   TurnMeter meter;
//   ... the work under test, then QTest::qWait(...) so the loop runs ...
//   QVERIFY(meter.worstOwnMs() < 50);
//
// worstOwnMs() leaves out of each gap the time the thread was ready to run but waiting for a
// core (the kernel's run-queue delay): on a loaded machine that time is the scheduler's, not
// the code's. What remains is time the thread computed or slept, and a wait on a lock, a
// reply or a thread join is sleep, so a blocking call still shows in full.
class TurnMeter
{
public:
    // The longest turn a responsive GUI thread takes here. The thread sanitizer's build runs
    // every instruction several times slower; it checks the threads' ordering, and the normal
    // build checks the time.
    static constexpr double stallBoundMs()
    {
#if defined(__SANITIZE_THREAD__)
        return 1000;
#else
        return 50;
#endif
    }

    TurnMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 queued = runQueueDelayNs();
            if (m_last >= 0) {
                const qint64 gap = now - m_last;
                m_worstNs = std::max(m_worstNs, gap);
                const qint64 waitedForCore = (queued >= 0 && m_lastQueued >= 0) ? queued - m_lastQueued : 0;
                m_worstOwnNs = std::max(m_worstOwnNs, gap - std::clamp(waitedForCore, qint64(0), gap));
            }
            m_last = now;
            m_lastQueued = queued;
        });
        m_clock.start();
        m_lastQueued = runQueueDelayNs();
        m_timer.start();
    }
    // The longest gap in wall time.
    double worstMs() const { return double(m_worstNs) / 1e6; }
    // The longest gap less the time the thread waited for a core in it.
    double worstOwnMs() const { return double(m_worstOwnNs) / 1e6; }

private:
    // The calling thread's total run-queue delay so far, or -1 where the kernel does not say.
    static qint64 runQueueDelayNs()
    {
        std::FILE *file = std::fopen("/proc/thread-self/schedstat", "r");
        if (!file)
            return -1;
        unsigned long long onCpu = 0;
        unsigned long long waiting = 0;
        const int read = std::fscanf(file, "%llu %llu", &onCpu, &waiting);
        std::fclose(file);
        return read == 2 ? qint64(waiting) : -1;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_lastQueued = -1;
    qint64 m_worstNs = 0;
    qint64 m_worstOwnNs = 0;
};

} // namespace testsupport
