#pragma once

#include <QtGlobal>

class QJsonValue;

// A JSON number of seconds read as a double and truncated towards zero; 0 when the
// value is not a number. Values beyond the 64-bit range are clamped to it, so an
// absurd number in a token or a stored item cannot overflow the conversion.
qint64 secondsFromJson(const QJsonValue &value);
