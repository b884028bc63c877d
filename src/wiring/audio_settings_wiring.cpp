#include "wiring/audio_settings_wiring.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_device_catalog.h"
#include "audio/audio_loopback.h"
#include "audio/audio_playback_manager.h"
#include "audio/sound_manager.h"
#include "ui/login/login_menu_bar.h"
#include "ui/login/login_window.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_window.h"
#include "ui/settings/audio_settings_dialog.h"
#include "wiring/login_window_wiring.h"
#include "wiring/main_window_wiring.h"

#include <QTimer>

#include <cmath>
#include <memory>

namespace wiring {
namespace {

constexpr int kMeterIntervalMs = 50;

AudioSettingsDialog::DeviceList deviceEntries(const QList<AudioDeviceInfo> &devices)
{
    AudioSettingsDialog::DeviceList entries;
    for (const AudioDeviceInfo &device : devices)
        entries.append({device.id, device.name});
    return entries;
}

int toPercent(double fraction)
{
    return int(std::lround(fraction * 100.0));
}

void fillDevices(AudioSettingsDialog *dialog, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                 AudioPlaybackManager *playback)
{
    dialog->setInputDevices(deviceEntries(devices->inputDevices()), capture->deviceId());
    dialog->setOutputDevices(deviceEntries(devices->outputDevices()), playback->deviceId());
}

// Which loop recordings are still to come back from the capture side, and how many of them
// belong to a loop test the user has cleared since.
struct LoopRecordState
{
    bool recording = false;
    int awaited = 0;
    int discarded = 0;
};

void wireLoopTest(AudioSettingsDialog *dialog, AudioCaptureManager *capture, AudioPlaybackManager *playback)
{
    auto *loop = new AudioLoopback(dialog);
    loop->setOutputDeviceId(playback->deviceId());
    loop->setNoiseMode(capture->noiseMode());
    loop->setInputGainDb(capture->inputGainDb());
    loop->setAgcEnabled(capture->agcEnabled());
    loop->setHpfEnabled(capture->hpfEnabled());
    loop->setVadThresholdPct(capture->vadThresholdPct());
    loop->setVadHangoverMs(capture->vadHangoverMs());
    loop->setVadSilentStop(capture->vadSilentStop());

    // Echo cancellation has nothing to cancel in the loop test, so it is not passed on.
    QObject::connect(dialog, &AudioSettingsDialog::outputDeviceSelected, loop, &AudioLoopback::setOutputDeviceId);
    QObject::connect(dialog, &AudioSettingsDialog::noiseModeSelected, loop, &AudioLoopback::setNoiseMode);
    QObject::connect(dialog, &AudioSettingsDialog::inputGainChanged, loop, &AudioLoopback::setInputGainDb);
    QObject::connect(dialog, &AudioSettingsDialog::agcToggled, loop, &AudioLoopback::setAgcEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::hpfToggled, loop, &AudioLoopback::setHpfEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::vadThresholdChanged, loop, &AudioLoopback::setVadThresholdPct);
    QObject::connect(dialog, &AudioSettingsDialog::vadHangoverChanged, loop, &AudioLoopback::setVadHangoverMs);
    QObject::connect(dialog, &AudioSettingsDialog::vadSilentStopChanged, loop, &AudioLoopback::setVadSilentStop);

    auto state = std::make_shared<LoopRecordState>();
    QObject::connect(dialog, &AudioSettingsDialog::loopRecordToggled, dialog, [capture, state](bool start) {
        if (start) {
            state->recording = true;
            capture->startLoopRecord();
        } else if (state->recording) {
            state->recording = false;
            ++state->awaited;
            capture->stopLoopRecord();
        }
    });
    QObject::connect(capture, &AudioCaptureManager::loopRecordFinished, loop,
                     [loop, state](const QList<qint16> &samples) {
                         if (state->awaited > 0)
                             --state->awaited;
                         if (state->discarded > 0) {
                             --state->discarded;
                             return;
                         }
                         loop->setSource(samples, QString());
                     });
    QObject::connect(dialog, &AudioSettingsDialog::loopPlayToggled, loop, &AudioLoopback::setPlaying);
    QObject::connect(dialog, &AudioSettingsDialog::loopLoopToggled, loop, &AudioLoopback::setLooping);
    QObject::connect(dialog, &AudioSettingsDialog::loopClearRequested, loop, [dialog, loop, capture, state] {
        // The dialog drops its record button without a signal, so a running recording is
        // stopped here; neither it nor one still on its way may refill the cleared test.
        if (state->recording) {
            state->recording = false;
            ++state->awaited;
            capture->stopLoopRecord();
        }
        state->discarded = state->awaited;
        loop->clear();
        dialog->resetLoop();
    });
    QObject::connect(dialog, &AudioSettingsDialog::loopFileChosen, loop, &AudioLoopback::loadFile);
    QObject::connect(loop, &AudioLoopback::sourceChanged, dialog, &AudioSettingsDialog::onLoopSourceChanged);
    QObject::connect(loop, &AudioLoopback::progressChanged, dialog, &AudioSettingsDialog::onLoopProgress);
    QObject::connect(loop, &AudioLoopback::playbackStopped, dialog, &AudioSettingsDialog::onLoopPlaybackStopped);
    QObject::connect(loop, &AudioLoopback::decodeFailed, dialog, &AudioSettingsDialog::onLoopDecodeFailed);
}

} // namespace

double peakToDb(float peak)
{
    return peak > 0.000001f ? 20.0 * std::log10(double(peak)) : -120.0;
}

void openAudioSettings(QWidget *parent, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                       AudioPlaybackManager *playback, SoundManager *sounds)
{
    if (auto *open = parent->findChild<AudioSettingsDialog *>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new AudioSettingsDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);

    fillDevices(dialog, devices, capture, playback);
    dialog->setInputGain(capture->inputGainDb());
    dialog->setOutputGain(playback->outputGainDb());
    dialog->setNoiseMode(capture->noiseMode());
    dialog->setAecChecked(capture->aecEnabled());
    dialog->setAgcChecked(capture->agcEnabled());
    dialog->setHpfChecked(capture->hpfEnabled());
    dialog->setVadThreshold(capture->vadThresholdPct());
    dialog->setVadHangover(capture->vadHangoverMs());
    dialog->setVadSilentStop(capture->vadSilentStop());
    dialog->setJoinSound(sounds->joinEnabled(), toPercent(sounds->joinVolume()));
    dialog->setLeaveSound(sounds->leaveEnabled(), toPercent(sounds->leaveVolume()));

    QObject::connect(dialog, &AudioSettingsDialog::inputDeviceSelected, capture, &AudioCaptureManager::setDeviceId);
    QObject::connect(dialog, &AudioSettingsDialog::outputDeviceSelected, playback, &AudioPlaybackManager::setDeviceId);
    QObject::connect(dialog, &AudioSettingsDialog::inputGainChanged, capture, &AudioCaptureManager::setInputGainDb);
    QObject::connect(dialog, &AudioSettingsDialog::outputGainChanged, playback, &AudioPlaybackManager::setOutputGainDb);
    QObject::connect(dialog, &AudioSettingsDialog::noiseModeSelected, capture, &AudioCaptureManager::setNoiseMode);
    QObject::connect(dialog, &AudioSettingsDialog::aecToggled, capture, &AudioCaptureManager::setAecEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::agcToggled, capture, &AudioCaptureManager::setAgcEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::hpfToggled, capture, &AudioCaptureManager::setHpfEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::vadThresholdChanged, capture,
                     &AudioCaptureManager::setVadThresholdPct);
    QObject::connect(dialog, &AudioSettingsDialog::vadHangoverChanged, capture, &AudioCaptureManager::setVadHangoverMs);
    QObject::connect(dialog, &AudioSettingsDialog::vadSilentStopChanged, capture,
                     &AudioCaptureManager::setVadSilentStop);
    QObject::connect(dialog, &AudioSettingsDialog::joinSoundToggled, sounds, &SoundManager::setJoinEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::joinSoundVolumeChanged, sounds,
                     [sounds](int percent) { sounds->setJoinVolume(percent / 100.0); });
    QObject::connect(dialog, &AudioSettingsDialog::joinSoundPreviewRequested, sounds, &SoundManager::previewJoinSound);
    QObject::connect(dialog, &AudioSettingsDialog::leaveSoundToggled, sounds, &SoundManager::setLeaveEnabled);
    QObject::connect(dialog, &AudioSettingsDialog::leaveSoundVolumeChanged, sounds,
                     [sounds](int percent) { sounds->setLeaveVolume(percent / 100.0); });
    QObject::connect(dialog, &AudioSettingsDialog::leaveSoundPreviewRequested, sounds,
                     &SoundManager::previewLeaveSound);
    QObject::connect(dialog, &AudioSettingsDialog::calibrationToggled, capture, [capture](bool start) {
        if (start)
            capture->startCalibration();
        else
            capture->stopCalibration();
    });

    QObject::connect(devices, &AudioDeviceCatalog::devicesChanged, dialog,
                     [dialog, devices, capture, playback] { fillDevices(dialog, devices, capture, playback); });
    QObject::connect(capture, &AudioCaptureManager::vadStateChanged, dialog, &AudioSettingsDialog::setVadState);
    QObject::connect(capture, &AudioCaptureManager::vadProbabilityChanged, dialog,
                     &AudioSettingsDialog::setVadProbability);
    QObject::connect(capture, &AudioCaptureManager::processingLoadChanged, dialog,
                     &AudioSettingsDialog::setProcessingLoad);
    QObject::connect(capture, &AudioCaptureManager::captureDeviceChanged, dialog,
                     &AudioSettingsDialog::setCaptureDevice);
    QObject::connect(capture, &AudioCaptureManager::calibrationFinished, dialog,
                     &AudioSettingsDialog::onCalibrationResult);

    auto *meters = new QTimer(dialog);
    meters->setInterval(kMeterIntervalMs);
    QObject::connect(meters, &QTimer::timeout, dialog, [dialog, capture, playback] {
        dialog->setInputLevel(peakToDb(capture->inputPeak()));
        dialog->setOutputLevel(peakToDb(playback->outputPeak()));
    });
    meters->start();

    wireLoopTest(dialog, capture, playback);

    // The dialog holds its own request for the microphone (meters and voice state move outside
    // a room too); a room's request is separate, so neither side ends the other's capture.
    const void *owner = dialog;
    capture->acquireCapture(owner);
    QObject::connect(dialog, &QObject::destroyed, capture, [capture, owner] {
        capture->stopCalibration();
        capture->stopLoopRecord();
        capture->releaseCapture(owner);
    });
    dialog->show();
}

void wireAudioSettings(LoginWindow *window, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                       AudioPlaybackManager *playback, SoundManager *sounds)
{
    if (!window || !window->loginMenuBar() || !devices || !capture || !playback || !sounds)
        return;
    QObject::connect(window->loginMenuBar(), &LoginMenuBar::audioSettingsRequested, window,
                     [=] { openAudioSettings(window, devices, capture, playback, sounds); });
}

void wireAudioSettings(MainWindow *window, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                       AudioPlaybackManager *playback, SoundManager *sounds)
{
    if (!window || !devices || !capture || !playback || !sounds)
        return;
    const auto open = [=] { openAudioSettings(window, devices, capture, playback, sounds); };
    if (ControlPanel *panel = window->controlPanel())
        QObject::connect(panel, &ControlPanel::audioSettingsRequested, window, open);
    if (MainMenuBar *menu = window->mainMenuBar())
        QObject::connect(menu, &MainMenuBar::audioSettingsRequested, window, open);
}

} // namespace wiring
