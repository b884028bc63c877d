#pragma once

// Intervals of the gateway connection, in milliseconds. The defaults are the
// production values; tests shorten them instead of waiting them out.
struct GatewayTimings
{
    int heartbeatMs = 25000;       // between two heartbeats of an established session
    int pongTimeoutMs = 10000;     // a heartbeat without "pong" within this is a dead connection
    int reconnectInitialMs = 1000; // first back-off delay, doubled per attempt
    int reconnectMaxMs = 30000;    // back-off ceiling before the jitter
    int reconnectJitterMs = 1000;  // the jitter is uniform in [0, reconnectJitterMs)
    int shutdownWaitMs = 150;      // how long shutdown waits for the socket to close
};
