#pragma once

#include <QLoggingCategory>

// "base.net": the transport's category.
Q_DECLARE_LOGGING_CATEGORY(lcNet)
