#pragma once

#include <QObject>
#include <QString>

class ChannelEntityStore;
class QJsonObject;

// The one path from the realtime gateway into the channel store: "channel:" stream
// snapshots replace a channel's record, "channel." events change it through the
// store's version gate. Connect it to the gateway before the channel list service, so
// that the store has applied an event before the list reacts to it. GUI thread only.
class ChannelEntityFeed : public QObject
{
    Q_OBJECT

public:
    // The store is not owned and must outlive the feed.
    explicit ChannelEntityFeed(ChannelEntityStore *store, QObject *parent = nullptr);
    ~ChannelEntityFeed() override;

    // Entry for GatewayService::eventReceived; other events and unknown channel event
    // names are ignored without a log line.
    void handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version);
    // Entry for GatewayService::streamSnapshotReceived; only "channel:<id>" targets
    // whose id holds no ":" are read.
    void handleBundle(const QString &target, const QJsonObject &snapshot);

private:
    ChannelEntityStore *store = nullptr;
};
