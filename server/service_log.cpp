#include "service_log.h"

Q_LOGGING_CATEGORY(lcServiceHttp, "server.http", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceAccounts, "server.accounts", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceGateway, "server.gateway", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceAssets, "server.assets", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServiceState, "server.state", QtInfoMsg)
