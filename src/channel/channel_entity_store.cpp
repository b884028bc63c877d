#include "channel/channel_entity_store.h"

#include "channel/channel_logging.h"

ChannelEntityStore::ChannelEntityStore(QObject *parent)
    : QObject(parent)
{}

ChannelEntityStore::~ChannelEntityStore() = default;

const ChannelEntity *ChannelEntityStore::find(const QString &channelId) const
{
    const auto it = channels.find(channelId);
    return it == channels.end() ? nullptr : &it->second->entity;
}

ChannelEntity *ChannelEntityStore::retain(const QString &channelId)
{
    if (channelId.isEmpty())
        return nullptr;
    auto it = channels.find(channelId);
    if (it == channels.end()) {
        auto entry = std::make_unique<Entry>();
        entry->entity.channelId = channelId;
        it = channels.emplace(channelId, std::move(entry)).first;
    }
    ++it->second->refCount;
    return &it->second->entity;
}

void ChannelEntityStore::release(const QString &channelId)
{
    const auto it = channels.find(channelId);
    if (it == channels.end())
        return;
    if (--it->second->refCount > 0)
        return;
    // The caller may pass the record's own id, which dies with the erase.
    const QString erasedId = channelId;
    channels.erase(it);
    emit removed(erasedId);
}

void ChannelEntityStore::applyBundle(const QString &channelId, ChannelEntity entity)
{
    const auto it = channels.find(channelId);
    if (it == channels.end())
        return;
    const QString id = channelId;
    ChannelEntity &held = it->second->entity;
    held = std::move(entity);
    // The record answers to the id it is held under, whatever the snapshot's body says.
    held.channelId = id;
    qCDebug(lcChannelEntity).nospace() << "bundle applied channel=" << id << " version=" << held.version
                                       << " members=" << held.members.size();
    emit changed(id);
}

bool ChannelEntityStore::applyEvent(const QString &channelId, const ChannelEventPayload &event, qint64 version)
{
    const auto it = channels.find(channelId);
    if (it == channels.end())
        return false;
    const QString id = channelId;
    ChannelEntity &held = it->second->entity;
    if (version > 0) {
        if (held.version >= version) {
            qCDebug(lcChannelEntity).nospace() << "event dropped by version gate channel=" << id
                                               << " event_version=" << version << " base=" << held.version;
            return false;
        }
        held.version = version;
    }
    const bool changedByEvent = held.applyEvent(event);
    if (changedByEvent || version > 0)
        emit changed(id);
    return changedByEvent;
}
