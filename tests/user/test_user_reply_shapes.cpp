#include "legal/legal_service.h"
#include "support/fake_http_client.h"
#include "support/test_main.h"
#include "user/consent_service.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::FakeHttpClient;

namespace {

const UserProfile signedIn{"u1", "ann1", "Ann", "active", "terms@1+privacy@1"};

void verifyUntouched(const UserState &state, const QSignalSpy &nicknameChanged)
{
    QCOMPARE(state.userId(), signedIn.userId);
    QCOMPARE(state.username(), signedIn.username);
    QCOMPARE(state.nickname(), signedIn.nickname);
    QCOMPARE(state.status(), signedIn.status);
    QCOMPARE(state.agreedLegalVersion(), signedIn.agreedLegalVersion);
    QCOMPARE(nicknameChanged.count(), 0);
}

} // namespace

// A success reply whose body names no user (an empty body, another shape, a
// user id that is no string) must not wipe what is known about the signed-in user.
class UserReplyShapesTest : public QObject
{
    Q_OBJECT
private slots:
    void profileFetchWithoutUserKeepsState_data();
    void profileFetchWithoutUserKeepsState();
    void nicknameReplyWithoutUserKeepsState_data();
    void nicknameReplyWithoutUserKeepsState();
    void consentReplyWithoutUserKeepsState_data();
    void consentReplyWithoutUserKeepsState();

private:
    static void addShapes();
};

void UserReplyShapesTest::addShapes()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("json");
    QTest::newRow("no content") << 204 << QJsonObject{};
    QTest::newRow("empty object") << 200 << QJsonObject{};
    QTest::newRow("other shape") << 200 << QJsonObject{{"user", QJsonObject{{"userId", "u1"}}}};
    QTest::newRow("numeric user id") << 200 << QJsonObject{{"userId", 42}, {"nickname", "X"}};
}

void UserReplyShapesTest::profileFetchWithoutUserKeepsState_data()
{
    addShapes();
}

void UserReplyShapesTest::profileFetchWithoutUserKeepsState()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, json);
    FakeHttpClient http;
    UserState state;
    state.applyProfile(signedIn);
    ProfileService profile(&http, &state);
    QSignalSpy fetched(&profile, &ProfileService::profileFetched);
    QSignalSpy nicknameChanged(&state, &UserState::nicknameChanged);

    profile.fetchProfile();
    QVERIFY(!http.calls.isEmpty());
    http.reply(http.calls.size() - 1, HttpResponse{status, json, {}, {}, false, false});

    verifyUntouched(state, nicknameChanged);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fetched.count(), 0);
}

void UserReplyShapesTest::nicknameReplyWithoutUserKeepsState_data()
{
    addShapes();
}

void UserReplyShapesTest::nicknameReplyWithoutUserKeepsState()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, json);
    FakeHttpClient http;
    UserState state;
    state.applyProfile(signedIn);
    NicknameService nickname(&http, &state);
    QSignalSpy succeeded(&nickname, &NicknameService::updateSucceeded);
    QSignalSpy nicknameChanged(&state, &UserState::nicknameChanged);

    nickname.updateNickname("Annie");
    QVERIFY(!http.calls.isEmpty());
    http.reply(http.calls.size() - 1, HttpResponse{status, json, {}, {}, false, false});

    verifyUntouched(state, nicknameChanged);
    if (QTest::currentTestFailed())
        return;
    // The server accepted the change; only the reply could not be read.
    QCOMPARE(succeeded.count(), 1);
}

void UserReplyShapesTest::consentReplyWithoutUserKeepsState_data()
{
    addShapes();
}

void UserReplyShapesTest::consentReplyWithoutUserKeepsState()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, json);
    FakeHttpClient http;
    UserState state;
    state.applyProfile(signedIn);
    LegalService legal(nullptr);
    legal.applyVersions({"2", "1"});
    ConsentService consent(&http, &state, &legal);
    QSignalSpy nicknameChanged(&state, &UserState::nicknameChanged);

    consent.submitConsent();
    QVERIFY(!http.calls.isEmpty());
    http.reply(http.calls.size() - 1, HttpResponse{status, json, {}, {}, false, false});

    verifyUntouched(state, nicknameChanged);
}

KESTOVA_TEST_MAIN(UserReplyShapesTest)
#include "test_user_reply_shapes.moc"
