#pragma once

#include "platform/audio/audio_event.h"
#include "platform/audio/i_audio_capture_backend.h"

#include <QString>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace testsupport {

// The microphone behind FakeCaptureBackend, shared between the test (any thread) and the
// backend (capture thread). Each push() becomes one read: the backend hands out one pushed
// chunk per event, so a test decides exactly what each capture event reads.
//
//   auto mic = std::make_shared<FakeMicrophone>();
//   deps.backendFactory = [mic] { return std::make_unique<FakeCaptureBackend>(mic); };
//   ... startCapture ...; mic->push(std::vector<qint16>(480, 1000));
class FakeMicrophone
{
public:
    void push(std::vector<qint16> chunk)
    {
        std::lock_guard lock(mutex);
        reads.push_back(std::move(chunk));
        event.signal();
    }
    // The next read reports the device gone.
    void loseDevice()
    {
        std::lock_guard lock(mutex);
        lost = true;
        event.signal();
    }
    void failOpens(int count, const QString &error = QStringLiteral("no capture endpoint (none)"))
    {
        std::lock_guard lock(mutex);
        failingOpens = count;
        openError = error;
    }
    int opens() const
    {
        std::lock_guard lock(mutex);
        return openCount;
    }
    std::size_t pending() const
    {
        std::lock_guard lock(mutex);
        return reads.size();
    }
    QString lastDeviceId() const
    {
        std::lock_guard lock(mutex);
        return deviceId;
    }
    QString endpointId = QStringLiteral("fake-endpoint");

private:
    friend class FakeCaptureBackend;
    mutable std::mutex mutex;
    std::deque<std::vector<qint16>> reads;
    bool lost = false;
    int failingOpens = 0;
    QString openError;
    int openCount = 0;
    QString deviceId;
    AudioEvent event;
};

class FakeCaptureBackend : public IAudioCaptureBackend
{
public:
    explicit FakeCaptureBackend(std::shared_ptr<FakeMicrophone> mic_)
        : mic(std::move(mic_))
    {}

    CaptureOpenResult open(const QString &deviceId, int, int) override
    {
        close();
        std::lock_guard lock(mic->mutex);
        ++mic->openCount;
        mic->deviceId = deviceId;
        CaptureOpenResult r;
        if (mic->failingOpens > 0) {
            --mic->failingOpens;
            r.error = mic->openError;
            return r;
        }
        mic->lost = false;
        opened = true;
        r.ok = true;
        r.endpointId = mic->endpointId;
        return r;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    int eventHandle() const override { return opened ? mic->event.fd() : -1; }
    bool readPackets(std::vector<qint16> &out) override
    {
        if (!opened)
            return false;
        std::lock_guard lock(mic->mutex);
        mic->event.consume();
        if (mic->lost)
            return false;
        if (!mic->reads.empty()) {
            out.insert(out.end(), mic->reads.front().begin(), mic->reads.front().end());
            mic->reads.pop_front();
        }
        if (!mic->reads.empty())
            mic->event.signal(); // one chunk per event
        return true;
    }

private:
    std::shared_ptr<FakeMicrophone> mic;
    bool opened = false;
};

} // namespace testsupport
