#pragma once

#include <QLoggingCategory>
#include <QString>

struct HttpResponse;

// The match layer's logging categories, each enabled from the info level.
Q_DECLARE_LOGGING_CATEGORY(lcMatchCode)       // "match.code": join and attach by code
Q_DECLARE_LOGGING_CATEGORY(lcMatchPreference) // "match.preference": preference matching

// The tail of a failure line: ` status=<n> code="<c>" net_err="<e>" body="<first 512 bytes>"`,
// strings quoted as the log stream quotes them. Append it with noquote().
QString failedReplySuffix(const HttpResponse &response);
