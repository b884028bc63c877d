#include "platform/livekit/event_loop.h"

#include <glib.h>

#include <future>

namespace livekit::detail {

namespace {

gboolean runOnce(gpointer data)
{
    (*static_cast<std::function<void()> *>(data))();
    return G_SOURCE_REMOVE;
}

gboolean runRepeating(gpointer data)
{
    return (*static_cast<std::function<bool()> *>(data))() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

} // namespace

EventLoop::EventLoop()
{
    m_context = g_main_context_new();
    m_loop = g_main_loop_new(m_context, FALSE);
    std::promise<std::thread::id> started;
    auto startedId = started.get_future();
    m_thread = std::thread([this, &started] {
        g_main_context_push_thread_default(m_context);
        started.set_value(std::this_thread::get_id());
        g_main_loop_run(m_loop);
        g_main_context_pop_thread_default(m_context);
    });
    m_threadId = startedId.get();
}

EventLoop::~EventLoop()
{
    stop();
    // Sources still attached (timers, late posts) are freed with the context, and their closures with
    // them.
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

void EventLoop::stop()
{
    if (m_stopped.exchange(true))
        return;
    GSource *source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop *>(loop));
            return G_SOURCE_REMOVE;
        },
        m_loop, nullptr);
    g_source_attach(source, m_context);
    g_source_unref(source);
    if (m_thread.joinable())
        m_thread.join();
}

void EventLoop::post(std::function<void()> task)
{
    auto *closure = new std::function<void()>(std::move(task));
    GSource *source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runOnce, closure,
                          [](gpointer data) { delete static_cast<std::function<void()> *>(data); });
    g_source_attach(source, m_context);
    g_source_unref(source);
}

GSource *EventLoop::addTimer(int intervalMs, std::function<bool()> task)
{
    auto *closure = new std::function<bool()>(std::move(task));
    GSource *source = g_timeout_source_new(static_cast<guint>(intervalMs > 0 ? intervalMs : 0));
    g_source_set_callback(source, runRepeating, closure,
                          [](gpointer data) { delete static_cast<std::function<bool()> *>(data); });
    g_source_attach(source, m_context);
    return source; // the caller's reference
}

void EventLoop::cancel(GSource *&timer)
{
    if (!timer)
        return;
    g_source_destroy(timer);
    g_source_unref(timer);
    timer = nullptr;
}

void EventLoop::release(GSource *timer)
{
    if (timer)
        g_source_unref(timer);
}

} // namespace livekit::detail
