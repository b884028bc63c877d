#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLiveKitConnection)
Q_DECLARE_LOGGING_CATEGORY(lcLiveKitSession)
