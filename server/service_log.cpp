#include "service_log.h"

Q_LOGGING_CATEGORY(lcServiceHttp, "server.http", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceAccounts, "server.accounts", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceGateway, "server.gateway", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceAssets, "server.assets", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceState, "server.state", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceRooms, "server.rooms", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceChat, "server.chat", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceMedia, "server.media", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceChannels, "server.channels", QtInfoMsg)
