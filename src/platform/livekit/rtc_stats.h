#pragma once

#include <cstdint>
#include <string>
#include <variant>

// WebRTC statistics records, named and measured as the W3C statistics identifiers define them
// (seconds, bytes, counts). Fields the engine cannot know stay at their defaults.
namespace livekit {

enum class IceCandidateType { Host = 0, Srflx = 1, Prflx = 2, Relay = 3, Unknown = 4 };

struct CodecStats
{
    std::string mimeType; // "audio/opus"
    std::uint32_t payloadType = 0;
    std::uint32_t clockRate = 0;
    std::uint32_t channels = 0;
};

struct InboundRtpStats
{
    std::string kind;
    std::uint32_t ssrc = 0;
    std::uint64_t packetsReceived = 0;
    std::uint64_t bytesReceived = 0;
    std::int64_t packetsLost = 0;
    double jitter = 0;
    double jitterBufferDelay = 0;
    double jitterBufferTargetDelay = 0;
    double jitterBufferMinimumDelay = 0;
    std::uint64_t jitterBufferEmittedCount = 0;
    std::uint64_t totalSamplesReceived = 0;
    std::uint64_t concealedSamples = 0;
    std::uint64_t insertedSamplesForDeceleration = 0;
    std::uint64_t removedSamplesForAcceleration = 0;
};

struct OutboundRtpStats
{
    std::string kind;
    std::uint32_t ssrc = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t packetsSent = 0;
    double targetBitrate = 0;
};

struct RemoteInboundRtpStats
{
    std::string kind;
    std::uint32_t ssrc = 0;
    std::int64_t packetsLost = 0;
    double fractionLost = 0;
    double jitter = 0;
    double roundTripTime = 0;
};

struct TransportStats
{
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
    std::string selectedCandidatePairId;
};

struct CandidatePairStats
{
    std::string state; // "succeeded" once media flows over it
    bool nominated = false;
    std::uint64_t packetsSent = 0;
    std::uint64_t packetsReceived = 0;
    double currentRoundTripTime = 0;
    std::string localCandidateId;
    std::string remoteCandidateId;
};

struct IceCandidateStats
{
    std::string address;
    int port = 0;
    std::string protocol; // "udp", "tcp"
    IceCandidateType candidateType = IceCandidateType::Unknown;
    std::string url;
};

struct RtcStats
{
    enum class Type {
        Codec,
        InboundRtp,
        OutboundRtp,
        RemoteInboundRtp,
        Transport,
        CandidatePair,
        LocalCandidate,
        RemoteCandidate
    };

    Type type = Type::Codec;
    std::string id;
    double timestampMs = 0;
    std::variant<CodecStats, InboundRtpStats, OutboundRtpStats, RemoteInboundRtpStats, TransportStats,
                 CandidatePairStats, IceCandidateStats>
        stats;
};

} // namespace livekit
