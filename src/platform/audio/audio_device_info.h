#pragma once

#include <QList>
#include <QString>

struct AudioDeviceInfo
{
    QString id;             // the device id
    QString name;           // the friendly name, empty when the device has none
    bool isDefault = false; // the default device of its direction

    bool operator==(const AudioDeviceInfo &) const = default;
};

enum class AudioDirection { Capture, Render };

// The active devices of one direction in the system's order; devices without an id are left
// out. The sound server has one default per direction, which serves as both the
// communications and the console default here. GUI thread.
QList<AudioDeviceInfo> enumerateAudioDevices(AudioDirection direction);
QList<AudioDeviceInfo> captureDevices();
QList<AudioDeviceInfo> renderDevices();
// The default device's id, empty when there is none.
QString defaultEndpointId(AudioDirection direction, bool communications);
