#pragma once

#include "platform/livekit/rtc_stats.h"

#include <QHash>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

// What one connection remembers between statistics polls to turn raw WebRTC statistics into the
// display texts of ConnectionQualityStats ("rtt", "packetLoss", "jitter", "bitrate", "connectionType",
// "codec", "uploaded", "downloaded"). GUI thread.
struct ConnectionQualityState
{
    struct OutboundSample
    {
        quint64 bytesSent = 0;
        qint64 timeMs = 0;
    };

    QHash<QString, OutboundSample> outboundSamples; // by outbound stream id
    int lastMeasuredKbps = 0;
    bool hasMeasuredKbps = false;
    QString connectionType;
    quint64 baselineBytesSent = 0;
    quint64 baselineBytesReceived = 0;
    bool baselineSet = false;
    double smoothedRttMs = -1;

    // As after a successful connect.
    void reset();
};

// Evaluates one poll of the local track's statistics at `nowMs` (milliseconds since the epoch), with
// the encoder bitrate last applied (0: none). Updates `state` and returns the map to show.
QVariantMap evaluateConnectionQuality(const std::vector<livekit::RtcStats> &records, qint64 nowMs, int appliedBitrate,
                                      ConnectionQualityState &state);

// The previous jitter-buffer counters of one remote track.
struct NeteqSample
{
    double jitterBufferDelay = 0;
    double jitterBufferTargetDelay = 0;
    double jitterBufferMinimumDelay = 0;
    quint64 jitterBufferEmittedCount = 0;
    quint64 concealedSamples = 0;
    quint64 totalSamplesReceived = 0;
    quint64 removedSamplesForAcceleration = 0;
    quint64 insertedSamplesForDeceleration = 0;
};

// The first inbound audio record of a remote track's statistics, as a sample.
std::optional<NeteqSample> neteqSampleOf(const std::vector<livekit::RtcStats> &records);
// The "neteq stats" log line for the change from `previous` to `current`, or nothing when no samples
// were emitted or received in between.
std::optional<QString> neteqStatsLine(const QString &identity, const NeteqSample &previous, const NeteqSample &current);
