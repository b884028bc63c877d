#pragma once

#include "net/http_reply.h"

#include <QString>

// The sign-in reasons of the server's error "code"; the values are fixed.
enum class AuthErrorCode : int {
    Other = 0,
    SmsThrottled = 1,
    SmsPhoneInvalid = 2,
    SmsProviderDown = 3,
    LoginCodeRequired = 4,
    LoginCodeInvalid = 5,
    LoginCodeAttemptsExceeded = 6,
    LoginLegalRequired = 7,
    RegistrationClosed = 8,
    AccountBanned = 9,
    RefreshInvalid = 10,
};

// Exact, case-sensitive match against the known codes; Other for anything else.
AuthErrorCode classifyAuthError(const QString &code);
