#include "auth/auth_assembly.h"

#include "auth/auth_interceptor.h"

AuthAssembly::AuthAssembly(IHttpClient *, const QString &)
    : authInterceptor(std::make_unique<AuthInterceptor>())
{
}

AuthAssembly::~AuthAssembly() = default;
