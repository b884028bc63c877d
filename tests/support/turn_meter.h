#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace testsupport {

// Measures how long the GUI thread's event loop goes without turning: a precise 1 ms timer notes
// the longest gap between two of its ticks from construction on. Usage:
//
//   TurnMeter meter;
//   ... the work under test, then QTest::qWait(...) so the loop runs ...
//   QVERIFY(meter.worstMs() < 50);
class TurnMeter
{
public:
    TurnMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_worstNs = std::max(m_worstNs, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    double worstMs() const { return double(m_worstNs) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_worstNs = 0;
};

} // namespace testsupport
