#include "auth/session_service.h"
#include "jwt.h"
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
using Outcome = SessionService::RefreshOutcome;

namespace {
constexpr qint64 kNow = 1'700'000'000;
const QString kRefresh = QStringLiteral("/v1/auth/refresh");
const QString kLogout = QStringLiteral("/v1/auth/logout");

HttpResponse tokensReply(const QString &access = QStringLiteral("new-access"),
                         const QString &refresh = QStringLiteral("new-refresh"))
{
    return jsonReply(200, {{"accessToken", access}, {"refreshToken", refresh}, {"refreshExpiresIn", 3600}});
}

// A service over a store that holds a session with an expired access token.
struct Fixture
{
    Fixture()
        : service(&api, &store)
    {
        store.user = QStringLiteral("user-1");
        store.access = jwtWith({{"exp", double(kNow - 1)}});
        store.refresh = QStringLiteral("old-refresh");
        service.setClock([this] { return store.now; });
    }
    FakeHttpClient api;
    MemorySessionStore store;
    SessionService service;
};
} // namespace

class SessionServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void freshness_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("fresh");
        QTest::newRow("exp 31 ahead") << jwtWith({{"exp", double(kNow + 31)}}) << true;
        QTest::newRow("exp 30 ahead") << jwtWith({{"exp", double(kNow + 30)}}) << false;
        QTest::newRow("exp passed") << jwtWith({{"exp", double(kNow - 100)}}) << false;
        QTest::newRow("fractional exp truncated") << jwtWith({{"exp", kNow + 30.9}}) << false;
        QTest::newRow("exp as string") << jwtWith({{"exp", QString::number(kNow + 3600)}}) << false;
        QTest::newRow("no exp") << jwtWith({{"sub", "u"}}) << true;
        QTest::newRow("absurd exp") << jwtWith({{"exp", 1e300}}) << true;
        QTest::newRow("absurd negative exp") << jwtWith({{"exp", -1e300}}) << false;
        QTest::newRow("payload not json") << QStringLiteral("a.bm90IGpzb24.c") << true;
        QTest::newRow("two parts") << QStringLiteral("abc.def") << true;
        QTest::newRow("four parts") << QStringLiteral("a.b.c.d") << true;
        QTest::newRow("opaque") << QStringLiteral("opaque-token") << true;
    }

    void freshness()
    {
        QFETCH(QString, token);
        QFETCH(bool, fresh);
        QCOMPARE(isTokenFresh(token, 30, kNow), fresh);
    }

    void refreshRequestCarriesTheRefreshTokenWithoutAuth()
    {
        Fixture f;
        f.service.refreshAccessToken({});
        QCOMPARE(f.api.calls.size(), 1);
        const FakeHttpClient::Call &call = f.api.calls.first();
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, kRefresh);
        QCOMPARE(call.body, (QJsonObject{{"refreshToken", "old-refresh"}}));
        QVERIFY(call.options.skipAuth);
        QCOMPARE(call.options.timeoutMs, 0);
        QVERIFY(call.options.headers.isEmpty());
    }

    void refreshReply_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<QString>("log");

        QTest::newRow("both tokens") << tokensReply() << true << false << "access token refreshed";
        QTest::newRow("access missing") << jsonReply(200, {{"refreshToken", "r"}}) << false << true
                                        << "refresh response malformed (token cleared)";
        QTest::newRow("refresh empty") << tokensReply(QStringLiteral("a"), QString()) << false << true
                                       << "refresh response malformed (token cleared)";
        QTest::newRow("no body") << jsonReply(204) << false << true << "refresh response malformed (token cleared)";
        QTest::newRow("401") << jsonReply(401, {{"code", "auth.refresh.invalid"}}) << false << true
                             << "refresh invalid (token cleared) status=401 code=auth.refresh.invalid";
        QTest::newRow("403") << jsonReply(403) << false << true << "refresh invalid (token cleared) status=403 code=";
        QTest::newRow("404") << jsonReply(404) << false << true << "refresh invalid (token cleared) status=404";
        QTest::newRow("429") << jsonReply(429) << false << true << "refresh invalid (token cleared) status=429";
        QTest::newRow("302") << jsonReply(302) << false << true << "refresh invalid (token cleared) status=302";
        QTest::newRow("500") << jsonReply(500) << false << false
                             << "refresh transient failure (token kept) status=500 is_timeout=false net_err=false";
        QTest::newRow("502") << jsonReply(502) << false << false << "refresh transient failure (token kept) status=502";
        QTest::newRow("599") << jsonReply(599) << false << false << "refresh transient failure (token kept) status=599";
        QTest::newRow("time-out") << timedOutReply() << false << false
                                  << "refresh transient failure (token kept) status=0 is_timeout=true net_err=false";
        QTest::newRow("network error")
            << networkErrorReply() << false << false
            << "refresh transient failure (token kept) status=0 is_timeout=false net_err=true";
    }

    void refreshReply()
    {
        QFETCH(HttpResponse, response);
        QFETCH(bool, ok);
        QFETCH(bool, cleared);
        QFETCH(QString, log);

        LogCapture logs;
        Fixture f;
        QSignalSpy expired(&f.service, &SessionService::sessionExpired);
        QList<bool> results;
        f.service.refreshAccessToken([&results](bool result) { results.append(result); });
        f.api.answer(kRefresh, 0, response);

        QCOMPARE(results, QList<bool>{ok});
        QVERIFY2(logs.contains("auth.session", log), qPrintable(log));
        if (ok) {
            QCOMPARE(f.store.access, QStringLiteral("new-access"));
            QCOMPARE(f.store.refresh, QStringLiteral("new-refresh"));
            QCOMPARE(f.store.user, QStringLiteral("user-1"));
            QCOMPARE(f.store.expiresAt, kNow + 3600);
        } else if (cleared) {
            QCOMPARE(f.store.clearCount, 1);
            QVERIFY(f.store.refresh.isEmpty());
        } else {
            QCOMPARE(f.store.clearCount, 0);
            QCOMPARE(f.store.refresh, QStringLiteral("old-refresh"));
        }
        QCOMPARE(expired.size(), (!ok && cleared) ? 1 : 0);
        for (const auto &entry : logs.entries())
            QVERIFY2(!entry.message.contains("refresh-") && !entry.message.contains("new-access"),
                     qPrintable(entry.message));
    }

    // Two token requests and one refresh before the answer: one POST, callbacks in call order.
    void oneRefreshForManyWaiters()
    {
        Fixture f;
        QStringList order;
        f.service.ensureFreshAccessToken([&order](const QString &token) { order << "ensure1:" + token; });
        f.service.refreshAccessToken([&order](bool ok) { order << QStringLiteral("refresh:%1").arg(ok); });
        f.service.ensureFreshAccessToken([&order](const QString &token) { order << "ensure2:" + token; });
        QCOMPARE(f.api.callsTo(kRefresh).size(), 1);
        QVERIFY(order.isEmpty());

        f.api.answer(kRefresh, 0, tokensReply());
        QCOMPARE(order, (QStringList{"ensure1:new-access", "refresh:1", "ensure2:new-access"}));

        // The next one starts a request of its own.
        f.service.refreshAccessToken({});
        QCOMPARE(f.api.callsTo(kRefresh).size(), 2);
    }

    // However many callers joined a refused refresh, the session expires once, before any of them hears.
    void refusedRefreshExpiresTheSessionOnce()
    {
        Fixture f;
        QStringList order;
        connect(&f.service, &SessionService::sessionExpired, &f.service, [&order] { order << "expired"; });
        f.service.refreshAccessToken([&order](bool ok) { order << QStringLiteral("refresh:%1").arg(ok); });
        f.service.ensureFreshAccessToken([&order](const QString &token) { order << "ensure:" + token; });
        f.service.refreshAccessToken([&order](bool ok) { order << QStringLiteral("refresh:%1").arg(ok); });
        f.api.answer(kRefresh, 0, jsonReply(401));
        QCOMPARE(order, (QStringList{"expired", "refresh:0", "ensure:", "refresh:0"}));
    }

    void ensureFresh_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("refreshes");
        QTest::newRow("31 seconds left") << jwtWith({{"exp", double(kNow + 31)}}) << false;
        QTest::newRow("30 seconds left") << jwtWith({{"exp", double(kNow + 30)}}) << true;
        QTest::newRow("no exp") << jwtWith({{"sub", "u"}}) << false;
        QTest::newRow("opaque") << QStringLiteral("opaque") << false;
        QTest::newRow("empty after start") << QString() << true;
    }

    void ensureFresh()
    {
        QFETCH(QString, token);
        QFETCH(bool, refreshes);
        Fixture f;
        f.store.access = token;
        QStringList got;
        f.service.ensureFreshAccessToken([&got](const QString &t) { got << t; });
        QCOMPARE(f.api.callsTo(kRefresh).size(), refreshes ? 1 : 0);
        if (refreshes) {
            QVERIFY(got.isEmpty());
            f.api.answer(kRefresh, 0, tokensReply());
            QCOMPARE(got, QStringList{"new-access"});
        } else {
            QCOMPARE(got, QStringList{token});
        }
    }

    void ensureFreshFollowsTheInjectedClock()
    {
        Fixture f;
        f.store.access = jwtWith({{"exp", double(kNow + 40)}});
        f.service.ensureFreshAccessToken([](const QString &) {});
        QCOMPARE(f.api.callsTo(kRefresh).size(), 0);
        f.store.now = kNow + 10;
        f.service.ensureFreshAccessToken([](const QString &) {});
        QCOMPARE(f.api.callsTo(kRefresh).size(), 1);
    }

    void ensureFreshGivesEmptyTokenOnFailure()
    {
        Fixture f;
        QStringList got;
        f.service.ensureFreshAccessToken([&got](const QString &t) { got << t; });
        f.api.answer(kRefresh, 0, jsonReply(503));
        QCOMPARE(got, QStringList{QString()});
    }

    void resume_data()
    {
        QTest::addColumn<qint64>("expiresAt");
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<bool>("resumed");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("success") << kNow + 61 << tokensReply() << true << false;
        QTest::newRow("unknown expiry") << qint64(0) << tokensReply() << true << false;
        QTest::newRow("refused") << kNow + 3600 << jsonReply(401) << false << true;
        QTest::newRow("malformed") << kNow + 3600 << jsonReply(200) << false << true;
        QTest::newRow("server fault") << kNow + 3600 << jsonReply(502) << false << false;
        QTest::newRow("time-out") << kNow + 3600 << timedOutReply() << false << false;
    }

    void resume()
    {
        QFETCH(qint64, expiresAt);
        QFETCH(HttpResponse, response);
        QFETCH(bool, resumed);
        QFETCH(bool, cleared);
        LogCapture logs;
        FakeHttpClient api;
        MemorySessionStore store;
        store.now = kNow;
        SessionService service(&api, &store);
        QSignalSpy resumedSpy(&service, &SessionService::sessionResumed);
        QSignalSpy expired(&service, &SessionService::sessionExpired);

        service.tryResume();
        QVERIFY(api.calls.isEmpty());
        store.completeLoad(QStringLiteral("user-7"), QStringLiteral("stored-refresh"), expiresAt);
        QVERIFY(logs.contains("auth.session", "resumable session found, refreshing"));
        QCOMPARE(api.callsTo(kRefresh).size(), 1);
        QCOMPARE(api.calls.first().body, (QJsonObject{{"refreshToken", "stored-refresh"}}));
        api.answer(kRefresh, 0, response);

        QCOMPARE(resumedSpy.size(), resumed ? 1 : 0);
        if (resumed) {
            QCOMPARE(resumedSpy.first().first().toString(), QStringLiteral("user-7"));
            QVERIFY(logs.contains("auth.session", "session resumed, user_id=user-7"));
        }
        // A failed resume leaves the user on the login window without expiring anything.
        QCOMPARE(expired.size(), 0);
        QCOMPARE(store.refresh.isEmpty(), cleared);
    }

    void resumeOvertaken_data()
    {
        QTest::addColumn<QString>("by");
        QTest::newRow("login") << "login";
        QTest::newRow("logout") << "logout";
    }

    // The stored session is read slowly; a login (or a logout) comes first. The read's
    // completion must neither refresh nor resume nor touch the newer session.
    void resumeOvertaken()
    {
        QFETCH(QString, by);
        LogCapture logs;
        FakeHttpClient api;
        MemorySessionStore store;
        store.now = kNow;
        SessionService service(&api, &store);
        QSignalSpy resumed(&service, &SessionService::sessionResumed);

        service.tryResume();
        if (by == "login")
            store.saveLogin(QStringLiteral("user-sms"), QStringLiteral("sms-access"), QStringLiteral("sms-refresh"),
                            3600);
        else
            service.logout();
        store.completeLoad(QStringLiteral("user-7"), QStringLiteral("stored-refresh"), kNow + 3600);

        QVERIFY(api.callsTo(kRefresh).isEmpty());
        QCOMPARE(resumed.size(), 0);
        QVERIFY(logs.contains("auth.session", "resume abandoned, session changed while the stored one was read"));
        QCOMPARE(store.refresh, by == "login" ? QStringLiteral("sms-refresh") : QString());
        QCOMPARE(store.saveRefreshCount, 0);
    }

    void resumeNeedsMoreThanAMinuteOfRefreshLife_data()
    {
        QTest::addColumn<QString>("refreshToken");
        QTest::addColumn<qint64>("expiresAt");
        QTest::newRow("60 seconds left") << "r" << kNow + 60;
        QTest::newRow("expired") << "r" << kNow - 1;
        QTest::newRow("nothing stored") << "" << qint64(0);
    }

    void resumeNeedsMoreThanAMinuteOfRefreshLife()
    {
        QFETCH(QString, refreshToken);
        QFETCH(qint64, expiresAt);
        LogCapture logs;
        FakeHttpClient api;
        MemorySessionStore store;
        store.now = kNow;
        SessionService service(&api, &store);
        QSignalSpy resumedSpy(&service, &SessionService::sessionResumed);
        service.tryResume();
        store.completeLoad(QStringLiteral("u"), refreshToken, expiresAt);
        QVERIFY(api.calls.isEmpty());
        QVERIFY(resumedSpy.isEmpty());
        QVERIFY(logs.contains("auth.session", "no resumable session, staying on login"));
    }

    void logoutRevokesTheHeldRefreshToken()
    {
        LogCapture logs;
        Fixture f;
        QSignalSpy loggedOut(&f.service, &SessionService::loggedOut);
        connect(&f.service, &SessionService::loggedOut, &f.service, [&f] {
            // Cleared before anyone hears of the logout.
            QVERIFY(f.store.refresh.isEmpty());
        });
        f.service.logout();
        QCOMPARE(loggedOut.size(), 1);
        QCOMPARE(f.store.clearCount, 1);
        QVERIFY(logs.contains("auth.session", "logout, session cleared locally"));
        QCOMPARE(f.api.callsTo(kLogout).size(), 1);
        const FakeHttpClient::Call call = f.api.callsTo(kLogout).first();
        QCOMPARE(call.body, (QJsonObject{{"refreshToken", "old-refresh"}}));
        QVERIFY(call.options.skipAuth);

        f.api.answer(kLogout, 0, jsonReply(503));
        QVERIFY(logs.contains("auth.session", "logout server revoke failed (local already cleared) status=503"));
    }

    void logoutWithoutSessionSendsNothing()
    {
        FakeHttpClient api;
        MemorySessionStore store;
        SessionService service(&api, &store);
        QSignalSpy loggedOut(&service, &SessionService::loggedOut);
        service.logout();
        QCOMPARE(loggedOut.size(), 1);
        QVERIFY(api.calls.isEmpty());
    }

    // A logout during a refresh wins: its waiters fail at once and the late answer stores nothing.
    void logoutWinsOverARefreshOnItsWay()
    {
        LogCapture logs;
        FakeHttpClient api;
        MemorySessionStore store;
        store.now = kNow;
        SessionService service(&api, &store);
        QSignalSpy resumedSpy(&service, &SessionService::sessionResumed);
        QSignalSpy expired(&service, &SessionService::sessionExpired);
        QStringList order;
        connect(&service, &SessionService::loggedOut, &service, [&order] { order << "loggedOut"; });

        service.tryResume();
        store.completeLoad(QStringLiteral("u"), QStringLiteral("stored-refresh"), 0);
        service.ensureFreshAccessToken([&order](const QString &token) { order << "ensure:" + token; });
        QCOMPARE(api.callsTo(kRefresh).size(), 1);

        service.logout();
        QCOMPARE(order, (QStringList{"loggedOut", "ensure:"}));

        api.answer(kRefresh, 0, tokensReply());
        QCOMPARE(store.saveRefreshCount, 0);
        QVERIFY(store.access.isEmpty() && store.refresh.isEmpty());
        QVERIFY(resumedSpy.isEmpty());
        QVERIFY(expired.isEmpty());
        QCOMPARE(order.size(), 2);
        QVERIFY(logs.contains("auth.session", "refresh answer dropped after logout"));

        // A later refresh is a request of its own, not the abandoned one.
        store.refresh = QStringLiteral("after-login");
        QList<bool> results;
        service.refreshAccessToken([&results](bool ok) { results << ok; });
        QCOMPARE(api.callsTo(kRefresh).size(), 2);
        api.answer(kRefresh, 1, tokensReply());
        QCOMPARE(results, QList<bool>{true});
    }

    // A login while a resume's refresh is on its way: the late answer must not mix into the new session.
    void loginDuringRefreshIsKept_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::newRow("tokens of the old session") << tokensReply();
        QTest::newRow("old token refused") << jsonReply(401);
    }

    void loginDuringRefreshIsKept()
    {
        QFETCH(HttpResponse, response);
        FakeHttpClient api;
        MemorySessionStore store;
        SessionService service(&api, &store);
        QSignalSpy resumedSpy(&service, &SessionService::sessionResumed);
        QSignalSpy expired(&service, &SessionService::sessionExpired);
        service.tryResume();
        store.completeLoad(QStringLiteral("old-user"), QStringLiteral("stored-refresh"), 0);
        QList<bool> results;
        service.refreshAccessToken([&results](bool ok) { results << ok; });

        store.saveLogin(QStringLiteral("new-user"), QStringLiteral("login-access"), QStringLiteral("login-refresh"), 0);
        api.answer(kRefresh, 0, response);

        QCOMPARE(store.user, QStringLiteral("new-user"));
        QCOMPARE(store.access, QStringLiteral("login-access"));
        QCOMPARE(store.refresh, QStringLiteral("login-refresh"));
        QCOMPARE(store.clearCount, 0);
        QVERIFY(resumedSpy.isEmpty());
        QVERIFY(expired.isEmpty());
        QCOMPARE(results, QList<bool>{false});
    }

    // A refused answer arriving after the logout expires nothing either.
    void refusalAfterLogoutIsDropped()
    {
        Fixture f;
        QSignalSpy expired(&f.service, &SessionService::sessionExpired);
        QList<bool> results;
        f.service.refreshAccessToken([&results](bool ok) { results << ok; });
        f.service.logout();
        QCOMPARE(results, QList<bool>{false});
        f.api.answer(kRefresh, 0, jsonReply(401));
        QCOMPARE(results, QList<bool>{false});
        QVERIFY(expired.isEmpty());
        QCOMPARE(f.store.clearCount, 1);
    }
};

KESTOVA_TEST_MAIN(SessionServiceTest)
#include "test_session_service.moc"
