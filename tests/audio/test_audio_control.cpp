#include "audio/audio_capture_manager.h"
#include "audio/audio_control_service.h"
#include "audio/neural_suppressor.h"
#include "audio/sound_manager.h"
#include "fake_capture_backend.h"
#include "frame_log.h"
#include "memory_audio_storage.h"
#include "scripted_detector.h"
#include "support/test_main.h"

#include <QAudioOutput>
#include <QFile>
#include <QMediaPlayer>
#include <QSignalSpy>

#include <limits>
#include <memory>
#include <mutex>
#include <vector>

class TestAudioControl : public QObject
{
    Q_OBJECT

private slots:
    void transmitMuteTruthTable_data();
    void transmitMuteTruthTable();
    void pushToTalkSignals();
    void pushToTalkReachesTheCaptureEngine();
    void speakerToggle();
    void cueVolumesAreClampedAndStored();
    void cueSources();
    void cueResourcesAreOggFiles();
};

void TestAudioControl::transmitMuteTruthTable_data()
{
    QTest::addColumn<bool>("mic");   // microphone switched off
    QTest::addColumn<bool>("ptt");   // push-to-talk held
    QTest::addColumn<bool>("force"); // the room blocks speech
    QTest::addColumn<bool>("transmitMuted");

    QTest::newRow("open") << false << false << false << false;
    QTest::newRow("ptt with mic on") << false << true << false << false;
    QTest::newRow("mic off") << true << false << false << true;
    QTest::newRow("mic off, ptt held") << true << true << false << false;
    QTest::newRow("forced") << false << false << true << true;
    QTest::newRow("forced, ptt held") << false << true << true << true;
    QTest::newRow("forced, mic off") << true << false << true << true;
    QTest::newRow("forced, mic off, ptt held") << true << true << true << true;
}

void TestAudioControl::transmitMuteTruthTable()
{
    QFETCH(bool, mic);
    QFETCH(bool, ptt);
    QFETCH(bool, force);
    QFETCH(bool, transmitMuted);

    AudioControlService control(nullptr, nullptr);
    QSignalSpy transmit(&control, &AudioControlService::transmitMutedChanged);
    if (mic)
        control.toggleMic();
    control.setPttActive(ptt);
    control.setForceMuted(force);
    QCOMPARE(control.isMicMuted(), mic);
    QCOMPARE(control.isPttActive(), ptt);
    QCOMPARE(control.isTransmitMuted(), transmitMuted);
    // Every emitted value was a change and the last one is the current state.
    bool last = false;
    for (const auto &args : transmit) {
        QVERIFY(args.at(0).toBool() != last);
        last = args.at(0).toBool();
    }
    QCOMPARE(last, transmitMuted);
}

void TestAudioControl::pushToTalkSignals()
{
    AudioControlService control(nullptr, nullptr);
    QSignalSpy ptt(&control, &AudioControlService::pttActiveChanged);
    QSignalSpy transmit(&control, &AudioControlService::transmitMutedChanged);
    QSignalSpy mic(&control, &AudioControlService::micMutedChanged);

    // Microphone on: the key changes push-to-talk only.
    control.setPttActive(true);
    control.setPttActive(false);
    QCOMPARE(ptt.count(), 2);
    QCOMPARE(transmit.count(), 0);

    control.toggleMic();
    QCOMPARE(mic.count(), 1);
    QCOMPARE(transmit.takeFirst().at(0).toBool(), true);
    control.setPttActive(true);
    QCOMPARE(transmit.takeFirst().at(0).toBool(), false);
    control.setPttActive(true); // pressed twice: nothing
    QCOMPARE(ptt.count(), 3);
    QCOMPARE(transmit.count(), 0);
    control.setPttActive(false);
    QCOMPARE(transmit.takeFirst().at(0).toBool(), true);
    QCOMPARE(ptt.last().at(0).toBool(), false);
}

void TestAudioControl::speakerToggle()
{
    AudioControlService control(nullptr, nullptr);
    QSignalSpy speaker(&control, &AudioControlService::speakerMutedChanged);
    control.toggleSpeaker();
    QVERIFY(control.isSpeakerMuted());
    control.toggleSpeaker();
    QVERIFY(!control.isSpeakerMuted());
    QCOMPARE(speaker.count(), 2);
    QCOMPARE(speaker.at(0).at(0).toBool(), true);
}

void TestAudioControl::cueVolumesAreClampedAndStored()
{
    testsupport::MemoryAudioStorage storage;
    storage.setJoinSoundVolume(1.5);
    storage.setLeaveSoundVolume(-3.0);
    storage.setLeaveSoundEnabled(false);
    SoundManager sounds(&storage);
    QCOMPARE(sounds.joinVolume(), 1.0);
    QCOMPARE(sounds.leaveVolume(), 0.0);
    QVERIFY(sounds.joinEnabled());
    QVERIFY(!sounds.leaveEnabled());

    sounds.setJoinVolume(-0.2);
    QCOMPARE(sounds.joinVolume(), 0.0);
    QCOMPARE(storage.joinSoundVolume(), 0.0);
    sounds.setJoinVolume(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(sounds.joinVolume(), 0.0);
    sounds.setLeaveVolume(0.35);
    QCOMPARE(storage.leaveSoundVolume(), 0.35);
    sounds.setLeaveVolume(7);
    QCOMPARE(storage.leaveSoundVolume(), 1.0);
    sounds.setJoinEnabled(false);
    QVERIFY(!storage.joinSoundEnabled());

    SoundManager defaults(nullptr);
    QCOMPARE(defaults.joinVolume(), 0.8);
    QCOMPARE(defaults.leaveVolume(), 0.8);
}

void TestAudioControl::cueSources()
{
    testsupport::MemoryAudioStorage storage;
    SoundManager sounds(&storage);
    auto *player = sounds.findChild<QMediaPlayer *>();
    auto *output = sounds.findChild<QAudioOutput *>();
    QVERIFY(player && output);
    QCOMPARE(player->audioOutput(), output);
    sounds.setJoinVolume(0.25);
    sounds.setLeaveVolume(0.5);

    // The first state is only recorded; the same state again plays nothing.
    sounds.setInRoom(true);
    QVERIFY(player->source().isEmpty());
    sounds.setInRoom(true);
    QVERIFY(player->source().isEmpty());

    sounds.setInRoom(false);
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/leave.ogg")));
    QCOMPARE(output->volume(), 0.5f);
    sounds.setInRoom(true);
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/join.ogg")));
    QCOMPARE(output->volume(), 0.25f);

    sounds.onMemberLeft(QStringLiteral("u1"));
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/leave.ogg")));

    // A disabled cue stays quiet; its preview plays anyway.
    sounds.setJoinEnabled(false);
    sounds.onMemberJoined(QStringLiteral("u2"));
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/leave.ogg")));
    sounds.previewJoinSound();
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/join.ogg")));
    sounds.setLeaveEnabled(false);
    sounds.setInRoom(false);
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/join.ogg")));
    sounds.previewLeaveSound();
    QCOMPARE(player->source(), QUrl(QStringLiteral("qrc:/sounds/leave.ogg")));
    QCOMPARE(output->volume(), 0.5f);
}

void TestAudioControl::cueResourcesAreOggFiles()
{
    for (const QString &path : {QStringLiteral(":/sounds/join.ogg"), QStringLiteral(":/sounds/leave.ogg")}) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QVERIFY(file.read(4) == "OggS");
    }
}

// Holding the key while the voice detector hears no speech: the engine sends the voice, not
// the silence that silent-stop puts in place of what the detector does not flag. Through the
// control service, as the hotkey wiring drives it; the microphone stays switched on.
void TestAudioControl::pushToTalkReachesTheCaptureEngine()
{
    testsupport::ScriptedDetector::speech = 0;
    testsupport::MemoryAudioStorage storage;
    // The echo module would filter the constant test frames; without it they arrive as sent.
    storage.values = {{"aecEnabled", false}, {"hpfEnabled", false}, {"vadSilentStop", true}};
    auto mic = std::make_shared<testsupport::FakeMicrophone>();
    AudioCaptureManager::Dependencies deps;
    deps.engine.backendFactory = [mic] { return std::make_unique<testsupport::FakeCaptureBackend>(mic); };
    deps.engine.detectorLibrary = testsupport::ScriptedDetector::calls();
    deps.listCaptureDevices = [] { return QList<AudioDeviceInfo>(); };
    deps.loadSuppressor = [](NoiseMode) { return std::unique_ptr<NeuralSuppressor>(); };
    AudioCaptureManager capture(&storage, nullptr, deps);
    AudioControlService control(&capture, nullptr);
    auto sent = std::make_shared<testsupport::FrameLog>();
    capture.setFrameSink([sent](const qint16 *frame, int, int, int) { sent->add(frame); });
    capture.startCapture();

    auto push = [&](int count) {
        const std::size_t before = sent->count();
        for (int i = 0; i < count; ++i)
            mic->push(std::vector<qint16>(480, 700));
        return QTest::qWaitFor([&] { return sent->count() >= before + std::size_t(count); }, 30000);
    };
    QVERIFY(push(3));
    QCOMPARE(sent->last(), std::vector<qint16>(480, 0));

    control.setPttActive(true);
    QVERIFY(push(3));
    QCOMPARE(sent->last(), std::vector<qint16>(480, 700));
    QVERIFY(!control.isTransmitMuted());

    control.setPttActive(false);
    QVERIFY(push(3));
    QCOMPARE(sent->last(), std::vector<qint16>(480, 0));
    capture.setFrameSink({});
}

KESTOVA_TEST_MAIN(TestAudioControl)
#include "test_audio_control.moc"
