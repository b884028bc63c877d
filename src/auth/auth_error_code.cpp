#include "auth/auth_error_code.h"

#include <iterator>

namespace {
struct KnownCode
{
    const char *code;
    AuthErrorCode value;
};

constexpr KnownCode knownCodes[] = {
    {"auth.sms.throttle", AuthErrorCode::SmsThrottled},
    {"auth.sms.phone_invalid", AuthErrorCode::SmsPhoneInvalid},
    {"auth.sms.provider_down", AuthErrorCode::SmsProviderDown},
    {"auth.login.code_required", AuthErrorCode::LoginCodeRequired},
    {"auth.login.code_invalid", AuthErrorCode::LoginCodeInvalid},
    {"auth.login.code_attempts_exceeded", AuthErrorCode::LoginCodeAttemptsExceeded},
    {"auth.login.legal_required", AuthErrorCode::LoginLegalRequired},
    {"auth.registration_closed", AuthErrorCode::RegistrationClosed},
    {"account.banned", AuthErrorCode::AccountBanned},
    {"auth.refresh.invalid", AuthErrorCode::RefreshInvalid},
};
} // namespace

AuthErrorCode classifyAuthError(const QString &code)
{
    for (const KnownCode &known : knownCodes) {
        if (code == QLatin1String(known.code))
            return known.value;
    }
    return AuthErrorCode::Other;
}
