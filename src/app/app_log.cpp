#include "app/app_log.h"

Q_LOGGING_CATEGORY(lcApp, "app.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBoot, "app.boot", QtInfoMsg)
Q_LOGGING_CATEGORY(lcContext, "app.context", QtInfoMsg)
