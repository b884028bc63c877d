#include "theme/ui_log.h"

Q_LOGGING_CATEGORY(lcUi, "ui", QtInfoMsg)
