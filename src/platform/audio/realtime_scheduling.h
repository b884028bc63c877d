#pragma once

#include <QString>

// What asking for real-time scheduling gave the calling thread.
enum class RealtimeGrant {
    RealtimeKit, // the desktop's real-time broker raised the thread (over the system bus)
    Fifo,        // the thread set SCHED_FIFO itself
    Refused,     // neither: the thread keeps its normal priority
};

// Asks that the calling thread, an audio thread that wakes every 10 ms and works briefly, be
// scheduled in real time: first through the real-time broker on the system bus where one runs and
// grants it, else by setting SCHED_FIFO directly (allowed with CAP_SYS_NICE or an RLIMIT_RTPRIO).
// When both refuse, the thread goes on at normal priority and the refusal is logged once per
// process ("audio.realtime"), not once per thread start. Call it first thing on the thread.
RealtimeGrant requestRealtimeScheduling(const QString &threadName);

// The priority asked for, low in the real-time range so that the system's own threads stay above.
constexpr int kAudioRealtimePriority = 5;
