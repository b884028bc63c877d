#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

struct RenderOpenResult
{
    bool ok = false;
    QString error;      // empty on success
    QString endpointId; // the device actually opened, after any fallback
    int bufferFrames = 0;
};

enum class RenderWait { Signalled, TimedOut, Failed };

// A speaker endpoint opened in shared mode for 16-bit PCM. The playback's GUI thread opens,
// closes and destroys it; while it is open one render thread waits for its event, asks how much
// audio the device still holds and writes more. signalEvent() may come from any thread, to wake
// the render thread at once.
// Device ids: empty selects the default communications device, "default" the default console
// device, anything else a device id; an id that matches no device falls back to the
// communications default with a warning.
class IRenderClient
{
public:
    virtual ~IRenderClient() = default;
    virtual RenderOpenResult open(const QString &endpointId, int sampleRate, int channels) = 0;
    // Stops and releases the device; harmless when closed.
    virtual void close() = 0;
    // Frames still queued in the device; -1 when not started or when the query fails.
    virtual int padding() const = 0;
    virtual int bufferFrames() const = 0;
    // Whether the client has an event the render thread can wait on.
    virtual bool hasEvent() const = 0;
    virtual RenderWait waitEvent(int timeoutMs) = 0;
    virtual void signalEvent() = 0;
    // Copies frames x channels samples into the device. False when not started, for frames <= 0,
    // or when the device refuses them.
    virtual bool write(const qint16 *samples, int frames) = 0;
};

using RenderClientFactory = std::function<std::unique_ptr<IRenderClient>()>;

// The system's render client (Qt Multimedia over the sound server).
std::unique_ptr<IRenderClient> createRenderClient();
