#include "audio/audio_capture_manager.h"
#include "audio/audio_control_service.h"
#include "audio/audio_playback_manager.h"
#include "audio/fake_capture_backend.h"
#include "audio/memory_audio_storage.h"
#include "audio/scripted_detector.h"
#include "audio/sound_manager.h"
#include "livekit/fake_livekit_connection.h"
#include "livekit/media_session_service.h"
#include "room/room_service_fixture.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "user/user_profile.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"
#include "wiring/service_wiring.h"
#include "wiring/voice_wiring.h"

#include <QLabel>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

using testsupport::FakeCaptureBackend;
using testsupport::FakeLiveKitConnection;
using testsupport::FakeMicrophone;
using testsupport::jsonReply;
using testsupport::MemoryAudioStorage;
using testsupport::RoomSnapshotBuilder;
using testsupport::ScriptedDetector;

namespace {

QString tokenPath(const QString &roomId)
{
    return QStringLiteral("/v1/rooms/%1/livekit-token").arg(roomId);
}

// A room in which "me" and "u2" are present and "me" may speak.
RoomSnapshotBuilder speakingRoom(const QString &roomId)
{
    RoomSnapshotBuilder room(roomId);
    room.present({"me", "u2"})
        .role(1, "member", 1, {"core.room.speak"}, true)
        .memberRole("me", 1)
        .setting("bitrate", 48000);
    return room;
}

// One cue player for the whole program, whose cues are counted and stopped as soon as they start:
// this machine has no audio device, and the media backend does not survive a cue left playing
// into one. Its "in a room" memory carries over between tests, which count only their own cues.
struct CueCounter
{
    SoundManager sounds{nullptr};
    QStringList played; // "join" / "leave", in order

    CueCounter()
    {
        auto *player = sounds.findChild<QMediaPlayer *>();
        Q_ASSERT(player);
        QObject::connect(&sounds, &SoundManager::cueRequested, player, [this, player](const QString &source) {
            played << (source.contains(QStringLiteral("join")) ? QStringLiteral("join") : QStringLiteral("leave"));
            // Never left playing: without an output device the media backend may fail.
            player->stop();
        });
    }
};

CueCounter &cues()
{
    static auto *counter = new CueCounter;
    return *counter;
}

// The real room session, audio and media services over a fake REST client and recording media
// connections, wired as the shell wires them at start, with a real main window wired on top.
struct Rig
{
    RoomServiceFixture rooms;
    UserState user;
    MemoryAudioStorage storage;
    std::shared_ptr<FakeMicrophone> mic = std::make_shared<FakeMicrophone>();
    std::unique_ptr<AudioCaptureManager> capture;
    AudioPlaybackManager playback;
    std::unique_ptr<AudioControlService> control;
    SoundManager &sounds = cues().sounds;
    FakeLiveKitConnection *own = nullptr;
    FakeLiveKitConnection *parent = nullptr;
    std::unique_ptr<MediaSessionService> media;
    std::unique_ptr<MainWindow> window;
    wiring::RoomPanelsFeed feed;

    Rig()
    {
        UserProfile profile;
        profile.userId = QStringLiteral("me");
        user.applyProfile(profile);

        AudioCaptureManager::Dependencies audio;
        audio.engine.backendFactory = [m = mic] { return std::make_unique<FakeCaptureBackend>(m); };
        audio.engine.detectorLibrary = ScriptedDetector::calls();
        audio.listCaptureDevices = [] { return QList<AudioDeviceInfo>{{"fake-endpoint", "Desk microphone", true}}; };
        capture = std::make_unique<AudioCaptureManager>(&storage, nullptr, audio);
        control = std::make_unique<AudioControlService>(capture.get(), &playback);

        MediaSessionService::Dependencies deps;
        deps.connectionFactory = [this](LiveKitConnection::Role role) {
            auto connection = std::make_unique<FakeLiveKitConnection>(role);
            if (role == LiveKitConnection::Role::Own) {
                own = connection.get();
            } else {
                parent = connection.get();
            }
            return std::unique_ptr<LiveKitConnection>(std::move(connection));
        };
        deps.clock = [] { return qint64(0); };
        media = std::make_unique<MediaSessionService>(&rooms.http, capture.get(), &playback, nullptr, deps);

        wiring::wireLiveKitSession(&rooms.session, &rooms.store, &user, media.get());
        wiring::wireAudioTransmit(&rooms.session, control.get(), capture.get(), media.get(), &sounds);

        window = std::make_unique<MainWindow>(MainWindowOptions{});
        window->setCurrentRoomPanel(new CurrentRoomPanel);
        window->statusBar()->setTimings(1, 1, 1);
        wiring::wireSpeakers(window.get(), media.get(), &feed);
        wiring::wireVoiceFailures(window.get(), media.get(), capture.get());
        wiring::wireControlPanel(window.get(), control.get(), &rooms.session, &user);
        wiring::wireParticipantVolume(window.get(), &playback, media.get());
    }
    ~Rig()
    {
        window.reset();
        media.reset();
        control.reset();
        capture.reset();
    }

    ControlPanel *controls() const { return window->controlPanel(); }
    CurrentRoomPanel *roomPanel() const { return qobject_cast<CurrentRoomPanel *>(window->currentRoomPanel()); }
    qsizetype tokenRequests(const QString &roomId) const { return rooms.http.callsTo(tokenPath(roomId)).size(); }
    void grantToken(const QString &roomId)
    {
        rooms.http.answer(tokenPath(roomId), tokenRequests(roomId) - 1,
                          jsonReply(200, {{"token", "tok-" + roomId}, {"url", "ws://sfu.test/?room=" + roomId}}));
    }
    // Makes a room active and brings its media connection up.
    void enter(const RoomSnapshotBuilder &room)
    {
        rooms.activate(room.roomId());
        rooms.snapshot(room);
        grantToken(room.roomId());
        own->finishConnect(room.roomId());
    }
    void leave()
    {
        rooms.session.leave();
        rooms.http.answer(QStringLiteral("/v1/rooms/%1/members/me").arg(rooms.session.activeRoomId()), 0,
                          jsonReply(200, {}));
    }
};

// Every message the status bar shows from now on, with its kind ("danger" or empty), recorded
// as it starts to play.
struct ShownMessages
{
    explicit ShownMessages(MainStatusBar *statusBar)
        : bar(statusBar)
    {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            const QString now = this->bar->currentMessage();
            if (now != last && !now.isEmpty())
                shown << qMakePair(now, this->bar->messageLabel()->property("kind").toString());
            last = now;
        });
        poll.start(0);
    }
    MainStatusBar *bar;
    QTimer poll;
    QString last;
    QList<QPair<QString, QString>> shown;
};

// The banner shows only over a panel that lists something.
blocks::BlockListData oneSection()
{
    blocks::BlockListData data;
    data.sections.append(blocks::BlockSection{});
    data.hasContent = true;
    return data;
}

} // namespace

class VoiceWiringTest : public QObject
{
    Q_OBJECT
private slots:
    // Entering starts the media session with one token request and publishes; leaving ends it once.
    void enteringAndLeavingFollowTheActiveRoom()
    {
        Rig rig;
        QVERIFY(!rig.own || rig.own->connects.isEmpty());
        rig.enter(speakingRoom("A"));
        QCOMPARE(rig.tokenRequests("A"), 1);
        QVERIFY(rig.own);
        QCOMPARE(rig.own->connects.size(), 1);
        QVERIFY(rig.own->published);
        QCOMPARE(rig.own->publishBitrates, QList<int>{48000});
        QVERIFY(!rig.own->micMuted);

        // Further changes of the active room's record push the same facts again: no new session.
        rig.rooms.snapshot(speakingRoom("A").version(2).present({"me", "u2", "u3"}));
        QCOMPARE(rig.tokenRequests("A"), 1);
        QCOMPARE(rig.own->connects.size(), 1);

        FakeLiveKitConnection *connection = rig.own;
        rig.leave();
        QVERIFY(rig.rooms.session.activeRoomId().isEmpty());
        QCOMPARE(connection->disconnectCalls.size(), 1);
        QVERIFY(!connection->connected);
        QCOMPARE(rig.tokenRequests("A"), 1);
    }

    // The mic toggle reaches the published track through the transmit mute; a moderator's voice
    // mute arriving as a change of the room's record blocks speech at once on both sides.
    void muteReachesThePublishedTrack()
    {
        Rig rig;
        rig.enter(speakingRoom("A"));
        QVERIFY(!rig.own->micMuted);

        rig.controls()->micButton()->click();
        QVERIFY(rig.control->isTransmitMuted());
        QVERIFY(rig.own->micMuted);
        rig.controls()->micButton()->click();
        QVERIFY(!rig.own->micMuted);
        QCOMPARE(rig.controls()->micButton()->property("state"), QVariant());

        rig.rooms.snapshot(speakingRoom("A").version(2).mute("me", "voice"));
        QVERIFY(rig.own->micMuted);
        QVERIFY(rig.control->isTransmitMuted());
        QCOMPARE(rig.controls()->micButton()->property("state").toString(), QStringLiteral("danger"));

        rig.rooms.snapshot(speakingRoom("A").version(3));
        QVERIFY(!rig.own->micMuted);
        QVERIFY(!rig.control->isTransmitMuted());
    }

    // The speaker button and the banner show the speaker state from the start and follow it;
    // the listening mute reaches the media connection.
    void speakerStateShownAndApplied()
    {
        Rig rig;
        rig.roomPanel()->setBlocks(oneSection());
        QVERIFY(!rig.roomPanel()->outputBanner()->isVisibleTo(rig.roomPanel()));
        rig.enter(speakingRoom("A"));
        rig.controls()->speakerButton()->click();
        QVERIFY(rig.control->isSpeakerMuted());
        QVERIFY(rig.own->listeningMuted);
        QCOMPARE(rig.controls()->speakerButton()->property("state").toString(), QStringLiteral("off"));
        QVERIFY(rig.roomPanel()->outputBanner()->isVisibleTo(rig.roomPanel()));

        // A window built while the speaker is muted shows it at once.
        auto second = std::make_unique<MainWindow>(MainWindowOptions{});
        auto *panel = new CurrentRoomPanel;
        panel->setBlocks(oneSection());
        second->setCurrentRoomPanel(panel);
        wiring::wireControlPanel(second.get(), rig.control.get(), &rig.rooms.session, &rig.user);
        QCOMPARE(second->controlPanel()->speakerButton()->property("state").toString(), QStringLiteral("off"));
        QVERIFY(panel->outputBanner()->isVisibleTo(panel));
    }

    // In a sub-room the broadcast button switches the voice to the parent room; when the parent
    // stops allowing it, the panels and the button learn it.
    void broadcastSwitchesToTheParentRoom()
    {
        Rig rig;
        rig.rooms.snapshot(RoomSnapshotBuilder("P").child("C").setting("bitrate", 32000));
        rig.enter(speakingRoom("C").parent("P"));
        QCOMPARE(rig.tokenRequests("P"), 1);
        rig.grantToken("P");
        QVERIFY(rig.parent);
        rig.parent->finishConnect("P");
        QVERIFY(rig.parent->published);
        QVERIFY(rig.parent->micMuted);
        QVERIFY(!rig.own->micMuted);

        rig.controls()->setBroadcastVisible(true);
        rig.controls()->setBroadcasting(true);
        QVERIFY(rig.controls()->isBroadcasting());
        QVERIFY(!rig.parent->micMuted);
        rig.controls()->setBroadcasting(false);
        QVERIFY(rig.parent->micMuted);

        rig.controls()->setBroadcasting(true);
        QSignalSpy denied(rig.media.get(), &MediaSessionService::parentCanPublishChanged);
        rig.rooms.snapshot(RoomSnapshotBuilder("P")
                               .version(2)
                               .child("C")
                               .setting("bitrate", 32000)
                               .childOverride("C", "allowBroadcast", false));
        rig.rooms.snapshot(speakingRoom("C").parent("P").version(2));
        QCOMPARE(denied.count(), 1);
        QVERIFY(!rig.feed.parentBroadcastAllowed());
        QVERIFY(!rig.controls()->broadcastButton()->isEnabled());
        QVERIFY(!rig.controls()->isBroadcasting());
        QVERIFY(rig.parent->micMuted || !rig.parent->published);
    }

    // Other members' joins and leaves play the cues; the user's own presence never does, and
    // entering and leaving the room play one cue each.
    void cuesForOtherMembersOnly()
    {
        Rig rig;
        QStringList &played = cues().played;
        played.clear();
        rig.enter(speakingRoom("A"));
        QCOMPARE(played, QStringList{"join"});
        played.clear();

        rig.rooms.feed.onGatewayEvent("room.presence.joined", {{"roomId", "A"}, {"userId", "u3"}}, 0);
        rig.rooms.feed.onGatewayEvent("room.presence.left", {{"roomId", "A"}, {"userId", "u3"}}, 0);
        rig.rooms.feed.onGatewayEvent("room.presence.joined", {{"roomId", "A"}, {"userId", "me"}}, 0);
        QCOMPARE(played, (QStringList{"join", "leave"}));
        played.clear();

        rig.leave();
        QCOMPARE(played, QStringList{"leave"});
    }

    // Removed from the room by the server: one leave cue, not two.
    void ownDeparturePlaysOneCue()
    {
        Rig rig;
        rig.enter(speakingRoom("A"));
        cues().played.clear();
        rig.rooms.feed.onGatewayEvent("room.presence.left", {{"roomId", "A"}, {"userId", "me"}, {"reason", "timeout"}},
                                      0);
        QVERIFY(rig.rooms.session.activeRoomId().isEmpty());
        QCOMPARE(cues().played, QStringList{"leave"});
    }

    // The room's microphone and the settings dialog's meters are held apart: the dialog letting
    // go keeps the room's capture, leaving the room keeps the dialog's.
    void roomCaptureAndDialogCaptureApart()
    {
        Rig rig;
        const int dialog = 0; // stands for the settings dialog as a capture owner
        rig.capture->acquireCapture(&dialog);
        rig.enter(speakingRoom("A"));
        QVERIFY(rig.capture->captureRequested());
        rig.capture->releaseCapture(&dialog);
        QVERIFY(rig.capture->captureRequested());

        rig.capture->acquireCapture(&dialog);
        rig.leave();
        QVERIFY(!rig.capture->captureRequested());
        QVERIFY(rig.capture->captureActive());
    }

    void speakersReachThePanelsFeed()
    {
        Rig rig;
        rig.enter(speakingRoom("A"));
        rig.own->receiveSpeaking("u2", true);
        QVERIFY(rig.feed.ownSpeakers().contains(QStringLiteral("u2")));
        emit rig.capture->vadSpeakingChanged(true);
        QVERIFY(rig.feed.ownSpeakers().contains(QStringLiteral("me")));
        QVERIFY(rig.own->speakingSent.contains(true));
    }

    void participantVolumeReachesPlaybackAndMedia_data()
    {
        QTest::addColumn<int>("panelDb");
        QTest::addColumn<int>("storedDb");
        QTest::addColumn<double>("factor");
        QTest::addColumn<bool>("subscribed");
        QTest::newRow("unity") << 0 << 0 << 1.0 << true;
        QTest::newRow("silent") << -30 << -30 << 0.0 << false;
        QTest::newRow("above range") << 40 << 30 << 31.6228 << true;
        QTest::newRow("below range") << -31 << -30 << 0.0 << false;
        QTest::newRow("quieter") << -29 << -29 << 0.0355 << true;
    }
    void participantVolumeReachesPlaybackAndMedia()
    {
        QFETCH(int, panelDb);
        QFETCH(int, storedDb);
        QFETCH(double, factor);
        QFETCH(bool, subscribed);
        Rig rig;
        rig.enter(speakingRoom("A"));
        rig.own->subscriptions.clear();
        emit rig.roomPanel()->participantVolumeChanged(QStringLiteral("u2"), panelDb);
        QCOMPARE(rig.playback.participantGainDb(QStringLiteral("u2")), storedDb);
        QVERIFY(qAbs(wiring::linearGainFromDb(panelDb) - factor) < 0.0001);
        if (subscribed) {
            // Unity gain needs no new subscription; the others say whether they want the audio.
            QVERIFY(rig.own->subscriptions.isEmpty() || rig.own->subscriptions.last().second);
        } else {
            QVERIFY(!rig.own->subscriptions.isEmpty());
            QVERIFY(!rig.own->subscriptions.last().second);
        }
    }

    // Each voice failure reaches the status bar once, as a danger message with the connection's
    // own reason text; what the user or the service ended on purpose shows nothing.
    void voiceFailuresReachTheStatusBar_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("expected");
        QTest::newRow("connect failed") << "connect" << "LiveKit 连接异常：janus: Unauthorized request";
        QTest::newRow("connection dropped") << "drop" << "语音连接断开：信令关闭";
        QTest::newRow("publish refused") << "refuse" << "发布线程启动失败";
        QTest::newRow("publish timed out") << "timeout" << "语音发布失败";
        QTest::newRow("microphone") << "microphone" << "麦克风无法打开，请检查输入设备";
        QTest::newRow("parent room dropped") << "parent" << "语音连接超时";
    }
    void voiceFailuresReachTheStatusBar()
    {
        QFETCH(QString, failure);
        QFETCH(QString, expected);
        Rig rig;
        ShownMessages bar(rig.window->statusBar());
        if (failure == "microphone")
            rig.mic->failOpens(1000);
        RoomSnapshotBuilder room = speakingRoom("A");
        if (failure == "parent") {
            rig.rooms.snapshot(RoomSnapshotBuilder("P").child("A"));
            room.parent("P");
        }
        rig.rooms.activate(room.roomId());
        rig.rooms.snapshot(room);
        rig.grantToken("A");
        if (failure == "connect") {
            rig.own->fail(expected);
        } else {
            rig.own->finishConnect("A");
            if (failure == "drop")
                rig.own->drop(expected);
            else if (failure == "refuse")
                rig.own->refusePublish(expected);
            else if (failure == "timeout")
                rig.own->timeOutPublish();
            else if (failure == "parent") {
                rig.grantToken("P");
                rig.parent->finishConnect("P");
                rig.parent->drop(expected);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(bar.shown.size(), 1, 5000);
        QCOMPARE(bar.shown.first().first, expected);
        QCOMPARE(bar.shown.first().second, QStringLiteral("danger"));
        // Shown once: nothing else follows, and leaving the room on purpose adds nothing.
        rig.leave();
        QTest::qWait(50);
        QCOMPARE(bar.shown.size(), 1);
    }

    // Switching rooms and leaving are not failures.
    void deliberateEndsShowNothing()
    {
        Rig rig;
        ShownMessages bar(rig.window->statusBar());
        rig.enter(speakingRoom("A"));
        rig.rooms.activate("B");
        rig.rooms.snapshot(speakingRoom("B"));
        rig.grantToken("B");
        rig.own->finishConnect("B");
        rig.leave();
        QTest::qWait(50);
        QVERIFY2(bar.shown.isEmpty(), qPrintable(bar.shown.isEmpty() ? QString() : bar.shown.first().first));
    }

    void levelInDecibels_data()
    {
        QTest::addColumn<float>("level");
        QTest::addColumn<int>("gainDb");
        QTest::addColumn<double>("expected");
        QTest::newRow("half") << 0.5f << 0 << -6.0206;
        QTest::newRow("below floor") << 0.0000005f << 0 << -120.0;
        QTest::newRow("zero") << 0.0f << 10 << -120.0;
        QTest::newRow("muted participant") << 1.0f << -30 << -120.0;
        QTest::newRow("boosted") << 0.1f << 20 << 0.0;
    }
    void levelInDecibels()
    {
        QFETCH(float, level);
        QFETCH(int, gainDb);
        QFETCH(double, expected);
        QVERIFY2(qAbs(wiring::participantLevelDb(level, gainDb) - expected) < 0.01,
                 qPrintable(QString::number(wiring::participantLevelDb(level, gainDb))));
    }
};

KESTOVA_TEST_MAIN(VoiceWiringTest)
#include "test_voice_wiring.moc"
