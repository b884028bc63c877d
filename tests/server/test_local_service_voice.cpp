// The local service's voice: it starts the media server itself, and the media tokens it
// hands to two members of a room let their connections talk to each other. Runs in the
// test's own network namespace.
#include "local_service_rig.h"

#include "platform/livekit/audio_frame.h"
#include "platform/livekit/audio_source.h"
#include "platform/livekit/livekit.h"
#include "platform/livekit/participant.h"
#include "platform/livekit/room.h"
#include "platform/livekit/track.h"
#include "platform/livekit/track_publication.h"
#include "server/api_types.h"
#include "server/janus_control.h"
#include "server/rooms_api.h"
#include "support/log_capture.h"
#include "support/media_room_recorder.h"
#include "support/private_network.h"
#include "support/tone_pump.h"

#include <QJsonDocument>
#include <QSignalSpy>

#include <csignal>

using servertest::ServiceRig;

namespace {

struct Participant
{
    testsupport::RoomRecorder recorder;
    std::unique_ptr<livekit::Room> room = std::make_unique<livekit::Room>();
    std::shared_ptr<livekit::AudioSource> source;
    std::shared_ptr<livekit::LocalAudioTrack> track;
    std::unique_ptr<testsupport::TonePump> pump;

    Participant() { room->setDelegate(&recorder); }
    ~Participant()
    {
        if (pump)
            pump->stop();
        room->setDelegate(nullptr);
        room.reset();
    }

    std::string connect(const QString &url, const QString &token)
    {
        try {
            room->connect(url.toStdString(), token.toStdString(), livekit::RoomOptions{});
        } catch (const std::exception &e) {
            return e.what();
        }
        return {};
    }

    void publish(double hz, int bitrate)
    {
        source = std::make_shared<livekit::AudioSource>(48000, 1, 0);
        track = livekit::LocalAudioTrack::createLocalAudioTrack("microphone", source);
        livekit::TrackPublishOptions options;
        options.audioEncoding.maxBitrate = bitrate;
        options.source = livekit::TrackSource::Microphone;
        room->localParticipant().lock()->publishTrack(track, options);
        pump = std::make_unique<testsupport::TonePump>(hz, [source = source](const std::int16_t *frame, int samples) {
            source->captureFrame(
                livekit::AudioFrame(std::vector<std::int16_t>(frame, frame + samples), 48000, 1, samples));
        });
        pump->start();
    }
};

} // namespace

class LocalServiceVoiceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void membersTalkThroughTheMediaServer();
    void crashedMediaServerIsRestarted();

private:
    QJsonObject call(const QString &actor, const QByteArray &method, const QString &path, const QJsonObject &body,
                     int *status = nullptr);
    QString signUp(const QString &name, const QString &phone);

    ServiceRig *rig = nullptr;
    QHash<QString, QString> tokens;
};

QJsonObject LocalServiceVoiceTest::call(const QString &actor, const QByteArray &method, const QString &path,
                                        const QJsonObject &body, int *status)
{
    localservice::ApiRequest request;
    request.method = method;
    request.path = path;
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    if (!actor.isEmpty())
        request.headers.append({"Authorization", "Bearer " + tokens.value(actor).toLatin1()});
    const localservice::ApiReply reply = rig->service->handle(request);
    if (status)
        *status = reply.status;
    return QJsonDocument::fromJson(reply.body).object();
}

QString LocalServiceVoiceTest::signUp(const QString &name, const QString &phone)
{
    QSignalSpy codes(rig->service.get(), &localservice::LocalService::codeSent);
    call(QString(), "POST", QStringLiteral("/v1/auth/send-code"), {{"phone", phone}});
    const QJsonObject login = call(QString(), "POST", QStringLiteral("/v1/auth/login"),
                                   {{"phone", phone},
                                    {"code", codes.value(0).value(1).toString()},
                                    {"deviceId", "d"},
                                    {"agreedLegalVersion", "terms@local-1+privacy@local-1"}});
    tokens.insert(name, login.value("accessToken").toString());
    return login.value("userId").toString();
}

void LocalServiceVoiceTest::initTestCase()
{
    KESTOVA_REQUIRE_PRIVATE_NETWORK();
    QVERIFY(livekit::initialize(livekit::LogLevel::Info));
    localservice::LocalServiceConfig config = servertest::defaultConfig();
    config.media = true;
    rig = new ServiceRig(config);
    QVERIFY(rig->start());
    QVERIFY2(rig->service->voiceUnavailableReason().isEmpty(), qPrintable(rig->service->voiceUnavailableReason()));
}

void LocalServiceVoiceTest::cleanupTestCase()
{
    delete rig;
}

void LocalServiceVoiceTest::membersTalkThroughTheMediaServer()
{
    const QString aliceId = signUp("alice", "13700137001");
    const QString bobId = signUp("bob", "13700137002");
    const QString roomId = call("alice", "POST", "/v1/rooms", {{"bitrate", 32000}}).value("roomId").toString();
    const QString otherRoomId = call("alice", "POST", "/v1/rooms/persistent", {}).value("roomId").toString();
    QCOMPARE(call("alice", "POST", "/v1/rooms/" + roomId + "/join", {{"sessionId", "a"}}).value("outcome").toString(),
             QStringLiteral("joined"));
    QCOMPARE(call("bob", "POST", "/v1/rooms/" + roomId + "/join", {{"sessionId", "b"}}).value("outcome").toString(),
             QStringLiteral("joined"));

    const QJsonObject aliceGrant = call("alice", "POST", "/v1/rooms/" + roomId + "/livekit-token", {});
    const QJsonObject bobGrant = call("bob", "POST", "/v1/rooms/" + roomId + "/livekit-token", {});
    QVERIFY(aliceGrant.value("url").toString().startsWith(QLatin1String("ws://127.0.0.1:")));
    QVERIFY(aliceGrant.value("url").toString().endsWith(
        QStringLiteral("/?room=%1").arg(rig->service->rooms()->room(roomId)->mediaRoom)));
    QCOMPARE(aliceGrant.value("roomBitrate").toInt(), 32000);
    QVERIFY(aliceGrant.value("canPublish").toBool());
    const QStringList parts = bobGrant.value("token").toString().split(QLatin1Char('|'));
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts.at(2), bobId);

    QTRY_VERIFY_WITH_TIMEOUT(rig->service->media()->hasRoom(rig->service->rooms()->room(roomId)->mediaRoom), 5000);
    Participant bob;
    Participant alice;
    QCOMPARE(bob.connect(bobGrant.value("url").toString(), bobGrant.value("token").toString()), std::string());
    QCOMPARE(alice.connect(aliceGrant.value("url").toString(), aliceGrant.value("token").toString()), std::string());
    alice.publish(440, aliceGrant.value("roomBitrate").toInt());
    QTRY_COMPARE_WITH_TIMEOUT(bob.recorder.subscribed(), 1, 5000);
    QCOMPARE(bob.recorder.identity(), aliceId.toStdString());
    QVERIFY(bob.recorder.startReading());
    QTRY_VERIFY_WITH_TIMEOUT(bob.recorder.received().size() > 48000, 5000);
    const double hz = testsupport::toneFrequency(bob.recorder.received());
    QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("heard %1 Hz").arg(hz)));

    // A room's token opens that room only.
    QTRY_VERIFY_WITH_TIMEOUT(rig->service->media()->hasRoom(rig->service->rooms()->room(otherRoomId)->mediaRoom), 5000);
    Participant intruder;
    const QString otherUrl = QStringLiteral("ws://127.0.0.1:%1").arg(QUrl(bobGrant.value("url").toString()).port())
                             + QStringLiteral("/?room=%1").arg(rig->service->rooms()->room(otherRoomId)->mediaRoom);
    const std::string refused = intruder.connect(otherUrl, bobGrant.value("token").toString());
    QVERIFY2(QString::fromStdString(refused).contains(QLatin1String("Unauthorized")), refused.c_str());

    // A voice mute is told in the next token: the member may listen but not speak.
    int status = 0;
    call("alice", "PUT", "/v1/rooms/" + roomId + "/members/" + bobId + "/mutes/voice", {}, &status);
    QCOMPARE(status, 200);
    QVERIFY(!call("bob", "POST", "/v1/rooms/" + roomId + "/livekit-token", {}).value("canPublish").toBool());
}

void LocalServiceVoiceTest::crashedMediaServerIsRestarted()
{
    localservice::JanusControl *media = rig->service->media();
    media->setRestartDelays(10, 1000);
    signUp("carol", "13700137003");
    const QString roomId = call("carol", "POST", "/v1/rooms/persistent", {}).value("roomId").toString();
    QCOMPARE(call("carol", "POST", "/v1/rooms/" + roomId + "/join", {{"sessionId", "c"}}).value("outcome").toString(),
             QStringLiteral("joined"));
    const qint64 mediaRoom = rig->service->rooms()->room(roomId)->mediaRoom;
    QTRY_VERIFY_WITH_TIMEOUT(media->hasRoom(mediaRoom), 5000);
    const QJsonObject grant = call("carol", "POST", "/v1/rooms/" + roomId + "/livekit-token", {});

    // Killed twice in a row: each time it comes back, the second time after a longer pause.
    testsupport::LogCapture logs;
    for (const char *pause : {"restart_in_ms=10", "restart_in_ms=20"}) {
        const qint64 crashed = media->processId();
        QVERIFY(crashed > 0);
        QCOMPARE(::kill(pid_t(crashed), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(media->processId() != 0 && media->processId() != crashed, 10000);
        QVERIFY(logs.contains(QStringLiteral("server.media"), QLatin1String(pause)));
        // Its rooms are made again.
        QTRY_VERIFY_WITH_TIMEOUT(media->hasRoom(mediaRoom), 5000);
    }
    QVERIFY(media->available());

    // The address and the token handed out before the crashes still open the room.
    Participant carol;
    QCOMPARE(carol.connect(grant.value("url").toString(), grant.value("token").toString()), std::string());
}

KESTOVA_MEDIA_TEST_MAIN(LocalServiceVoiceTest)
#include "test_local_service_voice.moc"
