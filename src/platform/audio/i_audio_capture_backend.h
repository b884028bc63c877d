#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

struct CaptureOpenResult
{
    bool ok = false;
    bool rawMode = false; // the device's own sound effects bypassed
    QString endpointId;   // the device actually opened, after any fallback
    QString error;        // the failure text when not ok
};

// A microphone as the capture engine sees it: open a device by id, a waitable event that
// fires when audio is ready, read everything pending as 16-bit samples, close.
// Device ids: empty selects the default communications device, "default" the default console
// device, anything else a device id; an id that matches no device falls back to the default.
// Threads: every call comes from the capture thread.
class IAudioCaptureBackend
{
public:
    virtual ~IAudioCaptureBackend() = default;
    virtual CaptureOpenResult open(const QString &deviceId, int sampleRate, int channels) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // A descriptor that becomes readable when captured audio is ready; -1 while closed.
    virtual int eventHandle() const = 0;
    // Appends every pending sample to `out` and resets the event. False when the stream is
    // no longer usable (typically the device went away); `out` is then left as it was.
    virtual bool readPackets(std::vector<qint16> &out) = 0;
};

// The system's capture backend (Qt Multimedia over the sound server).
std::unique_ptr<IAudioCaptureBackend> createCaptureBackend();
