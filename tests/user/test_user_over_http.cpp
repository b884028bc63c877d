#include "net/http_client.h"
#include "support/loopback_http_server.h"
#include "support/test_main.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_directory_service.h"
#include "user/user_state.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::LoopbackHttpServer;
using testsupport::ScriptedReply;

// The user services against a loopback API server through the real HTTP client.
class UserOverHttpTest : public QObject
{
    Q_OBJECT
private slots:
    void profileRetriesUntilServerAnswers();
    void nicknameChangeReachesServer();
    void directoryFetchesBatch();
};

void UserOverHttpTest::profileRetriesUntilServerAnswers()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    server.enqueue("GET", "/v1/users/me", ScriptedReply::json(503, QJsonObject{{"code", "server.busy"}}));
    server.on("GET", "/v1/users/me",
              ScriptedReply::json(200, QJsonObject{{"userId", "u1"}, {"username", "ann1"}, {"nickname", "Ann"}}));
    HttpClient http;
    http.setBaseUrl(server.baseUrl());
    UserState state;
    ProfileService profile(&http, &state);
    profile.setRetryUnitMs(1);
    QSignalSpy fetched(&profile, &ProfileService::profileFetched);

    profile.fetchProfile();

    QTRY_COMPARE(fetched.count(), 1);
    QCOMPARE(server.requestsTo("/v1/users/me").size(), 2);
    QCOMPARE(state.userId(), QStringLiteral("u1"));
    QCOMPARE(state.nickname(), QStringLiteral("Ann"));
}

void UserOverHttpTest::nicknameChangeReachesServer()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    server.on("PATCH", "/v1/users/me",
              ScriptedReply::json(400, QJsonObject{{"code", "user.nickname_invalid"}, {"message", "too long"}}));
    HttpClient http;
    http.setBaseUrl(server.baseUrl());
    UserState state;
    NicknameService nickname(&http, &state);
    QSignalSpy failed(&nickname, &NicknameService::updateFailed);

    nickname.updateNickname("Bo");

    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("too long"));
    QCOMPARE(QJsonDocument::fromJson(server.lastRequest().body).object(), (QJsonObject{{"nickname", "Bo"}}));
}

void UserOverHttpTest::directoryFetchesBatch()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    const QJsonArray users{QJsonObject{{"userId", "a"}, {"nickname", "A"}, {"username", "a1"}},
                           QJsonObject{{"userId", "b"}, {"nickname", "B"}, {"username", "b1"}}};
    server.on("POST", "/v1/users/batch-get", ScriptedReply::json(200, QJsonObject{{"users", users}}));
    HttpClient http;
    http.setBaseUrl(server.baseUrl());
    UserDirectoryService directory(&http);
    directory.setBatchDelayMs(1);
    QSignalSpy subscribed(&directory, &UserDirectoryService::profileSubscribeRequested);

    directory.requestMany({"a", "b"});

    QTRY_COMPARE(subscribed.count(), 1);
    QCOMPARE(server.requestCount(), 1);
    QStringList sent;
    for (const QJsonValue &id : QJsonDocument::fromJson(server.lastRequest().body).object().value("userIds").toArray())
        sent << id.toString();
    sent.sort();
    QCOMPARE(sent, (QStringList{"a", "b"}));
    QCOMPARE(directory.nickname("b"), QStringLiteral("B"));
    QCOMPARE(directory.username("a"), QStringLiteral("a1"));
}

KESTOVA_TEST_MAIN(UserOverHttpTest)
#include "test_user_over_http.moc"
