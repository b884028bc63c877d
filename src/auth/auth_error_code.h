#pragma once

#include <QString>

struct HttpResponse;

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

// The string "code" of a failed reply's JSON object; empty when missing, not a
// string, or when the body was no JSON object (time-out, network error).
QString errorCodeOf(const HttpResponse &response);

// The string "message" of a failed reply's JSON object, read like errorCodeOf.
QString errorMessageOf(const HttpResponse &response);

// Exact, case-sensitive match against the known codes; Other for anything else.
AuthErrorCode classifyAuthError(const QString &code);

// The one-line summary of a failed reply that the auth services log:
// "status=<s> code=<c> net_err=<e> body=<first 512 bytes>".
QString describeFailedReply(const HttpResponse &response);
