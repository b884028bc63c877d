#include "channel/channel_logging.h"

Q_LOGGING_CATEGORY(lcChannelActions, "channel.actions", QtInfoMsg)
Q_LOGGING_CATEGORY(lcChannelEntity, "channel.entity", QtInfoMsg)
Q_LOGGING_CATEGORY(lcChannelList, "channel.list", QtInfoMsg)
