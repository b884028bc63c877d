// Before any Qt header: GLib's headers use the word Qt defines as a keyword.
#include <gio/gio.h>

#include "platform/audio/realtime_scheduling.h"

#include <QLoggingCategory>

#include <cstring>

#include <atomic>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcRealtime, "audio.realtime", QtInfoMsg)

std::atomic<bool> refusalLogged{false};

// The broker asks that a real-time thread's process set a CPU-time limit for real-time bursts,
// so that a runaway audio thread is stopped instead of freezing the machine.
bool limitRealtimeBursts()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur <= limit.rlim_max && limit.rlim_cur != RLIM_INFINITY)
        return true;
    constexpr rlim_t kBurstUs = 200000; // 200 ms of CPU without blocking
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kBurstUs : std::min(kBurstUs, limit.rlim_max);
    return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

// MakeThreadRealtime(thread id, priority) of the real-time broker on the system bus.
bool askRealtimeKit(int priority, QString *error)
{
    GError *gerror = nullptr;
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &gerror);
    if (!bus) {
        *error = QStringLiteral("no system bus: %1").arg(QString::fromUtf8(gerror ? gerror->message : "unknown"));
        g_clear_error(&gerror);
        return false;
    }
    if (!limitRealtimeBursts()) {
        *error = QStringLiteral("cannot limit real-time bursts");
        g_object_unref(bus);
        return false;
    }
    const auto tid = static_cast<guint64>(syscall(SYS_gettid));
    GVariant *reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1", "org.freedesktop.RealtimeKit1",
        "MakeThreadRealtime", g_variant_new("(tu)", tid, static_cast<guint32>(priority)), nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, nullptr, &gerror);
    g_object_unref(bus);
    if (!reply) {
        *error = QString::fromUtf8(gerror ? gerror->message : "unknown");
        g_clear_error(&gerror);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

} // namespace

RealtimeGrant requestRealtimeScheduling(const QString &threadName)
{
    QString brokerError;
    if (askRealtimeKit(kAudioRealtimePriority, &brokerError)) {
        qCInfo(lcRealtime).nospace().noquote() << "real-time scheduling granted thread=" << threadName
                                               << " via=rtkit priority=" << kAudioRealtimePriority;
        return RealtimeGrant::RealtimeKit;
    }
    sched_param param{};
    param.sched_priority = kAudioRealtimePriority;
    const int fifo = pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
    if (fifo == 0) {
        qCInfo(lcRealtime).nospace().noquote() << "real-time scheduling granted thread=" << threadName
                                               << " via=sched_fifo priority=" << kAudioRealtimePriority;
        return RealtimeGrant::Fifo;
    }
    if (!refusalLogged.exchange(true)) {
        qCWarning(lcRealtime).nospace().noquote()
            << "real-time scheduling refused, audio threads run at normal priority thread=" << threadName
            << " rtkit=" << brokerError << " sched_fifo=" << QString::fromLocal8Bit(strerror(fifo));
    }
    return RealtimeGrant::Refused;
}
