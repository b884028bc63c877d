#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"
#include "audio/fake_capture_backend.h"
#include "audio/memory_audio_storage.h"
#include "audio/scripted_detector.h"
#include "livekit/fake_livekit_connection.h"
#include "livekit/media_session_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTimer>

using testsupport::FakeCaptureBackend;
using testsupport::FakeHttpClient;
using testsupport::FakeLiveKitConnection;
using testsupport::FakeMicrophone;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::MemoryAudioStorage;
using testsupport::ScriptedDetector;

namespace {

const QString kSession = QStringLiteral("livekit.session");

QString tokenPath(const QString &roomId)
{
    return QStringLiteral("/v1/rooms/%1/livekit-token").arg(roomId);
}

QJsonObject grant(const QString &roomId, const QJsonObject &extra = {})
{
    QJsonObject reply{{"token", "tok-" + roomId}, {"url", "ws://sfu.test/?room=" + roomId}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        reply.insert(it.key(), it.value());
    return reply;
}

// Runs one tick of a timer of the service as if its interval had passed, without waiting for it.
void tick(QTimer *timer)
{
    QVERIFY(timer);
    const bool repeating = !timer->isSingleShot();
    if (!repeating)
        timer->stop();
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
    if (repeating && timer->isActive())
        timer->start(); // the next real tick is a whole interval away again
}

struct Rig
{
    FakeHttpClient http;
    MemoryAudioStorage storage;
    std::shared_ptr<FakeMicrophone> mic = std::make_shared<FakeMicrophone>();
    std::unique_ptr<AudioCaptureManager> capture;
    AudioPlaybackManager playback;
    FakeLiveKitConnection *own = nullptr;
    FakeLiveKitConnection *parent = nullptr;
    qint64 nowMs = 0;
    std::unique_ptr<MediaSessionService> media;

    Rig()
    {
        AudioCaptureManager::Dependencies audio;
        audio.engine.backendFactory = [m = mic] { return std::make_unique<FakeCaptureBackend>(m); };
        audio.engine.detectorLibrary = ScriptedDetector::calls();
        audio.listCaptureDevices = [] { return QList<AudioDeviceInfo>{{"fake-endpoint", "Desk microphone", true}}; };
        capture = std::make_unique<AudioCaptureManager>(&storage, nullptr, audio);

        MediaSessionService::Dependencies deps;
        deps.connectionFactory = [this](LiveKitConnection::Role role) {
            auto connection = std::make_unique<FakeLiveKitConnection>(role);
            (role == LiveKitConnection::Role::Own ? own : parent) = connection.get();
            return std::unique_ptr<LiveKitConnection>(std::move(connection));
        };
        deps.clock = [this] { return nowMs; };
        media = std::make_unique<MediaSessionService>(&http, capture.get(), &playback, nullptr, deps);
    }
    ~Rig()
    {
        media.reset();
        capture.reset();
    }

    QTimer *timer(const char *name) const { return media->findChild<QTimer *>(QLatin1String(name)); }
    qsizetype requests(const QString &roomId) const { return http.callsTo(tokenPath(roomId)).size(); }
    // Answers the latest token request of a room.
    void answer(const QString &roomId, const HttpResponse &response)
    {
        http.answer(tokenPath(roomId), requests(roomId) - 1, response);
    }
    // Enters a room (and its parent) and brings both connections up.
    void enter(const QString &roomId, const QString &parentId = QString())
    {
        media->syncRooms(true, roomId, parentId);
        answer(roomId, jsonReply(200, grant(roomId)));
        own->finishConnect(roomId);
        if (!parentId.isEmpty()) {
            answer(parentId, jsonReply(200, grant(parentId)));
            parent->finishConnect(parentId);
        }
    }
};

QStringList names(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QStringList() : spy.last().first().toStringList();
}

} // namespace

class MediaSessionServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void reconnectDelayTable_data();
    void reconnectDelayTable();
    void retriesFailedTokenWithCappedDelay_data();
    void retriesFailedTokenWithCappedDelay();
    void connectResetsBackOff();
    void refusedTokenIsFinal_data();
    void refusedTokenIsFinal();
    void busyTokenRepliesRetried_data();
    void busyTokenRepliesRetried();
    void staleTokenRepliesDropped();
    void noTokenRequestStorm();
    void tokenBitrateAndPublishPermission_data();
    void tokenBitrateAndPublishPermission();
    void publishRule();
    void parentPermissionAndDetach();
    void leavingEndsBothSessionsOnce();
    void roomSwitchWhileConnected();
    void publishFailureRecyclesConnection();
    void frameFanOutFollowsBroadcast();
    void participantGainSubscribes();
    void speakingFlagsMoveBetweenLists();
    void speakingFlagBlockedByMuteNotByParent();
    void remoteSpeakersSortedAndDeduplicated();
    void remoteSpeakerExpiry_data();
    void remoteSpeakerExpiry();
    void speakingResentOnceASecond();
};

void MediaSessionServiceTest::reconnectDelayTable_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<int>("delay");
    QTest::newRow("first") << 0 << 1000;
    QTest::newRow("second") << 1 << 2000;
    QTest::newRow("third") << 2 << 4000;
    QTest::newRow("fourth") << 3 << 8000;
    QTest::newRow("fifth") << 4 << 16000;
    QTest::newRow("sixth is capped") << 5 << 30000;
    QTest::newRow("seventh stays capped") << 6 << 30000;
    QTest::newRow("far on") << 40 << 30000;
}

void MediaSessionServiceTest::reconnectDelayTable()
{
    QFETCH(int, attempt);
    QFETCH(int, delay);
    QCOMPARE(MediaSessionService::reconnectDelayMs(attempt), delay);
}

void MediaSessionServiceTest::retriesFailedTokenWithCappedDelay_data()
{
    QTest::addColumn<HttpResponse>("failure");
    QTest::newRow("no answer") << testsupport::networkErrorReply();
    QTest::newRow("timed out") << testsupport::timedOutReply();
    QTest::newRow("503") << jsonReply(503, {{"code", "UNAVAILABLE"}});
    QTest::newRow("302") << jsonReply(302);
    QTest::newRow("token missing") << jsonReply(200, {{"url", "ws://sfu.test/"}});
    QTest::newRow("url missing") << jsonReply(200, {{"token", "t"}});
}

void MediaSessionServiceTest::retriesFailedTokenWithCappedDelay()
{
    QFETCH(HttpResponse, failure);
    Rig rig;
    LogCapture log;
    rig.media->syncRooms(true, QStringLiteral("r1"), QString());
    QTimer *retry = rig.timer("ownRetryTimer");
    const QList<int> expected{1000, 2000, 4000, 8000, 16000, 30000, 30000};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(rig.requests(QStringLiteral("r1")), i + 1);
        rig.answer(QStringLiteral("r1"), failure);
        QVERIFY(retry->isActive());
        QCOMPARE(retry->interval(), expected.at(i));
        QVERIFY(log.contains(kSession, QStringLiteral("attempt=%1 delay_ms=%2").arg(i + 1).arg(expected.at(i))));
        // Nothing is asked again before the timer runs out.
        rig.media->syncRooms(true, QStringLiteral("r1"), QString());
        QCOMPARE(rig.requests(QStringLiteral("r1")), i + 1);
        tick(retry);
    }
    QVERIFY(rig.own->connects.isEmpty());
}

void MediaSessionServiceTest::connectResetsBackOff()
{
    Rig rig;
    rig.media->syncRooms(true, QStringLiteral("r1"), QString());
    QTimer *retry = rig.timer("ownRetryTimer");
    rig.answer(QStringLiteral("r1"), jsonReply(503));
    tick(retry);
    rig.answer(QStringLiteral("r1"), jsonReply(503));
    QCOMPARE(retry->interval(), 2000);
    tick(retry);
    rig.answer(QStringLiteral("r1"), jsonReply(200, grant(QStringLiteral("r1"))));
    QCOMPARE(rig.own->connects.size(), 1);
    QCOMPARE(rig.own->connects.first().second, QStringLiteral("tok-r1"));
    rig.own->finishConnect();
    rig.own->fail();
    QVERIFY(retry->isActive());
    QCOMPARE(retry->interval(), 1000);
    // The retry finds the connection idle and asks for a new token.
    tick(retry);
    QCOMPARE(rig.requests(QStringLiteral("r1")), 4);
}

void MediaSessionServiceTest::refusedTokenIsFinal_data()
{
    QTest::addColumn<bool>("parentSide");
    QTest::addColumn<int>("status");
    QTest::newRow("own room, 403") << false << 403;
    QTest::newRow("own room, 404") << false << 404;
    QTest::newRow("parent room, 403") << true << 403;
    QTest::newRow("parent room, 401") << true << 401;
}

void MediaSessionServiceTest::refusedTokenIsFinal()
{
    QFETCH(bool, parentSide);
    QFETCH(int, status);
    Rig rig;
    LogCapture log;
    const QString room = parentSide ? QStringLiteral("p1") : QStringLiteral("r1");
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.answer(room, jsonReply(status, {{"code", "FORBIDDEN"}, {"message", "no"}}));
    QVERIFY(!rig.timer(parentSide ? "parentRetryTimer" : "ownRetryTimer")->isActive());
    QVERIFY(log.contains(kSession,
                         QStringLiteral("livekit token fetch failed session=%1 room_id=%2 status=%3 code=FORBIDDEN")
                             .arg(parentSide ? "parent" : "own", room)
                             .arg(status)));
    QVERIFY(log.contains(kSession, QStringLiteral("deterministic reject, not retrying room_id=") + room));

    // The same rooms again at once (the active room changes many times a second) ask nothing more
    // of the refused one.
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    QCOMPARE(rig.requests(room), 1);

    // Later, the refusal of the own room was final for that attempt only: the next change of the
    // active room asks again without leaving the room. The parent room stays refused until it
    // changes.
    rig.nowMs += MediaSessionService::reconnectDelayMs(0);
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    QCOMPARE(rig.requests(room), parentSide ? 1 : 2);
    QVERIFY(!rig.timer(parentSide ? "parentRetryTimer" : "ownRetryTimer")->isActive());

    // Another room is asked for at once.
    if (parentSide)
        rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p2"));
    else
        rig.media->syncRooms(true, QStringLiteral("r2"), QStringLiteral("p1"));
    QCOMPARE(rig.requests(parentSide ? QStringLiteral("p2") : QStringLiteral("r2")), 1);

    // Leaving and entering the refused room again asks again.
    const qsizetype before = rig.requests(room);
    rig.media->syncRooms(false, QString(), QString());
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    QCOMPARE(rig.requests(room), before + 1);
}

// A token reply that asks to come back later (request time-out, too many requests, a server
// error) is retried with the back-off, for either room.
void MediaSessionServiceTest::busyTokenRepliesRetried_data()
{
    QTest::addColumn<bool>("parentSide");
    QTest::addColumn<int>("status");
    QTest::newRow("own room, 408") << false << 408;
    QTest::newRow("own room, 429") << false << 429;
    QTest::newRow("own room, 500") << false << 500;
    QTest::newRow("parent room, 408") << true << 408;
    QTest::newRow("parent room, 429") << true << 429;
    QTest::newRow("parent room, 502") << true << 502;
}

void MediaSessionServiceTest::busyTokenRepliesRetried()
{
    QFETCH(bool, parentSide);
    QFETCH(int, status);
    Rig rig;
    LogCapture log;
    const QString room = parentSide ? QStringLiteral("p1") : QStringLiteral("r1");
    QTimer *retry = rig.timer(parentSide ? "parentRetryTimer" : "ownRetryTimer");
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.answer(room, jsonReply(status));
    QVERIFY(retry->isActive());
    QCOMPARE(retry->interval(), 1000);
    QVERIFY(!log.contains(kSession, QStringLiteral("deterministic reject")));
    tick(retry);
    QCOMPARE(rig.requests(room), 2);
    rig.answer(room, jsonReply(status));
    QCOMPARE(retry->interval(), 2000);
    tick(retry);
    rig.answer(room, jsonReply(200, grant(room)));
    FakeLiveKitConnection *connection = parentSide ? rig.parent : rig.own;
    QCOMPARE(connection->connects.size(), 1);
}

void MediaSessionServiceTest::staleTokenRepliesDropped()
{
    Rig rig;
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    // The user moves on before the answers come.
    rig.media->syncRooms(true, QStringLiteral("r2"), QString());
    QSignalSpy bitrate(rig.media.get(), &MediaSessionService::roomBitrateChanged);
    LogCapture log;
    rig.http.answer(tokenPath(QStringLiteral("r1")), 0, jsonReply(200, grant(QStringLiteral("r1"))));
    rig.http.answer(tokenPath(QStringLiteral("p1")), 0, jsonReply(503));
    QVERIFY(rig.own->connects.isEmpty());
    QVERIFY(rig.parent->connects.isEmpty());
    QVERIFY(!rig.timer("parentRetryTimer")->isActive());
    QVERIFY(!rig.timer("ownRetryTimer")->isActive());
    QCOMPARE(bitrate.count(), 0);
    QCOMPARE(log.count(kSession, QString()), 0);

    // A reply after leaving is dropped the same way.
    rig.media->syncRooms(false, QString(), QString());
    log.clear();
    rig.answer(QStringLiteral("r2"), jsonReply(200, grant(QStringLiteral("r2"))));
    QVERIFY(rig.own->connects.isEmpty());
    QCOMPARE(log.count(kSession, QString()), 0);
}

void MediaSessionServiceTest::noTokenRequestStorm()
{
    Rig rig;
    // The active room changes many times a second (members, settings); the rooms stay.
    for (int i = 0; i < 5; ++i)
        rig.media->syncRooms(true, QStringLiteral("r1"), QString());
    QCOMPARE(rig.requests(QStringLiteral("r1")), 1);
    // A parent arrives: only the parent is asked for.
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    QCOMPARE(rig.requests(QStringLiteral("r1")), 1);
    QCOMPARE(rig.requests(QStringLiteral("p1")), 1);
    // While connecting and once connected nothing is asked either.
    rig.answer(QStringLiteral("r1"), jsonReply(200, grant(QStringLiteral("r1"))));
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.own->finishConnect();
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    QCOMPARE(rig.requests(QStringLiteral("r1")), 1);
    QCOMPARE(rig.requests(QStringLiteral("p1")), 1);
    QCOMPARE(rig.own->connects.size(), 1);
    // The parent leaving does not restart the own session.
    rig.media->syncRooms(true, QStringLiteral("r1"), QString());
    QCOMPARE(rig.requests(QStringLiteral("r1")), 1);
    QVERIFY(rig.own->connected);
    // An active room without an id changes nothing.
    rig.media->syncRooms(true, QString(), QString());
    QCOMPARE(rig.http.calls.size(), 2);
    QVERIFY(rig.own->connected);
    QVERIFY(rig.own->disconnectCalls.isEmpty());
}

void MediaSessionServiceTest::tokenBitrateAndPublishPermission_data()
{
    QTest::addColumn<int>("roomStateBitrate");
    QTest::addColumn<QJsonObject>("extra");
    QTest::addColumn<int>("bitrate");
    QTest::addColumn<bool>("publishes");
    QTest::newRow("reply names both") << 32000 << QJsonObject{{"roomBitrate", 128000}, {"canPublish", true}} << 128000
                                      << true;
    QTest::newRow("no bitrate: the room's") << 32000 << QJsonObject{} << 32000 << true;
    QTest::newRow("no bitrate, room unknown: default") << 0 << QJsonObject{} << 64000 << true;
    QTest::newRow("zero bitrate: the room's") << 16000 << QJsonObject{{"roomBitrate", 0}} << 16000 << true;
    QTest::newRow("listener") << 32000 << QJsonObject{{"canPublish", false}} << 32000 << false;
}

void MediaSessionServiceTest::tokenBitrateAndPublishPermission()
{
    QFETCH(int, roomStateBitrate);
    QFETCH(QJsonObject, extra);
    QFETCH(int, bitrate);
    QFETCH(bool, publishes);
    Rig rig;
    rig.media->syncRooms(true, QStringLiteral("r1"), QString());
    rig.media->setRoomBitrate(roomStateBitrate);
    QSignalSpy changed(rig.media.get(), &MediaSessionService::roomBitrateChanged);
    rig.answer(QStringLiteral("r1"), jsonReply(200, grant(QStringLiteral("r1"), extra)));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toInt(), bitrate);
    rig.own->finishConnect();
    QCOMPARE(rig.own->published, publishes);
    QCOMPARE(rig.own->sending, publishes);
    if (publishes) {
        QCOMPARE(rig.own->publishBitrates, QList<int>{bitrate});
        QVERIFY(rig.capture->captureRequested());
    }
}

void MediaSessionServiceTest::publishRule()
{
    Rig rig;
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    QVERIFY(rig.own->published && !rig.own->micMuted);
    // Without broadcast the parent track is published muted.
    QVERIFY(rig.parent->published && rig.parent->micMuted);

    rig.media->setTransmitMuted(true);
    QVERIFY(rig.own->published && rig.own->micMuted);
    rig.media->setTransmitMuted(false);
    rig.media->setSpeechBlocked(true);
    QVERIFY(rig.own->micMuted);
    rig.media->setSpeechBlocked(false);
    QVERIFY(!rig.own->micMuted);

    rig.media->setBroadcastActive(true);
    QVERIFY(!rig.parent->micMuted);
    QVERIFY(!rig.own->micMuted); // the own track hears silence, it is not muted
    rig.media->setBroadcastActive(false);
    QVERIFY(rig.parent->micMuted);

    // One publication per connection, however often the rule runs.
    QCOMPARE(rig.own->publishBitrates.size(), 1);
    QCOMPARE(rig.parent->publishBitrates.size(), 1);
}

void MediaSessionServiceTest::parentPermissionAndDetach()
{
    Rig rig;
    QSignalSpy permission(rig.media.get(), &MediaSessionService::parentCanPublishChanged);
    rig.media->syncRooms(true, QStringLiteral("r1"), QStringLiteral("p1"));
    rig.answer(QStringLiteral("r1"), jsonReply(200, grant(QStringLiteral("r1"))));
    rig.own->finishConnect();
    rig.answer(QStringLiteral("p1"), jsonReply(200, grant(QStringLiteral("p1"), {{"canPublish", false}})));
    QCOMPARE(permission.count(), 1);
    QCOMPARE(permission.last().first().toBool(), false);
    rig.parent->finishConnect();
    QVERIFY(!rig.parent->published);

    // The room state overrides the token; an equal override changes nothing.
    rig.media->setParentBroadcastAllowed(true);
    QCOMPARE(permission.count(), 2);
    QVERIFY(rig.parent->published);
    rig.media->setParentBroadcastAllowed(true);
    QCOMPARE(permission.count(), 2);
    rig.media->setParentBroadcastAllowed(false);
    QCOMPARE(permission.count(), 3);
    QVERIFY(!rig.parent->published);
    QCOMPARE(rig.parent->unpublishCount, 1);

    // Detaching from the parent ends only the parent session and forgets the override.
    rig.media->syncRooms(true, QStringLiteral("r1"), QString());
    QCOMPARE(rig.parent->disconnectCalls, QStringList{QStringLiteral("脱离父房间")});
    QCOMPARE(permission.last().first().toBool(), true);
    QVERIFY(rig.own->connected);
    QVERIFY(rig.own->disconnectCalls.isEmpty());
    // With the override forgotten, an empty one is no change.
    const qsizetype count = permission.count();
    rig.media->setParentBroadcastAllowed(std::nullopt);
    QCOMPARE(permission.count(), count);
}

void MediaSessionServiceTest::leavingEndsBothSessionsOnce()
{
    Rig rig;
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    QVERIFY(rig.capture->captureRequested());
    QSignalSpy quality(rig.media.get(), &MediaSessionService::connectionQualityUpdated);
    LogCapture log;
    rig.media->syncRooms(false, QString(), QString());
    QCOMPARE(rig.own->disconnectCalls, QStringList{QStringLiteral("离开房间")});
    QCOMPARE(rig.parent->disconnectCalls, QStringList{QStringLiteral("离开房间")});
    QVERIFY(!rig.own->connected && !rig.parent->connected);
    QVERIFY(!rig.capture->captureRequested());
    QCOMPARE(quality.count(), 1);
    QVERIFY(quality.first().first().toMap().isEmpty());
    QCOMPARE(log.count(kSession, QStringLiteral("media session end")), 2);
    // The disconnects that the ends caused found idle sessions: no reconnect.
    QVERIFY(!rig.timer("ownRetryTimer")->isActive());
    QVERIFY(!rig.timer("parentRetryTimer")->isActive());
    QCOMPARE(log.count(kSession, QStringLiteral("media connection lost")), 0);

    // A second leave does nothing: capture started by someone else stays on.
    rig.capture->startCapture();
    log.clear();
    rig.media->syncRooms(false, QString(), QString());
    QVERIFY(rig.capture->captureRequested());
    QCOMPARE(rig.own->disconnectCalls.size(), 1);
    QCOMPARE(rig.parent->disconnectCalls.size(), 1);
    QCOMPARE(log.count(kSession, QString()), 0);
    rig.capture->stopCapture();
}

void MediaSessionServiceTest::roomSwitchWhileConnected()
{
    Rig rig;
    rig.enter(QStringLiteral("r1"));
    rig.media->syncRooms(true, QStringLiteral("r2"), QString());
    // The old connection stays up until the new token arrives.
    QVERIFY(rig.own->connected);
    rig.answer(QStringLiteral("r2"), jsonReply(200, grant(QStringLiteral("r2"))));
    QCOMPARE(rig.own->connects.size(), 2);
    // The switch reported a loss, which started the retry timer; when it runs out the connection is
    // coming, so nothing more is asked.
    QTimer *retry = rig.timer("ownRetryTimer");
    QVERIFY(retry->isActive());
    tick(retry);
    QCOMPARE(rig.requests(QStringLiteral("r2")), 1);
    rig.own->finishConnect(QStringLiteral("r2"));
    QVERIFY(rig.own->published);
}

void MediaSessionServiceTest::publishFailureRecyclesConnection()
{
    Rig rig;
    rig.enter(QStringLiteral("r1"));
    LogCapture log;
    emit rig.own->audioPublishTimedOut();
    QVERIFY(log.contains(kSession, QStringLiteral("media publish failed, recycling session=own room_id=r1")));
    QCOMPARE(rig.own->disconnectCalls, QStringList{QString()});
    QTimer *retry = rig.timer("ownRetryTimer");
    QVERIFY(retry->isActive());
    tick(retry);
    QCOMPARE(rig.requests(QStringLiteral("r1")), 2);
}

void MediaSessionServiceTest::frameFanOutFollowsBroadcast()
{
    Rig rig;
    ScriptedDetector::speech = 1;
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    QVERIFY(rig.capture->captureRequested());
    const auto pushAndWait = [&rig](int frames) {
        const int before = rig.own->silentFrames + rig.own->voiceFrames;
        for (int i = 0; i < frames; ++i)
            rig.mic->push(std::vector<qint16>(480, 1000));
        // The capture thread loads the denoiser on its first frame, which takes seconds on a
        // loaded or instrumented machine; the wait ends as soon as the frames are through.
        return QTest::qWaitFor([&] { return rig.own->silentFrames + rig.own->voiceFrames >= before + frames; }, 30000);
    };
    QVERIFY(pushAndWait(5));
    QCOMPARE(rig.own->silentFrames.load(), 0);
    QCOMPARE(rig.parent->voiceFrames.load(), 0);
    QVERIFY(rig.parent->silentFrames.load() >= 5);

    rig.media->setBroadcastActive(true);
    const int ownVoice = rig.own->voiceFrames;
    const int parentSilent = rig.parent->silentFrames;
    QVERIFY(pushAndWait(5));
    QCOMPARE(rig.own->voiceFrames.load(), ownVoice);
    QCOMPARE(rig.parent->silentFrames.load(), parentSilent);
    QVERIFY(rig.parent->voiceFrames.load() >= 5);
    ScriptedDetector::speech = 0;
}

void MediaSessionServiceTest::participantGainSubscribes()
{
    Rig rig;
    rig.media->setParticipantGain(QStringLiteral("bob"), 0.0);
    rig.media->setParticipantGain(QStringLiteral("bob"), 0.5);
    const QList<QPair<QString, bool>> expected{{"bob", false}, {"bob", true}};
    QCOMPARE(rig.own->subscriptions, expected);
    QCOMPARE(rig.parent->subscriptions, expected);
    QCOMPARE(rig.own->playback, &rig.playback);
}

void MediaSessionServiceTest::speakingFlagsMoveBetweenLists()
{
    Rig rig;
    rig.media->setSelfIdProvider([] { return QStringLiteral("me"); });
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    QSignalSpy ownList(rig.media.get(), &MediaSessionService::activeSpeakersChanged);
    QSignalSpy parentList(rig.media.get(), &MediaSessionService::parentActiveSpeakersChanged);

    rig.media->setLocalSpeaking(true);
    QCOMPARE(rig.own->speakingSent, QList<bool>{true});
    QVERIFY(rig.parent->speakingSent.isEmpty());
    QCOMPARE(names(ownList), QStringList{"me"});

    // Broadcast moves the user's voice, and the flag, to the parent room.
    rig.media->setBroadcastActive(true);
    QCOMPARE(rig.own->speakingSent, (QList<bool>{true, false}));
    QCOMPARE(rig.parent->speakingSent, QList<bool>{true});
    QCOMPARE(names(ownList), QStringList());
    QCOMPARE(names(parentList), QStringList{"me"});

    // The parent permission withdrawn: silent in both rooms.
    rig.media->setParentBroadcastAllowed(false);
    QCOMPARE(rig.parent->speakingSent, (QList<bool>{true, false}));
    QCOMPARE(names(parentList), QStringList());

    rig.media->setParentBroadcastAllowed(true);
    rig.media->setBroadcastActive(false);
    QCOMPARE(names(ownList), QStringList{"me"});
    QCOMPARE(names(parentList), QStringList());

    // A lost connection keeps the flag; the new connection sends it afresh.
    rig.own->fail();
    QCOMPARE(rig.own->speakingSent.last(), true);
    const qsizetype sent = rig.own->speakingSent.size();
    tick(rig.timer("ownRetryTimer"));
    rig.answer(QStringLiteral("r1"), jsonReply(200, grant(QStringLiteral("r1"))));
    rig.own->finishConnect();
    QCOMPARE(rig.own->speakingSent.size(), sent + 1);
    QCOMPARE(rig.own->speakingSent.last(), true);
}

void MediaSessionServiceTest::speakingFlagBlockedByMuteNotByParent()
{
    Rig rig;
    rig.media->setSelfIdProvider([] { return QStringLiteral("me"); });
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    rig.media->setTransmitMuted(true);
    rig.media->setLocalSpeaking(true);
    QVERIFY(rig.own->speakingSent.isEmpty());
    rig.media->setSpeechBlocked(true);
    rig.media->setTransmitMuted(false);
    QVERIFY(rig.own->speakingSent.isEmpty());
    // The parent flag ignores both.
    rig.media->setTransmitMuted(true);
    rig.media->setBroadcastActive(true);
    QCOMPARE(rig.parent->speakingSent, QList<bool>{true});

    // Without a self id provider the user is never listed.
    Rig anonymous;
    QSignalSpy ownList(anonymous.media.get(), &MediaSessionService::activeSpeakersChanged);
    anonymous.enter(QStringLiteral("r1"));
    anonymous.media->setLocalSpeaking(true);
    QCOMPARE(anonymous.own->speakingSent, QList<bool>{true});
    QCOMPARE(ownList.count(), 0);
}

void MediaSessionServiceTest::remoteSpeakersSortedAndDeduplicated()
{
    Rig rig;
    rig.media->setSelfIdProvider([] { return QStringLiteral("me"); });
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    QSignalSpy ownList(rig.media.get(), &MediaSessionService::activeSpeakersChanged);
    QSignalSpy parentList(rig.media.get(), &MediaSessionService::parentActiveSpeakersChanged);
    rig.own->receiveSpeaking(QStringLiteral("zoe"), true);
    rig.media->setLocalSpeaking(true);
    rig.own->receiveSpeaking(QStringLiteral("Bob"), true);
    QCOMPARE(names(ownList), (QStringList{"Bob", "me", "zoe"}));
    QVERIFY(parentList.isEmpty());
    // Repeats of the same set emit nothing.
    const qsizetype count = ownList.count();
    rig.own->receiveSpeaking(QStringLiteral("zoe"), true);
    rig.own->receiveSpeaking(QStringLiteral("Bob"), true);
    QCOMPARE(ownList.count(), count);
    // A not-speaking packet removes at once.
    rig.own->receiveSpeaking(QStringLiteral("zoe"), false);
    QCOMPARE(names(ownList), (QStringList{"Bob", "me"}));
    // The parent room keeps its own table.
    rig.parent->receiveSpeaking(QStringLiteral("ann"), true);
    QCOMPARE(names(parentList), QStringList{"ann"});
    // Ending the own session empties its list.
    rig.media->syncRooms(false, QString(), QString());
    QCOMPARE(names(ownList), QStringList());
    QCOMPARE(names(parentList), QStringList());
}

void MediaSessionServiceTest::remoteSpeakerExpiry_data()
{
    QTest::addColumn<qint64>("packetAt");
    // The expiry timer ticks every 500 ms from the first packet (at 0); a later packet falls
    // anywhere between two ticks.
    QTest::newRow("on a tick") << qint64(0);
    QTest::newRow("just after a tick") << qint64(1);
    QTest::newRow("between ticks") << qint64(1250);
    QTest::newRow("just before a tick") << qint64(1499);
}

void MediaSessionServiceTest::remoteSpeakerExpiry()
{
    QFETCH(qint64, packetAt);
    Rig rig;
    rig.enter(QStringLiteral("r1"));
    QSignalSpy ownList(rig.media.get(), &MediaSessionService::activeSpeakersChanged);
    QTimer *expiry = rig.timer("speakerExpiryTimer");
    QCOMPARE(expiry->interval(), 500);
    // Another member speaks from 0 on and repeats every tick, which keeps the ticks' phase.
    rig.own->receiveSpeaking(QStringLiteral("anchor"), true);
    QVERIFY(expiry->isActive());
    bool sent = false;
    qint64 goneAt = -1;
    for (qint64 at = 500; at <= 6000; at += 500) {
        if (!sent && packetAt < at) {
            rig.nowMs = packetAt;
            rig.own->receiveSpeaking(QStringLiteral("bob"), true);
            QVERIFY(names(ownList).contains(QStringLiteral("bob")));
            sent = true;
        }
        rig.nowMs = at;
        tick(expiry);
        if (sent && !names(ownList).contains(QStringLiteral("bob"))) {
            goneAt = at;
            break;
        }
        rig.own->receiveSpeaking(QStringLiteral("anchor"), true);
    }
    const qint64 held = goneAt - packetAt;
    QVERIFY2(held >= 2500 && held <= 3000, qPrintable(QStringLiteral("held %1 ms").arg(held)));
    // With both tables empty the ticks stop.
    rig.own->receiveSpeaking(QStringLiteral("anchor"), false);
    tick(expiry);
    QVERIFY(!expiry->isActive());
}

void MediaSessionServiceTest::speakingResentOnceASecond()
{
    Rig rig;
    rig.enter(QStringLiteral("r1"), QStringLiteral("p1"));
    QTimer *resend = rig.timer("speakingResendTimer");
    QCOMPARE(resend->interval(), 1000);
    QVERIFY(!resend->isActive());
    rig.media->setLocalSpeaking(true);
    QVERIFY(resend->isActive());
    for (int second = 0; second < 3; ++second)
        tick(resend);
    QCOMPARE(rig.own->speakingSent, (QList<bool>{true, true, true, true}));
    QVERIFY(rig.parent->speakingSent.isEmpty());

    // Broadcast: the parent connection carries the repeats now.
    rig.media->setBroadcastActive(true);
    tick(resend);
    QCOMPARE(rig.own->speakingSent, (QList<bool>{true, true, true, true, false}));
    QCOMPARE(rig.parent->speakingSent, (QList<bool>{true, true}));

    // The flag falls: one false, no repeats, and the ticks stop.
    rig.media->setLocalSpeaking(false);
    QCOMPARE(rig.parent->speakingSent, (QList<bool>{true, true, false}));
    tick(resend);
    QVERIFY(!resend->isActive());
    QCOMPARE(rig.parent->speakingSent, (QList<bool>{true, true, false}));
    QCOMPARE(rig.own->speakingSent.size(), 5);
}

KESTOVA_TEST_MAIN(MediaSessionServiceTest)
#include "test_media_session_service.moc"
