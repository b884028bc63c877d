#pragma once

#include <QString>

#include <initializer_list>

// Builds a REST path from a pattern with "%1", "%2", ... placeholders. Every
// argument is percent-encoded as one path segment, and all of them are placed
// in a single pass, so an id holding "/", "?", "#", "%" or a placeholder like
// "%2" can never change the request's path or query.
//   apiPath("/v1/rooms/%1/members/%2", {roomId, userId})
QString apiPath(const QString &pattern, std::initializer_list<QString> segments);
