#include "chat_tab_stand_in.h"
#include "scripted_resolver.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_apply_service.h"
#include "room/room_attach_apply_service.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_request_service.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/room_snapshot_builder.h"
#include "ui/chat/messages_tab.h"
#include "ui/connect/banner_row.h"
#include "ui/connect/request_banner_overlay.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "user/user_profile.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/request_banners_wiring.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using testsupport::jsonReply;
using testsupport::RoomSnapshotBuilder;

// The real request services and active room session over the fake REST client, the
// real banner overlay with a test clock, and the banner wiring between them.
struct BannerFixture
{
    testsupport::FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    ActiveRoomSession session{&http, &store, &feed, &registry};
    RoomRequestService requests{&http, &session};
    RoomApplyService apply{&http, &session};
    RoomAttachApplyService attach{&http};
    ChannelEntityStore channels;
    UserState user;
    ScriptedResolver users;
    MainStatusBar statusBar;
    QWidget owner;
    RequestBannerOverlay overlay;
    qint64 now = 1000;

    BannerFixture()
    {
        statusBar.setTimings(1, 20, 1);
        overlay.setClock([this] { return now; });
        // Settled banners close on the next turn instead of after five seconds.
        overlay.setCloseDelayMs(0);
        apply.setClock([this] { return now; });
        attach.setClock([this] { return now; });
        user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
        users.names.insert("u2", {"Bob", "bob"});
        users.names.insert("me", {"Me", "me"});
        wiring::wireRequestBanners(&overlay, &statusBar, &owner, &session, &requests, &apply, &attach, &user, &users,
                                   &channels);
    }

    // Enters room "A" where the user's role holds `permissions`; the private stream
    // carries `room`'s pending requests.
    void enter(const QStringList &permissions, RoomSnapshotBuilder room = RoomSnapshotBuilder("A"))
    {
        session.enter("A");
        session.onStreamReady(publicStreamTarget("A"));
        session.onStreamReady(privateStreamTarget("A"));
        room.channel("c1").role(1, "admin", 5, permissions).memberRole("me", 1);
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
        feed.onStreamSnapshot(room.privateTarget(), room.privateSnapshot());
    }

    void roomEvent(const QString &name, const QJsonObject &payload) { feed.onGatewayEvent(name, payload, 0); }

    BannerRow *row(const QString &requestId) const
    {
        for (BannerRow *r : overlay.shownRows()) {
            if (r->id() == requestId)
                return r;
        }
        return nullptr;
    }

    QPushButton *button(const QString &requestId, const QString &label) const
    {
        for (QPushButton *b : row(requestId)->buttonList()) {
            if (b->text() == label)
                return b;
        }
        return nullptr;
    }
};

class TestRequestBannersWiring : public QObject
{
    Q_OBJECT

private slots:
    void incomingJoinRequestLife();
    void rightsDecideWhichBannersShow_data();
    void rightsDecideWhichBannersShow();
    void requesterNamesRewrittenOncePerTurn();
    void ownJoinRequestLife();
    void ownAttachApplicationLife();
    void leavingTheRoomKeepsOwnBannersAndNotices();
    void failuresReachTheStatusBar_data();
    void failuresReachTheStatusBar();
    void mainWindowEntryFindsTheOverlay();
};

void TestRequestBannersWiring::incomingJoinRequestLife()
{
    BannerFixture f;
    // A request already waiting when the room is entered arrives with the snapshot.
    f.enter({"core.room.approve_requests"}, RoomSnapshotBuilder("A").joinRequest("q0", "u2", 1000, 61000));
    QVERIFY(f.row("q0") != nullptr);
    QCOMPARE(f.row("q0")->currentText(), QString("Bob（bob）申请加入房间"));
    QCOMPARE(f.row("q0")->requestKind(), RequestBannerOverlay::Join);

    // Arrive.
    f.roomEvent(
        "room.request.created",
        {{"roomId", "A"}, {"requestId", "q1"}, {"fromUserId", "u2"}, {"createdAt", 2000}, {"expiresAtMs", 62000}});
    f.roomEvent(
        "room.request.created",
        {{"roomId", "A"}, {"requestId", "q2"}, {"fromUserId", "u2"}, {"createdAt", 2000}, {"expiresAtMs", 90000}});
    QCOMPARE(f.overlay.shownRows().size(), 3);

    // Approve: the decision is sent, the banner settles.
    f.button("q1", "同意")->click();
    QCOMPARE(f.http.callsTo("/v1/rooms/A/join-requests/q1/approve").size(), 1);
    QVERIFY(!f.row("q1")->isActive());

    // Another member rejects q2: its banner takes that member's label.
    f.roomEvent("room.request.rejected", {{"roomId", "A"}, {"requestId", "q2"}, {"rejectedBy", "u2"}});
    QVERIFY(!f.row("q2")->isActive());
    QCOMPARE(f.row("q2")->actor(), QString("Bob（bob）"));
    QVERIFY(!f.row("q2")->wasApproved());

    // Count down: past its expiry the unanswered q0 leaves.
    f.now = 61000;
    f.overlay.onTick();
    QTRY_VERIFY(f.row("q0") == nullptr);

    // Reject, and a request withdrawn by its sender.
    f.roomEvent(
        "room.request.created",
        {{"roomId", "A"}, {"requestId", "q3"}, {"fromUserId", "u2"}, {"createdAt", 61000}, {"expiresAtMs", 120000}});
    f.roomEvent(
        "room.request.created",
        {{"roomId", "A"}, {"requestId", "q4"}, {"fromUserId", "u2"}, {"createdAt", 61000}, {"expiresAtMs", 120000}});
    QTRY_VERIFY(f.row("q3") != nullptr);
    f.button("q3", "拒绝")->click();
    QCOMPARE(f.http.callsTo("/v1/rooms/A/join-requests/q3/reject").size(), 1);
    QTRY_VERIFY(f.row("q4") != nullptr);
    f.roomEvent("room.request.cancelled", {{"roomId", "A"}, {"requestId", "q4"}});
    QTRY_VERIFY(f.row("q4") == nullptr);
}

void TestRequestBannersWiring::rightsDecideWhichBannersShow_data()
{
    QTest::addColumn<QStringList>("permissions");
    QTest::addColumn<bool>("cascade");
    QTest::addColumn<bool>("joinShown");
    QTest::addColumn<bool>("attachShown");
    QTest::newRow("join right") << QStringList{"core.room.approve_requests"} << false << true << false;
    QTest::newRow("attach right") << QStringList{"core.room.approve_subroom_attach"} << false << false << true;
    QTest::newRow("none") << QStringList{} << false << false << false;
    QTest::newRow("channel cascade") << QStringList{} << true << true << true;
}

void TestRequestBannersWiring::rightsDecideWhichBannersShow()
{
    QFETCH(QStringList, permissions);
    QFETCH(bool, cascade);
    QFETCH(bool, joinShown);
    QFETCH(bool, attachShown);
    BannerFixture f;
    if (cascade) {
        f.channels.retain("c1");
        ChannelEntity channel;
        channel.channelId = "c1";
        channel.valid = true;
        ChannelRole channelRole;
        channelRole.roleId = 5;
        channelRole.permissions = {"core.channel.cascade_rooms"};
        channel.roles = {channelRole};
        channel.members = {ChannelMember{"me", 5, 0}};
        f.channels.applyBundle("c1", channel);
    }
    f.enter(permissions, RoomSnapshotBuilder("A").joinRequest("q0", "u2").subroomRequest("s0", "C", "u2"));
    QCOMPARE(f.row("q0") != nullptr, joinShown);
    QCOMPARE(f.row("s0") != nullptr, attachShown);
    if (attachShown)
        QCOMPARE(f.row("s0")->currentText(), QString("Bob（bob）申请挂载为子房间"));

    f.roomEvent("room.request.created", {{"roomId", "A"}, {"requestId", "q1"}, {"fromUserId", "u2"}});
    f.roomEvent("room.subroom.pending",
                {{"parentRoomId", "A"}, {"requestId", "s1"}, {"childRoomId", "D"}, {"fromUserId", "u2"}});
    auto present = [&](const QString &id) {
        if (f.row(id) != nullptr)
            return true;
        for (const RequestBannerOverlay::PendingBanner &queued : f.overlay.queue()) {
            if (queued.requestId == id)
                return true;
        }
        return false;
    };
    QCOMPARE(present("q1"), joinShown);
    QCOMPARE(present("s1"), attachShown);
    if (attachShown) {
        // A sub-room decision goes to the sub-room endpoint.
        f.button("s0", "同意")->click();
        QCOMPARE(f.http.callsTo("/v1/rooms/A/subroom-requests/s0/approve").size(), 1);
    }
}

void TestRequestBannersWiring::requesterNamesRewrittenOncePerTurn()
{
    BannerFixture f;
    f.enter({"core.room.approve_requests"});
    f.roomEvent("room.request.created", {{"roomId", "A"}, {"requestId", "q1"}, {"fromUserId", "u7"}});
    f.roomEvent("room.request.created", {{"roomId", "A"}, {"requestId", "q2"}, {"fromUserId", "u8"}});
    QCOMPARE(f.row("q1")->currentText(), QString("…（）申请加入房间"));
    QVERIFY(f.users.requested.contains("u7"));

    QTimer *nameTimer = f.owner.findChild<QTimer *>();
    QVERIFY(nameTimer != nullptr);
    QSignalSpy refreshes(nameTimer, &QTimer::timeout);
    f.users.learn("u7", "Seven", "seven");
    f.users.learn("u8", "Eight", QString());
    // Nothing until the loop turns, then one rewrite for both names.
    QCOMPARE(f.row("q1")->currentText(), QString("…（）申请加入房间"));
    QTRY_COMPARE(f.row("q1")->currentText(), QString("Seven（seven）申请加入房间"));
    QCOMPARE(f.row("q2")->currentText(), QString("Eight（）申请加入房间"));
    QCOMPARE(refreshes.count(), 1);
}

void TestRequestBannersWiring::ownJoinRequestLife()
{
    BannerFixture f;
    const QString create = QStringLiteral("/v1/rooms/R/join-requests");
    // Arrive, pending under the room id, then under its name once known.
    f.apply.beginApply("R");
    f.http.answer(create, 0, jsonReply(201, {{"requestId", "j1"}, {"expiresAtMs", 31000}}));
    QVERIFY(f.row("j1") != nullptr);
    QVERIFY(f.row("j1")->isOwn());
    QCOMPARE(f.row("j1")->currentText(), QString("你已申请加入R房间，请等待管理员审核"));
    QCOMPARE(f.row("j1")->expiry(), 31000);
    emit f.apply.applyNameResolved("j1", "Hall");
    QCOMPARE(f.row("j1")->currentText(), QString("你已申请加入Hall房间，请等待管理员审核"));

    // Count down: at its expiry the banner shows the overlay's own expiry text.
    f.now = 31000;
    f.overlay.onTick();
    QVERIFY(!f.row("j1")->isActive());
    QCOMPARE(f.row("j1")->notice(), QString("申请加入已超时"));

    // Approved.
    f.apply.beginApply("S");
    f.http.answer(QStringLiteral("/v1/rooms/S/join-requests"), 0, jsonReply(201, {{"requestId", "j2"}}));
    f.apply.handleGatewayEvent("room.request.approved", {{"roomId", "S"}, {"requestId", "j2"}, {"approvedBy", "u2"}});
    QCOMPARE(f.row("j2")->notice(), QString("你已加入房间"));

    // Rejected, the room's name unknown: named by its id.
    f.apply.beginApply("T");
    f.http.answer(QStringLiteral("/v1/rooms/T/join-requests"), 0, jsonReply(201, {{"requestId", "j3"}}));
    f.apply.handleGatewayEvent("room.request.rejected", {{"roomId", "T"}, {"requestId", "j3"}, {"rejectedBy", "u2"}});
    QCOMPARE(f.row("j3")->notice(), QString("你已被T房间管理员拒绝"));

    // Expired by the server.
    f.apply.beginApply("U");
    f.http.answer(QStringLiteral("/v1/rooms/U/join-requests"), 0, jsonReply(201, {{"requestId", "j4"}}));
    QTRY_VERIFY(f.row("j4") != nullptr);
    f.apply.handleGatewayEvent("room.request.expired", {{"roomId", "U"}, {"requestId", "j4"}});
    QCOMPARE(f.row("j4")->notice(), QString("申请加入已超时"));

    // Cancel: the join request is withdrawn; the attach service ignores the id.
    f.apply.beginApply("V");
    f.http.answer(QStringLiteral("/v1/rooms/V/join-requests"), 0, jsonReply(201, {{"requestId", "j5"}}));
    QTRY_VERIFY(f.row("j5") != nullptr);
    const int calls = f.http.calls.size();
    f.button("j5", "取消")->click();
    QCOMPARE(f.http.calls.size(), calls + 1);
    QCOMPARE(f.http.calls.last().path, QString("/v1/rooms/V/join-requests/j5"));
    QCOMPARE(f.http.calls.last().method, HttpMethod::Delete);
    QVERIFY(f.apply.pendingRequests().isEmpty());
}

void TestRequestBannersWiring::ownAttachApplicationLife()
{
    BannerFixture f;
    f.attach.track("a1", "P", "C", 41000, QString());
    QCOMPARE(f.row("a1")->currentText(), QString("你已申请将本房挂载到P房间，请等待管理员审核"));
    QCOMPARE(f.row("a1")->expiryText(), QString("挂载申请已超时"));
    f.now = 41000;
    f.overlay.onTick();
    QCOMPARE(f.row("a1")->notice(), QString("挂载申请已超时"));

    f.attach.track("a2", "Q", "C", 0, "Quarry");
    QCOMPARE(f.row("a2")->currentText(), QString("你已申请将本房挂载到Quarry房间，请等待管理员审核"));
    f.attach.handleGatewayEvent("room.subroom.attached", {{"childRoomId", "C"}, {"parentRoomId", "Q"}});
    QVERIFY(f.row("a2")->notice().startsWith("本房已挂载到"));
    QVERIFY(f.row("a2")->notice().endsWith("房间"));

    f.attach.track("a3", "W", "C", 0, QString());
    QTRY_VERIFY(f.row("a3") != nullptr);
    f.attach.handleGatewayEvent("room.subroom.rejected", {{"childRoomId", "C"},
                                                          {"parentRoomId", "W"},
                                                          {"requestId", "a3"},
                                                          {"rejectedBy", "u2"}});
    QVERIFY(f.row("a3")->notice().startsWith("挂载申请已被"));
    QVERIFY(f.row("a3")->notice().endsWith("房间管理员拒绝"));

    f.attach.track("a4", "X", "C", 0, QString());
    QTRY_VERIFY(f.row("a4") != nullptr);
    f.button("a4", "取消")->click();
    QCOMPARE(f.http.calls.last().path, QString("/v1/rooms/X/subroom-requests/a4"));
    QVERIFY(f.attach.pendingApplications().isEmpty());
}

void TestRequestBannersWiring::leavingTheRoomKeepsOwnBannersAndNotices()
{
    BannerFixture f;
    f.enter({"core.room.approve_requests"}, RoomSnapshotBuilder("A").joinRequest("q0", "u2"));
    f.attach.track("a1", "P", "C", 0, QString());
    QVERIFY(f.row("q0") != nullptr);
    f.session.reset();
    QTRY_VERIFY(f.row("q0") == nullptr);
    QVERIFY(f.row("a1") != nullptr);
}

void TestRequestBannersWiring::failuresReachTheStatusBar_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("serverMessage");
    QTest::addColumn<QString>("shown");
    QTest::newRow("approval") << 0 << ""
                              << "审批操作失败，请稍后重试";
    QTest::newRow("approval, server text") << 0 << "已处理"
                                           << "已处理";
    QTest::newRow("join request") << 1 << ""
                                  << "申请加入失败，请稍后重试";
    QTest::newRow("attach cancel") << 2 << ""
                                   << "挂载操作失败，请稍后重试";
}

void TestRequestBannersWiring::failuresReachTheStatusBar()
{
    QFETCH(int, which);
    QFETCH(QString, serverMessage);
    QFETCH(QString, shown);
    BannerFixture f;
    const QJsonObject body =
        serverMessage.isEmpty() ? QJsonObject{{"code", "x"}} : QJsonObject{{"code", "x"}, {"message", serverMessage}};
    if (which == 0) {
        f.enter({"core.room.approve_requests"}, RoomSnapshotBuilder("A").joinRequest("q0", "u2"));
        f.button("q0", "同意")->click();
        f.http.reply(f.http.calls.size() - 1, jsonReply(409, body));
    } else if (which == 1) {
        f.apply.beginApply("R");
        f.http.reply(f.http.calls.size() - 1, jsonReply(500, body));
        QVERIFY(f.overlay.shownRows().isEmpty());
    } else {
        f.attach.track("a1", "P", "C", 0, QString());
        f.button("a1", "取消")->click();
        f.http.reply(f.http.calls.size() - 1, jsonReply(500, body));
    }
    QTRY_COMPARE(f.statusBar.currentMessage(), shown);
}

void TestRequestBannersWiring::mainWindowEntryFindsTheOverlay()
{
    testsupport::FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    ActiveRoomSession session{&http, &store, &feed, &registry};
    RoomApplyService apply{&http, &session};
    UserState user;
    MainWindow window(MainWindowOptions{});
    wiring::wireRoomRequests(&window, &session, nullptr, &apply, nullptr, &user, nullptr, nullptr);
    apply.beginApply("R");
    http.reply(0, jsonReply(201, {{"requestId", "j1"}}));
    QCOMPARE(window.messagesTab()->requestBannerOverlay()->shownRows().size(), 1);

    // No window wires nothing and does not fail.
    wiring::wireRoomRequests(nullptr, &session, nullptr, &apply, nullptr, &user, nullptr, nullptr);
}

QTEST_MAIN(TestRequestBannersWiring)
#include "test_request_banners_wiring.moc"
