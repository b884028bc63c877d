#include "audio/audio_capture_manager.h"
#include "audio/audio_device_catalog.h"
#include "audio/audio_playback_manager.h"
#include "audio/memory_audio_storage.h"
#include "audio/scripted_detector.h"
#include "audio/sound_manager.h"
#include "platform/audio/private_pulse_server.h"
#include "support/test_main.h"
#include "ui/login/login_menu_bar.h"
#include "ui/login/login_window.h"
#include "ui/settings/audio_settings_dialog.h"
#include "ui/widgets/level_meter.h"
#include "ui/widgets/volume_control.h"
#include "wiring/login_window_wiring.h"

#include <QPointer>

#include <csignal>

using testsupport::MemoryAudioStorage;
using testsupport::PrivatePulseServer;
using testsupport::ScriptedDetector;

// The audio settings dialog's input meter against a real sound server: a pipe source plays a
// tone into the microphone the capture service opens for the dialog.
class AudioSettingsPulseTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivatePulseServer> server;

private slots:
    void initTestCase()
    {
        if (!PrivatePulseServer::available())
            QSKIP("pulseaudio is not installed");
        std::signal(SIGPIPE, SIG_IGN);
        server = std::make_unique<PrivatePulseServer>();
        QVERIFY2(server->start(), "the private sound server did not start");
    }

    void cleanupTestCase() { server.reset(); }

    void inputMeterFollowsTheMicrophone()
    {
        const QString fifo = server->path("mic.fifo");
        QString moduleIndex;
        QCOMPARE(server->pactl({"load-module", "module-pipe-source", "source_name=fifo", "file=" + fifo, "format=s16le",
                                "rate=48000", "channels=1"},
                               &moduleIndex),
                 0);
        // A tone written as fast as the server takes it: faster than real time.
        testsupport::PipeToneWriter tone(fifo);

        {
            ScriptedDetector::speech = 1;
            MemoryAudioStorage storage;
            storage.setInputDeviceId("fifo");
            AudioCaptureManager::Dependencies deps;
            deps.engine.detectorLibrary = ScriptedDetector::calls();
            AudioCaptureManager capture(&storage, nullptr, deps);
            AudioPlaybackManager playback(&storage);
            SoundManager sounds(&storage);
            AudioDeviceCatalog devices(nullptr);
            LoginWindow window;
            wiring::wireAudioSettings(&window, &devices, &capture, &playback, &sounds);

            emit window.loginMenuBar()->audioSettingsRequested();
            QPointer<AudioSettingsDialog> dialog = window.findChild<AudioSettingsDialog *>();
            QVERIFY(dialog);
            LevelMeter *meter = dialog->inputGainControl()->meter();
            QTRY_VERIFY_WITH_TIMEOUT(meter->level() > -30.0, 30000);
            QVERIFY(meter->level() <= 0.0);

            dialog->close();
            QTRY_VERIFY(dialog.isNull());
            QVERIFY(!capture.captureActive());
            QTRY_COMPARE(capture.inputPeak(), 0.0f);
        }
        QCOMPARE(server->pactl({"unload-module", moduleIndex}), 0);
    }
};

KESTOVA_TEST_MAIN(AudioSettingsPulseTest)
#include "test_audio_settings_pulse.moc"
