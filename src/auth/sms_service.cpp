#include "auth/sms_service.h"

#include "auth/auth_log.h"
#include "net/i_http_client.h"

#include <QJsonObject>
#include <QPointer>

SmsService::SmsService(IHttpClient *api_, QObject *parent)
    : QObject(parent)
    , api(api_)
{}

void SmsService::sendCode(const QString &phone)
{
    HttpOptions options;
    options.skipAuth = true;
    const QJsonObject body{{QStringLiteral("phone"), phone}};
    api->post(
        QStringLiteral("/v1/auth/send-code"), body,
        [self = QPointer<SmsService>(this)](const HttpResponse &response) {
            if (!self)
                return;
            if (response.isSuccess()) {
                const int retryAfter = response.json.value(QLatin1String("retryAfter")).toInt();
                qCInfo(lcAuthSms).nospace() << "send code succeeded retry_after=" << retryAfter;
                emit self->sendCodeSucceeded(retryAfter);
                return;
            }
            // On a failure the delay sits under "details", never at the top level.
            const int retryAfter =
                response.json.value(QLatin1String("details")).toObject().value(QLatin1String("retryAfter")).toInt();
            qCWarning(lcAuthSms).noquote() << QStringLiteral("send code failed ") + describeFailedReply(response);
            emit self->sendCodeFailed(classifyAuthError(errorCodeOf(response)), errorMessageOf(response), retryAfter);
        },
        options);
}
