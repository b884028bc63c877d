#include "platform/audio/audio_device_notifier.h"

#include <QLoggingCategory>
#include <QPointer>

#include <pulse/pulseaudio.h>

#include <atomic>
#include <string>

namespace {
Q_LOGGING_CATEGORY(lcNotifier, "audio.capture", QtInfoMsg)
}

// Everything here but construction and destruction runs on the server connection's own
// thread; it reaches the notifier only through queued calls.
struct PulseDeviceNotifier::Impl
{
    PulseDeviceNotifier *owner = nullptr;
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    std::atomic<bool> subscribed{false};
    bool failureLogged = false;
    bool haveDefaults = false;
    std::string defaultSource;
    std::string defaultSink;

    template<typename Signal>
    void post(Signal signal)
    {
        PulseDeviceNotifier *target = owner;
        QMetaObject::invokeMethod(
            target, [target, signal] { emit(target->*signal)(); }, Qt::QueuedConnection);
    }

    void queryDefaults()
    {
        pa_operation *op = pa_context_get_server_info(context, &Impl::onServerInfo, this);
        if (op)
            pa_operation_unref(op);
    }

    static void onServerInfo(pa_context *, const pa_server_info *info, void *self)
    {
        auto *d = static_cast<Impl *>(self);
        if (!info)
            return;
        const std::string source = info->default_source_name ? info->default_source_name : "";
        const std::string sink = info->default_sink_name ? info->default_sink_name : "";
        if (d->haveDefaults) {
            if (source != d->defaultSource) {
                d->post(&AudioDeviceNotifier::defaultInputChanged);
                d->post(&AudioDeviceNotifier::defaultConsoleInputChanged);
            }
            if (sink != d->defaultSink) {
                d->post(&AudioDeviceNotifier::defaultCommOutputChanged);
                d->post(&AudioDeviceNotifier::defaultConsoleOutputChanged);
            }
        }
        d->haveDefaults = true;
        d->defaultSource = source;
        d->defaultSink = sink;
    }

    static void onEvent(pa_context *, pa_subscription_event_type_t type, uint32_t, void *self)
    {
        auto *d = static_cast<Impl *>(self);
        const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const int kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            d->queryDefaults();
            return;
        }
        // Changes of an existing device are mostly volume and mute; only arrivals and
        // removals change the lists.
        if ((facility == PA_SUBSCRIPTION_EVENT_SOURCE || facility == PA_SUBSCRIPTION_EVENT_SINK)
            && (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE))
            d->post(&AudioDeviceNotifier::inputListChanged);
    }

    static void onSubscribed(pa_context *, int success, void *self)
    {
        auto *d = static_cast<Impl *>(self);
        if (success) {
            d->subscribed = true;
            return;
        }
        qCWarning(lcNotifier) << "endpoint notification registration failed";
    }

    static void onState(pa_context *c, void *self)
    {
        auto *d = static_cast<Impl *>(self);
        switch (pa_context_get_state(c)) {
            case PA_CONTEXT_READY: {
                pa_context_set_subscribe_callback(c, &Impl::onEvent, d);
                const auto mask = static_cast<pa_subscription_mask_t>(
                    PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
                if (pa_operation *op = pa_context_subscribe(c, mask, &Impl::onSubscribed, d))
                    pa_operation_unref(op);
                d->queryDefaults();
                break;
            }
            case PA_CONTEXT_FAILED:
            case PA_CONTEXT_TERMINATED:
                d->subscribed = false;
                if (!d->failureLogged) {
                    d->failureLogged = true;
                    qCWarning(lcNotifier).noquote()
                        << "endpoint notification registration failed:" << pa_strerror(pa_context_errno(c));
                }
                break;
            default: break;
        }
    }
};

PulseDeviceNotifier::PulseDeviceNotifier(QObject *parent)
    : AudioDeviceNotifier(parent)
    , d(std::make_unique<Impl>())
{
    d->owner = this;
    d->loop = pa_threaded_mainloop_new();
    if (!d->loop) {
        qCWarning(lcNotifier) << "device notifier unavailable (no enumerator)";
        return;
    }
    d->context = pa_context_new(pa_threaded_mainloop_get_api(d->loop), "kestova-device-notifier");
    if (!d->context) {
        qCWarning(lcNotifier) << "device notifier unavailable (no enumerator)";
        return;
    }
    pa_context_set_state_callback(d->context, &Impl::onState, d.get());
    if (pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        qCWarning(lcNotifier) << "endpoint notification registration failed";
        return;
    }
    if (pa_threaded_mainloop_start(d->loop) < 0)
        qCWarning(lcNotifier) << "endpoint notification registration failed";
}

PulseDeviceNotifier::~PulseDeviceNotifier()
{
    // Stopping the loop joins its thread, so no callback runs once it returns.
    if (d->loop)
        pa_threaded_mainloop_stop(d->loop);
    if (d->context) {
        pa_context_set_state_callback(d->context, nullptr, nullptr);
        pa_context_disconnect(d->context);
        pa_context_unref(d->context);
    }
    if (d->loop)
        pa_threaded_mainloop_free(d->loop);
}

bool PulseDeviceNotifier::isSubscribed() const
{
    return d->subscribed.load();
}
