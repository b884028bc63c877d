#pragma once

#include <QLoggingCategory>

// The channel module's logging categories, each enabled from the info level.
Q_DECLARE_LOGGING_CATEGORY(lcChannelActions) // "channel.actions": the administration requests
Q_DECLARE_LOGGING_CATEGORY(lcChannelEntity)  // "channel.entity": the channel store and feed
Q_DECLARE_LOGGING_CATEGORY(lcChannelList)    // "channel.list": the user's channels and their rooms
