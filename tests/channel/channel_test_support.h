#pragma once

#include "channel/channel_entity.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace channeltest {

// A JSON object from test text; aborts the test program on a typo.
QJsonObject json(const char *text);

// The record of a channel event as the gateway names it; nothing for an unknown
// name or a payload the row's parser refuses.
std::optional<ChannelEventPayload> parseEvent(const QString &name, const QJsonObject &payload);

// A channel snapshot with three members (u1 owner, u2 and u3), roles 2 and 3,
// default role 2, rooms r1 and r2 and one ban of b1; version 0.
QJsonObject baseSnapshot();

} // namespace channeltest
