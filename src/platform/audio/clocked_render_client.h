#pragma once

#include "platform/audio/i_render_client.h"

#include <QStringList>

#include <memory>
#include <vector>

// A software sound card whose clock the owner moves: the render clients it makes hold a device
// buffer that drains only when the owner calls advance(). Deterministic rendering for tests and
// benchmarks: advance() wakes the render thread and returns once that thread is waiting again,
// so every write the wake caused has landed.
//
// Threads: the owner thread calls the device's operations; the clients are opened and closed by
// the playback's GUI thread and used by its render thread. One mutex guards all state.
class ClockedRenderDevice
{
public:
    explicit ClockedRenderDevice(int bufferFrames = 1920);
    ~ClockedRenderDevice();
    ClockedRenderDevice(const ClockedRenderDevice &) = delete;
    ClockedRenderDevice &operator=(const ClockedRenderDevice &) = delete;

    // Makes clients of this device; they stay valid (and closed) if the device goes first.
    RenderClientFactory factory();

    // The endpoints that exist and the two defaults. Initially one endpoint "speaker", the
    // default of both roles.
    void setEndpoints(const QStringList &ids, const QString &commDefault, const QString &consoleDefault);
    // Non-empty: every open fails with this text.
    void setOpenError(const QString &error);
    // A lost device fails its padding query and its writes.
    void setDeviceLost(bool lost);
    // Above 0: once the device ran dry it plays nothing more until it holds this many frames
    // again, as a sound server waits for its prebuffer after an underrun.
    void setStartThreshold(int frames);

    int openAttempts() const;
    QStringList openedEndpoints() const; // the resolved id of every successful open
    bool isOpen() const;
    int queuedFrames() const;
    // Every sample the render thread wrote, in order (the initial silence excluded).
    std::vector<qint16> written() const;

    // Plays `frames` frames from the device buffer (silence where it runs dry) and returns them.
    std::vector<qint16> advance(int frames);
    // Waits until a render thread is waiting on the event with no wake pending; false after
    // `timeoutMs`.
    bool waitUntilIdle(int timeoutMs = 2000);

    struct State;

private:
    std::shared_ptr<State> s;
};
