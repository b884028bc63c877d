#pragma once

#include "api_router.h"
#include "json_body.h"

#include <QString>

// What the room and room chat endpoints share across their source files: limits and the
// permission key of a name. Not for use outside them.
namespace localservice::roomapi {

constexpr qint64 kJoinRequestTtlMs = 10 * 60 * 1000;
constexpr qint64 kFollowCodeTtlMs = 24 * 3600 * 1000;
constexpr int kMaxNameChars = 64;
constexpr int kMaxRoles = 32;

// "core.room." followed by the name.
QString perm(const char *name);

} // namespace localservice::roomapi
