#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "support/fake_http_client.h"
#include "support/test_main.h"

#include <QNetworkRequest>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;

class AuthAssemblyTest : public QObject
{
    Q_OBJECT

private slots:
    // The services share one store: a login is what the interceptor then sends,
    // and a refused request is refreshed through the same REST client.
    void servicesShareTheStoreAndTheClient()
    {
        FakeHttpClient api;
        AuthAssembly auth(&api, QStringLiteral("device-3"));
        QVERIFY(auth.sessionStore() && auth.smsService() && auth.sessionService() && auth.loginService()
                && auth.interceptor());

        auth.loginService()->login(QStringLiteral("13812345678"), QStringLiteral("1234"), QStringLiteral("v"));
        QCOMPARE(api.calls.first().body.value("deviceId").toString(), QStringLiteral("device-3"));
        api.answer(QStringLiteral("/v1/auth/login"), 0,
                   jsonReply(200, {{"userId", "u"}, {"accessToken", "login-access"}, {"refreshToken", "r"}}));
        QCOMPARE(auth.sessionStore()->accessToken(), QStringLiteral("login-access"));

        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1/v1/users/me")));
        auth.interceptor()->onRequest(request, {});
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Bearer login-access"));

        ResponseControl control;
        bool replayed = false;
        control.replay = [&replayed] { replayed = true; };
        QVERIFY(auth.interceptor()->onResponse(jsonReply(401), QStringLiteral("/v1/users/me"), {}, 0, control));
        api.answer(QStringLiteral("/v1/auth/refresh"), 0,
                   jsonReply(200, {{"accessToken", "second"}, {"refreshToken", "r2"}}));
        QVERIFY(replayed);
        QCOMPARE(auth.sessionStore()->accessToken(), QStringLiteral("second"));

        auth.sessionService()->logout();
        QVERIFY(auth.sessionStore()->accessToken().isEmpty());
        // Let the credential-store jobs finish before the store goes.
        QTRY_VERIFY_WITH_TIMEOUT(auth.sessionStore()->findChildren<QObject *>().isEmpty(), 10000);
    }
};

KESTOVA_TEST_MAIN(AuthAssemblyTest)
#include "test_auth_assembly.moc"
