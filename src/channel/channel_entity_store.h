#pragma once

#include "channel/channel_entity.h"

#include <QObject>
#include <QString>

#include <memory>
#include <unordered_map>

// The channels that some part of the client watches, kept by reference count and
// changed by snapshots and events. Records live at stable addresses: a pointer from
// retain or find stays valid until that channel itself is erased, whatever else
// receivers of the signals retain or release meanwhile. GUI thread only.
class ChannelEntityStore : public QObject
{
    Q_OBJECT

public:
    explicit ChannelEntityStore(QObject *parent = nullptr);
    ~ChannelEntityStore() override;

    // The record, or null when no one retains the channel (also for an empty id).
    const ChannelEntity *find(const QString &channelId) const;
    // Takes one reference, creating a not yet valid record on first use; null and no
    // change for an empty id. No signal.
    ChannelEntity *retain(const QString &channelId);
    // Drops one reference; at zero the record is erased and removed() follows.
    void release(const QString &channelId);

    // Replaces the held record by a snapshot's record, version included (a snapshot
    // always wins); the record keeps the id it is held under. A channel nobody
    // retains is left alone.
    void applyBundle(const QString &channelId, ChannelEntity entity);
    // Runs one event through the version gate and the reducer; returns whether the
    // reducer changed the record. An accepted versioned event always announces a change.
    bool applyEvent(const QString &channelId, const ChannelEventPayload &event, qint64 version);

signals:
    void changed(QString channelId);
    void removed(QString channelId);

private:
    struct Entry
    {
        ChannelEntity entity;
        int refCount = 0;
    };

    std::unordered_map<QString, std::unique_ptr<Entry>> channels;
};
