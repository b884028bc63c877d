#include "channel/channel_list_service.h"

#include "channel/channel_entity_store.h"
#include "channel/channel_logging.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "realtime/watch_registry.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kMaxShift = 5;
constexpr int kMaxDelayUnits = 30;

QStringList minus(const QStringList &from, const QStringList &other)
{
    QStringList result;
    for (const QString &id : from) {
        if (!other.contains(id))
            result.append(id);
    }
    return result;
}

QStringList channelTargets(const QStringList &channelIds)
{
    QStringList targets;
    targets.reserve(channelIds.size());
    for (const QString &id : channelIds)
        targets.append(QStringLiteral("channel:") + id);
    return targets;
}

} // namespace

ChannelListService::ChannelListService(IHttpClient *http_, ChannelEntityStore *store_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , store(store_)
    , retryTimer(new QTimer(this))
{
    retryTimer->setSingleShot(true);
    connect(retryTimer, &QTimer::timeout, this, &ChannelListService::bootstrap);
    connect(store, &ChannelEntityStore::changed, this, &ChannelListService::onStoreChanged);
}

ChannelListService::~ChannelListService() = default;

void ChannelListService::setUserIdProvider(std::function<QString()> provider)
{
    userIdProvider = std::move(provider);
}

void ChannelListService::setWatchRegistry(WatchRegistry *registry)
{
    watchRegistry = registry;
}

void ChannelListService::setRetryUnitMs(int unitMs)
{
    retryUnitMs = std::max(1, unitMs);
}

std::optional<int> ChannelListService::pendingRetryDelayMs() const
{
    if (!retryTimer->isActive())
        return std::nullopt;
    return retryTimer->interval();
}

void ChannelListService::bootstrap()
{
    const int requestGeneration = ++generation;
    retryTimer->stop();
    listInFlight = true;
    changesSinceRequest.clear();
    QPointer<ChannelListService> self(this);
    http->get(QStringLiteral("/v1/channels"), [self, requestGeneration](const HttpResponse &response) {
        if (self)
            self->onListReply(requestGeneration, response);
    });
}

void ChannelListService::onListReply(int requestGeneration, const HttpResponse &response)
{
    if (requestGeneration != generation)
        return;
    listInFlight = false;
    const QList<std::pair<QString, bool>> changes = std::exchange(changesSinceRequest, {});

    if (!response.isSuccess()) {
        qCWarning(lcChannelList).nospace()
            << "list my channels failed status=" << response.status << " code=" << errorCodeOf(response)
            << " net_err=" << response.error << " body=" << loggedBodyOf(response);
        if (response.status != 0 && response.status < 500)
            return;
        const int delay = std::min(retryUnitMs << std::min(retryAttempt, kMaxShift), kMaxDelayUnits * retryUnitMs);
        ++retryAttempt;
        qCInfo(lcChannelList).nospace() << "list my channels retry scheduled attempt=" << retryAttempt
                                        << " delay_ms=" << delay;
        retryTimer->start(delay);
        return;
    }

    retryAttempt = 0;
    QStringList loaded;
    for (const QJsonValue &element : response.json.value(QLatin1StringView("channels")).toArray()) {
        const QString id = element.toString();
        if (!id.isEmpty() && !loaded.contains(id))
            loaded.append(id);
    }
    for (const auto &[id, joined] : changes) {
        if (joined && !loaded.contains(id))
            loaded.append(id);
        else if (!joined)
            loaded.removeAll(id);
    }
    ids = loaded;
    reconcileWatches();
    qCInfo(lcChannelList).nospace() << "my channels loaded count=" << ids.size();
    emit listChanged();
}

void ChannelListService::handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64)
{
    if (!name.startsWith(QLatin1StringView("channel.")))
        return;
    const QString channelId = payload.value(QLatin1StringView("channelId")).toString();
    if (channelId.isEmpty())
        return;

    if (name == QLatin1StringView("channel.deleted")) {
        removeChannel(channelId, QStringLiteral("deleted"));
        return;
    }
    if (name == QLatin1StringView("channel.restored")) {
        qCInfo(lcChannelList).nospace() << "channel restored, re-adding channel_id=" << channelId;
        addChannel(channelId);
        return;
    }

    const QString userId = payload.value(QLatin1StringView("userId")).toString();
    if (!userIdProvider || userIdProvider() != userId)
        return;
    if (name == QLatin1StringView("channel.member.joined"))
        addChannel(channelId);
    else if (name == QLatin1StringView("channel.member.left"))
        removeChannel(channelId, QString());
    else if (name == QLatin1StringView("channel.member.removed"))
        removeChannel(channelId, QStringLiteral("removed"));
    else if (name == QLatin1StringView("channel.member.banned"))
        removeChannel(channelId, QStringLiteral("banned"));
}

void ChannelListService::onResync()
{
    qCInfo(lcChannelList) << "resync, refetching my channels";
    bootstrap();
}

void ChannelListService::reset()
{
    ++generation;
    retryTimer->stop();
    retryAttempt = 0;
    listInFlight = false;
    changesSinceRequest.clear();
    if (ids.isEmpty())
        return;
    ids.clear();
    reconcileWatches();
    emit listChanged();
}

void ChannelListService::addChannel(const QString &channelId)
{
    if (listInFlight)
        changesSinceRequest.append({channelId, true});
    if (ids.contains(channelId))
        return;
    const QString id = channelId;
    ids.append(id);
    reconcileWatches();
    qCInfo(lcChannelList).nospace() << "membership gained channel_id=" << id;
    emit membershipGained(id);
    emit listChanged();
}

void ChannelListService::removeChannel(const QString &channelId, const QString &reason)
{
    if (listInFlight)
        changesSinceRequest.append({channelId, false});
    const qsizetype index = ids.indexOf(channelId);
    if (index < 0)
        return;
    const QString id = channelId;
    ids.removeAt(index);
    reconcileWatches();
    qCInfo(lcChannelList).nospace() << "membership lost channel_id=" << id << " reason=" << reason;
    if (!reason.isEmpty())
        emit membershipLost(id, reason);
    emit listChanged();
}

void ChannelListService::reconcileWatches()
{
    const QStringList added = minus(ids, heldChannelIds);
    const QStringList gone = minus(heldChannelIds, ids);
    if (added.isEmpty() && gone.isEmpty())
        return;
    for (const QString &id : added)
        store->retain(id);
    heldChannelIds = ids;
    if (watchRegistry) {
        if (!gone.isEmpty())
            watchRegistry->release(channelTargets(gone));
        if (!added.isEmpty())
            watchRegistry->acquire(channelTargets(added));
    }
    // Last: the store announces the removal of each channel whose last reference goes.
    for (const QString &id : gone)
        store->release(id);
}

void ChannelListService::onStoreChanged(const QString &channelId)
{
    if (ids.contains(channelId))
        emit listChanged();
}
