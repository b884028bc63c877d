#pragma once

// An auto-reset event over eventfd: signal() from any thread, wait() with a time-out, or
// watch fd() for readability (QSocketNotifier) and consume() when it fires.
class AudioEvent
{
public:
    AudioEvent();
    ~AudioEvent();
    AudioEvent(const AudioEvent &) = delete;
    AudioEvent &operator=(const AudioEvent &) = delete;

    // False when the descriptor could not be created.
    bool isValid() const { return descriptor >= 0; }
    int fd() const { return descriptor; }
    // Any thread.
    void signal();
    // Waits until signalled or `timeoutMs` passed (negative: no limit); true when signalled.
    // A successful wait resets the event.
    bool wait(int timeoutMs);
    // Resets the event; true when it was signalled.
    bool consume();

private:
    int descriptor = -1;
};
