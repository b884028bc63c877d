#pragma once

#include <memory>

class GatewayService;
class SocketClient;

// The realtime module of the client context: owns the gateway socket and the gateway
// service. The gateway stays stopped until the wiring starts it. GUI thread only.
class RealtimeAssembly
{
public:
    RealtimeAssembly();
    ~RealtimeAssembly();
    RealtimeAssembly(const RealtimeAssembly &) = delete;
    RealtimeAssembly &operator=(const RealtimeAssembly &) = delete;

    GatewayService *gateway() const { return gatewayService.get(); }

private:
    // Construction order; destroyed in reverse, so the gateway goes before its socket.
    std::unique_ptr<SocketClient> socket;
    std::unique_ptr<GatewayService> gatewayService;
};
