// The client's own services (transport, start-up gate, auth, user module, gateway)
// against the local service on loopback.
#include "client_core.h"
#include "local_service_rig.h"

#include "app/startup_gate.h"
#include "auth/auth_assembly.h"
#include "auth/auth_error_code.h"
#include "auth/auth_interceptor.h"
#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "auth/sms_service.h"
#include "legal/legal_service.h"
#include "net/http_transport.h"
#include "realtime/gateway_service.h"
#include "realtime/socket_client.h"
#include "server/api_types.h"
#include "server/asset_host.h"
#include "server/gateway_hub.h"
#include "server/service_state.h"
#include "support/test_main.h"
#include "update/update_manifest.h"
#include "update/update_service.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_assembly.h"
#include "user/user_directory_service.h"
#include "user/user_state.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QWebSocket>

using servertest::ClientCore;
using servertest::kWaitMs;
using servertest::ServiceRig;

namespace {

const QString kPhone = QStringLiteral("13800138000");

// The client's services as the client context builds them, over the addresses in use.
struct ClientRig : ClientCore
{
    ClientRig()
        : ClientCore(QStringLiteral("device-1"))
    {}
    ~ClientRig() { shutDown(); }

    UserAssembly user{transport.api(), &legal};
};

void passStartupGate(ClientRig &client)
{
    bool passed = false;
    client.gate.start([&passed] { passed = true; });
    QTRY_VERIFY_WITH_TIMEOUT(passed, kWaitMs);
}

// Asks for a code, reads it where the service shows it, and signs in with it.
void signIn(ServiceRig &rig, ClientRig &client, const QString &phone, QString *userId, bool *isNewUser = nullptr)
{
    QSignalSpy codes(rig.service.get(), &localservice::LocalService::codeSent);
    QSignalSpy sent(client.auth.smsService(), &SmsService::sendCodeSucceeded);
    client.auth.smsService()->sendCode(phone);
    QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, kWaitMs);
    QCOMPARE(sent.at(0).at(0).toInt(), 60);
    QCOMPARE(codes.size(), 1);
    QCOMPARE(codes.at(0).at(0).toString(), phone);

    QSignalSpy succeeded(client.auth.loginService(), &LoginService::loginSucceeded);
    client.auth.loginService()->login(phone, codes.at(0).at(1).toString(), client.legal.versionTag());
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.size(), 1, kWaitMs);
    *userId = succeeded.at(0).at(0).toString();
    if (isNewUser)
        *isNewUser = succeeded.at(0).at(1).toBool();
}

localservice::ApiReply call(ServiceRig &rig, const QByteArray &method, const QString &path, const QJsonObject &body)
{
    localservice::ApiRequest request;
    request.method = method;
    request.path = path;
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return rig.service->handle(request);
}

} // namespace

class LocalServiceClientTest : public QObject
{
    Q_OBJECT

private slots:
    void startupCheckPasses();
    void signInWithPrintedCode();
    void wrongCodesAndThrottling();
    void refusedAccessTokenIsRefreshedAndReplayed();
    void gatewaySessionResumesAfterTheServiceDropsIt();
    void watchesAreAnsweredWithSnapshots();
    void logoutEndsTheSignIn();
    void gatewayControlEvents();
    void deactivatedAccountIsReactivatedByLogin();
};

void LocalServiceClientTest::startupCheckPasses()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    // The development key signs the feed, and the client is built to trust that key.
    QCOMPARE(rig.service->assets()->publicKey(), compiledUpdatePublicKey());

    ClientRig client;
    QSignalSpy retry(&client.gate, &StartupGate::needRetry);
    passStartupGate(client);
    QCOMPARE(retry.size(), 0);
    QCOMPARE(client.update.evaluateManifest(rig.service->assets()->manifestBytes(),
                                            rig.service->assets()->signatureBytes()),
             ManifestVerdict::UpToDate);
    QCOMPARE(client.legal.versionTag(), QStringLiteral("terms@local-1+privacy@local-1"));

    bool fetched = false;
    QString text;
    client.legal.fetchDoc(LegalDoc::Terms, [&](bool ok, const QString &doc) {
        fetched = ok;
        text = doc;
    });
    QTRY_VERIFY_WITH_TIMEOUT(fetched, kWaitMs);
    QVERIFY(text.startsWith(QLatin1String("# Terms")));
}

void LocalServiceClientTest::signInWithPrintedCode()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);

    QString userId;
    bool isNewUser = false;
    signIn(rig, client, kPhone, &userId, &isNewUser);
    QVERIFY(!userId.isEmpty());
    QVERIFY(isNewUser);
    QCOMPARE(client.auth.sessionStore()->userId(), userId);

    // The profile, with the consent the login recorded.
    QSignalSpy fetched(client.user.profileService(), &ProfileService::profileFetched);
    client.user.profileService()->fetchProfile();
    QTRY_COMPARE_WITH_TIMEOUT(fetched.size(), 1, kWaitMs);
    UserState *state = client.user.userState();
    QCOMPARE(state->userId(), userId);
    QCOMPARE(state->status(), QStringLiteral("active"));
    QCOMPARE(state->agreedLegalVersion(), client.legal.versionTag());

    // A new nickname reaches the state, and other users see it through batch-get.
    QSignalSpy renamed(client.user.nicknameService(), &NicknameService::updateSucceeded);
    client.user.nicknameService()->updateNickname(QStringLiteral("Aster"));
    QTRY_COMPARE_WITH_TIMEOUT(renamed.size(), 1, kWaitMs);
    QCOMPARE(state->nickname(), QStringLiteral("Aster"));

    UserDirectoryService *directory = client.user.userDirectoryService();
    directory->setBatchDelayMs(0);
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);
    directory->requestMany({userId, QStringLiteral("99999999")});
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, kWaitMs);
    QCOMPARE(ready.at(0).at(0).toString(), userId);
    QCOMPARE(ready.at(0).at(1).toString(), QStringLiteral("Aster"));

    // The same number signs in to the same account.
    rig.nowMs += 61000;
    QString again;
    signIn(rig, client, kPhone, &again, &isNewUser);
    QCOMPARE(again, userId);
    QVERIFY(!isNewUser);
}

void LocalServiceClientTest::wrongCodesAndThrottling()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);

    QList<AuthErrorCode> smsFailures;
    QList<int> retryAfters;
    connect(client.auth.smsService(), &SmsService::sendCodeFailed, this,
            [&](AuthErrorCode code, const QString &, int retryAfter) {
                smsFailures << code;
                retryAfters << retryAfter;
            });
    QList<AuthErrorCode> loginFailures;
    connect(client.auth.loginService(), &LoginService::loginFailed, this,
            [&](AuthErrorCode code, const QString &) { loginFailures << code; });

    QSignalSpy codes(rig.service.get(), &localservice::LocalService::codeSent);
    client.auth.smsService()->sendCode(kPhone);
    QTRY_COMPARE_WITH_TIMEOUT(codes.size(), 1, kWaitMs);
    rig.nowMs += 20000;
    client.auth.smsService()->sendCode(kPhone);
    QTRY_COMPARE_WITH_TIMEOUT(smsFailures.size(), 1, kWaitMs);
    QCOMPARE(smsFailures.at(0), AuthErrorCode::SmsThrottled);
    QCOMPARE(retryAfters.at(0), 40);

    const QString right = codes.at(0).at(1).toString();
    const QString wrong = right == QLatin1String("000000") ? QStringLiteral("111111") : QStringLiteral("000000");
    client.auth.loginService()->login(kPhone, wrong, client.legal.versionTag());
    QTRY_COMPARE_WITH_TIMEOUT(loginFailures.size(), 1, kWaitMs);
    QCOMPARE(loginFailures.at(0), AuthErrorCode::LoginCodeInvalid);

    // A new account must agree to the legal documents; the code stays usable.
    client.auth.loginService()->login(kPhone, right, QString());
    QTRY_COMPARE_WITH_TIMEOUT(loginFailures.size(), 2, kWaitMs);
    QCOMPARE(loginFailures.at(1), AuthErrorCode::LoginLegalRequired);

    // One at a time: parallel requests travel on parallel connections, and their replies
    // may come back in any order.
    for (int i = 0; i < 4; ++i) {
        client.auth.loginService()->login(kPhone, wrong, client.legal.versionTag());
        QTRY_COMPARE_WITH_TIMEOUT(loginFailures.size(), 3 + i, kWaitMs);
    }
    QCOMPARE(loginFailures.at(5), AuthErrorCode::LoginCodeAttemptsExceeded);
    // Too many wrong codes used the code up: the right one no longer works.
    client.auth.loginService()->login(kPhone, right, client.legal.versionTag());
    QTRY_COMPARE_WITH_TIMEOUT(loginFailures.size(), 7, kWaitMs);
    QCOMPARE(loginFailures.at(6), AuthErrorCode::LoginCodeInvalid);
    QVERIFY(rig.service->state().accounts.isEmpty());
}

void LocalServiceClientTest::refusedAccessTokenIsRefreshedAndReplayed()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);
    QString userId;
    signIn(rig, client, kPhone, &userId);
    const QString firstRefresh = client.auth.sessionStore()->refreshToken();
    const QString firstAccess = client.auth.sessionStore()->accessToken();

    // The access token runs out on the service's clock; the refresh token does not.
    rig.nowMs += 901 * 1000;
    QSignalSpy fetched(client.user.profileService(), &ProfileService::profileFetched);
    QSignalSpy expired(client.auth.sessionService(), &SessionService::sessionExpired);
    client.user.profileService()->fetchProfile();
    QTRY_COMPARE_WITH_TIMEOUT(fetched.size(), 1, kWaitMs);
    QCOMPARE(client.user.userState()->userId(), userId);
    QCOMPARE(expired.size(), 0);

    // Both tokens were replaced.
    QVERIFY(client.auth.sessionStore()->accessToken() != firstAccess);
    QVERIFY(client.auth.sessionStore()->refreshToken() != firstRefresh);

    // The same refresh presented again at once (a resent request) gets the same pair.
    const auto repeated = call(rig, "POST", QStringLiteral("/v1/auth/refresh"), {{"refreshToken", firstRefresh}});
    QCOMPARE(repeated.status, 200);
    QCOMPARE(QJsonDocument::fromJson(repeated.body).object().value("refreshToken").toString(),
             client.auth.sessionStore()->refreshToken());

    // Some seconds later the used refresh token is refused for good.
    rig.nowMs += 6000;
    const auto replay = call(rig, "POST", QStringLiteral("/v1/auth/refresh"), {{"refreshToken", firstRefresh}});
    QCOMPARE(replay.status, 401);
    QCOMPARE(QJsonDocument::fromJson(replay.body).object().value("code").toString(),
             QStringLiteral("auth.refresh.invalid"));
}

void LocalServiceClientTest::gatewaySessionResumesAfterTheServiceDropsIt()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);
    QString userId;
    signIn(rig, client, kPhone, &userId);

    QSignalSpy ready(&client.gateway, &GatewayService::sessionReady);
    QSignalSpy resync(&client.gateway, &GatewayService::resyncRequired);
    QSignalSpy lost(&client.gateway, &GatewayService::sessionLost);
    QSignalSpy events(&client.gateway, &GatewayService::eventReceived);
    client.gateway.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, kWaitMs);
    QCOMPARE(resync.size(), 1);
    const QString sessionId = client.gateway.sessionId();
    QVERIFY(!sessionId.isEmpty());

    localservice::GatewayHub *hub = rig.service->gateway();
    hub->publishToUser(userId, QStringLiteral("test.before"), {{"n", 1}});
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 1, kWaitMs);

    // The service drops the socket; what it sends meanwhile waits in the session.
    QSignalSpy resumed(hub, &localservice::GatewayHub::sessionResumed);
    hub->dropAllConnections();
    hub->publishToUser(userId, QStringLiteral("test.during"), {{"n", 2}}, 7);
    hub->publishToUser(userId, QStringLiteral("test.during"), {{"n", 3}}, 8);

    QTRY_COMPARE_WITH_TIMEOUT(resumed.size(), 1, kWaitMs);
    QCOMPARE(resumed.at(0).at(0).toString(), sessionId);
    QCOMPARE(resumed.at(0).at(1).toInt(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 3, kWaitMs);
    QCOMPARE(events.at(1).at(0).toString(), QStringLiteral("test.during"));
    QCOMPARE(events.at(1).at(1).toJsonObject().value("n").toInt(), 2);
    QCOMPARE(events.at(1).at(2).toLongLong(), 7);
    QCOMPARE(events.at(2).at(1).toJsonObject().value("n").toInt(), 3);
    QVERIFY(lost.size() >= 1);
    QCOMPARE(ready.size(), 2);
    QCOMPARE(resync.size(), 1); // a resumed session needs no resync
    QCOMPARE(client.gateway.sessionId(), sessionId);

    // The signed-in user's own nickname change arrives live as a profile event.
    client.user.nicknameService()->updateNickname(QStringLiteral("Wren"));
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 4, kWaitMs);
    QCOMPARE(events.at(3).at(0).toString(), QStringLiteral("user.profile-updated"));
    const QJsonObject payload = events.at(3).at(1).toJsonObject();
    QCOMPARE(payload.value("userId").toString(), userId);
    QCOMPARE(payload.value("nickname").toString(), QStringLiteral("Wren"));
    QVERIFY(payload.value("updatedAtMs").toDouble() > 0);
}

void LocalServiceClientTest::watchesAreAnsweredWithSnapshots()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    rig.service->gateway()->addStreamSource(QStringLiteral("test:"),
                                            [](const QString &userId,
                                               const QString &target) -> std::optional<QJsonObject> {
                                                if (target == QLatin1String("test:secret"))
                                                    return std::nullopt;
                                                return QJsonObject{{"target", target}, {"for", userId}};
                                            });
    ClientRig client;
    passStartupGate(client);
    QString userId;
    signIn(rig, client, kPhone, &userId);
    QSignalSpy ready(&client.gateway, &GatewayService::sessionReady);
    client.gateway.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, kWaitMs);

    QStringList order;
    connect(&client.gateway, &GatewayService::streamSnapshotReceived, this,
            [&](const QString &target, const QJsonObject &snapshot) {
                order << "snapshot " + target + " " + snapshot.value("for").toString();
            });
    connect(&client.gateway, &GatewayService::watchResultReceived, this,
            [&](const QString &target, bool ok) { order << QStringLiteral("watched %1 %2").arg(target).arg(ok); });
    client.gateway.watch({QStringLiteral("test:a"), QStringLiteral("test:secret"), QStringLiteral("room:none")});
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), 4, kWaitMs);
    QCOMPARE(order, QStringList({"snapshot test:a " + userId, "watched test:a 1", "watched test:secret 0",
                                 "watched room:none 0"}));

    // Events for a watched target reach the watcher; an unwatched one no longer does.
    QSignalSpy events(&client.gateway, &GatewayService::eventReceived);
    rig.service->gateway()->publishToWatchers(QStringLiteral("test:a"), QStringLiteral("test.changed"), {{"v", 1}}, 3);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 1, kWaitMs);
    client.gateway.unwatch({QStringLiteral("test:a")});
    QSignalSpy pong(&client.gateway, &GatewayService::watchResultReceived);
    client.gateway.watch({QStringLiteral("test:secret")}); // a round trip, so the unwatch has arrived
    QTRY_COMPARE_WITH_TIMEOUT(pong.size(), 1, kWaitMs);
    rig.service->gateway()->publishToWatchers(QStringLiteral("test:a"), QStringLiteral("test.changed"), {{"v", 2}}, 4);
    client.gateway.watch({QStringLiteral("test:secret")});
    QTRY_COMPARE_WITH_TIMEOUT(pong.size(), 2, kWaitMs);
    QCOMPARE(events.size(), 1);
}

void LocalServiceClientTest::logoutEndsTheSignIn()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);
    QString userId;
    signIn(rig, client, kPhone, &userId);
    const QString access = client.auth.sessionStore()->accessToken();
    QCOMPARE(rig.service->state().signIns.size(), 1);

    QSignalSpy ready(&client.gateway, &GatewayService::sessionReady);
    client.gateway.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, kWaitMs);
    client.gateway.stop();
    client.auth.sessionService()->logout();
    QTRY_COMPARE_WITH_TIMEOUT(rig.service->state().signIns.size(), 0, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.service->gateway()->sessionCount(), 0, kWaitMs);

    // The access token of the ended sign-in is refused at once, not only when it runs out.
    localservice::ApiRequest request;
    request.method = "GET";
    request.path = QStringLiteral("/v1/users/me");
    request.headers = {{"Authorization", "Bearer " + access.toLatin1()}};
    QCOMPARE(rig.service->handle(request).status, 401);
}

// The service's other control events, as the client's gateway takes them.
void LocalServiceClientTest::gatewayControlEvents()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);
    QString userId;
    signIn(rig, client, kPhone, &userId);
    localservice::GatewayHub *hub = rig.service->gateway();

    QSignalSpy ready(&client.gateway, &GatewayService::sessionReady);
    QSignalSpy resync(&client.gateway, &GatewayService::resyncRequired);
    QSignalSpy events(&client.gateway, &GatewayService::eventReceived);
    client.gateway.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, kWaitMs);
    const QString firstSession = client.gateway.sessionId();

    // A graceful shutdown asks the client to come back; it resumes the same session.
    rig.service->shutdown();
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 2, kWaitMs);
    QCOMPARE(client.gateway.sessionId(), firstSession);
    QCOMPARE(resync.size(), 1);

    // More missed events than the session keeps: the resume ends in a buffer miss and
    // the client resyncs, keeping its session.
    hub->publishToUser(userId, QStringLiteral("test.seen"), {});
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 1, kWaitMs);
    QSignalSpy resumed(hub, &localservice::GatewayHub::sessionResumed);
    hub->setBufferSize(2);
    hub->dropAllConnections();
    QCOMPARE(hub->connectionCount(), 0);
    for (int i = 0; i < 5; ++i)
        hub->publishToUser(userId, QStringLiteral("test.missed"), {});
    QTRY_COMPARE_WITH_TIMEOUT(resumed.size(), 1, kWaitMs);
    QCOMPARE(resumed.at(0).at(1).toInt(), -1);
    QTRY_COMPARE_WITH_TIMEOUT(resync.size(), 2, kWaitMs);
    QCOMPARE(client.gateway.sessionId(), firstSession);

    // A session left without a socket for too long is forgotten: the client gets a fresh one.
    hub->setDetachedSessionKeepMs(1000);
    hub->dropAllConnections();
    rig.nowMs += 2000;
    hub->expireDetachedSessions();
    QCOMPARE(hub->sessionCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(resync.size(), 3, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!client.gateway.sessionId().isEmpty(), kWaitMs);
    QVERIFY(client.gateway.sessionId() != firstSession);

    // Another user cannot take the session over.
    QString otherId;
    ClientRig other;
    passStartupGate(other);
    signIn(rig, other, QStringLiteral("13700137000"), &otherId);
    QWebSocket intruder;
    QSignalSpy texts(&intruder, &QWebSocket::textMessageReceived);
    QSignalSpy closed(&intruder, &QWebSocket::disconnected);
    QUrl url = GatewayService::gatewayUrlForApiBase(QUrl(rig.service->baseUrl()));
    url.setQuery(QStringLiteral("token=%1&sessionId=%2")
                     .arg(QString::fromLatin1(QUrl::toPercentEncoding(other.auth.sessionStore()->accessToken())),
                          QString::fromLatin1(QUrl::toPercentEncoding(client.gateway.sessionId()))));
    intruder.open(url);
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, kWaitMs);
    QCOMPARE(texts.size(), 1);
    QCOMPARE(texts.at(0).at(0).toString(), QStringLiteral(R"({"event":"session-invalid"})"));
    QCOMPARE(hub->sessionCount(), 1);
}

void LocalServiceClientTest::deactivatedAccountIsReactivatedByLogin()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    ClientRig client;
    passStartupGate(client);
    QString userId;
    signIn(rig, client, kPhone, &userId);
    QSignalSpy ready(&client.gateway, &GatewayService::sessionReady);
    client.gateway.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, kWaitMs);

    localservice::ApiRequest request;
    request.method = "DELETE";
    request.path = QStringLiteral("/v1/users/me");
    request.headers = {{"Authorization", "Bearer " + client.auth.sessionStore()->accessToken().toLatin1()}};
    QCOMPARE(rig.service->handle(request).status, 200);
    QCOMPARE(rig.service->state().accounts.value(userId).status, QStringLiteral("deactivated"));
    QCOMPARE(rig.service->state().signIns.size(), 0);
    QCOMPARE(rig.service->handle(request).status, 401);
    const auto refreshed = call(rig, "POST", QStringLiteral("/v1/auth/refresh"),
                                {{"refreshToken", client.auth.sessionStore()->refreshToken()}});
    QCOMPARE(refreshed.status, 401);

    client.gateway.stop();
    rig.nowMs += 61000;
    QSignalSpy codes(rig.service.get(), &localservice::LocalService::codeSent);
    client.auth.smsService()->sendCode(kPhone);
    QTRY_COMPARE_WITH_TIMEOUT(codes.size(), 1, kWaitMs);
    QSignalSpy succeeded(client.auth.loginService(), &LoginService::loginSucceeded);
    client.auth.loginService()->login(kPhone, codes.at(0).at(1).toString(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.size(), 1, kWaitMs);
    QCOMPARE(succeeded.at(0).at(0).toString(), userId);
    QCOMPARE(succeeded.at(0).at(1).toBool(), false);
    QCOMPARE(succeeded.at(0).at(2).toBool(), true);
    QCOMPARE(rig.service->state().accounts.value(userId).status, QStringLiteral("active"));
}

KESTOVA_TEST_MAIN(LocalServiceClientTest)
#include "test_local_service_client.moc"
