#include "net/net_log.h"

Q_LOGGING_CATEGORY(lcNet, "base.net", QtInfoMsg)
