#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcServiceHttp)     // "server.http": requests and their statuses
Q_DECLARE_LOGGING_CATEGORY(lcServiceAccounts) // "server.accounts": codes, sign-ins, profiles
Q_DECLARE_LOGGING_CATEGORY(lcServiceGateway)  // "server.gateway": realtime sessions
Q_DECLARE_LOGGING_CATEGORY(lcServiceAssets)   // "server.assets": update feed and legal files
Q_DECLARE_LOGGING_CATEGORY(lcServiceState)    // "server.state": the state file
Q_DECLARE_LOGGING_CATEGORY(lcServiceRooms)    // "server.rooms": rooms, presence, moderation
Q_DECLARE_LOGGING_CATEGORY(lcServiceChat)     // "server.chat": messages, tags, uploads
Q_DECLARE_LOGGING_CATEGORY(lcServiceMedia)    // "server.media": the media server and its tokens
Q_DECLARE_LOGGING_CATEGORY(lcServiceChannels) // "server.channels": channels
