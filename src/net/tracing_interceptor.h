#pragma once

#include "net/interceptors.h"

namespace tracing {

// Stamps every REST request (each replay too) with "traceparent" and "X-Request-Id".
class TracingInterceptor : public IRequestInterceptor
{
public:
    void onRequest(QNetworkRequest &request, const HttpOptions &options) override;
};

} // namespace tracing
