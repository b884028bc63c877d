#pragma once

// Process-wide set-up of the media library.
namespace livekit {

enum class LogLevel { Error = 0, Warn = 1, Info = 2, Debug = 3, Trace = 4 };

// Prepares the media engine (once per process) and makes the DTLS certificate ahead of the first
// connection, so that no connect pays for it. Returns false when the engine or one of its elements is
// missing. Any thread; calls are counted by the caller, not here.
bool initialize(LogLevel level);
// Marks the library as shut down: rooms made afterwards refuse to connect until `initialize` runs
// again. Rooms already connected keep working until they are destroyed. Any thread.
void shutdown();

} // namespace livekit
