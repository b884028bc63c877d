#include "channel/channel_entity_feed.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_logging.h"
#include "realtime/events/channel_event_table.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>

#include <optional>
#include <variant>

ChannelEntityFeed::ChannelEntityFeed(ChannelEntityStore *store_, QObject *parent)
    : QObject(parent)
    , store(store_)
{}

ChannelEntityFeed::~ChannelEntityFeed() = default;

void ChannelEntityFeed::handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version)
{
    // Room, chat and user events come this way too.
    if (!name.startsWith(QLatin1StringView("channel.")))
        return;
    const QByteArray utf8 = name.toUtf8();
    for (const ChannelEventEntry &row : channelEventTable) {
        // Whole bytes, length included: a name with an embedded NUL matches no row.
        if (QByteArrayView(utf8) != QByteArrayView(row.name))
            continue;
        const std::optional<ChannelEventPayload> event = row.parse(payload);
        if (!event) {
            qCWarning(lcChannelEntity).nospace() << "channel event parse failed name=" << name;
            return;
        }
        const QString channelId = std::visit([](const auto &record) { return record.channelId; }, *event);
        store->applyEvent(channelId, *event, version);
        return;
    }
}

void ChannelEntityFeed::handleBundle(const QString &target, const QJsonObject &snapshot)
{
    static constexpr QLatin1StringView prefix("channel:");
    if (!target.startsWith(prefix))
        return;
    const QString channelId = target.mid(prefix.size());
    if (channelId.isEmpty() || channelId.contains(QLatin1Char(':')))
        return;
    ChannelEntity entity = ChannelEntity::fromJson(snapshot);
    if (entity.channelId.isEmpty()) {
        qCWarning(lcChannelEntity).nospace() << "channel bundle parse failed target=" << target;
        return;
    }
    store->applyBundle(channelId, std::move(entity));
}
