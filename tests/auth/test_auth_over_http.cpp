#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "memory_session_store.h"
#include "net/http_client.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/request_check.h"
#include "support/test_main.h"

#include <QDateTime>
#include <QNetworkRequest>
#include <QSignalSpy>

using testsupport::LogCapture;
using testsupport::LoopbackHttpServer;
using testsupport::ScriptedReply;

namespace {
// Records the path and bearer header of every request as it leaves, after the auth interceptor.
class SentRecorder : public IRequestInterceptor
{
public:
    void onRequest(QNetworkRequest &request, const HttpOptions &) override
    {
        sent << request.url().path() + QLatin1Char(' ') + QString::fromUtf8(request.rawHeader("Authorization"));
    }
    QStringList sent;
};

// Records the path of every reply in the order the client received it; takes none over.
class ArrivalRecorder : public IResponseInterceptor
{
public:
    bool onResponse(const HttpResponse &response, const QString &path, const HttpOptions &, int attempt,
                    ResponseControl) override
    {
        arrived << QStringLiteral("%1 %2 %3").arg(path).arg(response.status).arg(attempt);
        return false;
    }
    QStringList arrived;
};
} // namespace

class AuthOverHttpTest : public QObject
{
    Q_OBJECT

private slots:
    // Three requests refused together: one refresh, then the three go out again in the
    // order their refusals arrived, with the new token, and each caller gets its answer.
    void refusedRequestsShareOneRefreshAndReplayInOrder()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        const QStringList paths{"/v1/a", "/v1/b", "/v1/c"};
        for (const QString &path : paths) {
            server.enqueue("GET", path, ScriptedReply::json(401, QJsonObject{{"code", "auth.token_expired"}}));
            server.on("GET", path, ScriptedReply::json(200, QJsonObject{{"path", path}}));
        }
        // The refresh answers only after every refusal has reached the client.
        server.on("POST", "/v1/auth/refresh",
                  ScriptedReply::json(200, QJsonObject{{"accessToken", "new-access"}, {"refreshToken", "new-refresh"}})
                      .withDelay(1000));

        HttpClient client;
        client.setBaseUrl(server.baseUrl());
        AuthAssembly auth(&client, QStringLiteral("device-1"));
        ArrivalRecorder arrivals;
        SentRecorder sentLog;
        client.addRequestInterceptor(auth.interceptor());
        client.addRequestInterceptor(&sentLog);
        client.addResponseInterceptor(&arrivals);
        client.addResponseInterceptor(auth.interceptor());
        auth.sessionStore()->saveLogin(QStringLiteral("u"), QStringLiteral("old-access"), QStringLiteral("r"), 0);

        QStringList answers;
        for (const QString &path : paths) {
            client.get(path, [&answers, path](const HttpResponse &response) {
                answers << path + QLatin1Char(' ') + QString::number(response.status) + QLatin1Char(' ')
                               + response.json.value("path").toString();
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 3, 10000);

        QCOMPARE(server.requestsTo("/v1/auth/refresh").size(), 1);
        const QString mismatch = testsupport::requestMismatch(
            server.requestsTo("/v1/auth/refresh").first(),
            {"POST", "/v1/auth/refresh", QJsonObject{{"refreshToken", "r"}}, {}, {}, {"Authorization"}});
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

        // The refusals, in the order they arrived, and then the replays in that same order.
        QStringList refusedOrder;
        for (const QString &line : arrivals.arrived) {
            if (line.endsWith(QLatin1String(" 401 0")))
                refusedOrder << line.section(QLatin1Char(' '), 0, 0);
        }
        QCOMPARE(refusedOrder.size(), 3);
        QStringList expectedSent;
        for (const QString &path : paths)
            expectedSent << path + " Bearer old-access";
        expectedSent << "/v1/auth/refresh ";
        for (const QString &path : refusedOrder)
            expectedSent << path + " Bearer new-access";
        QCOMPARE(sentLog.sent, expectedSent);

        for (const QString &answer : answers)
            QVERIFY2(answer.endsWith(QLatin1String(" 200 ") + answer.section(QLatin1Char(' '), 0, 0)),
                     qPrintable(answer));
        QCOMPARE(auth.sessionStore()->accessToken(), QStringLiteral("new-access"));

        auth.sessionStore()->clear();
        QTRY_VERIFY_WITH_TIMEOUT(auth.sessionStore()->findChildren<QObject *>().isEmpty(), 10000);
    }

    // The credential store stalls; the user signs in by SMS meanwhile; then the stored
    // session arrives. It must not be resumed: no second sign-in, no refresh that would
    // replace (or, refused, wipe) the tokens just issued. Every token in this test is
    // distinctive, and none may reach any log line.
    void stalledStoreReadAfterLoginEndsWithoutEffect()
    {
        LogCapture logs;
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        server.on("POST", "/v1/auth/login",
                  ScriptedReply::json(200, QJsonObject{{"userId", "u-sms"},
                                                       {"accessToken", "AT-SECRET-login"},
                                                       {"refreshToken", "RT-SECRET-login"},
                                                       {"refreshExpiresIn", 3600}}));
        server.enqueue("POST", "/v1/auth/refresh", ScriptedReply::json(401, QJsonObject{{"code", "auth.invalid"}}));
        server.on("POST", "/v1/auth/refresh",
                  ScriptedReply::json(200,
                                      QJsonObject{{"accessToken", "AT-SECRET-2"}, {"refreshToken", "RT-SECRET-2"}}));
        server.on("POST", "/v1/auth/logout", ScriptedReply::empty(204));

        HttpClient client;
        client.setBaseUrl(server.baseUrl());
        MemorySessionStore store;
        store.now = QDateTime::currentSecsSinceEpoch();
        SessionService session(&client, &store);
        LoginService login(&client, &store, QStringLiteral("device-1"));
        QSignalSpy resumed(&session, &SessionService::sessionResumed);
        QSignalSpy expired(&session, &SessionService::sessionExpired);
        QSignalSpy signedIn(&login, &LoginService::loginSucceeded);

        session.tryResume(); // the read stalls until completeLoad
        login.login(QStringLiteral("+15550100"), QStringLiteral("123456"), QStringLiteral("1"));
        QTRY_COMPARE(signedIn.size(), 1);
        store.completeLoad(QStringLiteral("u-stored"), QStringLiteral("RT-SECRET-stored"), store.now + 86400);

        // A refresh would have been sent at once; let the event loop carry it if it was.
        QTest::qWait(300);
        QVERIFY(server.requestsTo("/v1/auth/refresh").isEmpty());
        QCOMPARE(resumed.size(), 0);
        QCOMPARE(expired.size(), 0);
        QCOMPARE(store.userId(), QStringLiteral("u-sms"));
        QCOMPARE(store.accessToken(), QStringLiteral("AT-SECRET-login"));
        QCOMPARE(store.refreshToken(), QStringLiteral("RT-SECRET-login"));

        // The rest of a session's life, for the log check: a refused refresh of the
        // session it expires, then a good one after a new login, then the logout.
        bool refreshed = true;
        session.refreshAccessToken([&refreshed](bool ok) { refreshed = ok; });
        QTRY_COMPARE(expired.size(), 1);
        QVERIFY(!refreshed);
        login.login(QStringLiteral("+15550100"), QStringLiteral("123456"), QStringLiteral("1"));
        QTRY_COMPARE(signedIn.size(), 2);
        session.refreshAccessToken([&refreshed](bool ok) { refreshed = ok; });
        QTRY_COMPARE(store.accessToken(), QStringLiteral("AT-SECRET-2"));
        session.logout();
        QTRY_COMPARE(server.requestsTo("/v1/auth/logout").size(), 1);
        const QString logoutMismatch = testsupport::requestMismatch(
            server.requestsTo("/v1/auth/logout").first(),
            {"POST", "/v1/auth/logout", QJsonObject{{"refreshToken", "RT-SECRET-2"}}, {}, {}, {"Authorization"}});
        QVERIFY2(logoutMismatch.isEmpty(), qPrintable(logoutMismatch));

        QVERIFY(logs.entries().size() > 5);
        for (const auto &entry : logs.entries())
            QVERIFY2(!entry.message.contains(QLatin1String("SECRET")),
                     qPrintable(entry.category + ": " + entry.message));
    }

    // The refresh endpoint closes the connection without a reply: the network layer may
    // send the request again with the same refresh token. The tokens are kept, waiters
    // hear a failure without an expiry, and the case is logged once.
    void refreshClosedWithoutReplyIsLoggedOnce()
    {
        LogCapture logs;
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        server.on("POST", "/v1/auth/refresh", ScriptedReply::closeWithoutReply());
        HttpClient client;
        client.setBaseUrl(server.baseUrl());
        MemorySessionStore store;
        store.saveLogin(QStringLiteral("u"), QStringLiteral("AT-SECRET"), QStringLiteral("RT-SECRET"), 0);
        SessionService session(&client, &store);
        QSignalSpy expired(&session, &SessionService::sessionExpired);

        int answers = 0;
        bool ok = true;
        for (int i = 0; i < 3; ++i)
            session.refreshAccessToken([&](bool result) {
                ++answers;
                ok = ok && result;
            });
        QTRY_COMPARE_WITH_TIMEOUT(answers, 3, 10000);
        QVERIFY(!ok);
        QCOMPARE(expired.size(), 0);
        QCOMPARE(store.refreshToken(), QStringLiteral("RT-SECRET"));
        const auto sent = server.requestsTo("/v1/auth/refresh");
        QVERIFY(!sent.isEmpty());
        for (const auto &request : sent)
            QCOMPARE(request.body, QByteArray(R"({"refreshToken":"RT-SECRET"})"));
        QCOMPARE(logs.count("auth.session",
                            "refresh got no reply, the server may have received the refresh token more than once"),
                 1);
        for (const auto &entry : logs.entries())
            QVERIFY2(!entry.message.contains(QLatin1String("SECRET")), qPrintable(entry.message));
    }
};

KESTOVA_TEST_MAIN(AuthOverHttpTest)
#include "test_auth_over_http.moc"
