#include "platform/audio/audio_device_info.h"

#include <QAudioDevice>
#include <QMediaDevices>

QList<AudioDeviceInfo> enumerateAudioDevices(AudioDirection direction)
{
    const bool capture = direction == AudioDirection::Capture;
    const QList<QAudioDevice> devices = capture ? QMediaDevices::audioInputs() : QMediaDevices::audioOutputs();
    const QString defaultId = defaultEndpointId(direction, true);
    QList<AudioDeviceInfo> list;
    list.reserve(devices.size());
    for (const QAudioDevice &device : devices) {
        AudioDeviceInfo info;
        info.id = QString::fromUtf8(device.id());
        if (info.id.isEmpty())
            continue;
        info.name = device.description();
        info.isDefault = !defaultId.isEmpty() && info.id == defaultId;
        list.append(info);
    }
    return list;
}

QList<AudioDeviceInfo> captureDevices()
{
    return enumerateAudioDevices(AudioDirection::Capture);
}

QList<AudioDeviceInfo> renderDevices()
{
    return enumerateAudioDevices(AudioDirection::Render);
}

QString defaultEndpointId(AudioDirection direction, bool communications)
{
    Q_UNUSED(communications) // one default per direction on this platform
    const QAudioDevice device =
        direction == AudioDirection::Capture ? QMediaDevices::defaultAudioInput() : QMediaDevices::defaultAudioOutput();
    return device.isNull() ? QString() : QString::fromUtf8(device.id());
}
