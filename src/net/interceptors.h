#pragma once

#include "net/http_types.h"

#include <functional>

class QNetworkRequest;

// Handed to a response interceptor that takes a reply over.
struct ResponseControl
{
    // Sends the request again (attempt + 1) through the whole send path to the same callback.
    std::function<void()> replay;
    // Calls the request's own callback with the given response.
    std::function<void(const HttpResponse &)> deliver;
};

class IRequestInterceptor
{
public:
    virtual ~IRequestInterceptor() = default;
    virtual void onRequest(QNetworkRequest &request, const HttpOptions &options) = 0;
};

class IResponseInterceptor
{
public:
    virtual ~IResponseInterceptor() = default;
    // True when the interceptor takes the response over.
    virtual bool onResponse(const HttpResponse &response, const QString &path, const HttpOptions &options, int attempt,
                            ResponseControl control) = 0;
};
