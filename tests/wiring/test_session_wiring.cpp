#include "wiring_test_rig.h"

#include "room/room_create_service.h"

#include "support/log_capture.h"
#include "support/test_main.h"
#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/document_dialog.h"
#include "ui/dialogs/reconsent_flow.h"
#include "ui/login/login_form.h"
#include "ui/login/login_window.h"
#include "ui/main/main_menu_bar.h"
#include "wiring/login_window_wiring.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTextBrowser>

namespace {

// The lines of `logs` that are among `wanted`, in the order they were logged.
QStringList orderedLines(const testsupport::LogCapture &logs, const QStringList &wanted)
{
    QStringList lines;
    for (const testsupport::LogCapture::Entry &entry : logs.entries()) {
        if (wanted.contains(entry.message))
            lines << entry.message;
    }
    return lines;
}

} // namespace

class TestSessionWiring : public QObject
{
    Q_OBJECT

private slots:
    void signInAndResumeRunInOrder_data();
    void signInAndResumeRunInOrder();
    void failedTokenRefreshHandsTheGatewayNoToken();
    void logoutAndExpiryResetInOrder_data();
    void logoutAndExpiryResetInOrder();
    void nextAccountStartsClean();
    void nicknameLabelFollowsTheUser();
    void loginFormSendsTheVersionAndKeepsItsFailures();
    void legalDocumentDialog_data();
    void legalDocumentDialog();
    void accountDialogKeepsNicknameFailures();
    void rejectedReconsentLogsOut();
    void resumeAfterALegalUpdateShowsOneConsentFlow();
};

void TestSessionWiring::signInAndResumeRunInOrder_data()
{
    QTest::addColumn<bool>("resume");
    QTest::newRow("sign-in") << false;
    QTest::newRow("resume") << true;
}

void TestSessionWiring::signInAndResumeRunInOrder()
{
    QFETCH(bool, resume);
    WiringTestRig rig;
    rig.wireServices();

    int before = 0;
    if (resume) {
        emit rig.session.sessionResumed(QStringLiteral("me"));
    } else {
        rig.login.login(QStringLiteral("13800000000"), QStringLiteral("123456"), QStringLiteral("v1"));
        before = 1;
        rig.http.answer(QStringLiteral("/v1/auth/login"), 0,
                        testsupport::jsonReply(200, {{"userId", "me"},
                                                     {"accessToken", expiredToken()},
                                                     {"refreshToken", "refresh-1"},
                                                     {"refreshExpiresIn", 3600},
                                                     {"isNewUser", true},
                                                     {"reactivated", true}}));
    }

    // The window comes first, before any of the services asks the server for anything.
    QCOMPARE(rig.navigation, QStringList{"main"});
    QCOMPARE(rig.callsAtNavigation, QList<int>{before});
    QVERIFY(rig.window);
    QCOMPARE(rig.lastOptions.isNewUser, !resume);
    QCOMPARE(rig.lastOptions.reactivated, !resume);
    // Then the profile, the gateway (whose connect first refreshes the stale token), the
    // room list and the chat subscriptions.
    QCOMPARE(rig.pathsFrom(before),
             QStringList({"/v1/users/me", "/v1/auth/refresh", "/v1/rooms/mine", "/v1/users/me/chat-subscriptions"}));
}

void TestSessionWiring::failedTokenRefreshHandsTheGatewayNoToken()
{
    WiringTestRig rig;
    rig.wireServices();
    testsupport::LogCapture logs;
    rig.signIn();
    rig.http.answer(QStringLiteral("/v1/auth/refresh"), 0, testsupport::jsonReply(500));
    QVERIFY(
        logs.contains(QStringLiteral("base.realtime"), QStringLiteral("gateway connect: no access token, will retry")));
}

void TestSessionWiring::logoutAndExpiryResetInOrder_data()
{
    QTest::addColumn<bool>("expiry");
    QTest::newRow("logout") << false;
    QTest::newRow("expiry") << true;
}

void TestSessionWiring::logoutAndExpiryResetInOrder()
{
    QFETCH(bool, expiry);
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    rig.user.setNickname(QStringLiteral("Alice"));
    rig.activeRoom()->enter(QStringLiteral("r1"));
    rig.confirmWatches(QStringLiteral("r1"));
    QCOMPARE(rig.activeRoom()->activeRoomId(), QStringLiteral("r1"));
    rig.rooms.attachApplyService()->track(QStringLiteral("q1"), QStringLiteral("p1"), QStringLiteral("r1"),
                                          QDateTime::currentMSecsSinceEpoch() + 60000, QStringLiteral("Parent"));
    QCOMPARE(rig.rooms.attachApplyService()->pendingApplications().size(), 1);
    // A join request of this account exists, and four more requests are still under way:
    // a join, a join by code, a temporary room's creation and another join request.
    rig.rooms.applyService()->beginApply(QStringLiteral("r5"));
    rig.http.answer(QStringLiteral("/v1/rooms/r5/join-requests"), 0,
                    testsupport::jsonReply(200, {{"requestId", "q5"}, {"expiresAtMs", 0}}));
    QCOMPARE(rig.rooms.applyService()->pendingRequests().size(), 1);
    rig.activeRoom()->join(QStringLiteral("r6"));
    rig.codeMatch.joinByCode(QStringLiteral("123456"));
    rig.rooms.createService()->createTempRoom(-1);
    rig.rooms.applyService()->beginApply(QStringLiteral("r8"));

    // Each step leaves a line in the log, so one list shows the order of all of them.
    testsupport::LogCapture logs;
    QObject::connect(&rig.user, &UserState::cleared, [] { qInfo("probe: user cleared"); });
    QObject::connect(rig.activeRoom(), &ActiveRoomSession::activeRoomChanged, [&rig] {
        if (rig.activeRoom()->activeRoomId().isEmpty()) {
            // The chat service was reset before the active room, the attach requests after it.
            qInfo("probe: active room reset chat=%d attach=%d", int(rig.rooms.chatService()->subscriptions().size()),
                  int(rig.rooms.attachApplyService()->pendingApplications().size()));
        }
    });
    QPointer<MainWindow> oldWindow = rig.window.get();
    QObject::connect(oldWindow.data(), &QObject::destroyed, [] { qInfo("probe: login window shown"); });

    if (expiry)
        emit rig.session.sessionExpired();
    else
        rig.session.logout();

    QCOMPARE(orderedLines(logs, {"probe: login window shown", "probe: user cleared", "gateway closed",
                                 "probe: active room reset chat=0 attach=1"}),
             QStringList({"probe: login window shown", "probe: user cleared", "gateway closed",
                          "probe: active room reset chat=0 attach=1"}));
    QCOMPARE(rig.navigation, QStringList({"main", "login"}));
    QVERIFY(rig.user.userId().isEmpty());
    QVERIFY(rig.rooms.attachApplyService()->pendingApplications().isEmpty());
    QVERIFY(rig.rooms.applyService()->pendingRequests().isEmpty());

    // The answers of the ended session arrive: none of them enters a room, watches one,
    // applies or tells the user anything.
    QSignalSpy watched(rig.watches, &WatchRegistry::watchNeeded);
    QSignalSpy failures(rig.activeRoom(), &ActiveRoomSession::enterFailed);
    const qsizetype callsBefore = rig.http.calls.size();
    rig.http.answer(QStringLiteral("/v1/rooms/r6/join"), 0, testsupport::jsonReply(200, {{"outcome", "joined"}}));
    rig.http.answer(QStringLiteral("/v1/match/code"), 0,
                    testsupport::jsonReply(200, {{"status", "entering"}, {"roomId", "r7"}}));
    rig.http.answer(QStringLiteral("/v1/rooms"), 0, testsupport::jsonReply(200, {{"roomId", "r9"}}));
    rig.http.answer(QStringLiteral("/v1/rooms/r8/join-requests"), 0,
                    testsupport::jsonReply(200, {{"requestId", "q8"}, {"expiresAtMs", 0}}));
    QCoreApplication::processEvents();
    QCOMPARE(watched.size(), 0);
    QCOMPARE(failures.size(), 0);
    QCOMPARE(rig.http.calls.size(), callsBefore); // the created room is not joined either
    QVERIFY(rig.activeRoom()->activeRoomId().isEmpty());
    QVERIFY(rig.rooms.applyService()->pendingRequests().isEmpty());
    QVERIFY(!rig.rooms.entityStore()->find(QStringLiteral("r6")));
    QVERIFY(!rig.rooms.entityStore()->find(QStringLiteral("r7")));
}

void TestSessionWiring::nextAccountStartsClean()
{
    WiringTestRig rig;
    rig.wireServices();
    // A signs in, has two rooms and is inside one of them.
    rig.signIn(QStringLiteral("a"));
    rig.http.answer(QStringLiteral("/v1/rooms/mine"), 0,
                    testsupport::jsonReply(200, {{"rooms", QJsonArray{"a1", "a2"}}, {"activeRoomId", "a1"}}));
    QCOMPARE(rig.rooms.listService()->entries().size(), 2);
    rig.activeRoom()->enter(QStringLiteral("a1"));
    rig.confirmWatches(QStringLiteral("a1"));
    QCOMPARE(rig.activeRoom()->activeRoomId(), QStringLiteral("a1"));

    rig.session.logout();
    QCOMPARE(rig.navigation, QStringList({"main", "login"}));
    QVERIFY(rig.rooms.listService()->entries().isEmpty());

    // B signs in; until B's own list arrives the panels show nothing, and nothing of A's
    // rooms is watched again.
    QSignalSpy watched(rig.watches, &WatchRegistry::watchNeeded);
    rig.signIn(QStringLiteral("b"));
    QVERIFY(rig.window);
    wiring::wireRoomPanels(rig.window.get(), rig.activeRoom(), rig.rooms.entityStore(), rig.rooms.createService(),
                           rig.rooms.moderationService(), rig.rooms.chatService(), rig.rooms.followCodeService(),
                           rig.rooms.listService(), rig.rooms.subroomService(), &rig.user, &rig.directory, nullptr,
                           nullptr);
    QTest::qWait(20);
    const auto *mine = qobject_cast<MyRoomPanel *>(rig.window->myRoomPanel());
    QVERIFY(mine);
    QVERIFY(!mine->blocksData().hasContent);
    QVERIFY(rig.rooms.listService()->entries().isEmpty());

    rig.http.answer(QStringLiteral("/v1/rooms/mine"), rig.http.callsTo(QStringLiteral("/v1/rooms/mine")).size() - 1,
                    testsupport::jsonReply(200, {{"rooms", QJsonArray{"b1"}}}));
    QTest::qWait(20);
    QCOMPARE(rig.rooms.listService()->entries().size(), 1);
    QStringList targets;
    for (const QList<QVariant> &args : std::as_const(watched))
        targets << args.at(0).toStringList();
    QVERIFY2(!targets.filter(QStringLiteral("a1")).size() && !targets.filter(QStringLiteral("a2")).size(),
             qPrintable(targets.join(',')));
    QVERIFY2(!targets.filter(QStringLiteral("b1")).isEmpty(), qPrintable(targets.join(',')));
}

void TestSessionWiring::nicknameLabelFollowsTheUser()
{
    WiringTestRig rig;
    rig.user.setNickname(QStringLiteral("Alice"));
    rig.window = rig.buildMainWindow({});
    QCOMPARE(rig.bar()->nicknameText(), QStringLiteral("Alice"));
    rig.user.setNickname(QStringLiteral("Bob"));
    QCOMPARE(rig.bar()->nicknameText(), QStringLiteral("Bob"));
    rig.user.clear();
    MainStatusBar signedOut;
    signedOut.setNickname(QString());
    QCOMPARE(rig.bar()->nicknameText(), signedOut.nicknameText());
}

void TestSessionWiring::loginFormSendsTheVersionAndKeepsItsFailures()
{
    WiringTestRig rig;
    LoginWindow window;
    wiring::wireLegal(&window, &rig.legal);
    wiring::wireLicenses(&window);
    wiring::wireLoginForm(&window, &rig.sms, &rig.login, &rig.legal);
    LegalVersions versions;
    versions.terms = QStringLiteral("t7");
    versions.privacy = QStringLiteral("p3");
    rig.legal.applyVersions(versions);

    emit window.form()->loginRequested(QStringLiteral("13800000000"), QStringLiteral("123456"));
    const QList<testsupport::FakeHttpClient::Call> logins = rig.http.callsTo(QStringLiteral("/v1/auth/login"));
    QCOMPARE(logins.size(), 1);
    QCOMPARE(logins.at(0).body.value("agreedLegalVersion").toString(), rig.legal.versionTag());
    QVERIFY(!rig.legal.versionTag().isEmpty());

    // The server's message reaches the form.
    rig.http.answer(QStringLiteral("/v1/auth/login"), 0,
                    testsupport::jsonReply(400, {{"code", "LOGIN_CODE_INVALID"}, {"message", "验证码不对"}}));
    QCOMPARE(window.form()->errorLine()->text(), QStringLiteral("验证码不对"));
}

void TestSessionWiring::legalDocumentDialog_data()
{
    QTest::addColumn<bool>("closeFirst");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("shown");
    QTest::newRow("loaded") << false << 200 << "Terms";
    QTest::newRow("failed") << false << 500 << "加载失败，请关闭后重试";
    QTest::newRow("closed before the answer") << true << 200 << "";
}

void TestSessionWiring::legalDocumentDialog()
{
    QFETCH(bool, closeFirst);
    QFETCH(int, status);
    QFETCH(QString, shown);
    WiringTestRig rig;
    LoginWindow window;
    wiring::wireLegal(&window, &rig.legal);
    LegalVersions versions;
    versions.terms = QStringLiteral("t7");
    versions.privacy = QStringLiteral("p3");
    rig.legal.applyVersions(versions);

    emit window.form()->legalLinkClicked(LegalDoc::Terms);
    QPointer<DocumentDialog> dialog = window.form()->findChild<DocumentDialog *>();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("用户协议"));
    QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
    if (closeFirst) {
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }
    const int request = rig.downloader.latestPendingIndex(QString());
    QVERIFY(request >= 0);
    HttpResponse reply = testsupport::jsonReply(status);
    reply.body = "# Terms";
    rig.downloader.reply(request, reply);
    if (closeFirst)
        return; // nothing to touch, and nothing touched
    QVERIFY(dialog->browser()->toPlainText().contains(shown));
}

void TestSessionWiring::accountDialogKeepsNicknameFailures()
{
    WiringTestRig rig;
    rig.user.setNickname(QStringLiteral("Alice"));
    rig.window = rig.buildMainWindow({});
    emit rig.window->mainMenuBar()->accountDetailRequested();
    auto *dialog = rig.window->findChild<AccountDialog *>();
    QVERIFY(dialog);
    QCOMPARE(dialog->nicknameField()->text(), QStringLiteral("Alice"));
    emit dialog->nicknameSubmitted(QStringLiteral("Bob"));
    QCOMPARE(rig.http.calls.size(), 1);
    rig.http.reply(0, testsupport::jsonReply(400, {{"message", "昵称不可用"}}));
    QVERIFY(dialog->statusLine()->text().contains(QStringLiteral("昵称不可用")));
    QCOMPARE(rig.bar()->currentMessage(), QString());
}

void TestSessionWiring::rejectedReconsentLogsOut()
{
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    QVERIFY(rig.window);
    LegalVersions versions;
    versions.terms = QStringLiteral("t7");
    versions.privacy = QStringLiteral("p3");
    rig.legal.applyVersions(versions);
    emit rig.consent.reconsentRequired({LegalDoc::Privacy});
    auto *flow = rig.window->findChild<ReconsentFlow *>();
    QVERIFY(flow);
    // The document was asked for; the user turns it down.
    QVERIFY(rig.downloader.pendingCount() >= 1);
    emit flow->rejected();
    QCOMPARE(rig.navigation, QStringList({"main", "login"}));
}

void TestSessionWiring::resumeAfterALegalUpdateShowsOneConsentFlow()
{
    WiringTestRig rig;
    rig.wireServices();
    LegalVersions versions;
    versions.terms = QStringLiteral("t7");
    versions.privacy = QStringLiteral("p3");
    rig.legal.applyVersions(versions);
    const QJsonObject profile{{"userId", "me"}, {"nickname", "Me"}, {"agreedLegalVersion", "terms@t6+privacy@p3"}};

    // The resume fetches the profile, and the gateway's first session fetches it again.
    emit rig.session.sessionResumed(QStringLiteral("me"));
    QVERIFY(rig.window);
    rig.http.answer(QStringLiteral("/v1/users/me"), 0, testsupport::jsonReply(200, profile));
    emit rig.gateway.resyncRequired();
    QCOMPARE(rig.http.callsTo(QStringLiteral("/v1/users/me")).size(), 2);
    rig.http.answer(QStringLiteral("/v1/users/me"), 1, testsupport::jsonReply(200, profile));
    QCoreApplication::processEvents();

    QCOMPARE(rig.window->findChildren<ReconsentFlow *>().size(), 1);
    int shown = 0;
    for (DocumentDialog *dialog : rig.window->findChildren<DocumentDialog *>())
        shown += dialog->isVisible() ? 1 : 0;
    QCOMPARE(shown, 1);

    // Once that flow is over, a later update may ask again.
    auto *flow = rig.window->findChild<ReconsentFlow *>();
    QSignalSpy agreed(flow, &ReconsentFlow::allAgreed);
    emit rig.window->findChild<DocumentDialog *>()->consentAgreed();
    QCOMPARE(agreed.size(), 1);
    QTRY_COMPARE(rig.window->findChildren<ReconsentFlow *>().size(), 0);
    emit rig.consent.reconsentRequired({LegalDoc::Privacy});
    QCOMPARE(rig.window->findChildren<ReconsentFlow *>().size(), 1);
}

KESTOVA_TEST_MAIN(TestSessionWiring)
#include "test_session_wiring.moc"
