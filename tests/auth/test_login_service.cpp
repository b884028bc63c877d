#include "auth/login_service.h"
#include "memory_session_store.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::networkErrorReply;
using testsupport::timedOutReply;

namespace {
const QString kLogin = QStringLiteral("/v1/auth/login");

QJsonObject goodReply()
{
    return {{"userId", "user-1"},       {"accessToken", "access-1"}, {"refreshToken", "refresh-1"},
            {"refreshExpiresIn", 3600}, {"isNewUser", true},         {"reactivated", false}};
}

QJsonObject without(QJsonObject object, const QString &key)
{
    object.remove(key);
    return object;
}

QJsonObject with(QJsonObject object, const QString &key, const QJsonValue &value)
{
    object.insert(key, value);
    return object;
}
} // namespace

class LoginServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void requestCarriesPhoneCodeDeviceAndLegalVersion()
    {
        FakeHttpClient api;
        MemorySessionStore store;
        LoginService login(&api, &store, QStringLiteral("device-9"));
        login.login(QStringLiteral("13812345678"), QStringLiteral("123456"), QStringLiteral("terms@3+privacy@4"));

        QCOMPARE(api.calls.size(), 1);
        const FakeHttpClient::Call &call = api.calls.first();
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, kLogin);
        QCOMPARE(call.body, (QJsonObject{{"phone", "13812345678"},
                                         {"code", "123456"},
                                         {"deviceId", "device-9"},
                                         {"agreedLegalVersion", "terms@3+privacy@4"}}));
        QVERIFY(call.options.skipAuth);
        QCOMPARE(call.options.timeoutMs, 0);
        QVERIFY(call.options.headers.isEmpty());
    }

    void reply_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<bool>("succeeded");
        QTest::addColumn<AuthErrorCode>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("isNewUser");
        QTest::addColumn<bool>("reactivated");
        QTest::addColumn<qint64>("expiresAt");

        const qint64 saved = 1'700'000'000 + 3600;
        QTest::newRow("success") << jsonReply(200, goodReply()) << true << AuthErrorCode::Other << "" << true << false
                                 << saved;
        QTest::newRow("reactivated") << jsonReply(201, with(with(goodReply(), "isNewUser", false), "reactivated", true))
                                     << true << AuthErrorCode::Other << "" << false << true << saved;
        QTest::newRow("flags as strings")
            << jsonReply(200, with(with(goodReply(), "isNewUser", "true"), "reactivated", "true")) << true
            << AuthErrorCode::Other << "" << false << false << saved;
        QTest::newRow("no lifetime is unknown expiry")
            << jsonReply(200, without(goodReply(), "refreshExpiresIn")) << true << AuthErrorCode::Other << "" << true
            << false << qint64(0);
        QTest::newRow("user id missing") << jsonReply(200, without(goodReply(), "userId")) << false
                                         << AuthErrorCode::Other << "" << false << false << qint64(0);
        QTest::newRow("access token missing") << jsonReply(200, without(goodReply(), "accessToken")) << false
                                              << AuthErrorCode::Other << "" << false << false << qint64(0);
        QTest::newRow("refresh token empty") << jsonReply(200, with(goodReply(), "refreshToken", "")) << false
                                             << AuthErrorCode::Other << "" << false << false << qint64(0);
        QTest::newRow("code invalid") << jsonReply(400,
                                                   {{"code", "auth.login.code_invalid"}, {"message", "wrong code"}})
                                      << false << AuthErrorCode::LoginCodeInvalid << "wrong code" << false << false
                                      << qint64(0);
        QTest::newRow("legal required") << jsonReply(403, {{"code", "auth.login.legal_required"}, {"message", "m"}})
                                        << false << AuthErrorCode::LoginLegalRequired << "m" << false << false
                                        << qint64(0);
        QTest::newRow("refused 401 with unknown code")
            << jsonReply(401, {{"code", "odd"}, {"message", "nope"}}) << false << AuthErrorCode::Other << "nope"
            << false << false << qint64(0);
        QTest::newRow("server fault") << jsonReply(500) << false << AuthErrorCode::Other << "" << false << false
                                      << qint64(0);
        QTest::newRow("time-out") << timedOutReply() << false << AuthErrorCode::Other << "" << false << false
                                  << qint64(0);
        QTest::newRow("network error") << networkErrorReply() << false << AuthErrorCode::Other << "" << false << false
                                       << qint64(0);
    }

    void reply()
    {
        QFETCH(HttpResponse, response);
        QFETCH(bool, succeeded);
        QFETCH(AuthErrorCode, code);
        QFETCH(QString, message);
        QFETCH(bool, isNewUser);
        QFETCH(bool, reactivated);
        QFETCH(qint64, expiresAt);

        FakeHttpClient api;
        MemorySessionStore store;
        LoginService login(&api, &store, QStringLiteral("device-9"));
        QSignalSpy okSpy(&login, &LoginService::loginSucceeded);
        QSignalSpy failSpy(&login, &LoginService::loginFailed);
        // Receivers of the success read the session from the store.
        QString userSeenBySignal;
        connect(&login, &LoginService::loginSucceeded, this, [&] { userSeenBySignal = store.userId(); });

        login.login(QStringLiteral("13812345678"), QStringLiteral("123456"), QStringLiteral("terms@1+privacy@1"));
        api.answer(kLogin, 0, response);

        QCOMPARE(okSpy.size() + failSpy.size(), 1);
        if (succeeded) {
            QCOMPARE(okSpy.first().at(0).toString(), QStringLiteral("user-1"));
            QCOMPARE(okSpy.first().at(1).toBool(), isNewUser);
            QCOMPARE(okSpy.first().at(2).toBool(), reactivated);
            QCOMPARE(userSeenBySignal, QStringLiteral("user-1"));
            QCOMPARE(store.saveLoginCount, 1);
            QCOMPARE(store.access, QStringLiteral("access-1"));
            QCOMPARE(store.refresh, QStringLiteral("refresh-1"));
            QCOMPARE(store.expiresAt, expiresAt);
        } else {
            QCOMPARE(failSpy.first().at(0).value<AuthErrorCode>(), code);
            QCOMPARE(failSpy.first().at(1).toString(), message);
            QCOMPARE(store.saveLoginCount, 0);
            QVERIFY(store.user.isEmpty() && store.refresh.isEmpty());
        }
    }

    void logLines()
    {
        LogCapture logs;
        FakeHttpClient api;
        MemorySessionStore store;
        LoginService login(&api, &store, QStringLiteral("d"));
        login.login(QStringLiteral("p"), QStringLiteral("c"), QStringLiteral("v"));
        login.login(QStringLiteral("p"), QStringLiteral("c"), QStringLiteral("v"));
        login.login(QStringLiteral("p"), QStringLiteral("c"), QStringLiteral("v"));
        api.answer(kLogin, 0, jsonReply(200, goodReply()));
        api.answer(kLogin, 1, jsonReply(200, {{"userId", "u"}}));
        HttpResponse failed = jsonReply(400, {{"code", "auth.login.code_invalid"}});
        api.answer(kLogin, 2, failed);

        QVERIFY(logs.contains("auth.login", "login succeeded user_id=user-1 is_new_user=true reactivated=false"));
        QVERIFY(logs.contains("auth.login", "login response malformed, missing credentials"));
        QVERIFY(logs.contains("auth.login", "login failed status=400 code=auth.login.code_invalid net_err= body="
                                                + QString::fromUtf8(failed.body)));
        for (const auto &entry : logs.entries())
            QVERIFY2(!entry.message.contains("access-1") && !entry.message.contains("refresh-1"),
                     qPrintable(entry.message));
    }
};

KESTOVA_TEST_MAIN(LoginServiceTest)
#include "test_login_service.moc"
