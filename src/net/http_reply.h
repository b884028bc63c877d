#pragma once

#include <QString>

struct HttpResponse;

// Readers of a REST reply that every service shares. All of them run on the
// thread that delivers the reply (the GUI thread).

// The string "code" of a reply's JSON object; empty when missing, not a
// string, or when the body was no JSON object (time-out, network error).
QString errorCodeOf(const HttpResponse &response);

// The string "message" of a reply's JSON object, read like errorCodeOf.
QString errorMessageOf(const HttpResponse &response);

// The first 512 bytes of the raw body decoded as UTF-8: what a failure log shows.
QString loggedBodyOf(const HttpResponse &response);

// The one-line summary of a failed reply:
// "status=<s> code=<c> net_err=<e> body=<first 512 bytes>".
QString describeFailedReply(const HttpResponse &response);
