#pragma once

#include "auth/auth_error_code.h"

#include <QObject>

class IHttpClient;
class ISessionStore;

// Turns a phone number and its SMS code into a session. GUI thread only.
class LoginService : public QObject
{
    Q_OBJECT
public:
    LoginService(IHttpClient *api, ISessionStore *store, QString deviceId, QObject *parent = nullptr);

    // Starts one login; exactly one of the two signals follows. Calls are independent.
    void login(const QString &phone, const QString &code, const QString &agreedLegalVersion);

signals:
    void loginSucceeded(QString userId, bool isNewUser, bool reactivated);
    void loginFailed(AuthErrorCode code, QString msg);

private:
    IHttpClient *api;
    ISessionStore *store;
    QString deviceId;
};
