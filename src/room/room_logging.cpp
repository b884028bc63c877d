#include "room/room_logging.h"

Q_LOGGING_CATEGORY(lcRoomApply, "room.apply", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomChat, "room.chat", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomCreate, "room.create", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomFollowCode, "room.follow_code", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomLifecycle, "room.lifecycle", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomList, "room.list", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomModeration, "room.moderation", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomRequest, "room.request", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomSettings, "room.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRoomSubroom, "room.subroom", QtInfoMsg)
