#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <functional>

enum class HttpMethod { Post = 0, Get = 1, Delete = 2, Put = 3, Patch = 4 };

// Per-request options, copied into the request.
struct HttpOptions
{
    // No bearer token, and a 401 reply is never held for a token refresh.
    bool skipAuth = false;
    // Milliseconds until the request is given up; 0 or less means 30000.
    int timeoutMs = 0;
    // Extra raw headers, set after the interceptors ran (they win over them).
    QMap<QByteArray, QByteArray> headers;
};

// The outcome of every REST call and raw transfer. Success is a status in
// 200..299 with both flags false.
struct HttpResponse
{
    int status = 0;   // 0 when the reply carried no HTTP status
    QJsonObject json; // the body when it parses to an object; never for raw transfers
    QByteArray body;  // raw body as received
    QString error;    // transport error or time-out text; empty whenever there is a status
    bool timedOut = false;
    bool networkError = false;

    bool isSuccess() const { return status >= 200 && status <= 299 && !timedOut && !networkError; }
};

using HttpCallback = std::function<void(const HttpResponse &)>;
