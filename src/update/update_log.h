#pragma once

#include <QLoggingCategory>

// "update": every line of the self-update (manifest, block-map download, cache, installer, lock).
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
