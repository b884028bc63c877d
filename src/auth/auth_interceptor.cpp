#include "auth/auth_interceptor.h"

void AuthInterceptor::onRequest(QNetworkRequest &, const HttpOptions &) {}

bool AuthInterceptor::onResponse(const HttpResponse &, const QString &, const HttpOptions &, int, ResponseControl)
{
    return false;
}
