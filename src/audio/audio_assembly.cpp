#include "audio/audio_assembly.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_device_catalog.h"
#include "audio/audio_machine_store.h"
#include "audio/audio_playback_manager.h"
#include "platform/audio/audio_device_notifier.h"

AudioAssembly::AudioAssembly()
    : store(std::make_unique<AudioMachineStore>())
    , notifier(std::make_unique<PulseDeviceNotifier>())
    , catalog(std::make_unique<AudioDeviceCatalog>(notifier.get()))
    , capture(std::make_unique<AudioCaptureManager>(store.get()))
    , playback(std::make_unique<AudioPlaybackManager>())
{
    QObject::connect(notifier.get(), &AudioDeviceNotifier::defaultInputChanged, capture.get(),
                     &AudioCaptureManager::onDefaultInputChanged);
    QObject::connect(notifier.get(), &AudioDeviceNotifier::defaultConsoleInputChanged, capture.get(),
                     &AudioCaptureManager::onDefaultConsoleInputChanged);
}

AudioAssembly::~AudioAssembly() = default;
