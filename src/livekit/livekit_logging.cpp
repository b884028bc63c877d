#include "livekit/livekit_logging.h"

Q_LOGGING_CATEGORY(lcLiveKitConnection, "livekit.connection", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLiveKitSession, "livekit.session", QtInfoMsg)
