#include "livekit/connection_quality.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <variant>

using namespace livekit;

namespace {

// Rounded half away from zero.
qint64 roundedInt(double value)
{
    return static_cast<qint64>(std::round(value));
}

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString candidateTypeText(IceCandidateType type)
{
    switch (type) {
        case IceCandidateType::Host: return QStringLiteral("host");
        case IceCandidateType::Srflx: return QStringLiteral("srflx");
        case IceCandidateType::Prflx: return QStringLiteral("prflx");
        case IceCandidateType::Relay: return QStringLiteral("relay");
        case IceCandidateType::Unknown: break;
    }
    return {};
}

bool isAudio(const std::string &kind)
{
    return kind.empty() || kind == "audio";
}

} // namespace

void ConnectionQualityState::reset()
{
    *this = ConnectionQualityState();
}

QVariantMap evaluateConnectionQuality(const std::vector<RtcStats> &records, qint64 nowMs, int appliedBitrate,
                                      ConnectionQualityState &state)
{
    QVariantMap map;
    double rtt = -1;
    double loss = -1;
    double jitter = -1;
    double highestTarget = -1;
    double measuredSum = 0;
    bool measured = false;
    QSet<QString> seen;
    QString selectedPairId;
    QString localCandidateId;
    int bestPriority = 0;
    quint64 bestPackets = 0;
    quint64 bytesSent = 0;
    quint64 bytesReceived = 0;
    std::optional<QString> codec;

    for (const RtcStats &record : records) {
        const QString id = fromUtf8(record.id);
        if (const auto *pair = std::get_if<CandidatePairStats>(&record.stats)) {
            int priority = 0;
            if (!selectedPairId.isEmpty() && id == selectedPairId)
                priority = 3;
            else if (pair->nominated)
                priority = 2;
            else if (pair->state == "succeeded")
                priority = 1;
            if (priority == 0 || pair->currentRoundTripTime <= 0)
                continue;
            const quint64 packets = pair->packetsSent + pair->packetsReceived;
            if (priority > bestPriority || (priority == bestPriority && packets >= bestPackets)) {
                bestPriority = priority;
                bestPackets = packets;
                rtt = pair->currentRoundTripTime;
                localCandidateId = fromUtf8(pair->localCandidateId);
            }
        } else if (const auto *remote = std::get_if<RemoteInboundRtpStats>(&record.stats)) {
            jitter = remote->jitter;
            loss = remote->fractionLost;
        } else if (const auto *outbound = std::get_if<OutboundRtpStats>(&record.stats)) {
            if (!isAudio(outbound->kind))
                continue;
            if (!id.isEmpty())
                seen.insert(id);
            const auto previous = state.outboundSamples.constFind(id);
            if (previous != state.outboundSamples.constEnd() && nowMs - previous->timeMs > 0
                && outbound->bytesSent >= previous->bytesSent) {
                measuredSum += static_cast<double>(outbound->bytesSent - previous->bytesSent) * 8.0 * 1000.0
                               / static_cast<double>(nowMs - previous->timeMs);
                measured = true;
            }
            state.outboundSamples.insert(id, {outbound->bytesSent, nowMs});
            highestTarget = std::max(highestTarget, outbound->targetBitrate);
        } else if (const auto *transport = std::get_if<TransportStats>(&record.stats)) {
            bytesSent = transport->bytesSent;
            bytesReceived = transport->bytesReceived;
            selectedPairId = fromUtf8(transport->selectedCandidatePairId);
        } else if (const auto *c = std::get_if<CodecStats>(&record.stats)) {
            if (c->mimeType.rfind("audio/", 0) == 0)
                codec = fromUtf8(c->mimeType.substr(6));
        }
    }

    for (auto it = state.outboundSamples.begin(); it != state.outboundSamples.end();) {
        if (seen.contains(it.key()))
            ++it;
        else
            it = state.outboundSamples.erase(it);
    }

    if (!selectedPairId.isEmpty()) {
        rtt = -1;
        localCandidateId.clear();
        for (const RtcStats &record : records) {
            const auto *pair = std::get_if<CandidatePairStats>(&record.stats);
            if (!pair || fromUtf8(record.id) != selectedPairId)
                continue;
            if (pair->currentRoundTripTime > 0) {
                rtt = pair->currentRoundTripTime;
                localCandidateId = fromUtf8(pair->localCandidateId);
            }
            break;
        }
    }

    if (!localCandidateId.isEmpty()) {
        for (const RtcStats &record : records) {
            if (record.type != RtcStats::Type::LocalCandidate || fromUtf8(record.id) != localCandidateId)
                continue;
            const auto *candidate = std::get_if<IceCandidateStats>(&record.stats);
            if (!candidate)
                break;
            const QString protocol = fromUtf8(candidate->protocol).toUpper();
            const QString type = candidateTypeText(candidate->candidateType);
            const QString text = type.isEmpty() ? protocol : QStringLiteral("%1 (%2)").arg(protocol, type);
            if (!text.isEmpty())
                state.connectionType = text;
            break;
        }
    }

    if (rtt >= 0) {
        const double ms = rtt * 1000.0;
        if (ms > 0 && ms < 10000) {
            if (state.smoothedRttMs < 0) {
                state.smoothedRttMs = ms;
            } else {
                const double capped = std::min(state.smoothedRttMs + 180.0, ms);
                const double alpha = std::abs(capped - state.smoothedRttMs) > 120.0 ? 0.1 : 0.25;
                state.smoothedRttMs = (1 - alpha) * state.smoothedRttMs + alpha * capped;
            }
            map.insert(QStringLiteral("rtt"), QStringLiteral("%1 ms").arg(roundedInt(state.smoothedRttMs)));
        }
    }
    if (loss >= 0)
        map.insert(QStringLiteral("packetLoss"), QStringLiteral("%1%").arg(loss * 100.0, 0, 'f', 1));
    if (jitter >= 0)
        map.insert(QStringLiteral("jitter"), QStringLiteral("%1 ms").arg(roundedInt(jitter * 1000.0)));

    const int configured = appliedBitrate > 0 ? appliedBitrate / 1000 : 128;
    qint64 rate = 0;
    if (measured) {
        const double kbps = measuredSum / 1000.0;
        rate = kbps < 1 ? 0 : roundedInt(kbps);
        state.lastMeasuredKbps = static_cast<int>(rate);
        state.hasMeasuredKbps = true;
    } else if (state.hasMeasuredKbps) {
        rate = state.lastMeasuredKbps;
    } else if (highestTarget > 0) {
        rate = roundedInt(highestTarget / 1000.0);
    }
    map.insert(QStringLiteral("bitrate"), QStringLiteral("%1/%2 kbps").arg(rate).arg(configured));

    if (!state.connectionType.isEmpty())
        map.insert(QStringLiteral("connectionType"), state.connectionType);
    if (codec)
        map.insert(QStringLiteral("codec"), *codec);

    if (bytesSent != 0 || bytesReceived != 0) {
        if (!state.baselineSet) {
            state.baselineBytesSent = bytesSent;
            state.baselineBytesReceived = bytesReceived;
            state.baselineSet = true;
        }
        // A counter below its baseline (not expected within one connection) shows as 0.00.
        const auto megabytes = [](quint64 counter, quint64 baseline) {
            const double delta = counter >= baseline ? static_cast<double>(counter - baseline) : 0.0;
            return QStringLiteral("%1 MB").arg(delta / 1048576.0, 0, 'f', 2);
        };
        map.insert(QStringLiteral("uploaded"), megabytes(bytesSent, state.baselineBytesSent));
        map.insert(QStringLiteral("downloaded"), megabytes(bytesReceived, state.baselineBytesReceived));
    }
    return map;
}

std::optional<NeteqSample> neteqSampleOf(const std::vector<RtcStats> &records)
{
    for (const RtcStats &record : records) {
        const auto *inbound = std::get_if<InboundRtpStats>(&record.stats);
        if (!inbound || !isAudio(inbound->kind))
            continue;
        NeteqSample sample;
        sample.jitterBufferDelay = inbound->jitterBufferDelay;
        sample.jitterBufferTargetDelay = inbound->jitterBufferTargetDelay;
        sample.jitterBufferMinimumDelay = inbound->jitterBufferMinimumDelay;
        sample.jitterBufferEmittedCount = inbound->jitterBufferEmittedCount;
        sample.concealedSamples = inbound->concealedSamples;
        sample.totalSamplesReceived = inbound->totalSamplesReceived;
        sample.removedSamplesForAcceleration = inbound->removedSamplesForAcceleration;
        sample.insertedSamplesForDeceleration = inbound->insertedSamplesForDeceleration;
        return sample;
    }
    return std::nullopt;
}

std::optional<QString> neteqStatsLine(const QString &identity, const NeteqSample &previous, const NeteqSample &current)
{
    // Counters are unsigned; a smaller current value (a restarted stream) counts as no progress.
    const auto delta = [](quint64 now, quint64 before) -> double {
        return now > before ? static_cast<double>(now - before) : 0.0;
    };
    const double emitted = delta(current.jitterBufferEmittedCount, previous.jitterBufferEmittedCount);
    const double received = delta(current.totalSamplesReceived, previous.totalSamplesReceived);
    if (emitted <= 0 || received <= 0)
        return std::nullopt;
    const auto ms = [emitted](double now, double before) {
        return QString::number((now - before) / emitted * 1000.0, 'f', 1);
    };
    const auto pct = [received, &delta](quint64 now, quint64 before) {
        return QString::number(delta(now, before) / received * 100.0, 'f', 2);
    };
    return QStringLiteral("neteq stats identity=") + identity + QStringLiteral(" jb_ms=")
           + ms(current.jitterBufferDelay, previous.jitterBufferDelay) + QStringLiteral(" target_ms=")
           + ms(current.jitterBufferTargetDelay, previous.jitterBufferTargetDelay) + QStringLiteral(" min_ms=")
           + ms(current.jitterBufferMinimumDelay, previous.jitterBufferMinimumDelay) + QStringLiteral(" concealed_pct=")
           + pct(current.concealedSamples, previous.concealedSamples) + QStringLiteral(" accel_pct=")
           + pct(current.removedSamplesForAcceleration, previous.removedSamplesForAcceleration)
           + QStringLiteral(" decel_pct=")
           + pct(current.insertedSamplesForDeceleration, previous.insertedSamplesForDeceleration);
}
