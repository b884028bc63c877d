#pragma once

#include "net/http_types.h"

#include <QJsonValue>
#include <QString>

// Readers of a failed REST reply, shared by the user services' warnings.

// The reply's top-level "code" string; empty when missing or not a string.
inline QString replyCode(const HttpResponse &response)
{
    return response.json.value(QLatin1String("code")).toString();
}

// The reply's top-level "message" string; empty when missing or not a string.
inline QString replyMessage(const HttpResponse &response)
{
    return response.json.value(QLatin1String("message")).toString();
}

// At most the first 512 bytes of the body, decoded as UTF-8, for log lines.
inline QString replyBodyHead(const HttpResponse &response)
{
    return QString::fromUtf8(response.body.left(512));
}
