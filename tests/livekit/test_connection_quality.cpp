#include "livekit/connection_quality.h"
#include "livekit/livekit_connection.h"
#include "support/test_main.h"

using namespace livekit;

namespace {

RtcStats record(RtcStats::Type type, const std::string &id, decltype(RtcStats::stats) stats)
{
    RtcStats r;
    r.type = type;
    r.id = id;
    r.stats = std::move(stats);
    return r;
}

// One poll's records: a transport naming its pair, the pair with a round-trip time, a local
// candidate, an outbound stream, the remote's receiver report and the codec.
std::vector<RtcStats> poll(double rttSeconds, std::uint64_t bytesSent, std::uint64_t transportSent = 5000,
                           IceCandidateType type = IceCandidateType::Host, bool withPair = true)
{
    std::vector<RtcStats> records;
    TransportStats transport;
    transport.bytesSent = transportSent;
    transport.bytesReceived = 2000;
    transport.selectedCandidatePairId = withPair ? "pair" : "";
    records.push_back(record(RtcStats::Type::Transport, "transport", transport));
    if (withPair) {
        CandidatePairStats pair;
        pair.state = "succeeded";
        pair.nominated = true;
        pair.currentRoundTripTime = rttSeconds;
        pair.localCandidateId = "local";
        records.push_back(record(RtcStats::Type::CandidatePair, "pair", pair));
        IceCandidateStats candidate;
        candidate.protocol = "udp";
        candidate.candidateType = type;
        records.push_back(record(RtcStats::Type::LocalCandidate, "local", candidate));
    }
    OutboundRtpStats outbound;
    outbound.kind = "audio";
    outbound.bytesSent = bytesSent;
    outbound.targetBitrate = 32000;
    records.push_back(record(RtcStats::Type::OutboundRtp, "out", outbound));
    RemoteInboundRtpStats remote;
    remote.fractionLost = 0.0125;
    remote.jitter = 0.0036;
    records.push_back(record(RtcStats::Type::RemoteInboundRtp, "remote", remote));
    CodecStats codec;
    codec.mimeType = "audio/opus";
    records.push_back(record(RtcStats::Type::Codec, "codec", codec));
    return records;
}

QString text(const QVariantMap &map, const char *key)
{
    return map.value(QLatin1String(key)).toString();
}

} // namespace

class ConnectionQualityTest : public QObject
{
    Q_OBJECT
private slots:
    void firstPoll();
    void laterPollMeasuresRateAndTraffic();
    void smoothsRoundTrip_data();
    void smoothsRoundTrip();
    void keepsLastConnectionType();
    void disconnectReasonTexts_data();
    void disconnectReasonTexts();
    void neteqLine();
};

void ConnectionQualityTest::firstPoll()
{
    ConnectionQualityState state;
    state.reset();
    const QVariantMap map = evaluateConnectionQuality(poll(0.05, 1000), 1000, 0, state);
    QCOMPARE(text(map, "rtt"), QStringLiteral("50 ms"));
    QCOMPARE(state.smoothedRttMs, 50.0);
    QCOMPARE(text(map, "packetLoss"), QStringLiteral("1.3%")); // 1.25 in fixed notation, one decimal
    QCOMPARE(text(map, "jitter"), QStringLiteral("4 ms"));
    QCOMPARE(text(map, "bitrate"), QStringLiteral("32/128 kbps")); // the target estimate, no bitrate applied
    QCOMPARE(text(map, "connectionType"), QStringLiteral("UDP (host)"));
    QCOMPARE(text(map, "codec"), QStringLiteral("opus"));
    QCOMPARE(text(map, "uploaded"), QStringLiteral("0.00 MB"));
    QCOMPARE(text(map, "downloaded"), QStringLiteral("0.00 MB"));
}

void ConnectionQualityTest::laterPollMeasuresRateAndTraffic()
{
    ConnectionQualityState state;
    evaluateConnectionQuality(poll(0.05, 1000), 1000, 48000, state);
    // 4000 bytes in 2 s = 16 kbps; 2 MiB more on the transport.
    const QVariantMap map = evaluateConnectionQuality(poll(0.05, 5000, 5000 + 2 * 1048576), 3000, 48000, state);
    QCOMPARE(text(map, "bitrate"), QStringLiteral("16/48 kbps"));
    QCOMPARE(text(map, "uploaded"), QStringLiteral("2.00 MB"));
    QCOMPARE(text(map, "downloaded"), QStringLiteral("0.00 MB"));
    // A poll without a new sample of the stream keeps the last measured rate.
    std::vector<RtcStats> noOutbound = poll(0.05, 0);
    noOutbound.erase(std::remove_if(noOutbound.begin(), noOutbound.end(),
                                    [](const RtcStats &r) { return r.type == RtcStats::Type::OutboundRtp; }),
                     noOutbound.end());
    QCOMPARE(text(evaluateConnectionQuality(noOutbound, 5000, 48000, state), "bitrate"), QStringLiteral("16/48 kbps"));
    QVERIFY(state.outboundSamples.isEmpty());
}

void ConnectionQualityTest::smoothsRoundTrip_data()
{
    QTest::addColumn<double>("firstMs");
    QTest::addColumn<double>("nextMs");
    QTest::addColumn<QString>("shown"); // empty: no "rtt" in the map
    QTest::addColumn<double>("smoothed");
    QTest::newRow("jump is capped and slow") << 50.0 << 500.0 << QStringLiteral("68 ms") << 68.0;
    QTest::newRow("drop moves a quarter") << 500.0 << 450.0 << QStringLiteral("488 ms") << 487.5;
    QTest::newRow("ten seconds is ignored") << 50.0 << 10000.0 << QString() << 50.0;
    QTest::newRow("zero is ignored") << 50.0 << 0.0 << QString() << 50.0;
}

void ConnectionQualityTest::smoothsRoundTrip()
{
    QFETCH(double, firstMs);
    QFETCH(double, nextMs);
    QFETCH(QString, shown);
    QFETCH(double, smoothed);
    ConnectionQualityState state;
    evaluateConnectionQuality(poll(firstMs / 1000, 1000), 1000, 0, state);
    const QVariantMap map = evaluateConnectionQuality(poll(nextMs / 1000, 2000), 3000, 0, state);
    QCOMPARE(text(map, "rtt"), shown);
    QCOMPARE(map.contains(QStringLiteral("rtt")), !shown.isEmpty());
    QCOMPARE(state.smoothedRttMs, smoothed);
}

void ConnectionQualityTest::keepsLastConnectionType()
{
    ConnectionQualityState state;
    evaluateConnectionQuality(poll(0.05, 1000, 5000, IceCandidateType::Relay), 1000, 0, state);
    const QVariantMap map =
        evaluateConnectionQuality(poll(0.05, 2000, 5000, IceCandidateType::Relay, false), 3000, 0, state);
    QCOMPARE(text(map, "connectionType"), QStringLiteral("UDP (relay)"));
    QVERIFY(!map.contains(QStringLiteral("rtt")));
}

void ConnectionQualityTest::disconnectReasonTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("0") << 0 << QStringLiteral("语音连接已断开");
    QTest::newRow("1") << 1 << QStringLiteral("语音连接已主动断开");
    QTest::newRow("2") << 2 << QStringLiteral("语音连接断开：账号在其他端登录");
    QTest::newRow("3") << 3 << QStringLiteral("语音服务正在重启");
    QTest::newRow("4") << 4 << QStringLiteral("语音连接断开：你已被移出房间");
    QTest::newRow("5") << 5 << QStringLiteral("语音房间已关闭");
    QTest::newRow("6") << 6 << QStringLiteral("语音连接已断开");
    QTest::newRow("7") << 7 << QStringLiteral("语音连接失败：加入房间失败");
    QTest::newRow("8") << 8 << QStringLiteral("语音连接迁移中断");
    QTest::newRow("9") << 9 << QStringLiteral("语音连接断开：信令关闭");
    QTest::newRow("10") << 10 << QStringLiteral("语音房间已关闭");
    QTest::newRow("11") << 11 << QStringLiteral("语音连接已断开");
    QTest::newRow("12") << 12 << QStringLiteral("语音连接已断开");
    QTest::newRow("13") << 13 << QStringLiteral("语音连接已断开");
    QTest::newRow("14") << 14 << QStringLiteral("语音连接超时");
    QTest::newRow("15") << 15 << QStringLiteral("语音连接异常：媒体链路失败");
    QTest::newRow("16") << 16 << QStringLiteral("语音连接已断开");
}

void ConnectionQualityTest::disconnectReasonTexts()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QCOMPARE(disconnectReasonText(code), message);
}

void ConnectionQualityTest::neteqLine()
{
    NeteqSample previous;
    previous.jitterBufferEmittedCount = 48000;
    previous.totalSamplesReceived = 48000;
    NeteqSample current = previous;
    current.jitterBufferDelay = 96000 * 0.02; // 20 ms for each of 96000 samples
    current.jitterBufferTargetDelay = 96000 * 0.06;
    current.jitterBufferMinimumDelay = 96000 * 0.06;
    current.jitterBufferEmittedCount = 48000 + 96000;
    current.totalSamplesReceived = 48000 + 96000;
    current.concealedSamples = 960;
    QCOMPARE(neteqStatsLine(QStringLiteral("alice"), previous, current).value_or(QString()),
             QStringLiteral("neteq stats identity=alice jb_ms=20.0 target_ms=60.0 min_ms=60.0 concealed_pct=1.00 "
                            "accel_pct=0.00 decel_pct=0.00"));
    QVERIFY(!neteqStatsLine(QStringLiteral("alice"), previous, previous));
}

KESTOVA_TEST_MAIN(ConnectionQualityTest)
#include "test_connection_quality.moc"
