#include "platform/audio/realtime_scheduling.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QTest>

#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace {

struct Outcome
{
    RealtimeGrant grant = RealtimeGrant::Refused;
    int policy = -1;
    int priority = -1;
};

Outcome policyOf(RealtimeGrant grant)
{
    Outcome outcome;
    outcome.grant = grant;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &outcome.policy, &param);
    outcome.policy &= ~SCHED_RESET_ON_FORK;
    outcome.priority = param.sched_priority;
    return outcome;
}

// Takes CAP_SYS_NICE out of the calling thread's effective set (capabilities are per thread), so
// that it may not raise itself; the rest of the process keeps it.
void dropNiceCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    syscall(SYS_capset, &header, data);
}

} // namespace

class RealtimeSchedulingTest : public QObject
{
    Q_OBJECT
private slots:
    // Whatever this machine allows, the answer matches what the thread got.
    void grantMatchesTheThreadsPolicy()
    {
        Outcome outcome;
        std::thread([&] { outcome = policyOf(requestRealtimeScheduling(QStringLiteral("test"))); }).join();
        switch (outcome.grant) {
            case RealtimeGrant::Fifo:
                QCOMPARE(outcome.policy, SCHED_FIFO);
                QCOMPARE(outcome.priority, kAudioRealtimePriority);
                break;
            case RealtimeGrant::RealtimeKit:
                QVERIFY(outcome.policy == SCHED_RR || outcome.policy == SCHED_FIFO);
                break;
            case RealtimeGrant::Refused:
                QCOMPARE(outcome.policy, SCHED_OTHER);
                break;
        }
    }

    // A thread that may not raise itself keeps its normal priority, and the refusal is logged
    // once however many audio threads start.
    void refusalKeepsNormalPriorityAndIsLoggedOnce()
    {
        testsupport::LogCapture log;
        rlimit saved{};
        getrlimit(RLIMIT_RTPRIO, &saved);
        rlimit none = saved;
        none.rlim_cur = 0;
        QCOMPARE(setrlimit(RLIMIT_RTPRIO, &none), 0);
        for (int i = 0; i < 3; ++i) {
            Outcome outcome;
            std::thread([&] {
                dropNiceCapability();
                outcome = policyOf(requestRealtimeScheduling(QStringLiteral("audio-render")));
            }).join();
            if (outcome.grant == RealtimeGrant::RealtimeKit)
                QSKIP("the real-time broker grants it on this machine");
            QCOMPARE(int(outcome.grant), int(RealtimeGrant::Refused));
            QCOMPARE(outcome.policy, SCHED_OTHER);
        }
        setrlimit(RLIMIT_RTPRIO, &saved);
        QCOMPARE(log.count(QStringLiteral("audio.realtime"), QStringLiteral("real-time scheduling refused")), 1);
    }
};

KESTOVA_TEST_MAIN(RealtimeSchedulingTest)
#include "test_realtime_scheduling.moc"
