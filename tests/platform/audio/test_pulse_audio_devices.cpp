#include "audio/audio_capture_engine.h"
#include "audio/audio_device_catalog.h"
#include "audio/audio_frame_sink_slot.h"
#include "audio/audio_pipeline.h"
#include "audio/audio_playback_manager.h"
#include "audio/fake_remote_stream.h"
#include "platform/audio/audio_device_info.h"
#include "platform/audio/audio_device_notifier.h"
#include "platform/audio/private_pulse_server.h"
#include "platform/audio/qt_capture_backend.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <thread>
#include <unistd.h>

using testsupport::LogCapture;
using testsupport::PrivatePulseServer;

class PulseAudioDevicesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivatePulseServer> server;

private slots:
    void initTestCase()
    {
        if (!PrivatePulseServer::available())
            QSKIP("pulseaudio is not installed");
        // The FIFO writer outlives the source it feeds in one test: a write error, not a signal.
        std::signal(SIGPIPE, SIG_IGN);
        server = std::make_unique<PrivatePulseServer>();
        QVERIFY2(server->start(), "the private sound server did not start");
    }

    void cleanupTestCase() { server.reset(); }

    void notifierReportsListAndDefaultChanges()
    {
        PulseDeviceNotifier notifier;
        QTRY_VERIFY(notifier.isSubscribed());
        QSignalSpy list(&notifier, &AudioDeviceNotifier::inputListChanged);
        QSignalSpy input(&notifier, &AudioDeviceNotifier::defaultInputChanged);
        QSignalSpy consoleInput(&notifier, &AudioDeviceNotifier::defaultConsoleInputChanged);
        QSignalSpy commOutput(&notifier, &AudioDeviceNotifier::defaultCommOutputChanged);
        QSignalSpy consoleOutput(&notifier, &AudioDeviceNotifier::defaultConsoleOutputChanged);

        QCOMPARE(server->pactl({"load-module", "module-null-source", "source_name=second"}), 0);
        QTRY_VERIFY(list.count() >= 1);
        QCOMPARE(input.count(), 0);

        QCOMPARE(server->pactl({"set-default-source", "second"}), 0);
        QTRY_COMPARE(input.count(), 1);
        QTRY_COMPARE(consoleInput.count(), 1);
        QCOMPARE(commOutput.count(), 0);

        // A render device arriving is reported on the same list signal.
        const int before = list.count();
        QCOMPARE(server->pactl({"load-module", "module-null-sink", "sink_name=secondsink"}), 0);
        QTRY_VERIFY(list.count() > before);
        QCOMPARE(server->pactl({"set-default-sink", "secondsink"}), 0);
        QTRY_COMPARE(commOutput.count(), 1);
        QTRY_COMPARE(consoleOutput.count(), 1);
        QCOMPARE(input.count(), 1);

        QCOMPARE(server->pactl({"set-default-source", "nullsrc"}), 0);
        QCOMPARE(server->pactl({"set-default-sink", "nullsink"}), 0);
        QTRY_COMPARE(input.count(), 2);
        QTRY_COMPARE(commOutput.count(), 2);
    }

    void catalogueListsTheServersDevices()
    {
        PulseDeviceNotifier notifier;
        AudioDeviceCatalog catalog(&notifier);
        const auto inputs = catalog.inputDevices();
        auto find = [&](const QString &id) {
            for (const auto &d : inputs)
                if (d.id == id)
                    return d;
            return AudioDeviceInfo();
        };
        QCOMPARE(find("nullsrc").id, QString("nullsrc"));
        QVERIFY(find("nullsrc").isDefault);
        QVERIFY(!find("nullsrc").name.isEmpty());
        int defaults = 0;
        for (const auto &d : inputs)
            defaults += d.isDefault ? 1 : 0;
        QCOMPARE(defaults, 1);
        QCOMPARE(defaultEndpointId(AudioDirection::Capture, true), QString("nullsrc"));
        QCOMPARE(defaultEndpointId(AudioDirection::Capture, false), QString("nullsrc"));
        bool sinkListed = false;
        for (const auto &d : catalog.outputDevices())
            sinkListed = sinkListed || d.id == "nullsink";
        QVERIFY(sinkListed);
    }

    void backendOpensByIdOrFallsBack()
    {
        LogCapture logs;
        QtCaptureBackend backend;
        std::vector<qint16> out{1, 2};
        QVERIFY(!backend.readPackets(out));
        QCOMPARE(out.size(), std::size_t(2));
        QCOMPARE(backend.eventHandle(), -1);

        CaptureOpenResult r = backend.open("default", 48000, 1);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.endpointId, QString("nullsrc"));
        QVERIFY(!r.rawMode);
        QVERIFY(backend.eventHandle() >= 0);

        r = backend.open("no-such-device", 48000, 1);
        QVERIFY(r.ok);
        QCOMPARE(r.endpointId, QString("nullsrc"));
        QVERIFY(logs.contains("audio.capture",
                              "stored capture device not found, falling back to default device_id=no-such-device"));

        r = backend.open(QString(), 48000, 1);
        QVERIFY(r.ok);
        QCOMPARE(r.endpointId, QString("nullsrc"));
        backend.close();
        QVERIFY(!backend.isOpen());
        backend.close(); // harmless
    }

    void capturesKnownAudioFromAPipeSource()
    {
        const QString fifo = server->path("mic.fifo");
        // The module makes the FIFO itself (and refuses one that exists).
        QString moduleIndex;
        QCOMPARE(server->pactl({"load-module", "module-pipe-source", "source_name=fifo", "file=" + fifo, "format=s16le",
                                "rate=48000", "channels=1"},
                               &moduleIndex),
                 0);

        // A 440 Hz tone at about -10 dBFS, written as fast as the server takes it.
        std::optional<testsupport::PipeToneWriter> tone(std::in_place, fifo);

        auto listed = [] {
            for (const auto &d : captureDevices())
                if (d.id == "fifo")
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(), 5000);
        QtCaptureBackend backend;
        const CaptureOpenResult r = backend.open("fifo", 48000, 1);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.endpointId, QString("fifo"));
        std::vector<qint16> captured;
        bool readFailed = false;
        QSocketNotifier ready(backend.eventHandle(), QSocketNotifier::Read);
        connect(&ready, &QSocketNotifier::activated, this,
                [&] { readFailed = readFailed || !backend.readPackets(captured); });
        QTRY_VERIFY_WITH_TIMEOUT(captured.size() >= 48000 || readFailed, 10000);
        QVERIFY(!readFailed);

        backend.close();
        QCOMPARE(server->pactl({"unload-module", moduleIndex}), 0);
        tone.reset();

        // The last half second: the tone's level and pitch.
        const std::size_t from = captured.size() - 24000;
        double sum = 0;
        int crossings = 0;
        for (std::size_t i = from; i < captured.size(); ++i) {
            sum += double(captured[i]) * captured[i];
            if (i > from && (captured[i - 1] < 0) != (captured[i] < 0))
                ++crossings;
        }
        const double rms = std::sqrt(sum / 24000);
        QVERIFY2(std::abs(rms - 7071) < 700, qPrintable(QString::number(rms)));
        const double hz = crossings / 2.0 / 0.5;
        QVERIFY2(std::abs(hz - 440) < 10, qPrintable(QString::number(hz)));
    }

    // Remote voices reach the sound server through the system's render client, which the render
    // thread opens, feeds and closes on its own: it starts once, the mix comes out (the output
    // peak follows the voice) and the device is not lost and reopened on the way.
    void playbackRendersThroughTheSoundServer()
    {
        LogCapture log;
        std::vector<std::shared_ptr<testsupport::FakeRemoteStream>> streams;
        AudioPlaybackDependencies deps;
        deps.startTickTimer = false;
        deps.openStream = [&streams](const std::shared_ptr<livekit::Track> &) -> std::shared_ptr<IRemoteAudioStream> {
            streams.push_back(std::make_shared<testsupport::FakeRemoteStream>());
            return streams.back();
        };
        AudioPlaybackManager playback(nullptr, nullptr, deps);
        playback.addRemoteTrack(std::make_shared<testsupport::FakeTrack>(), QStringLiteral("TR_1"),
                                QStringLiteral("alice"));
        playback.onPlaybackTick();
        QVERIFY2(log.contains(QStringLiteral("audio.playback"), QStringLiteral("wasapi render started endpoint=")),
                 "the render device did not open");
        for (int i = 0; i < 40; ++i) {
            streams.back()->push(8000);
            QTest::qWait(10);
            playback.onPlaybackTick();
        }
        QTRY_VERIFY(playback.outputPeak() > 0.2f);
        QCOMPARE(log.count(QStringLiteral("audio.playback"), QStringLiteral("wasapi render started")), 1);
        QCOMPARE(log.count(QStringLiteral("audio.playback"), QStringLiteral("render open failed")), 0);
        playback.removeAllSessions();
        playback.onPlaybackTick();
        QVERIFY(log.contains(QStringLiteral("audio.playback"), QStringLiteral("no remote sessions, destroying render")));
    }
};

KESTOVA_TEST_MAIN(PulseAudioDevicesTest)
#include "test_pulse_audio_devices.moc"
