#include "fuzz_target.h"

#include "channel/channel_entity.h"
#include "realtime/events/channel_event_table.h"

#include <QJsonDocument>

// The channel event table's parsers, and every parsed event folded into a channel
// read from the same bytes' "channel" object.
KESTOVA_FUZZ_TARGET(channel_events)
{
    unsigned selector = 0;
    const QJsonObject payload = fuzzing::objectOf(fuzzing::takeSelector(data, size, &selector));
    const ChannelEventEntry &row = channelEventTable[selector % kChannelEventCount];
    const std::optional<ChannelEventPayload> event = row.parse(payload);
    ChannelEntity channel = ChannelEntity::fromJson(payload.value(QLatin1String("channel")).toObject());
    if (event)
        channel.applyEvent(*event);
    (void)ChannelEntity::memberRole(&channel, payload.value(QLatin1String("userId")).toString());
}
