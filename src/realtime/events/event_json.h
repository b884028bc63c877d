#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// The conversions that every realtime event record applies to its payload keys.
// A reader never fails: a missing key, or a value of another JSON type, gives the
// default of its kind. Only the required key of a record decides whether a record
// exists at all (eventRequiredText).

// The key's string; empty for a missing key or anything that is not a JSON string.
QString eventText(const QJsonObject &payload, const char *key);

// The key's string when it is a non-empty JSON string, otherwise nothing.
std::optional<QString> eventRequiredText(const QJsonObject &payload, const char *key);

// Qt's variant conversion: a JSON integer exactly, a string holding a decimal
// integer as that integer, a fraction rounded to the nearest integer; 0 for a
// missing key, null, an array, an object, non-numeric text and for a number
// beyond the 64-bit range.
qint64 eventInt64(const QJsonObject &payload, const char *key);

// A whole JSON number within the int range; 0 for anything else, numeric text included.
int eventInt(const QJsonObject &payload, const char *key);

// True only for the JSON value true.
bool eventBool(const QJsonObject &payload, const char *key);

// Absent when the key is missing or null; otherwise the value read as a bool, so
// any non-boolean value gives a present false.
std::optional<bool> eventOptionalBool(const QJsonObject &payload, const char *key);

// Absent when the key is missing or null; otherwise the value read as text, so a
// non-string value gives a present empty string.
std::optional<QString> eventOptionalText(const QJsonObject &payload, const char *key);

// The key's array, or an empty one for a missing key or any non-array value.
QJsonArray eventArray(const QJsonObject &payload, const char *key);

// The key's object, or an empty one for a missing key or any non-object value.
QJsonObject eventObject(const QJsonObject &payload, const char *key);

// One entry per element, in order: the element's string, empty for a non-string
// element. Nothing is skipped and duplicates stay.
QStringList parseStringList(const QJsonArray &array);

// One entry per element, in order: the element's "userId" string, empty when the
// element is not an object or has no string "userId". Nothing is skipped.
QStringList parseUserIdList(const QJsonArray &array);
