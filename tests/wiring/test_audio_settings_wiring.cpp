#include "audio/audio_capture_manager.h"
#include "audio/audio_device_catalog.h"
#include "audio/audio_loopback.h"
#include "audio/audio_playback_manager.h"
#include "audio/fake_capture_backend.h"
#include "audio/memory_audio_storage.h"
#include "audio/scripted_detector.h"
#include "audio/sound_manager.h"
#include "audio/speech_samples.h"
#include "support/test_main.h"
#include "ui/login/login_menu_bar.h"
#include "ui/login/login_window.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/settings/audio_settings_dialog.h"
#include "ui/widgets/level_meter.h"
#include "ui/widgets/volume_control.h"
#include "wiring/audio_settings_wiring.h"
#include "wiring/login_window_wiring.h"
#include "wiring/main_window_wiring.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QSlider>

#include <atomic>

using testsupport::FakeCaptureBackend;
using testsupport::FakeMicrophone;
using testsupport::MemoryAudioStorage;
using testsupport::ScriptedDetector;

namespace {

// The audio services over a played microphone and a scripted device list.
struct Rig
{
    MemoryAudioStorage storage;
    std::shared_ptr<FakeMicrophone> mic = std::make_shared<FakeMicrophone>();
    QList<AudioDeviceInfo> inputs{{"mic-1", "Desk microphone", true}};
    QList<AudioDeviceInfo> outputs{{"out-1", "Speakers", true}, {"out-2", "Headset", false}};
    std::unique_ptr<AudioCaptureManager> capture;
    AudioPlaybackManager playback{&storage};
    SoundManager sounds{&storage};
    std::unique_ptr<AudioDeviceCatalog> devices;
    std::shared_ptr<std::atomic<int>> frames = std::make_shared<std::atomic<int>>(0);

    explicit Rig(const VadDetector::LibraryCalls &detector = ScriptedDetector::calls())
    {
        AudioCaptureManager::Dependencies deps;
        deps.engine.backendFactory = [m = mic] { return std::make_unique<FakeCaptureBackend>(m); };
        deps.engine.detectorLibrary = detector;
        deps.listCaptureDevices = [this] { return inputs; };
        capture = std::make_unique<AudioCaptureManager>(&storage, nullptr, deps);
        capture->setFrameSink([f = frames](const qint16 *, int, int, int) { ++*f; });
        devices = std::make_unique<AudioDeviceCatalog>(nullptr, nullptr, [this](AudioDirection direction) {
            return direction == AudioDirection::Capture ? inputs : outputs;
        });
    }
    // Plays frames and waits until the capture side has taken them all.
    bool speak(int count, qint16 value)
    {
        const int before = *frames;
        for (int i = 0; i < count; ++i)
            mic->push(std::vector<qint16>(480, value));
        return QTest::qWaitFor([&] { return *frames >= before + count; }, 5000);
    }
    void wire(LoginWindow *window)
    {
        wiring::wireAudioSettings(window, devices.get(), capture.get(), &playback, &sounds);
    }
    void wire(MainWindow *window)
    {
        wiring::wireAudioSettings(window, devices.get(), capture.get(), &playback, &sounds);
    }
};

AudioSettingsDialog *openFromLogin(LoginWindow &window)
{
    emit window.loginMenuBar()->audioSettingsRequested();
    return window.findChild<AudioSettingsDialog *>();
}

void closeAndWait(AudioSettingsDialog *dialog)
{
    QPointer<AudioSettingsDialog> guard(dialog);
    dialog->close();
    QTRY_VERIFY(guard.isNull());
}

QStringList boxIds(QComboBox *box)
{
    QStringList ids;
    for (int i = 0; i < box->count(); ++i)
        if (box->itemData(i).isValid()) // not the separator
            ids << box->itemData(i).toString();
    return ids;
}

} // namespace

class AudioSettingsWiringTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { ScriptedDetector::speech = 1; }

    void peakToDb_data()
    {
        QTest::addColumn<float>("peak");
        QTest::addColumn<double>("db");
        QTest::newRow("silence") << 0.0f << -120.0;
        QTest::newRow("at the floor") << 0.000001f << -120.0;
        QTest::newRow("full scale") << 1.0f << 0.0;
        QTest::newRow("a tenth") << 0.1f << -20.0;
    }
    void peakToDb()
    {
        QFETCH(float, peak);
        QFETCH(double, db);
        QVERIFY(qAbs(wiring::peakToDb(peak) - db) < 1e-4);
    }

    void loginDialogHoldsTheMicrophoneWhileOpen()
    {
        Rig rig;
        LoginWindow window;
        rig.wire(&window);
        AudioSettingsDialog *dialog = openFromLogin(window);
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(rig.capture->captureActive());
        // A second request raises the open dialog.
        emit window.loginMenuBar()->audioSettingsRequested();
        QCOMPARE(window.findChildren<AudioSettingsDialog *>().size(), 1);

        // The input meter moves with what the microphone hears.
        QTRY_COMPARE(rig.mic->opens(), 1);
        LevelMeter *meter = dialog->inputGainControl()->meter();
        QCOMPARE(meter->level(), -120.0);
        for (int i = 0; i < 20; ++i)
            rig.mic->push(std::vector<qint16>(480, 16000));
        QTRY_VERIFY(meter->level() > -30.0);

        closeAndWait(dialog);
        QVERIFY(!rig.capture->captureActive());
        QTRY_COMPARE(rig.capture->inputPeak(), 0.0f);
    }

    void roomAndDialogCaptureAreSeparate()
    {
        Rig rig;
        LoginWindow window;
        rig.wire(&window);
        // How the voice session asks for the microphone when a room starts sending.
        const auto roomStarts = [&] {
            if (!rig.capture->captureRequested())
                rig.capture->startCapture();
        };

        // In a room: closing the dialog leaves the room's microphone on.
        roomStarts();
        closeAndWait(openFromLogin(window));
        QVERIFY(rig.capture->captureRequested());
        rig.capture->stopCapture();
        QVERIFY(!rig.capture->captureActive());

        // Dialog first, then a room is joined and left: the dialog's meters keep running.
        AudioSettingsDialog *dialog = openFromLogin(window);
        roomStarts();
        rig.capture->stopCapture();
        QVERIFY(rig.capture->captureActive());
        QVERIFY(rig.speak(20, 16000));
        QTRY_VERIFY(dialog->inputGainControl()->meter()->level() > -30.0);

        // A room starts while the dialog is open; closing the dialog leaves the room's
        // microphone on, and the device was never reopened for either.
        roomStarts();
        closeAndWait(dialog);
        QVERIFY(rig.capture->captureRequested());
        QVERIFY(rig.speak(2, 16000));
        QCOMPARE(rig.mic->opens(), 2);
        rig.capture->stopCapture();
        QVERIFY(!rig.capture->captureActive());
    }

    void dialogShowsAndAppliesSettings()
    {
        Rig rig;
        rig.sounds.setJoinVolume(0.8);
        rig.capture->setInputGainDb(6);
        rig.capture->setAgcEnabled(true);
        rig.playback.setDeviceId("out-2");
        MainWindow window{MainWindowOptions{}};
        rig.wire(&window);
        emit window.controlPanel()->audioSettingsRequested();
        auto *dialog = window.findChild<AudioSettingsDialog *>();
        QVERIFY(dialog);
        emit window.mainMenuBar()->audioSettingsRequested();
        QCOMPARE(window.findChildren<AudioSettingsDialog *>().size(), 1);

        QCOMPARE(dialog->joinSoundSlider()->value(), 80);
        QCOMPARE(dialog->inputGainControl()->gainDb(), 6);
        QVERIFY(dialog->agcBox()->isChecked());
        QCOMPARE(boxIds(dialog->inputDeviceBox()), QStringList({"default", "", "mic-1"}));
        QCOMPARE(boxIds(dialog->outputDeviceBox()), QStringList({"default", "", "out-1", "out-2"}));
        QCOMPARE(dialog->outputDeviceBox()->currentData().toString(), QString("out-2"));

        emit dialog->joinSoundVolumeChanged(35);
        QCOMPARE(rig.sounds.joinVolume(), 0.35);
        emit dialog->leaveSoundToggled(false);
        QVERIFY(!rig.sounds.leaveEnabled());
        emit dialog->inputDeviceSelected("mic-1");
        QCOMPARE(rig.capture->deviceId(), QString("mic-1"));
        emit dialog->outputDeviceSelected("out-1");
        QCOMPARE(rig.playback.deviceId(), QString("out-1"));
        emit dialog->inputGainChanged(-4);
        QCOMPARE(rig.capture->inputGainDb(), -4);
        emit dialog->outputGainChanged(3);
        QCOMPARE(rig.playback.outputGainDb(), 3);
        emit dialog->aecToggled(false);
        QVERIFY(!rig.capture->aecEnabled());
        emit dialog->hpfToggled(false);
        QVERIFY(!rig.capture->hpfEnabled());
        emit dialog->vadThresholdChanged(70);
        QCOMPARE(rig.capture->vadThresholdPct(), 70);
        emit dialog->vadHangoverChanged(500);
        QCOMPARE(rig.capture->vadHangoverMs(), 500);
        emit dialog->vadSilentStopChanged(false);
        QVERIFY(!rig.capture->vadSilentStop());
        QCOMPARE(rig.storage.values.value("vadThresholdPct").toInt(), 70);

        // A microphone plugged in refills both boxes; no stored device changes.
        rig.inputs.append({"mic-2", "USB microphone", false});
        rig.devices->refresh();
        QCOMPARE(boxIds(dialog->inputDeviceBox()), QStringList({"default", "", "mic-1", "mic-2"}));
        QCOMPARE(boxIds(dialog->outputDeviceBox()).size(), 4);
        QCOMPARE(rig.capture->deviceId(), QString("mic-1"));
        QCOMPARE(rig.playback.deviceId(), QString("out-1"));

        // Calibration runs on the capture side and its result reaches the dialog.
        const QString before = dialog->calibrationLabel()->text();
        emit rig.capture->calibrationFinished(true, 9);
        QVERIFY(dialog->calibrationLabel()->text() != before);

        closeAndWait(dialog);
    }

    // The voice-detection section shows the detector's graded speech probability: speech played
    // into the microphone, judged by the project's detector library, moves the shown percentage
    // through values a three-vote detector cannot give (anything but 0, 33, 67 and 100). The
    // section's picture is saved.
    void dialogShowsTheGradedSpeechProbability()
    {
        if (!QFileInfo::exists(QFileInfo(QStringLiteral(TEN_VAD_PATH)).absolutePath() + "/models/silero_vad.onnx"))
            QSKIP("the voice detector model is not installed (scripts/setup.sh fetches it)");
        QLibrary library(QStringLiteral(TEN_VAD_PATH));
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        VadDetector::LibraryCalls calls;
        calls.create = reinterpret_cast<decltype(calls.create)>(library.resolve("ten_vad_create"));
        calls.process = reinterpret_cast<decltype(calls.process)>(library.resolve("ten_vad_process"));
        calls.destroy = reinterpret_cast<decltype(calls.destroy)>(library.resolve("ten_vad_destroy"));
        const std::vector<std::int16_t> speech = testsupport::synthesizeSpeech(
            QStringLiteral("Can you hear me now? The quick brown fox jumps over the lazy dog."));
        if (speech.empty())
            QSKIP("espeak-ng or sox is not installed");

        Rig rig(calls);
        LoginWindow window;
        rig.wire(&window);
        AudioSettingsDialog *dialog = openFromLogin(window);
        QVERIFY(dialog);
        QTRY_COMPARE(rig.mic->opens(), 1);
        QCOMPARE(dialog->probabilityLabel()->text(), QStringLiteral("· 0%"));
        QList<int> shown;
        QPixmap picture; // the section as it first shows a graded value
        QWidget *section = dialog->probabilityLabel()->parentWidget();
        const auto isGraded = [](int p) { return p != 0 && p != 33 && p != 67 && p != 100; };
        connect(rig.capture.get(), &AudioCaptureManager::vadProbabilityChanged, dialog, [&] {
            const QString text = dialog->probabilityLabel()->text();
            QVERIFY(text.startsWith(QStringLiteral("· ")) && text.endsWith(QLatin1Char('%')));
            shown << text.mid(2, text.size() - 3).toInt();
            if (picture.isNull() && isGraded(shown.last()))
                picture = section->grab();
        });

        // Played in steps of ten frames, each taken before the next (a device delivers at its pace).
        for (std::size_t at = 0; at + 480 <= speech.size(); at += 480) {
            rig.mic->push(std::vector<qint16>(speech.begin() + std::ptrdiff_t(at), speech.begin() + std::ptrdiff_t(at + 480)));
            if ((at / 480) % 10 == 9)
                QVERIFY(QTest::qWaitFor([&] { return rig.mic->pending() == 0; }, 5000));
        }
        // About one report per 96 ms of speech.
        QTRY_VERIFY(shown.size() >= int(speech.size() / 48000 * 8));
        QStringList figures;
        for (int p : shown)
            figures << QString::number(p);
        QVERIFY2(std::any_of(shown.begin(), shown.end(), isGraded), qPrintable("shown: " + figures.join(' ')));
        QVERIFY2(*std::max_element(shown.begin(), shown.end()) >= 50, qPrintable("shown: " + figures.join(' ')));
        qInfo().noquote() << "shown:" << figures.join(' ');

        QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
        QVERIFY(picture.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/audio_settings_vad_probability.png")));
        closeAndWait(dialog);
    }

    void loopTestRecordsAndClears()
    {
        Rig rig;
        LoginWindow window;
        rig.wire(&window);
        AudioSettingsDialog *dialog = openFromLogin(window);
        auto *loop = dialog->findChild<AudioLoopback *>();
        QVERIFY(loop);
        QSignalSpy source(loop, &AudioLoopback::sourceChanged);
        QSignalSpy recorded(rig.capture.get(), &AudioCaptureManager::loopRecordFinished);
        QTRY_COMPARE(rig.mic->opens(), 1);

        emit dialog->loopRecordToggled(true);
        QVERIFY(rig.speak(10, 500));
        emit dialog->loopRecordToggled(false);
        QTRY_COMPARE(recorded.count(), 1);
        QTRY_VERIFY(!source.isEmpty());
        QVERIFY(source.last().at(1).toDouble() > 0.0);

        // Clearing while recording stops the recording, and its samples do not come back.
        emit dialog->loopClearRequested();
        const int afterClear = source.count();
        emit dialog->loopRecordToggled(true);
        QVERIFY(rig.speak(10, 500));
        emit dialog->loopClearRequested();
        QTRY_COMPARE(recorded.count(), 2);
        QCoreApplication::processEvents();
        for (int i = afterClear; i < source.count(); ++i)
            QCOMPARE(source.at(i).at(1).toDouble(), 0.0);

        closeAndWait(dialog);
    }
};

KESTOVA_TEST_MAIN(AudioSettingsWiringTest)
#include "test_audio_settings_wiring.moc"
