#pragma once

// The realtime module of the client context: owns the socket and the gateway service.
class RealtimeAssembly
{
public:
    RealtimeAssembly();
    ~RealtimeAssembly();
};
