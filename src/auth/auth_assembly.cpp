#include "auth/auth_assembly.h"

#include "auth/auth_interceptor.h"
#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "auth/sms_service.h"

AuthAssembly::AuthAssembly(IHttpClient *api, const QString &deviceId)
    : store(std::make_unique<SessionStore>())
    , sms(std::make_unique<SmsService>(api))
    , session(std::make_unique<SessionService>(api, store.get()))
    , loginSvc(std::make_unique<LoginService>(api, store.get(), deviceId))
    , authInterceptor(std::make_unique<AuthInterceptor>(store.get(), session.get()))
{}

AuthAssembly::~AuthAssembly() = default;
