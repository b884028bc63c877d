#pragma once

#include <QLoggingCategory>

// The room layer's logging categories, each enabled from the info level.
Q_DECLARE_LOGGING_CATEGORY(lcRoomApply)      // "room.apply": join-request applicant and attach requests
Q_DECLARE_LOGGING_CATEGORY(lcRoomChat)       // "room.chat"
Q_DECLARE_LOGGING_CATEGORY(lcRoomCreate)     // "room.create": creation and saved creation configurations
Q_DECLARE_LOGGING_CATEGORY(lcRoomFollowCode) // "room.follow_code"
Q_DECLARE_LOGGING_CATEGORY(lcRoomLifecycle)  // "room.lifecycle": stream snapshots, join, enter, leave
Q_DECLARE_LOGGING_CATEGORY(lcRoomList)       // "room.list": the user's room list, reconnect prompt
Q_DECLARE_LOGGING_CATEGORY(lcRoomModeration) // "room.moderation"
Q_DECLARE_LOGGING_CATEGORY(lcRoomRequest)    // "room.request": approving and rejecting requests
Q_DECLARE_LOGGING_CATEGORY(lcRoomSettings)   // "room.settings"
Q_DECLARE_LOGGING_CATEGORY(lcRoomSubroom)    // "room.subroom"
