#include "audio/audio_device_catalog.h"

#include "platform/audio/audio_device_notifier.h"

AudioDeviceCatalog::AudioDeviceCatalog(AudioDeviceNotifier *notifier, QObject *parent, Lister lister_)
    : QObject(parent)
    , lister(lister_ ? std::move(lister_) : Lister(enumerateAudioDevices))
{
    if (notifier) {
        connect(notifier, &AudioDeviceNotifier::inputListChanged, this, &AudioDeviceCatalog::refresh);
        connect(notifier, &AudioDeviceNotifier::defaultInputChanged, this, &AudioDeviceCatalog::refresh);
        connect(notifier, &AudioDeviceNotifier::defaultCommOutputChanged, this, &AudioDeviceCatalog::refresh);
        connect(notifier, &AudioDeviceNotifier::defaultConsoleOutputChanged, this, &AudioDeviceCatalog::refresh);
        // The console capture default marks no entry, so it needs no refresh.
    }
    refresh();
}

void AudioDeviceCatalog::refresh()
{
    capture = lister(AudioDirection::Capture);
    render = lister(AudioDirection::Render);
    emit devicesChanged();
}
