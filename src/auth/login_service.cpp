#include "auth/login_service.h"

#include "auth/auth_log.h"
#include "auth/i_session_store.h"
#include "net/i_http_client.h"

#include <QJsonObject>
#include <QPointer>

LoginService::LoginService(IHttpClient *api_, ISessionStore *store_, QString deviceId_, QObject *parent)
    : QObject(parent)
    , api(api_)
    , store(store_)
    , deviceId(std::move(deviceId_))
{}

void LoginService::login(const QString &phone, const QString &code, const QString &agreedLegalVersion)
{
    const QJsonObject body{
        {QStringLiteral("phone"), phone},
        {QStringLiteral("code"), code},
        {QStringLiteral("deviceId"), deviceId},
        {QStringLiteral("agreedLegalVersion"), agreedLegalVersion},
    };
    HttpOptions options;
    options.skipAuth = true;
    api->post(
        QStringLiteral("/v1/auth/login"), body,
        [self = QPointer<LoginService>(this)](const HttpResponse &response) {
            if (!self)
                return;
            if (!response.isSuccess()) {
                qCWarning(lcAuthLogin).noquote() << QStringLiteral("login failed ") + describeFailedReply(response);
                emit self->loginFailed(classifyAuthError(errorCodeOf(response)), errorMessageOf(response));
                return;
            }
            const QJsonObject &reply = response.json;
            const QString userId = reply.value(QLatin1String("userId")).toString();
            const QString accessToken = reply.value(QLatin1String("accessToken")).toString();
            const QString refreshToken = reply.value(QLatin1String("refreshToken")).toString();
            if (userId.isEmpty() || accessToken.isEmpty() || refreshToken.isEmpty()) {
                qCWarning(lcAuthLogin) << "login response malformed, missing credentials";
                emit self->loginFailed(AuthErrorCode::Other, QString());
                return;
            }
            const bool isNewUser = reply.value(QLatin1String("isNewUser")).toBool();
            const bool reactivated = reply.value(QLatin1String("reactivated")).toBool();
            // The store holds the session before anyone hears of it.
            self->store->saveLogin(userId, accessToken, refreshToken,
                                   reply.value(QLatin1String("refreshExpiresIn")).toInt());
            qCInfo(lcAuthLogin).nospace().noquote() << "login succeeded user_id=" << userId
                                                    << " is_new_user=" << isNewUser << " reactivated=" << reactivated;
            emit self->loginSucceeded(userId, isNewUser, reactivated);
        },
        options);
}
