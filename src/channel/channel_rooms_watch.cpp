#include "channel/channel_rooms_watch.h"

#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "channel/channel_logging.h"
#include "realtime/watch_registry.h"
#include "room/room_entity_store.h"
#include "room/room_stream_target.h"

#include <QTimer>

namespace {

QStringList minus(const QStringList &from, const QStringList &other)
{
    QStringList result;
    for (const QString &id : from) {
        if (!other.contains(id))
            result.append(id);
    }
    return result;
}

QStringList roomTargets(const QStringList &roomIds)
{
    QStringList targets;
    targets.reserve(roomIds.size());
    for (const QString &id : roomIds)
        targets.append(publicStreamTarget(id));
    return targets;
}

} // namespace

ChannelRoomsWatch::ChannelRoomsWatch(ChannelListService *list_, ChannelEntityStore *channels_, RoomEntityStore *rooms_,
                                     WatchRegistry *registry_, QObject *parent)
    : QObject(parent)
    , list(list_)
    , channels(channels_)
    , rooms(rooms_)
    , registry(registry_)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, &ChannelRoomsWatch::reconcile);
    connect(list, &ChannelListService::listChanged, timer, qOverload<>(&QTimer::start));
    connect(channels, &ChannelEntityStore::changed, timer, qOverload<>(&QTimer::start));
}

ChannelRoomsWatch::~ChannelRoomsWatch() = default;

void ChannelRoomsWatch::reconcile()
{
    QStringList wanted;
    for (const QString &channelId : list->channelIds()) {
        const ChannelEntity *channel = channels->find(channelId);
        if (!channel || !channel->valid)
            continue;
        for (const QString &roomId : channel->roomIds) {
            // An event may name no room; "room:" alone is no stream to watch.
            if (!roomId.isEmpty() && !wanted.contains(roomId))
                wanted.append(roomId);
        }
    }

    const QStringList added = minus(wanted, held);
    const QStringList gone = minus(held, wanted);
    if (added.isEmpty() && gone.isEmpty())
        return;

    for (const QString &roomId : added)
        rooms->retain(roomId);
    held = wanted;
    if (registry) {
        if (!gone.isEmpty())
            registry->release(roomTargets(gone));
        if (!added.isEmpty())
            registry->acquire(roomTargets(added));
    }
    for (const QString &roomId : gone)
        rooms->release(roomId);

    qCInfo(lcChannelList).nospace() << "channel rooms watch reconciled held=" << held.size()
                                    << " added=" << added.size() << " gone=" << gone.size();
}
