#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)     // "app.app": process start and exit
Q_DECLARE_LOGGING_CATEGORY(lcBoot)    // "app.boot": the device id check
Q_DECLARE_LOGGING_CATEGORY(lcContext) // "app.context": the client context
