#pragma once

#include <atomic>
#include <functional>
#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GSource GSource;

namespace livekit::detail {

// A GLib main loop on a thread of its own. The signalling socket, the protocol and every control call
// of the media pipelines run on it; media callbacks from streaming threads are posted to it.
class EventLoop
{
public:
    EventLoop();
    // Stops the loop and joins its thread. Never call from the loop thread.
    ~EventLoop();
    EventLoop(const EventLoop &) = delete;
    EventLoop &operator=(const EventLoop &) = delete;

    // Quits the loop and joins its thread; later posts never run. Never call from the loop thread.
    void stop();
    bool isStopped() const { return m_stopped; }

    GMainContext *context() const { return m_context; }
    bool isLoopThread() const { return std::this_thread::get_id() == m_threadId; }

    // Runs `task` on the loop thread later, never re-entrantly. Any thread.
    void post(std::function<void()> task);
    // Runs `task` every `intervalMs` while it returns true, or once after `intervalMs` when it returns
    // false. Returns the source for `cancel`. Any thread.
    GSource *addTimer(int intervalMs, std::function<bool()> task);
    // Stops a timer made by `addTimer` and drops the reference it returned. Any thread.
    static void cancel(GSource *&timer);
    // Drops the reference `addTimer` returned and lets the timer run on its own.
    static void release(GSource *timer);

private:
    GMainContext *m_context = nullptr;
    GMainLoop *m_loop = nullptr;
    std::thread m_thread;
    std::thread::id m_threadId;
    std::atomic<bool> m_stopped{false};
};

} // namespace livekit::detail
