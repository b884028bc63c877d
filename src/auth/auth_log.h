#pragma once

#include <QLoggingCategory>

// "auth.sms": the SMS code request.
Q_DECLARE_LOGGING_CATEGORY(lcAuthSms)
// "auth.session": the session store, the session service and the authorising interceptor.
Q_DECLARE_LOGGING_CATEGORY(lcAuthSession)
// "auth.login": the SMS login.
Q_DECLARE_LOGGING_CATEGORY(lcAuthLogin)
