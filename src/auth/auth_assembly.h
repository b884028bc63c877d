#pragma once

#include <QString>

#include <memory>

class AuthInterceptor;
class IHttpClient;

// The authentication module: owns the session store, the SMS, session and login
// services and the authorising interceptor.
class AuthAssembly
{
public:
    AuthAssembly(IHttpClient *api, const QString &deviceId);
    ~AuthAssembly();

    AuthInterceptor *interceptor() const { return authInterceptor.get(); }

private:
    std::unique_ptr<AuthInterceptor> authInterceptor;
};
