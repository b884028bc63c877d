#include "net/tracing_interceptor.h"

#include <QNetworkRequest>

namespace tracing {

void TracingInterceptor::onRequest(QNetworkRequest &, const HttpOptions &)
{
}

} // namespace tracing
