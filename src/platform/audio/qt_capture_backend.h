#pragma once

#include "platform/audio/i_audio_capture_backend.h"

#include <memory>

// Capture over Qt Multimedia's audio source (which talks to the sound server directly). The
// source is read with a read() loop; its readiness and a 5 ms poll signal the event.
// Lives on the capture thread, which must run an event loop.
class QtCaptureBackend : public IAudioCaptureBackend
{
public:
    QtCaptureBackend();
    ~QtCaptureBackend() override;

    CaptureOpenResult open(const QString &deviceId, int sampleRate, int channels) override;
    void close() override;
    bool isOpen() const override;
    int eventHandle() const override;
    bool readPackets(std::vector<qint16> &out) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
