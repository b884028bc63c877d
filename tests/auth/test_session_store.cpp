#include "auth/session_store.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

#include <qt6keychain/keychain.h>

using testsupport::LogCapture;

namespace {
constexpr qint64 kNow = 1'700'000'000;

// Runs a keychain job to its end and returns it (deleted later by the event loop).
template<typename Job>
Job *finish(Job *job)
{
    QSignalSpy done(job, &QKeychain::Job::finished);
    job->start();
    if (!done.wait(10000))
        qWarning("keychain job did not finish");
    return job;
}

QKeychain::Error writeItem(const QString &text)
{
    auto *job = new QKeychain::WritePasswordJob(SessionStore::serviceName());
    job->setKey(SessionStore::sessionKey());
    job->setTextData(text);
    return finish(job)->error();
}

// The stored text, or nothing when there is no item.
std::optional<QString> readItem()
{
    auto *job = new QKeychain::ReadPasswordJob(SessionStore::serviceName());
    job->setKey(SessionStore::sessionKey());
    finish(job);
    if (job->error() != QKeychain::NoError)
        return std::nullopt;
    return job->textData();
}

void deleteItem()
{
    auto *job = new QKeychain::DeletePasswordJob(SessionStore::serviceName());
    job->setKey(SessionStore::sessionKey());
    finish(job);
}

// Loads the store and waits for the completion; returns how often it was called.
int loadAndWait(SessionStore &store)
{
    int calls = 0;
    store.load([&calls] { ++calls; });
    if (!QTest::qWaitFor([&calls] { return calls > 0; }, 10000))
        qWarning("keychain load did not finish");
    QCoreApplication::processEvents();
    return calls;
}

// Waits until every keychain job the store started has finished and gone.
void drainJobs(SessionStore &store)
{
    QTRY_VERIFY_WITH_TIMEOUT(store.findChildren<QKeychain::Job *>().isEmpty(), 10000);
}
} // namespace

// A keychain test needs a Secret Service; without one it fails on CI and is skipped elsewhere.
#define REQUIRE_SECRET_SERVICE()                                                                                       \
    do {                                                                                                               \
        if (!secretServiceError.isEmpty()) {                                                                           \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                                   \
                QFAIL(qPrintable(QStringLiteral("no Secret Service: ") + secretServiceError));                         \
            QSKIP(qPrintable(QStringLiteral("no Secret Service (run under scripts/test-session.sh): ")                 \
                             + secretServiceError));                                                                   \
        }                                                                                                              \
    } while (false)

class SessionStoreTest : public QObject
{
    Q_OBJECT

private:
    QString secretServiceError;

private slots:
    void initTestCase()
    {
        auto *probe = new QKeychain::WritePasswordJob(SessionStore::serviceName());
        probe->setKey(QStringLiteral("probe_") + SessionStore::sessionKey());
        probe->setTextData(QStringLiteral("probe"));
        finish(probe);
        if (probe->error() != QKeychain::NoError) {
            secretServiceError = probe->errorString();
            return;
        }
        auto *remove = new QKeychain::DeletePasswordJob(SessionStore::serviceName());
        remove->setKey(probe->key());
        finish(remove);
    }

    void init()
    {
        if (secretServiceError.isEmpty())
            deleteItem();
    }

    void keyIsSessionAndInstallId()
    {
        const QString key = SessionStore::sessionKey();
        QVERIFY(key.startsWith(QLatin1String("session_")));
        QCOMPARE(key.size(), 8 + 16);
        QCOMPARE(SessionStore::serviceName(), QStringLiteral("Kestova"));
    }

    // A caller tells an overtaken read by the revision: saves and clears raise it, a
    // load (also one that is overtaken) does not.
    void revisionMarksChangesNotLoads()
    {
        REQUIRE_SECRET_SERVICE();
        SessionStore store;
        const quint64 start = store.revision();
        QCOMPARE(loadAndWait(store), 1);
        QCOMPARE(store.revision(), start);

        int calls = 0;
        store.load([&calls] { ++calls; });
        store.saveLogin(QStringLiteral("u"), QStringLiteral("a"), QStringLiteral("r"), 0);
        const quint64 afterLogin = store.revision();
        QVERIFY(afterLogin > start);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);
        QCOMPARE(store.revision(), afterLogin);
        QCOMPARE(store.refreshToken(), QStringLiteral("r"));
        store.saveRefresh(QStringLiteral("a2"), QStringLiteral("r2"), 0);
        QVERIFY(store.revision() > afterLogin);
        const quint64 afterRefresh = store.revision();
        store.clear();
        QVERIFY(store.revision() > afterRefresh);
        drainJobs(store);
    }

    void usableRefresh_data()
    {
        QTest::addColumn<QString>("refreshToken");
        QTest::addColumn<int>("lifetime");
        QTest::addColumn<int>("margin");
        QTest::addColumn<bool>("usable");
        QTest::newRow("60 ahead, margin 60") << "r" << 60 << 60 << false;
        QTest::newRow("61 ahead, margin 60") << "r" << 61 << 60 << true;
        QTest::newRow("lifetime 0 is unknown") << "r" << 0 << 1000000 << true;
        QTest::newRow("negative lifetime is unknown") << "r" << -5 << 60 << true;
        QTest::newRow("no refresh token") << "" << 3600 << 0 << false;
    }

    void usableRefresh()
    {
        QFETCH(QString, refreshToken);
        QFETCH(int, lifetime);
        QFETCH(int, margin);
        QFETCH(bool, usable);
        SessionStore store;
        store.setClock([] { return kNow; });
        store.saveLogin(QStringLiteral("u1"), QStringLiteral("a"), refreshToken, lifetime);
        QCOMPARE(store.hasUsableRefresh(margin), usable);
        drainJobs(store);
    }

    void pastExpiryIsHeldButNotUsable()
    {
        qint64 now = kNow;
        SessionStore store;
        store.setClock([&now] { return now; });
        store.saveLogin(QStringLiteral("u1"), QStringLiteral("a"), QStringLiteral("r"), 10);
        now += 11;
        QVERIFY(store.hasRefreshToken());
        QVERIFY(!store.hasUsableRefresh(0));
        QVERIFY(!store.hasUsableRefresh(60));
        drainJobs(store);
    }

    void saveAndClearChangeMemoryAtOnce()
    {
        SessionStore store;
        store.saveLogin(QStringLiteral("u1"), QStringLiteral("a1"), QStringLiteral("r1"), 3600);
        QCOMPARE(store.userId(), QStringLiteral("u1"));
        QCOMPARE(store.accessToken(), QStringLiteral("a1"));
        QCOMPARE(store.refreshToken(), QStringLiteral("r1"));
        store.saveRefresh(QStringLiteral("a2"), QStringLiteral("r2"), 3600);
        QCOMPARE(store.userId(), QStringLiteral("u1"));
        QCOMPARE(store.accessToken(), QStringLiteral("a2"));
        QCOMPARE(store.refreshToken(), QStringLiteral("r2"));
        store.clear();
        QVERIFY(store.accessToken().isEmpty());
        QVERIFY(store.userId().isEmpty());
        QVERIFY(!store.hasRefreshToken());
        drainJobs(store);
    }

    void loginIsStoredAsExactText()
    {
        REQUIRE_SECRET_SERVICE();
        LogCapture logs;
        SessionStore store;
        store.setClock([] { return kNow; });
        store.saveLogin(QStringLiteral("user-1"), QStringLiteral("access-secret"), QStringLiteral("refresh-1"), 3600);
        drainJobs(store);
        QCOMPARE(readItem(), std::optional<QString>(QStringLiteral(
                                 R"({"refreshExpiresAt":1700003600,"refreshToken":"refresh-1","userId":"user-1"})")));
        QVERIFY(logs.contains("auth.session", "session saved (login), user_id=user-1 refresh_expires_in=3600"));
        for (const auto &entry : logs.entries())
            QVERIFY2(!entry.message.contains("secret") && !entry.message.contains("refresh-1"),
                     qPrintable(entry.message));
    }

    void roundTripThroughTheCredentialStore()
    {
        REQUIRE_SECRET_SERVICE();
        {
            SessionStore first;
            first.setClock([] { return kNow; });
            first.saveLogin(QStringLiteral("user-1"), QStringLiteral("a1"), QStringLiteral("r1"), 0);
            first.saveRefresh(QStringLiteral("a2"), QStringLiteral("r2"), 7200);
            drainJobs(first);
        }
        LogCapture logs;
        SessionStore second;
        second.setClock([] { return kNow; });
        QCOMPARE(loadAndWait(second), 1);
        QCOMPARE(second.userId(), QStringLiteral("user-1"));
        QCOMPARE(second.refreshToken(), QStringLiteral("r2"));
        QVERIFY(second.accessToken().isEmpty());
        QVERIFY(second.hasUsableRefresh(7199));
        QVERIFY(!second.hasUsableRefresh(7200));
        QVERIFY(logs.contains("auth.session", "session loaded from keychain, has_refresh=true"));

        // A refresh after the load keeps the user id it read.
        second.saveRefresh(QStringLiteral("a3"), QStringLiteral("r3"), 60);
        QCOMPARE(second.userId(), QStringLiteral("user-1"));
        drainJobs(second);
        QCOMPARE(readItem(), std::optional<QString>(QStringLiteral(
                                 R"({"refreshExpiresAt":1700000060,"refreshToken":"r3","userId":"user-1"})")));
    }

    void clearRemovesTheItem()
    {
        REQUIRE_SECRET_SERVICE();
        SessionStore store;
        store.saveLogin(QStringLiteral("u"), QStringLiteral("a"), QStringLiteral("r"), 60);
        drainJobs(store);
        QVERIFY(readItem().has_value());
        LogCapture logs;
        store.clear();
        drainJobs(store);
        QVERIFY(!readItem().has_value());
        QVERIFY(logs.contains("auth.session", "session cleared"));
        QVERIFY(!logs.contains("auth.session", "keychain delete failed"));
    }

    void freshInstallLoadsNothing()
    {
        REQUIRE_SECRET_SERVICE();
        LogCapture logs;
        SessionStore store;
        QCOMPARE(loadAndWait(store), 1);
        QVERIFY(store.userId().isEmpty());
        QVERIFY(!store.hasRefreshToken());
        QVERIFY(logs.contains("auth.session", "no session in keychain (fresh install or logged out)"));
    }

    void storedItem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("refreshToken");
        QTest::addColumn<bool>("usableWithHugeMargin");
        QTest::newRow("no expiry is unknown, not expired") << R"({"refreshToken":"r","userId":"u"})"
                                                           << "u"
                                                           << "r" << true;
        QTest::newRow("expiry as text is unknown") << R"({"refreshExpiresAt":"5","refreshToken":"r","userId":"u"})"
                                                   << "u"
                                                   << "r" << true;
        QTest::newRow("fractional expiry truncated")
            << R"({"refreshExpiresAt":1700000060.9,"refreshToken":"r","userId":"u"})"
            << "u"
            << "r" << false;
        QTest::newRow("absurd expiry") << R"({"refreshExpiresAt":1e300,"refreshToken":"r","userId":"u"})"
                                       << "u"
                                       << "r" << true;
        QTest::newRow("token not a string") << R"({"refreshToken":7,"userId":"u"})"
                                            << "u"
                                            << "" << false;
        QTest::newRow("not json") << "garbage"
                                  << ""
                                  << "" << false;
        QTest::newRow("json array") << "[1,2]"
                                    << ""
                                    << "" << false;
    }

    void storedItem()
    {
        REQUIRE_SECRET_SERVICE();
        QFETCH(QString, text);
        QFETCH(QString, userId);
        QFETCH(QString, refreshToken);
        QFETCH(bool, usableWithHugeMargin);
        QCOMPARE(writeItem(text), QKeychain::NoError);
        SessionStore store;
        store.setClock([] { return kNow; });
        store.saveLogin(QStringLiteral("before"), QStringLiteral("a"), QStringLiteral("before"), 0);
        drainJobs(store);
        QCOMPARE(writeItem(text), QKeychain::NoError);
        loadAndWait(store);
        // Every member is assigned from the item, whatever it holds.
        QCOMPARE(store.userId(), userId);
        QCOMPARE(store.refreshToken(), refreshToken);
        QCOMPARE(store.hasUsableRefresh(1'000'000), usableWithHugeMargin);
        QVERIFY(store.hasUsableRefresh(59) == store.hasRefreshToken());
        QCOMPARE(store.accessToken(), QStringLiteral("a"));
    }

    // A read that started before a login, refresh or logout must not bring back what it read.
    void slowReadDoesNotOverwriteNewerChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("login") << "login";
        QTest::newRow("refresh") << "refresh";
        QTest::newRow("logout") << "logout";
    }

    void slowReadDoesNotOverwriteNewerChange()
    {
        REQUIRE_SECRET_SERVICE();
        QFETCH(QString, change);
        QCOMPARE(writeItem(QStringLiteral(R"({"refreshExpiresAt":0,"refreshToken":"old","userId":"old-user"})")),
                 QKeychain::NoError);
        SessionStore store;
        int calls = 0;
        store.load([&calls] { ++calls; });
        if (change == QLatin1String("login"))
            store.saveLogin(QStringLiteral("new-user"), QStringLiteral("a"), QStringLiteral("new"), 0);
        else if (change == QLatin1String("refresh"))
            store.saveRefresh(QStringLiteral("a"), QStringLiteral("new"), 0);
        else
            store.clear();
        QCOMPARE(calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);

        if (change == QLatin1String("logout")) {
            QVERIFY(store.userId().isEmpty());
            QVERIFY(!store.hasRefreshToken());
        } else {
            QCOMPARE(store.userId(), change == QLatin1String("login") ? QStringLiteral("new-user") : QString());
            QCOMPARE(store.refreshToken(), QStringLiteral("new"));
        }
        drainJobs(store);
    }
};

KESTOVA_TEST_MAIN(SessionStoreTest)
#include "test_session_store.moc"
