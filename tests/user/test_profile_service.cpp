#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "user/profile_service.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::networkErrorReply;

class ProfileServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void successAppliesProfile();
    void backoffTable_data();
    void backoffTable();
    void successResetsBackoff();
    void clientErrorEndsAttempt_data();
    void clientErrorEndsAttempt();
    void retryTimerFetchesAgain();
    void signOutStopsRetry();
    void lateReplyAfterSignOutIsDropped_data();
    void lateReplyAfterSignOutIsDropped();
    void profileEvent_data();
    void profileEvent();
    void eventWhileSignedOutIsIgnored();

private:
    static QJsonObject me(const QString &nickname = QStringLiteral("Ann"))
    {
        return {{"userId", "u1"}, {"username", "ann1"}, {"nickname", nickname}, {"status", "active"}};
    }
};

void ProfileServiceTest::successAppliesProfile()
{
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    QSignalSpy fetched(&service, &ProfileService::profileFetched);
    testsupport::LogCapture log;

    service.fetchProfile();
    QCOMPARE(http.calls.size(), 1);
    QCOMPARE(http.calls[0].method, HttpMethod::Get);
    QCOMPARE(http.calls[0].path, QStringLiteral("/v1/users/me"));
    http.reply(0, jsonReply(200, me()));

    QCOMPARE(fetched.count(), 1);
    QCOMPARE(state.userId(), QStringLiteral("u1"));
    QCOMPARE(state.nickname(), QStringLiteral("Ann"));
    QVERIFY(log.contains("user.profile", "profile fetched user_id=u1 status=active"));
}

void ProfileServiceTest::backoffTable_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<int>>("delays");
    const QList<int> table{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};
    QTest::newRow("no status") << 0 << table;
    QTest::newRow("500") << 500 << table;
    QTest::newRow("503") << 503 << table;
}

void ProfileServiceTest::backoffTable()
{
    QFETCH(int, status);
    QFETCH(QList<int>, delays);
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    QSignalSpy fetched(&service, &ProfileService::profileFetched);
    testsupport::LogCapture log;

    for (qsizetype i = 0; i < delays.size(); ++i) {
        service.fetchProfile();
        QVERIFY(!service.pendingRetryDelayMs()); // a fetch replaces the pending retry
        http.reply(i, jsonReply(status, {{"code", "server.busy"}}));
        QCOMPARE(service.pendingRetryDelayMs(), std::optional<int>(delays[i]));
        QVERIFY(log.contains(
            "user.profile",
            QStringLiteral("profile fetch retry scheduled attempt=%1 delay_ms=%2").arg(i + 1).arg(delays[i])));
    }
    QCOMPARE(log.count("user.profile", QStringLiteral("profile fetch failed status=%1 code=server.busy").arg(status)),
             delays.size());
    QCOMPARE(fetched.count(), 0);
}

void ProfileServiceTest::successResetsBackoff()
{
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    for (int i = 0; i < 3; ++i) {
        service.fetchProfile();
        http.reply(i, networkErrorReply());
    }
    QCOMPARE(service.pendingRetryDelayMs(), std::optional<int>(4000));
    service.fetchProfile();
    http.reply(3, jsonReply(200, me()));
    QVERIFY(!service.pendingRetryDelayMs());

    service.fetchProfile();
    http.reply(4, jsonReply(502));
    QCOMPARE(service.pendingRetryDelayMs(), std::optional<int>(1000));
}

void ProfileServiceTest::clientErrorEndsAttempt_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("400") << 400;
    QTest::newRow("404") << 404;
    QTest::newRow("499") << 499;
}

void ProfileServiceTest::clientErrorEndsAttempt()
{
    QFETCH(int, status);
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    QSignalSpy fetched(&service, &ProfileService::profileFetched);
    testsupport::LogCapture log;

    service.fetchProfile();
    HttpResponse response = jsonReply(status, {{"code", "user.not_found"}});
    response.body = QByteArray(600, 'x');
    http.reply(0, response);

    QVERIFY(!service.pendingRetryDelayMs());
    QCOMPARE(fetched.count(), 0);
    QCOMPARE(log.count("user.profile", "profile fetch failed"), 1);
    QVERIFY(log.contains(
        "user.profile",
        QStringLiteral("status=%1 code=user.not_found net_err= body=%2").arg(status).arg(QString(512, 'x'))));
    QVERIFY(!log.contains("user.profile", QString(513, 'x')));
    QVERIFY(!log.contains("user.profile", "retry"));
}

void ProfileServiceTest::retryTimerFetchesAgain()
{
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    service.setRetryUnitMs(1);
    QSignalSpy fetched(&service, &ProfileService::profileFetched);

    service.fetchProfile();
    http.reply(0, networkErrorReply());
    QTRY_COMPARE(http.calls.size(), 2);
    http.reply(1, jsonReply(200, me()));
    QCOMPARE(fetched.count(), 1);
}

void ProfileServiceTest::signOutStopsRetry()
{
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    for (int i = 0; i < 3; ++i) {
        service.fetchProfile();
        http.reply(i, jsonReply(503));
    }
    QVERIFY(service.pendingRetryDelayMs());

    state.clear();
    QVERIFY(!service.pendingRetryDelayMs());

    // The next session starts its back-off from the beginning.
    service.fetchProfile();
    http.reply(3, jsonReply(503));
    QCOMPARE(service.pendingRetryDelayMs(), std::optional<int>(1000));
}

void ProfileServiceTest::lateReplyAfterSignOutIsDropped_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("success") << 200;
    QTest::newRow("server error") << 503;
}

void ProfileServiceTest::lateReplyAfterSignOutIsDropped()
{
    QFETCH(int, status);
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    QSignalSpy fetched(&service, &ProfileService::profileFetched);
    QSignalSpy nicknames(&state, &UserState::nicknameChanged);

    service.fetchProfile();
    state.clear();
    http.reply(0, status == 200 ? jsonReply(200, me()) : jsonReply(status));

    QVERIFY(state.userId().isEmpty());
    QCOMPARE(fetched.count(), 0);
    QCOMPARE(nicknames.count(), 0);
    QVERIFY(!service.pendingRetryDelayMs());

    // A fetch of the next session is applied.
    service.fetchProfile();
    http.reply(1, jsonReply(200, me()));
    QCOMPARE(state.userId(), QStringLiteral("u1"));
    QCOMPARE(fetched.count(), 1);
}

void ProfileServiceTest::profileEvent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("payload");
    QTest::addColumn<QString>("expectedNickname");
    QTest::addColumn<int>("expectedSignals");
    QTest::newRow("own, new nickname") << "user.profile-updated" << QJsonObject{{"userId", "u1"}, {"nickname", "Bo"}}
                                       << "Bo" << 1;
    QTest::newRow("own, same nickname") << "user.profile-updated" << QJsonObject{{"userId", "u1"}, {"nickname", "Ann"}}
                                        << "Ann" << 0;
    QTest::newRow("own, no nickname") << "user.profile-updated" << QJsonObject{{"userId", "u1"}} << "" << 1;
    QTest::newRow("other user") << "user.profile-updated" << QJsonObject{{"userId", "u2"}, {"nickname", "Bo"}} << "Ann"
                                << 0;
    QTest::newRow("user id not a string") << "user.profile-updated" << QJsonObject{{"nickname", "Bo"}} << "Ann" << 0;
    QTest::newRow("other event") << "room.updated" << QJsonObject{{"userId", "u1"}, {"nickname", "Bo"}} << "Ann" << 0;
}

void ProfileServiceTest::profileEvent()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, payload);
    QFETCH(QString, expectedNickname);
    QFETCH(int, expectedSignals);
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    state.applyProfile({"u1", "ann1", "Ann", "active", QString()});
    QSignalSpy nicknames(&state, &UserState::nicknameChanged);

    service.onProfileUpdatedEvent(name, payload);

    QCOMPARE(state.nickname(), expectedNickname);
    QCOMPARE(nicknames.count(), expectedSignals);
    QVERIFY(http.calls.isEmpty());
}

void ProfileServiceTest::eventWhileSignedOutIsIgnored()
{
    FakeHttpClient http;
    UserState state;
    ProfileService service(&http, &state);
    QSignalSpy nicknames(&state, &UserState::nicknameChanged);

    service.onProfileUpdatedEvent("user.profile-updated", QJsonObject{{"userId", ""}, {"nickname", "Bo"}});

    QVERIFY(state.nickname().isEmpty());
    QCOMPARE(nicknames.count(), 0);
}

KESTOVA_TEST_MAIN(ProfileServiceTest)
#include "test_profile_service.moc"
