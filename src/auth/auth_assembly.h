#pragma once

#include <QString>

#include <memory>

class AuthInterceptor;
class IHttpClient;
class LoginService;
class SessionService;
class SessionStore;
class SmsService;

// The authentication module: owns the session store, the SMS, session and login
// services and the authorising interceptor, created in that order and deleted in
// the reverse one.
class AuthAssembly
{
public:
    AuthAssembly(IHttpClient *api, const QString &deviceId);
    ~AuthAssembly();

    SessionStore *sessionStore() const { return store.get(); }
    SmsService *smsService() const { return sms.get(); }
    SessionService *sessionService() const { return session.get(); }
    LoginService *loginService() const { return loginSvc.get(); }
    AuthInterceptor *interceptor() const { return authInterceptor.get(); }

private:
    std::unique_ptr<SessionStore> store;
    std::unique_ptr<SmsService> sms;
    std::unique_ptr<SessionService> session;
    std::unique_ptr<LoginService> loginSvc;
    std::unique_ptr<AuthInterceptor> authInterceptor;
};
