#include "auth/auth_error_code.h"

#include "net/http_types.h"

#include <iterator>

namespace {
struct KnownCode {
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

constexpr int kLoggedBodyBytes = 512;
} // namespace

QString errorCodeOf(const HttpResponse &response)
{
    return response.json.value(QLatin1String("code")).toString();
}

QString errorMessageOf(const HttpResponse &response)
{
    return response.json.value(QLatin1String("message")).toString();
}

AuthErrorCode classifyAuthError(const QString &code)
{
    for (const KnownCode &known : knownCodes) {
        if (code == QLatin1String(known.code))
            return known.value;
    }
    return AuthErrorCode::Other;
}

QString describeFailedReply(const HttpResponse &response)
{
    return QStringLiteral("status=%1 code=%2 net_err=%3 body=%4")
        .arg(response.status)
        .arg(errorCodeOf(response), response.error, QString::fromUtf8(response.body.left(kLoggedBodyBytes)));
}
