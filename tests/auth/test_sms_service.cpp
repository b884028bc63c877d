#include "auth/sms_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::networkErrorReply;
using testsupport::timedOutReply;

class SmsServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void requestCarriesOnlyThePhoneWithoutAuth()
    {
        FakeHttpClient api;
        SmsService sms(&api);
        sms.sendCode(QStringLiteral("13812345678"));

        QCOMPARE(api.calls.size(), 1);
        const FakeHttpClient::Call &call = api.calls.first();
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, QStringLiteral("/v1/auth/send-code"));
        QCOMPARE(call.body, (QJsonObject{{"phone", "13812345678"}}));
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
        QTest::addColumn<int>("retryAfter");

        QTest::newRow("ok with delay") << jsonReply(200, {{"retryAfter", 60}}) << true << AuthErrorCode::Other << ""
                                       << 60;
        QTest::newRow("ok without delay") << jsonReply(204) << true << AuthErrorCode::Other << "" << 0;
        QTest::newRow("throttled with details") << jsonReply(429, {{"code", "auth.sms.throttle"},
                                                                   {"message", "wait"},
                                                                   {"details", QJsonObject{{"retryAfter", 42}}}})
                                                << false << AuthErrorCode::SmsThrottled << "wait" << 42;
        QTest::newRow("delay only at top level")
            << jsonReply(429, {{"code", "auth.sms.throttle"}, {"message", "wait"}, {"retryAfter", 42}}) << false
            << AuthErrorCode::SmsThrottled << "wait" << 0;
        QTest::newRow("phone refused") << jsonReply(400, {{"code", "auth.sms.phone_invalid"}, {"message", "bad"}})
                                       << false << AuthErrorCode::SmsPhoneInvalid << "bad" << 0;
        QTest::newRow("provider down") << jsonReply(503, {{"code", "auth.sms.provider_down"}, {"message", "later"}})
                                       << false << AuthErrorCode::SmsProviderDown << "later" << 0;
        QTest::newRow("unknown code") << jsonReply(400, {{"code", "x.y"}, {"message", "m"}}) << false
                                      << AuthErrorCode::Other << "m" << 0;
        QTest::newRow("server fault without body") << jsonReply(500) << false << AuthErrorCode::Other << "" << 0;
        QTest::newRow("time-out") << timedOutReply() << false << AuthErrorCode::Other << "" << 0;
        QTest::newRow("network error") << networkErrorReply() << false << AuthErrorCode::Other << "" << 0;
    }

    void reply()
    {
        QFETCH(HttpResponse, response);
        QFETCH(bool, succeeded);
        QFETCH(AuthErrorCode, code);
        QFETCH(QString, message);
        QFETCH(int, retryAfter);

        FakeHttpClient api;
        SmsService sms(&api);
        QSignalSpy okSpy(&sms, &SmsService::sendCodeSucceeded);
        QSignalSpy failSpy(&sms, &SmsService::sendCodeFailed);
        sms.sendCode(QStringLiteral("13812345678"));
        QVERIFY(okSpy.isEmpty() && failSpy.isEmpty());
        api.answer(QStringLiteral("/v1/auth/send-code"), 0, response);

        QCOMPARE(okSpy.size() + failSpy.size(), 1);
        if (succeeded) {
            QCOMPARE(okSpy.size(), 1);
            QCOMPARE(okSpy.first().at(0).toInt(), retryAfter);
        } else {
            QCOMPARE(failSpy.size(), 1);
            QCOMPARE(failSpy.first().at(0).value<AuthErrorCode>(), code);
            QCOMPARE(failSpy.first().at(1).toString(), message);
            QCOMPARE(failSpy.first().at(2).toInt(), retryAfter);
        }
    }

    void failureIsLoggedWithStatusCodeAndBody()
    {
        LogCapture logs;
        FakeHttpClient api;
        SmsService sms(&api);
        sms.sendCode(QStringLiteral("13812345678"));
        HttpResponse response = jsonReply(400, {{"code", "auth.sms.phone_invalid"}});
        api.answer(QStringLiteral("/v1/auth/send-code"), 0, response);
        const QString expected =
            QStringLiteral("send code failed status=400 code=auth.sms.phone_invalid net_err= body=")
            + QString::fromUtf8(response.body);
        QVERIFY2(logs.contains("auth.sms", expected), qPrintable(expected));
    }

    void loggedBodyIsCutAt512Bytes()
    {
        LogCapture logs;
        FakeHttpClient api;
        SmsService sms(&api);
        sms.sendCode(QStringLiteral("13812345678"));
        HttpResponse response;
        response.status = 502;
        response.body = QByteArray(511, 'a') + "bc";
        api.answer(QStringLiteral("/v1/auth/send-code"), 0, response);
        QVERIFY(logs.contains("auth.sms", QString(511, 'a') + "b"));
        QVERIFY(!logs.contains("auth.sms", QString(511, 'a') + "bc"));
    }
};

KESTOVA_TEST_MAIN(SmsServiceTest)
#include "test_sms_service.moc"
