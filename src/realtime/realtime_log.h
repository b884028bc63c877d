#pragma once

#include <QLoggingCategory>

// "base.realtime": the gateway connection, its frames and the watch registry.
Q_DECLARE_LOGGING_CATEGORY(lcRealtime)
