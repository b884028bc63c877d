#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "user/nickname_service.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;

class NicknameServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void sendsTextUnchanged_data();
    void sendsTextUnchanged();
    void successAppliesReturnedProfile();
    void failureReportsServerMessage_data();
    void failureReportsServerMessage();
    void lateReplyAfterSignOutIsDropped();
};

void NicknameServiceTest::sendsTextUnchanged_data()
{
    QTest::addColumn<QString>("nickname");
    QTest::newRow("empty") << "";
    QTest::newRow("padded") << "  Bo  ";
}

void NicknameServiceTest::sendsTextUnchanged()
{
    QFETCH(QString, nickname);
    FakeHttpClient http;
    UserState state;
    NicknameService service(&http, &state);

    service.updateNickname(nickname);

    QCOMPARE(http.calls.size(), 1);
    QCOMPARE(http.calls[0].method, HttpMethod::Patch);
    QCOMPARE(http.calls[0].path, QStringLiteral("/v1/users/me"));
    QCOMPARE(http.calls[0].body, (QJsonObject{{"nickname", nickname}}));
}

void NicknameServiceTest::successAppliesReturnedProfile()
{
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", QString()});
    NicknameService service(&http, &state);
    QSignalSpy succeeded(&service, &NicknameService::updateSucceeded);
    QSignalSpy nicknames(&state, &UserState::nicknameChanged);
    testsupport::LogCapture log;

    service.updateNickname("Bo");
    http.reply(0, jsonReply(200, {{"userId", "u1"}, {"username", "ann1"}, {"nickname", "Bo"}}));

    QCOMPARE(succeeded.count(), 1);
    QCOMPARE(nicknames.count(), 1);
    QCOMPARE(state.nickname(), QStringLiteral("Bo"));
    QVERIFY(log.contains("user.nickname", "nickname updated user_id=u1"));
}

void NicknameServiceTest::failureReportsServerMessage_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("expectedMessage");
    QTest::newRow("server message") << 400 << QJsonObject{{"code", "user.nickname_invalid"}, {"message", "too long"}}
                                    << "too long";
    QTest::newRow("no message") << 500 << QJsonObject{} << "";
    QTest::newRow("no status") << 0 << QJsonObject{} << "";
}

void NicknameServiceTest::failureReportsServerMessage()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, json);
    QFETCH(QString, expectedMessage);
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", QString()});
    NicknameService service(&http, &state);
    QSignalSpy succeeded(&service, &NicknameService::updateSucceeded);
    QSignalSpy failed(&service, &NicknameService::updateFailed);
    testsupport::LogCapture log;

    service.updateNickname("Bo");
    http.reply(0, jsonReply(status, json));

    QCOMPARE(succeeded.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), expectedMessage);
    QCOMPARE(state.nickname(), QStringLiteral("Ann"));
    QVERIFY(log.contains("user.nickname", QStringLiteral("nickname update failed status=%1").arg(status)));
    QCOMPARE(http.calls.size(), 1);
}

void NicknameServiceTest::lateReplyAfterSignOutIsDropped()
{
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", QString()});
    NicknameService service(&http, &state);
    QSignalSpy succeeded(&service, &NicknameService::updateSucceeded);

    service.updateNickname("Bo");
    state.clear();
    http.reply(0, jsonReply(200, {{"userId", "u1"}, {"nickname", "Bo"}}));

    QVERIFY(state.userId().isEmpty());
    QVERIFY(state.nickname().isEmpty());
    QCOMPARE(succeeded.count(), 0);
}

KESTOVA_TEST_MAIN(NicknameServiceTest)
#include "test_nickname_service.moc"
