#include "audio/audio_assembly.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_control_service.h"
#include "audio/audio_device_catalog.h"
#include "audio/audio_machine_store.h"
#include "audio/audio_playback_manager.h"
#include "audio/sound_manager.h"
#include "platform/audio/audio_device_notifier.h"

AudioAssembly::AudioAssembly()
    : store(std::make_unique<AudioMachineStore>())
    , notifier(std::make_unique<PulseDeviceNotifier>())
    , catalog(std::make_unique<AudioDeviceCatalog>(notifier.get()))
    , capture(std::make_unique<AudioCaptureManager>(store.get()))
    , playback(std::make_unique<AudioPlaybackManager>(store.get()))
    , control(std::make_unique<AudioControlService>(capture.get(), playback.get()))
    , sounds(std::make_unique<SoundManager>(store.get()))
{
    // The mixed playback reaches the capture pipeline as the echo reference.
    playback->setPipelineSlot(capture->pipelineSlot());
    QObject::connect(notifier.get(), &AudioDeviceNotifier::defaultInputChanged, capture.get(),
                     &AudioCaptureManager::onDefaultInputChanged);
    QObject::connect(notifier.get(), &AudioDeviceNotifier::defaultConsoleInputChanged, capture.get(),
                     &AudioCaptureManager::onDefaultConsoleInputChanged);
    QObject::connect(notifier.get(), &AudioDeviceNotifier::defaultCommOutputChanged, playback.get(),
                     &AudioPlaybackManager::onDefaultCommOutputChanged);
    QObject::connect(notifier.get(), &AudioDeviceNotifier::defaultConsoleOutputChanged, playback.get(),
                     &AudioPlaybackManager::onDefaultConsoleOutputChanged);
}

AudioAssembly::~AudioAssembly()
{
    // Reverse order of construction (the members' declaration order does this too; spelt out
    // because the playback's render thread must stop before the capture pipeline goes).
    sounds.reset();
    control.reset();
    playback.reset();
    capture.reset();
    catalog.reset();
    notifier.reset();
    store.reset();
}
