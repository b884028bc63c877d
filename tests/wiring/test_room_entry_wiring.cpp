#include "wiring_test_rig.h"

#include "support/test_main.h"
#include "ui/connect/code_input_edit.h"
#include "wiring/status_announcer.h"

#include <QSignalSpy>

namespace {

// The number of connections to `signal` (a SIGNAL() string) of `sender`. Taken
// through a pointer to the base class member, which the derived class may form.
struct Receivers : QObject
{
    static int of(const QObject *sender, const char *signal)
    {
        const auto count = &Receivers::receivers;
        return (sender->*count)(signal);
    }
};

// Connections of every signal that the window wiring joins to a view of the window.
QList<int> windowReceivers(WiringTestRig &rig)
{
    return {
        Receivers::of(&rig.gateway, SIGNAL(sessionReady())),
        Receivers::of(&rig.gateway, SIGNAL(sessionLost())),
        Receivers::of(rig.activeRoom(), SIGNAL(activeRoomChanged())),
        Receivers::of(&rig.codeMatch, SIGNAL(roomEntering(QString))),
        Receivers::of(&rig.codeMatch, SIGNAL(channelJoined())),
        Receivers::of(&rig.codeMatch, SIGNAL(joinNeedsApply(QString))),
        Receivers::of(&rig.codeMatch, SIGNAL(joinByCodeFailed(MatchErrorCode, QString))),
        Receivers::of(&rig.codeAttach, SIGNAL(attached(QString))),
        Receivers::of(&rig.codeAttach, SIGNAL(attachPending(QString, QString, QString, qint64, QString))),
        Receivers::of(&rig.codeAttach, SIGNAL(attachFailed(MatchErrorCode, QString))),
        Receivers::of(&rig.user, SIGNAL(nicknameChanged(QString))),
        Receivers::of(&rig.consent, SIGNAL(reconsentRequired(QList<LegalDoc>))),
    };
}

} // namespace

class TestRoomEntryWiring : public QObject
{
    Q_OBJECT

private slots:
    void codeJoinEntersThenLeaves();
    void codeFailuresStayInTheTab_data();
    void codeFailuresStayInTheTab();
    void attachNeedsAnActiveRoom();
    void joinRequestsFromBothSourcesAndApproval();
    void realtimeEventsReachEveryRoomHandler();
    void windowConnectionsEndWithTheWindow();
};

void TestRoomEntryWiring::codeJoinEntersThenLeaves()
{
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    QVERIFY(rig.window);
    ConnectSettingsTab *tab = rig.tab();
    QVERIFY(tab);
    QVERIFY(statusBarSettles(rig.bar()));

    // The room is entered (its watches asked for) while the tab still shows the code.
    QStringList codeWhenWatched;
    QObject::connect(rig.watches, &WatchRegistry::watchNeeded, [&] { codeWhenWatched << tab->codeInput()->text(); });
    tab->codeInput()->setText(QStringLiteral("ABC123"));
    emit tab->joinByCodeRequested(QStringLiteral("ABC123"));
    const QList<testsupport::FakeHttpClient::Call> joins = rig.http.callsTo(QStringLiteral("/v1/match/code"));
    QCOMPARE(joins.size(), 1);
    QCOMPARE(joins.at(0).body.value("code").toString(), QStringLiteral("ABC123"));
    // No realtime session yet: the session id goes out empty.
    QCOMPARE(joins.at(0).body.value("sessionId").toString(), QString());
    rig.http.answer(QStringLiteral("/v1/match/code"), 0,
                    testsupport::jsonReply(200, {{"status", "entering"}, {"roomId", "r1"}}));
    QVERIFY(!codeWhenWatched.isEmpty());
    QCOMPARE(codeWhenWatched.count(QStringLiteral("ABC123")), codeWhenWatched.size());
    QVERIFY(tab->codeInput()->text().isEmpty());

    rig.confirmWatches(QStringLiteral("r1"));
    QCOMPARE(rig.activeRoom()->activeRoomId(), QStringLiteral("r1"));
    QCOMPARE(rig.bar()->currentMessage(), QStringLiteral("已加入房间"));
    QVERIFY(statusBarSettles(rig.bar()));

    rig.activeRoom()->leave();
    const QString leavePath = QStringLiteral("/v1/rooms/r1/members/me");
    QCOMPARE(rig.http.callsTo(leavePath).size(), 1);
    rig.http.answer(leavePath, 0, testsupport::jsonReply(200));
    QCOMPARE(rig.activeRoom()->activeRoomId(), QString());
    QCOMPARE(rig.bar()->currentMessage(), QStringLiteral("已退出房间"));
}

void TestRoomEntryWiring::codeFailuresStayInTheTab_data()
{
    QTest::addColumn<bool>("attach");
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("shown");
    QTest::newRow("join refused with a message")
        << false << QJsonObject{{"status", "error"}, {"reason", "ROOM_FULL"}, {"message", "房间满了"}} << 200
        << "房间满了";
    QTest::newRow("attach failed with a message")
        << true << QJsonObject{{"code", "ATTACH_DENIED"}, {"message", "不允许挂载"}} << 403 << "不允许挂载";
}

void TestRoomEntryWiring::codeFailuresStayInTheTab()
{
    QFETCH(bool, attach);
    QFETCH(QJsonObject, reply);
    QFETCH(int, status);
    QFETCH(QString, shown);
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    if (attach) {
        rig.activeRoom()->enter(QStringLiteral("r1"));
        rig.confirmWatches(QStringLiteral("r1"));
    }
    QVERIFY(statusBarSettles(rig.bar()));
    ConnectSettingsTab *tab = rig.tab();
    const QString path = attach ? QStringLiteral("/v1/match/attach") : QStringLiteral("/v1/match/code");
    if (attach)
        emit tab->attachByCodeRequested(QStringLiteral("XYZ789"));
    else
        emit tab->joinByCodeRequested(QStringLiteral("XYZ789"));
    QCOMPARE(rig.http.callsTo(path).size(), 1);
    rig.http.answer(path, 0, testsupport::jsonReply(status, reply));
    QVERIFY(tab->codeInput()->currentStatusText().contains(shown));
    QCOMPARE(rig.bar()->currentMessage(), QString());
}

void TestRoomEntryWiring::attachNeedsAnActiveRoom()
{
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    emit rig.tab()->attachByCodeRequested(QStringLiteral("XYZ789"));
    QVERIFY(rig.http.callsTo(QStringLiteral("/v1/match/attach")).isEmpty());

    rig.activeRoom()->enter(QStringLiteral("r1"));
    rig.confirmWatches(QStringLiteral("r1"));
    emit rig.tab()->attachByCodeRequested(QStringLiteral("XYZ789"));
    const QList<testsupport::FakeHttpClient::Call> attaches = rig.http.callsTo(QStringLiteral("/v1/match/attach"));
    QCOMPARE(attaches.size(), 1);
    QCOMPARE(attaches.at(0).body.value("childRoomId").toString(), QStringLiteral("r1"));

    // A pending attach is tracked by the attach-request service.
    rig.http.answer(QStringLiteral("/v1/match/attach"), 0,
                    testsupport::jsonReply(200, {{"status", "attachPending"},
                                                 {"requestId", "q1"},
                                                 {"roomId", "p1"},
                                                 {"expiresAtMs", QDateTime::currentMSecsSinceEpoch() + 60000},
                                                 {"roomName", "Parent"}}));
    QCOMPARE(rig.rooms.attachApplyService()->pendingApplications().size(), 1);
    QCOMPARE(rig.rooms.attachApplyService()->pendingApplications().at(0).requestId, QStringLiteral("q1"));
}

void TestRoomEntryWiring::joinRequestsFromBothSourcesAndApproval()
{
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    rig.http.calls.clear();

    emit rig.tab()->joinByCodeRequested(QStringLiteral("ABC123"));
    rig.http.answer(QStringLiteral("/v1/match/code"), 0,
                    testsupport::jsonReply(200, {{"status", "needApply"}, {"roomId", "r2"}}));
    QCOMPARE(rig.http.callsTo(QStringLiteral("/v1/rooms/r2/join-requests")).size(), 1);

    emit rig.activeRoom()->joinNeedsApply(QStringLiteral("r3"));
    QCOMPARE(rig.http.callsTo(QStringLiteral("/v1/rooms/r3/join-requests")).size(), 1);

    emit rig.rooms.applyService()->applyApproved(QStringLiteral("q9"), QStringLiteral("r4"));
    QCOMPARE(rig.http.callsTo(QStringLiteral("/v1/rooms/r4/join")).size(), 1);
}

void TestRoomEntryWiring::realtimeEventsReachEveryRoomHandler()
{
    WiringTestRig rig;
    rig.wireServices();
    rig.signIn();
    rig.activeRoom()->enter(QStringLiteral("r1"));
    rig.confirmWatches(QStringLiteral("r1"));
    QCOMPARE(rig.activeRoom()->activeRoomId(), QStringLiteral("r1"));
    // A snapshot of the room reaches the store through the feed.
    emit rig.gateway.streamSnapshotReceived(publicStreamTarget(QStringLiteral("r1")),
                                            QJsonObject{{"roomId", "r1"}, {"name", "Lobby"}, {"version", 1}});
    QVERIFY(rig.rooms.entityStore()->find(QStringLiteral("r1")));
    // A resync announces every held target again.
    QSignalSpy rewatch(rig.watches, &WatchRegistry::watchNeeded);
    emit rig.gateway.resyncRequired();
    QCOMPARE(rewatch.size(), 1);
    QVERIFY(rewatch.at(0).at(0).toStringList().contains(publicStreamTarget(QStringLiteral("r1"))));
}

void TestRoomEntryWiring::windowConnectionsEndWithTheWindow()
{
    WiringTestRig rig;
    rig.wireServices();
    const QList<int> without = windowReceivers(rig);
    rig.window = rig.buildMainWindow({});
    const QList<int> withOne = windowReceivers(rig);
    QVERIFY(withOne != without);
    for (int i = 0; i < 20; ++i) {
        // As the shell swaps: the new window is wired, then the old one goes.
        std::unique_ptr<MainWindow> next = rig.buildMainWindow({});
        rig.window = std::move(next);
        QCOMPARE(windowReceivers(rig), withOne);
    }
    // The signals still reach the one window alive, and only it.
    rig.user.setNickname(QStringLiteral("Alice"));
    QCOMPARE(rig.bar()->nicknameText(), QStringLiteral("Alice"));
    QCOMPARE(rig.window->findChildren<StatusAnnouncer *>().size(), 1);
    emit rig.gateway.sessionLost();
    emit rig.gateway.sessionReady();
    rig.activeRoom()->enter(QStringLiteral("r1"));
    rig.confirmWatches(QStringLiteral("r1"));
    QCOMPARE(rig.bar()->currentMessage(), QStringLiteral("已加入房间"));
    rig.window.reset();
    QCOMPARE(windowReceivers(rig), without);
    rig.user.setNickname(QStringLiteral("Bob"));
    rig.activeRoom()->reset();
}

KESTOVA_TEST_MAIN(TestRoomEntryWiring)
#include "test_room_entry_wiring.moc"
