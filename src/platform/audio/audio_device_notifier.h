#pragma once

#include <QObject>

#include <memory>

// Tells the audio components that the devices changed. Signals are emitted on the notifier's
// own (GUI) thread, whatever thread learnt of the change.
class AudioDeviceNotifier : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~AudioDeviceNotifier() override = default;

signals:
    void defaultInputChanged();         // default communications capture device
    void defaultConsoleInputChanged();  // default console capture device
    void defaultCommOutputChanged();    // default communications render device
    void defaultConsoleOutputChanged(); // default console render device
    void inputListChanged();            // a device of either direction came, went or changed state
};

// The notifier over a subscription to the sound server (PulseAudio). The server keeps one
// default per direction, so a change of it raises both the communications and the console
// signal of that direction. Without a server it logs once and stays silent.
class PulseDeviceNotifier : public AudioDeviceNotifier
{
    Q_OBJECT
public:
    explicit PulseDeviceNotifier(QObject *parent = nullptr);
    ~PulseDeviceNotifier() override;

    // Whether the subscription is established (it is set up asynchronously).
    bool isSubscribed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
