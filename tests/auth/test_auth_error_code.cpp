#include "auth/auth_error_code.h"
#include "auth/phone_number.h"
#include "net/http_types.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonObject>

class AuthErrorCodeTest : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<AuthErrorCode>("expected");
        QTest::newRow("throttle") << "auth.sms.throttle" << AuthErrorCode::SmsThrottled;
        QTest::newRow("phone invalid") << "auth.sms.phone_invalid" << AuthErrorCode::SmsPhoneInvalid;
        QTest::newRow("provider down") << "auth.sms.provider_down" << AuthErrorCode::SmsProviderDown;
        QTest::newRow("code required") << "auth.login.code_required" << AuthErrorCode::LoginCodeRequired;
        QTest::newRow("code invalid") << "auth.login.code_invalid" << AuthErrorCode::LoginCodeInvalid;
        QTest::newRow("attempts exceeded")
            << "auth.login.code_attempts_exceeded" << AuthErrorCode::LoginCodeAttemptsExceeded;
        QTest::newRow("legal required") << "auth.login.legal_required" << AuthErrorCode::LoginLegalRequired;
        QTest::newRow("registration closed") << "auth.registration_closed" << AuthErrorCode::RegistrationClosed;
        QTest::newRow("banned") << "account.banned" << AuthErrorCode::AccountBanned;
        QTest::newRow("refresh invalid") << "auth.refresh.invalid" << AuthErrorCode::RefreshInvalid;
        QTest::newRow("upper case") << "AUTH.SMS.THROTTLE" << AuthErrorCode::Other;
        QTest::newRow("trailing blank") << "auth.sms.throttle " << AuthErrorCode::Other;
        QTest::newRow("prefix only") << "auth.sms" << AuthErrorCode::Other;
        QTest::newRow("empty") << "" << AuthErrorCode::Other;
        QTest::newRow("unknown") << "room.not_found" << AuthErrorCode::Other;
    }

    void classify()
    {
        QFETCH(QString, code);
        QFETCH(AuthErrorCode, expected);
        QCOMPARE(classifyAuthError(code), expected);
    }

    void classifiedValuesAreFixed()
    {
        QCOMPARE(int(AuthErrorCode::Other), 0);
        QCOMPARE(int(AuthErrorCode::LoginCodeInvalid), 5);
        QCOMPARE(int(AuthErrorCode::RefreshInvalid), 10);
    }

    void readers_data()
    {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("both strings") << QJsonObject{{"code", "auth.sms.throttle"}, {"message", "slow down"}}
                                      << "auth.sms.throttle"
                                      << "slow down";
        QTest::newRow("code is a number") << QJsonObject{{"code", 42}, {"message", "m"}} << ""
                                          << "m";
        QTest::newRow("message is an object") << QJsonObject{{"code", "c"}, {"message", QJsonObject{}}} << "c"
                                              << "";
        QTest::newRow("members missing") << QJsonObject{{"error", "x"}} << ""
                                         << "";
        QTest::newRow("no json object") << QJsonObject{} << ""
                                        << "";
        QTest::newRow("code is an array") << QJsonObject{{"code", QJsonArray{"a"}}} << ""
                                          << "";
    }

    void readers()
    {
        QFETCH(QJsonObject, json);
        QFETCH(QString, code);
        QFETCH(QString, message);
        HttpResponse response;
        response.status = 400;
        response.json = json;
        QCOMPARE(errorCodeOf(response), code);
        QCOMPARE(errorMessageOf(response), message);
    }

    void phoneNumber_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("valid");
        QTest::newRow("13x") << "13812345678" << true;
        QTest::newRow("19x") << "19912345678" << true;
        QTest::newRow("second digit 0") << "10812345678" << false;
        QTest::newRow("second digit 1") << "11812345678" << false;
        QTest::newRow("second digit 2") << "12812345678" << false;
        QTest::newRow("ten digits") << "1381234567" << false;
        QTest::newRow("twelve digits") << "138123456789" << false;
        QTest::newRow("country code") << "+8613812345678" << false;
        QTest::newRow("blank inside") << "138 12345678" << false;
        QTest::newRow("trailing newline") << "13812345678\n" << false;
        QTest::newRow("leading newline") << "\n13812345678" << false;
        QTest::newRow("trailing blank") << "13812345678 " << false;
        QTest::newRow("full-width digits") << QString::fromUtf8("１３８１２３４５６７８") << false;
        QTest::newRow("empty") << "" << false;
    }

    void phoneNumber()
    {
        QFETCH(QString, number);
        QFETCH(bool, valid);
        QCOMPARE(isValidPhoneNumber(number), valid);
    }
};

KESTOVA_TEST_MAIN(AuthErrorCodeTest)
#include "test_auth_error_code.moc"
