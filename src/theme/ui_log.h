#pragma once

#include <QLoggingCategory>

// The category of the whole user interface ("ui").
Q_DECLARE_LOGGING_CATEGORY(lcUi)
