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

#include <QScopeGuard>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>

#include <thread>
#include <unistd.h>
#include <vector>

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
        // A 440 Hz tone at about -10 dBFS, written as fast as the server takes it.
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            const int fd = ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                return;
            std::vector<qint16> block(480);
            long n = 0;
            while (!stop.load()) {
                for (auto &s : block)
                    s = qint16(std::lround(10000 * std::sin(2 * M_PI * 440 * double(n++) / 48000)));
                const char *p = reinterpret_cast<const char *>(block.data());
                std::size_t left = block.size() * 2;
                while (left > 0 && !stop.load()) {
                    const ssize_t w = ::write(fd, p, left);
                    if (w > 0) {
                        p += w;
                        left -= std::size_t(w);
                    } else if (w < 0 && errno == EAGAIN) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    } else if (w < 0 && errno != EINTR) {
                        ::close(fd);
                        return;
                    }
                }
            }
            ::close(fd);
        });
        // A failed check returns early: the writer must still be stopped and joined.
        const auto stopWriter = qScopeGuard([&] {
            stop = true;
            if (writer.joinable())
                writer.join();
        });

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
