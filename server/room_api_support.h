#pragma once

#include "api_router.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the room and room chat endpoints share across their source files: limits, the
// permission key of a name, and the reading of request bodies. Not for use outside them.
namespace localservice::roomapi {

constexpr qint64 kJoinRequestTtlMs = 10 * 60 * 1000;
constexpr qint64 kFollowCodeTtlMs = 24 * 3600 * 1000;
constexpr int kMaxNameChars = 64;
constexpr int kMaxRoles = 32;

// "core.room." followed by the name.
QString perm(const char *name);
// The bytes read as one JSON object, or nothing when they are not one (an empty body neither).
std::optional<QJsonObject> jsonObject(const QByteArray &raw);
// A JSON object body (an empty body reads as {}), or nothing when the body is not one.
std::optional<QJsonObject> objectBody(const ApiRequest &request);
ApiReply malformed();
bool isWholeNumber(const QJsonValue &value);
// An array of whole numbers, or nothing.
std::optional<QList<qint64>> roleIdList(const QJsonValue &value);

} // namespace localservice::roomapi
