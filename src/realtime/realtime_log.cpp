#include "realtime/realtime_log.h"

Q_LOGGING_CATEGORY(lcRealtime, "base.realtime", QtInfoMsg)
