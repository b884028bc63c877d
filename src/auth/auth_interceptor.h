#pragma once

#include "net/interceptors.h"

// Adds the bearer token to REST requests and holds refused ones for a token refresh.
class AuthInterceptor : public IRequestInterceptor, public IResponseInterceptor
{
public:
    void onRequest(QNetworkRequest &request, const HttpOptions &options) override;
    bool onResponse(const HttpResponse &response, const QString &path, const HttpOptions &options, int attempt,
                    ResponseControl control) override;
};
