#include "platform/livekit/livekit.h"

#include "platform/livekit/runtime_state.h"

#include <gst/gst.h>

#include <atomic>
#include <mutex>

namespace livekit {

namespace {

std::atomic<bool> g_initialized{false};
std::once_flag g_engineOnce;
bool g_engineReady = false;

// GStreamer makes one DTLS certificate per process, lazily, on the first connection that needs it
// (an RSA key, 140–180 ms here). Asking a DTLS element for its certificate makes it now instead.
bool makeCertificate()
{
    GstElement *decoder = gst_element_factory_make("dtlsdec", nullptr);
    if (!decoder)
        return false;
    gchar *pem = nullptr;
    g_object_get(decoder, "pem", &pem, nullptr);
    const bool made = pem != nullptr;
    g_free(pem);
    gst_object_unref(decoder);
    return made;
}

void prepareEngine(LogLevel level)
{
    GError *error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        g_clear_error(&error);
        return;
    }
    if (level >= LogLevel::Debug)
        gst_debug_set_threshold_for_name("webrtc*", GST_LEVEL_INFO);
    const char *needed[] = {"webrtcbin", "opusenc", "opusdec", "rtpopuspay", "rtpopusdepay", "appsrc", "appsink"};
    for (const char *name : needed) {
        GstElementFactory *factory = gst_element_factory_find(name);
        if (!factory)
            return;
        gst_object_unref(factory);
    }
    g_engineReady = makeCertificate();
    // Loading the plugins of a connection costs the first connect a few hundred milliseconds more
    // than later ones; making each element once here moves that cost ahead too.
    const char *warm[] = {"webrtcbin", "opusenc",  "opusdec",      "rtpopuspay",   "rtpopusdepay",
                          "nicesrc",   "nicesink", "dtlssrtpenc",  "dtlssrtpdec",  "sctpenc",
                          "sctpdec",   "rtpbin",   "audioconvert", "audioresample"};
    for (const char *name : warm) {
        if (GstElement *element = gst_element_factory_make(name, nullptr))
            gst_object_unref(element);
    }
}

} // namespace

bool initialize(LogLevel level)
{
    std::call_once(g_engineOnce, prepareEngine, level);
    g_initialized = g_engineReady;
    return g_engineReady;
}

void shutdown()
{
    // The engine itself cannot be started twice in one process, so it stays loaded; only new rooms
    // are refused until the next initialisation.
    g_initialized = false;
}

namespace detail {
bool runtimeInitialized()
{
    return g_initialized.load();
}
} // namespace detail

} // namespace livekit
