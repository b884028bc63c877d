#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_source.h"
#include "platform/livekit/audio_stream.h"
#include "platform/livekit/livekit.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/room_delegate.h"
#include "platform/livekit/track.h"
#include "platform/livekit/track_publication.h"
#include "support/janus_test_server.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <mutex>
#include <thread>

using namespace livekit;
using testsupport::JanusTestServer;

namespace {

// One participant: a room with its recorder, and once published, its microphone.
struct Client
{
    testsupport::RoomRecorder recorder;
    std::unique_ptr<Room> room = std::make_unique<Room>();
    std::shared_ptr<AudioSource> source;
    std::shared_ptr<LocalAudioTrack> track;
    std::unique_ptr<testsupport::TonePump> pump;

    Client() { room->setDelegate(&recorder); }
    ~Client()
    {
        if (pump)
            pump->stop();
        room->setDelegate(nullptr);
        room.reset();
    }

    void publish(double hz)
    {
        source = std::make_shared<AudioSource>(48000, 1, 0);
        track = LocalAudioTrack::createLocalAudioTrack("microphone", source);
        TrackPublishOptions options;
        options.audioEncoding.maxBitrate = 32000;
        options.source = TrackSource::Microphone;
        room->localParticipant().lock()->publishTrack(track, options);
        pump = std::make_unique<testsupport::TonePump>(hz, [source = source](const std::int16_t *frame, int samples) {
            source->captureFrame(AudioFrame(std::vector<std::int16_t>(frame, frame + samples), 48000, 1, samples));
        });
        pump->start();
    }
};

std::string errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::exception &e) {
        return e.what();
    }
    return {};
}

} // namespace

class LiveKitRoomTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void carriesToneDataAndStatistics();
    void refusesBadCredentials_data();
    void refusesBadCredentials();
    void pausesAndResumesSubscription();
    void reportsLeavingParticipant();
    void refusesWithoutInitialisation();
    void relaysThroughTurn();
    void losesRoomWhenServerStopsAnswering();
    void losesRoomWhenServerDies();

private:
    std::unique_ptr<Client> connected(const QString &identity, RoomOptions options = {});

    JanusTestServer janus;
};

void LiveKitRoomTest::initTestCase()
{
    KESTOVA_REQUIRE_PRIVATE_NETWORK();
    QVERIFY(livekit::initialize(LogLevel::Info));
    QVERIFY2(janus.start(), qPrintable(janus.errorText()));
}

void LiveKitRoomTest::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning("media server log:\n%s", qPrintable(janus.log().right(3000)));
    if (!janus.isRunning()) {
        janus.stop();
        QVERIFY2(janus.start(), qPrintable(janus.errorText()));
    }
}

std::unique_ptr<Client> LiveKitRoomTest::connected(const QString &identity, RoomOptions options)
{
    auto client = std::make_unique<Client>();
    const std::string error = errorOf(
        [&] { client->room->connect(janus.url().toStdString(), janus.token(identity).toStdString(), options); });
    if (!error.empty())
        qWarning("connect failed: %s", error.c_str());
    return error.empty() ? std::move(client) : nullptr;
}

void LiveKitRoomTest::carriesToneDataAndStatistics()
{
    auto bob = connected(QStringLiteral("bob"));
    QVERIFY(bob);
    QElapsedTimer connectTime;
    connectTime.start();
    auto alice = connected(QStringLiteral("alice"));
    QVERIFY(alice);
    qInfo("connect took %lld ms", static_cast<long long>(connectTime.elapsed()));
    QCOMPARE(alice->room->roomInfo().name, std::string("1234"));
    QCOMPARE(alice->room->localParticipant().lock()->identity(), std::string("alice"));

    alice->publish(440);
    QVERIFY(alice->track->publication());
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.subscribed(), 1, 5000);
    QCOMPARE(bob->recorder.identity(), std::string("alice"));
    QVERIFY(bob->room->remoteParticipant("alice").lock());
    QVERIFY(bob->recorder.startReading());
    QTRY_VERIFY_WITH_TIMEOUT(bob->recorder.received().size() > 48000, 5000);
    const double hz = testsupport::toneFrequency(bob->recorder.received());
    QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("heard %1 Hz").arg(hz)));

    // A data packet reaches the other side with its topic and sender.
    alice->room->localParticipant().lock()->publishData({2}, false, {}, "spk");
    QTRY_VERIFY_WITH_TIMEOUT(bob->recorder.dataCount() > 0, 3000);
    const auto packet = bob->recorder.dataPackets().front();
    QCOMPARE(packet.topic, std::string("spk"));
    QVERIFY(packet.payload == std::vector<std::uint8_t>{2});
    QCOMPARE(packet.identity, std::string("alice"));

    // The sender's statistics: what it sent, over which candidate, with which codec.
    auto future = alice->track->getStats();
    QVERIFY(future.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    const std::vector<RtcStats> local = future.get();
    std::uint64_t bytesSent = 0;
    std::string codec;
    std::string selectedPair;
    std::string localCandidate;
    IceCandidateType type = IceCandidateType::Unknown;
    for (const RtcStats &record : local) {
        if (auto *outbound = std::get_if<OutboundRtpStats>(&record.stats))
            bytesSent += outbound->bytesSent;
        else if (auto *c = std::get_if<CodecStats>(&record.stats))
            codec = c->mimeType;
        else if (auto *transport = std::get_if<TransportStats>(&record.stats))
            selectedPair = transport->selectedCandidatePairId;
        else if (auto *pair = std::get_if<CandidatePairStats>(&record.stats))
            localCandidate = pair->localCandidateId;
        else if (record.type == RtcStats::Type::LocalCandidate && record.id == localCandidate)
            type = std::get<IceCandidateStats>(record.stats).candidateType;
    }
    QVERIFY(bytesSent > 1000);
    QCOMPARE(codec, std::string("audio/opus"));
    QVERIFY(!selectedPair.empty());
    QCOMPARE(type, IceCandidateType::Host);

    // The receiver's statistics carry the jitter-buffer and decoder counters.
    auto remoteFuture = bob->recorder.track()->getStats();
    QVERIFY(remoteFuture.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    bool sawInbound = false;
    for (const RtcStats &record : remoteFuture.get()) {
        if (auto *inbound = std::get_if<InboundRtpStats>(&record.stats); inbound && inbound->packetsReceived > 0) {
            sawInbound = true;
            QVERIFY(inbound->jitterBufferEmittedCount > 0);
            QVERIFY(inbound->jitterBufferDelay >= 0);
            QVERIFY(inbound->totalSamplesReceived > 48000);
        }
    }
    QVERIFY(sawInbound);

    // Leaving the room lets go of the published track and its publication, which point at each
    // other: once their last outside user drops them, they are gone.
    const std::weak_ptr<LocalAudioTrack> track = alice->track;
    const std::weak_ptr<LocalTrackPublication> publication = alice->track->publication();
    QVERIFY(!publication.expired());
    alice.reset();
    QVERIFY(track.expired());
    QVERIFY(publication.expired());
}

void LiveKitRoomTest::refusesBadCredentials_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("message");
    const QString goodRoom = janus.roomToken();
    QTest::newRow("server token of another secret")
        << janus.url()
        << janus.serverToken(QStringLiteral("wrong")) + QLatin1Char('|') + goodRoom + QStringLiteral("|x")
        << "janus: Unauthorized request";
    QTest::newRow("no room token") << janus.url() << janus.serverToken() + QStringLiteral("||x")
                                   << "videoroom: Unauthorized";
    QTest::newRow("room token of another room")
        << janus.url() << janus.serverToken() + QLatin1Char('|') + janus.roomToken(9999) + QStringLiteral("|x")
        << "videoroom: Unauthorized";
    QTest::newRow("token without identity") << janus.url() << janus.serverToken() << "invalid token";
    QTest::newRow("url without room") << QStringLiteral("ws://127.0.0.1:8188/") << janus.token(QStringLiteral("x"))
                                      << "invalid url";
    QTest::newRow("nobody listening") << QStringLiteral("ws://127.0.0.1:1/?room=1234")
                                      << janus.token(QStringLiteral("x")) << "websocket:";
}

void LiveKitRoomTest::refusesBadCredentials()
{
    QFETCH(QString, url);
    QFETCH(QString, token);
    QFETCH(QString, message);
    Room room;
    const std::string error = errorOf([&] { room.connect(url.toStdString(), token.toStdString()); });
    QVERIFY2(QString::fromStdString(error).startsWith(message), error.c_str());
}

void LiveKitRoomTest::pausesAndResumesSubscription()
{
    auto bob = connected(QStringLiteral("bob"));
    auto alice = connected(QStringLiteral("alice"));
    QVERIFY(bob && alice);
    alice->publish(440);
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.subscribed(), 1, 5000);
    auto participant = bob->room->remoteParticipant("alice").lock();
    QVERIFY(participant);
    QCOMPARE(participant->trackPublications().size(), std::size_t(1));
    auto publication = participant->trackPublications().begin()->second;

    publication->setSubscribed(false);
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.unsubscribed(), 1, 3000);
    QVERIFY(!publication->track());
    // Data still flows while the audio is paused. The relay towards a subscriber opens a moment after
    // its connection, so the first packets may go nowhere; send until one arrives.
    auto local = alice->room->localParticipant().lock();
    QTRY_VERIFY_WITH_TIMEOUT((local->publishData({1}, false, {}, "spk"), bob->recorder.dataCount() > 0), 3000);

    publication->setSubscribed(true);
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.subscribed(), 2, 3000);
    QVERIFY(bob->recorder.startReading());
    QTRY_VERIFY_WITH_TIMEOUT(bob->recorder.received().size() > 24000, 5000);
    const double hz = testsupport::toneFrequency(bob->recorder.received());
    QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("heard %1 Hz").arg(hz)));
}

void LiveKitRoomTest::reportsLeavingParticipant()
{
    auto bob = connected(QStringLiteral("bob"));
    auto alice = connected(QStringLiteral("alice"));
    QVERIFY(bob && alice);
    // Bob may hear of Alice joining before he hears of her publication (the server announces
    // it once her media is up, which on a busy machine can come later): both must be known
    // before she leaves, or there is no publication to end.
    const auto knowsAlicesTrack = [&bob] {
        const auto alicePart = bob->room->remoteParticipant("alice").lock();
        return alicePart && alicePart->trackPublications().size() == 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(knowsAlicesTrack(), 10000);
    alice.reset();
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.unpublished(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.leftIdentities(), std::vector<std::string>{"alice"}, 10000);
    QVERIFY(!bob->room->remoteParticipant("alice").lock());
    QVERIFY(bob->recorder.disconnects().empty());
}

void LiveKitRoomTest::refusesWithoutInitialisation()
{
    livekit::shutdown();
    Room room;
    const std::string error =
        errorOf([&] { room.connect(janus.url().toStdString(), janus.token(QStringLiteral("x")).toStdString()); });
    QVERIFY(livekit::initialize(LogLevel::Info));
    QCOMPARE(error, std::string("livekit is not initialised"));
    QVERIFY(connected(QStringLiteral("again")));
}

void LiveKitRoomTest::relaysThroughTurn()
{
    // A TURN server inside the test's namespace; both clients may use relay candidates only.
    QTemporaryDir folder;
    QProcess turn;
    turn.setProcessChannelMode(QProcess::MergedChannels);
    turn.start(QStringLiteral("turnserver"),
               {QStringLiteral("-n"), QStringLiteral("--listening-ip=198.18.0.1"),
                QStringLiteral("--relay-ip=198.18.0.1"), QStringLiteral("--listening-port=3478"),
                QStringLiteral("--min-port=49152"), QStringLiteral("--max-port=49300"),
                QStringLiteral("--lt-cred-mech"), QStringLiteral("--user=kuser:kpass"),
                QStringLiteral("--realm=kestova"), QStringLiteral("--no-tls"), QStringLiteral("--no-dtls"),
                QStringLiteral("--no-cli"), QStringLiteral("--log-file=stdout"),
                QStringLiteral("--userdb=") + folder.filePath(QStringLiteral("turndb"))});
    if (!turn.waitForStarted(3000))
        QSKIP("turnserver is not installed");
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += turn.readAll()).contains("Total General servers")
                                 || turn.state() != QProcess::Running,
                             5000);
    QVERIFY(turn.state() == QProcess::Running);
    RoomOptions options;
    options.iceServers.push_back({"turn:198.18.0.1:3478", "kuser", "kpass"});
    options.relayOnly = true;
    auto bob = connected(QStringLiteral("bob"), options);
    auto alice = connected(QStringLiteral("alice"), options);
    QVERIFY(bob && alice);
    alice->publish(440);
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.subscribed(), 1, 5000);
    auto future = alice->track->getStats();
    QVERIFY(future.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    std::string localId;
    IceCandidateType type = IceCandidateType::Unknown;
    for (const RtcStats &record : future.get()) {
        if (auto *pair = std::get_if<CandidatePairStats>(&record.stats))
            localId = pair->localCandidateId;
        else if (record.type == RtcStats::Type::LocalCandidate && record.id == localId)
            type = std::get<IceCandidateStats>(record.stats).candidateType;
    }
    QCOMPARE(type, IceCandidateType::Relay);
    alice.reset();
    bob.reset();
    turn.terminate();
    turn.waitForFinished(3000);
}

void LiveKitRoomTest::losesRoomWhenServerStopsAnswering()
{
    RoomOptions options;
    options.keepaliveIntervalMs = 100;
    options.keepaliveTimeoutMs = 600;
    auto bob = connected(QStringLiteral("bob"), options);
    QVERIFY(bob);
    janus.pause();
    QElapsedTimer lost;
    lost.start();
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.disconnects(),
                              std::vector<int>{static_cast<int>(DisconnectReason::ConnectionTimeout)}, 3000);
    janus.resume();
    QVERIFY(lost.elapsed() < 1500);
}

void LiveKitRoomTest::losesRoomWhenServerDies()
{
    auto bob = connected(QStringLiteral("bob"));
    QVERIFY(bob);
    janus.kill();
    QTRY_COMPARE_WITH_TIMEOUT(bob->recorder.disconnects(),
                              std::vector<int>{static_cast<int>(DisconnectReason::SignalClose)}, 3000);
}

KESTOVA_MEDIA_TEST_MAIN(LiveKitRoomTest)
#include "test_livekit_room.moc"
