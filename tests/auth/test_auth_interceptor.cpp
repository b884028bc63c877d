#include "auth/auth_interceptor.h"
#include "auth/session_service.h"
#include "memory_session_store.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QNetworkRequest>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::timedOutReply;

namespace {
const QString kRefresh = QStringLiteral("/v1/auth/refresh");

HttpResponse tokensReply()
{
    return jsonReply(200, {{"accessToken", "new-access"}, {"refreshToken", "new-refresh"}, {"refreshExpiresIn", 60}});
}

// An interceptor over a session service and a store that holds a session, with
// the transport's continuations recorded into one event list.
struct Fixture
{
    Fixture()
        : service(&api, &store)
        , interceptor(&store, &service)
    {
        store.user = QStringLiteral("u");
        store.access = QStringLiteral("old-access");
        store.refresh = QStringLiteral("old-refresh");
    }

    // Offers a reply for request `name`; replay and deliver log into `events`.
    bool offer(const QString &name, int status, const HttpOptions &options = {}, int attempt = 0)
    {
        ResponseControl control;
        control.replay = [this, name] { events << "replay:" + name + ":" + store.access; };
        control.deliver = [this, name](const HttpResponse &response) {
            events << QStringLiteral("deliver:%1:%2").arg(name).arg(response.status);
        };
        HttpResponse response = jsonReply(status, {{"code", "auth.token"}});
        return interceptor.onResponse(response, "/v1/rooms/" + name, options, attempt, control);
    }

    FakeHttpClient api;
    MemorySessionStore store;
    SessionService service;
    AuthInterceptor interceptor;
    QStringList events;
};
} // namespace

class AuthInterceptorTest : public QObject
{
    Q_OBJECT

private slots:
    void bearerHeader_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("skipAuth");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("token") << "abc.def.ghi" << false << QByteArray("Bearer abc.def.ghi");
        QTest::newRow("skip auth") << "abc" << true << QByteArray();
        QTest::newRow("no token") << "" << false << QByteArray();
    }

    void bearerHeader()
    {
        QFETCH(QString, token);
        QFETCH(bool, skipAuth);
        QFETCH(QByteArray, expected);
        Fixture f;
        f.store.access = token;
        HttpOptions options;
        options.skipAuth = skipAuth;
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1/v1/x")));
        f.interceptor.onRequest(request, options);
        QCOMPARE(request.hasRawHeader("Authorization"), !expected.isEmpty());
        QCOMPARE(request.rawHeader("Authorization"), expected);
    }

    void bearerReplacesAnEarlierValue()
    {
        Fixture f;
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1/v1/x")));
        request.setRawHeader("Authorization", "Bearer stale");
        f.interceptor.onRequest(request, {});
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Bearer old-access"));
    }

    void passesThrough_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("skipAuth");
        QTest::addColumn<int>("attempt");
        QTest::addColumn<bool>("refreshTokenHeld");
        QTest::newRow("403") << 403 << false << 0 << true;
        QTest::newRow("200") << 200 << false << 0 << true;
        QTest::newRow("401 with skip auth") << 401 << true << 0 << true;
        QTest::newRow("401 on a replay") << 401 << false << 1 << true;
        QTest::newRow("401 without refresh token") << 401 << false << 0 << false;
    }

    void passesThrough()
    {
        QFETCH(int, status);
        QFETCH(bool, skipAuth);
        QFETCH(int, attempt);
        QFETCH(bool, refreshTokenHeld);
        Fixture f;
        if (!refreshTokenHeld)
            f.store.refresh.clear();
        HttpOptions options;
        options.skipAuth = skipAuth;
        QVERIFY(!f.offer(QStringLiteral("a"), status, options, attempt));
        QVERIFY(f.api.calls.isEmpty());
        QVERIFY(f.events.isEmpty());
    }

    void heldRequestsReplayInArrivalOrderAfterOneRefresh()
    {
        LogCapture logs;
        Fixture f;
        QVERIFY(f.offer(QStringLiteral("a"), 401));
        QVERIFY(f.offer(QStringLiteral("b"), 401));
        QVERIFY(f.offer(QStringLiteral("c"), 401));
        QCOMPARE(f.api.callsTo(kRefresh).size(), 1);
        QVERIFY(f.events.isEmpty());

        f.api.answer(kRefresh, 0, tokensReply());
        // Each replay goes out after the new token was saved.
        QCOMPARE(f.events, (QStringList{"replay:a:new-access", "replay:b:new-access", "replay:c:new-access"}));
        QVERIFY(logs.contains("auth.session", "refresh ok, replaying 3 pending requests"));

        // Idle again: the next refusal starts a new refresh.
        QVERIFY(f.offer(QStringLiteral("d"), 401));
        QCOMPARE(f.api.callsTo(kRefresh).size(), 2);
    }

    void refusedRefreshDeliversTheHeld401sAfterExpiry()
    {
        LogCapture logs;
        Fixture f;
        connect(&f.service, &SessionService::sessionExpired, &f.service, [&f] { f.events << "expired"; });
        QVERIFY(f.offer(QStringLiteral("a"), 401));
        QVERIFY(f.offer(QStringLiteral("b"), 401));
        f.api.answer(kRefresh, 0, jsonReply(401, {{"code", "auth.refresh.invalid"}}));
        QCOMPARE(f.events, (QStringList{"expired", "deliver:a:401", "deliver:b:401"}));
        QVERIFY(f.store.refresh.isEmpty());
        QVERIFY(logs.contains("auth.session", "refresh failed, failing 2 pending requests"));
    }

    void transientRefreshDeliversTheHeld401sAndKeepsTheSession()
    {
        Fixture f;
        QSignalSpy expired(&f.service, &SessionService::sessionExpired);
        QVERIFY(f.offer(QStringLiteral("a"), 401));
        f.api.answer(kRefresh, 0, timedOutReply());
        QCOMPARE(f.events, QStringList{"deliver:a:401"});
        QCOMPARE(f.store.refresh, QStringLiteral("old-refresh"));
        QVERIFY(expired.isEmpty());
    }

    // A refusal that arrives while the held requests are being replayed starts a new refresh.
    void refusalDuringReplaysStartsANewRefresh()
    {
        Fixture f;
        ResponseControl control;
        control.replay = [&f] {
            f.events << "replay:a";
            QVERIFY(f.offer(QStringLiteral("late"), 401));
        };
        control.deliver = [](const HttpResponse &) {};
        QVERIFY(f.interceptor.onResponse(jsonReply(401), QStringLiteral("/v1/a"), {}, 0, control));
        QVERIFY(f.offer(QStringLiteral("b"), 401));
        f.api.answer(kRefresh, 0, tokensReply());
        QCOMPARE(f.events, (QStringList{"replay:a", "replay:b:new-access"}));
        QCOMPARE(f.api.callsTo(kRefresh).size(), 2);

        f.api.answer(kRefresh, 1, tokensReply());
        QCOMPARE(f.events.last(), QStringLiteral("replay:late:new-access"));
    }

    // A refresh the gateway's token provider started is the one the held requests wait for.
    void joinsARefreshAlreadyOnItsWay()
    {
        Fixture f;
        f.store.access.clear();
        QStringList tokens;
        f.service.ensureFreshAccessToken([&tokens](const QString &token) { tokens << token; });
        QVERIFY(f.offer(QStringLiteral("a"), 401));
        QCOMPARE(f.api.callsTo(kRefresh).size(), 1);
        f.api.answer(kRefresh, 0, tokensReply());
        QCOMPARE(tokens, QStringList{"new-access"});
        QCOMPARE(f.events, QStringList{"replay:a:new-access"});
    }

    // Held requests of a session that was logged out are failed, not replayed with a late token.
    void logoutFailsTheHeldRequests()
    {
        Fixture f;
        QVERIFY(f.offer(QStringLiteral("a"), 401));
        f.service.logout();
        QCOMPARE(f.events, QStringList{"deliver:a:401"});
        f.api.answer(kRefresh, 0, tokensReply());
        QCOMPARE(f.events, QStringList{"deliver:a:401"});
        QVERIFY(f.store.access.isEmpty());
    }
};

KESTOVA_TEST_MAIN(AuthInterceptorTest)
#include "test_auth_interceptor.moc"
