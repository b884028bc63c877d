#pragma once

#include "platform/audio/audio_device_info.h"

#include <QList>
#include <QObject>

#include <functional>

class AudioDeviceNotifier;

// The capture and render device lists that the audio settings show, refreshed whenever the
// notifier reports a change of the lists or of a default device that marks an entry.
// GUI thread only.
class AudioDeviceCatalog : public QObject
{
    Q_OBJECT
public:
    using Lister = std::function<QList<AudioDeviceInfo>(AudioDirection)>;

    // `lister` empty: the system's device lists.
    explicit AudioDeviceCatalog(AudioDeviceNotifier *notifier, QObject *parent = nullptr, Lister lister = {});

    QList<AudioDeviceInfo> inputDevices() const { return capture; }
    QList<AudioDeviceInfo> outputDevices() const { return render; }

public slots:
    void refresh();

signals:
    void devicesChanged();

private:
    QList<AudioDeviceInfo> capture;
    QList<AudioDeviceInfo> render;
    Lister lister;
};
