#pragma once

#include "platform/audio/i_render_client.h"

#include <memory>

// Rendering over Qt Multimedia's audio sink in push mode (which talks to the sound server
// directly). The sink keeps about 40 ms; its free space gives the padding. The sound server
// gives no period event, so the event wait returns after at most 5 ms, which is what a device
// period would be.
class QtRenderClient : public IRenderClient
{
public:
    QtRenderClient();
    ~QtRenderClient() override;

    RenderOpenResult open(const QString &endpointId, int sampleRate, int channels) override;
    void close() override;
    int padding() const override;
    int bufferFrames() const override;
    bool hasEvent() const override;
    RenderWait waitEvent(int timeoutMs) override;
    void signalEvent() override;
    bool write(const qint16 *samples, int frames) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
