#include "auth/json_seconds.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

qint64 secondsFromJson(const QJsonValue &value)
{
    const double seconds = value.toDouble();
    if (std::isnan(seconds))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (seconds >= limit)
        return std::numeric_limits<qint64>::max();
    if (seconds <= -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(seconds);
}
