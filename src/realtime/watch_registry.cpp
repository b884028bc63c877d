#include "realtime/watch_registry.h"

#include "realtime/gateway_service.h"
#include "realtime/realtime_log.h"

#include <utility>

WatchRegistry::WatchRegistry(QObject *parent)
    : QObject(parent)
{}

WatchRegistry::~WatchRegistry() = default;

void WatchRegistry::connectGateway(GatewayService *service)
{
    gateway = service;
    connect(this, &WatchRegistry::watchNeeded, service, &GatewayService::watch);
    connect(this, &WatchRegistry::unwatchNeeded, service, &GatewayService::unwatch);
    connect(service, &GatewayService::watchResultReceived, this, &WatchRegistry::onWatchResult);
    connect(service, &GatewayService::resyncRequired, this, &WatchRegistry::rewatchAll);
    connect(service, &GatewayService::sessionReady, this, &WatchRegistry::onSessionReady);
    connect(service, &GatewayService::sessionLost, this, &WatchRegistry::onSessionLost);
}

void WatchRegistry::acquire(const QStringList &targets)
{
    QStringList added;
    for (const QString &target : targets) {
        if (target.isEmpty())
            continue;
        auto it = entries.find(target);
        if (it != entries.end()) {
            ++it->refCount;
            continue;
        }
        entries.insert(target, WatchEntry{1, WatchState::Pending, false});
        // Held again before its unwatch could go out: the watch below replaces it.
        releasedOffline.removeAll(target);
        added.append(target);
    }
    if (!added.isEmpty())
        announce(added);
}

void WatchRegistry::release(const QStringList &targets)
{
    QStringList removed;
    for (const QString &target : targets) {
        auto it = entries.find(target);
        if (it == entries.end())
            continue;
        if (--it->refCount <= 0) {
            entries.erase(it);
            removed.append(target);
        }
    }
    if (removed.isEmpty())
        return;
    if (gateway && !gateway->isSessionEstablished()) {
        for (const QString &target : std::as_const(removed)) {
            if (!releasedOffline.contains(target))
                releasedOffline.append(target);
        }
        qCDebug(lcRealtime).nospace() << "unwatch kept for the next session count=" << removed.size();
        return;
    }
    emit unwatchNeeded(removed);
}

void WatchRegistry::onWatchResult(const QString &target, bool ok)
{
    auto it = entries.find(target);
    if (it == entries.end())
        return; // answered after the last holder let go
    it->state = ok ? WatchState::Ready : WatchState::Denied;
    if (ok)
        emit streamReady(target);
    else
        emit streamDenied(target);
}

void WatchRegistry::rewatch(const QStringList &targets)
{
    QStringList held;
    for (const QString &target : targets) {
        if (entries.contains(target))
            held.append(target);
    }
    if (!held.isEmpty())
        announce(held);
}

void WatchRegistry::rewatchAll()
{
    // Comes with every fresh session, which watches nothing yet: an unwatch kept for a
    // resumed one has nothing left to end.
    releasedOffline.clear();
    if (entries.isEmpty())
        return;
    for (WatchEntry &entry : entries)
        entry.state = WatchState::Pending;
    announce(entries.keys());
}

void WatchRegistry::onSessionReady()
{
    if (!releasedOffline.isEmpty()) {
        const QStringList released = std::exchange(releasedOffline, {});
        qCInfo(lcRealtime).nospace() << "sending unwatches kept while disconnected count=" << released.size();
        emit unwatchNeeded(released);
    }
    // A watch asked for while the socket was closed, or sent before the server had
    // established the session, would otherwise never be answered.
    QStringList unanswered;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it->state == WatchState::Pending && !it->sentOnSession)
            unanswered.append(it.key());
    }
    if (!unanswered.isEmpty())
        announce(unanswered);
}

void WatchRegistry::onSessionLost()
{
    for (WatchEntry &entry : entries)
        entry.sentOnSession = false;
}

void WatchRegistry::resolve(const QStringList &targets)
{
    QStringList known;
    for (const QString &target : targets) {
        const auto it = entries.constFind(target);
        if (it == entries.cend()) {
            qCWarning(lcRealtime).noquote().nospace() << "resolve on unheld watch target=" << target;
            continue;
        }
        if (it->state != WatchState::Pending)
            known.append(target);
    }
    if (known.isEmpty())
        return;
    // Later, so that the caller has returned and connected before the answers arrive.
    QMetaObject::invokeMethod(
        this, [this, known] { emitKnownStates(known); }, Qt::QueuedConnection);
}

void WatchRegistry::emitKnownStates(const QStringList &targets)
{
    for (const QString &target : targets) {
        const auto it = entries.constFind(target);
        if (it == entries.cend())
            continue;
        if (it->state == WatchState::Ready)
            emit streamReady(target);
        else if (it->state == WatchState::Denied)
            emit streamDenied(target);
    }
}

void WatchRegistry::announce(const QStringList &targets)
{
    const bool delivered = gateway && gateway->isSessionEstablished();
    for (const QString &target : targets)
        entries[target].sentOnSession = delivered;
    emit watchNeeded(targets);
}
