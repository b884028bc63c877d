#pragma once

#include "net/http_types.h"

#include <QList>

// Collects every response handed to its callback.
struct ResponseCollector
{
    QList<HttpResponse> responses;

    HttpCallback callback()
    {
        return [this](const HttpResponse &response) { responses.append(response); };
    }
    int count() const { return int(responses.size()); }
    const HttpResponse &last() const { return responses.last(); }
};
