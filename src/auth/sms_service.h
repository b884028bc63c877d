#pragma once

#include "auth/auth_error_code.h"

#include <QObject>

class IHttpClient;

// Asks the server to send a sign-in code by SMS. GUI thread only.
class SmsService : public QObject
{
    Q_OBJECT
public:
    explicit SmsService(IHttpClient *api, QObject *parent = nullptr);

    // Starts one request; exactly one of the two signals follows.
    void sendCode(const QString &phone);

signals:
    void sendCodeSucceeded(int retryAfterSec);
    void sendCodeFailed(AuthErrorCode code, QString msg, int retryAfterSec);

private:
    IHttpClient *api;
};
