#include "auth/auth_log.h"

Q_LOGGING_CATEGORY(lcAuthSms, "auth.sms", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAuthSession, "auth.session", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAuthLogin, "auth.login", QtInfoMsg)
