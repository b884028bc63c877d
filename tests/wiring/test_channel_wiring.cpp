#include "wiring/channel_panel_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"
#include "wiring/room_panels_wiring.h"
#include "wiring/service_wiring.h"
#include "wiring_test_fixture.h"

#include "auth/login_service.h"
#include "auth/memory_session_store.h"
#include "auth/session_service.h"
#include "channel/channel_actions_service.h"
#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "channel/channel_rooms_watch.h"
#include "realtime/fake_socket_client.h"
#include "realtime/gateway_service.h"
#include "room/room_follow_code_service.h"
#include "room/room_list_service.h"
#include "room/room_moderation_service.h"
#include "room/room_service_fixture.h"
#include "room/room_subroom_service.h"
#include "support/test_main.h"
#include "ui/settings/channel_settings_dialog.h"
#include "ui/shell/i_ui_storage.h"
#include "user/user_directory_service.h"

#include <QInputDialog>
#include <QJsonArray>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::RoomSnapshotBuilder;
using namespace wiringtest;

namespace {

class MemoryUiStorage : public IUiStorage
{
public:
    QStringList myRoomOrder() const override { return rooms; }
    void setMyRoomOrder(const QStringList &order) override { rooms = order; }
    QStringList myChannelOrder() const override { return channels; }
    void setMyChannelOrder(const QStringList &order) override { channels = order; }
    QStringList rooms;
    QStringList channels;
};

// Counts every state the panel is handed.
class CountingChannelPanel : public MyChannelPanel
{
public:
    int builds = 0;
    void setBlocks(const blocks::BlockListData &blockData) override
    {
        ++builds;
        MyChannelPanel::setBlocks(blockData);
    }
};

QJsonObject role(qint64 id, const QString &name, int level, const QStringList &permissions)
{
    return {{"roleId", id}, {"name", name}, {"level", level}, {"permissions", QJsonArray::fromStringList(permissions)}};
}

QJsonObject channelSnapshot(const QString &id, const QString &name, const QString &ownRolePermission,
                            qint64 ownRoleId = 2, const QStringList &roomIds = {})
{
    return {{"channelId", id},
            {"name", name},
            {"members", QJsonArray{QJsonObject{{"userId", "me"}, {"roleId", ownRoleId}},
                                   QJsonObject{{"userId", "bob"}, {"roleId", 3}}}},
            {"roles",
             QJsonArray{role(-1, "主", 100, {"*"}), role(2, "mod", 50, {ownRolePermission}), role(3, "member", 1, {})}},
            {"roomIds", QJsonArray::fromStringList(roomIds)}};
}

struct Fixture
{
    std::unique_ptr<WindowFixture> ui = std::make_unique<WindowFixture>();
    CountingChannelPanel *panel = new CountingChannelPanel;
    FakeHttpClient http;
    MemorySessionStore sessionStore;
    SessionService session{&http, &sessionStore};
    LoginService login{&http, &sessionStore, "device"};
    UserState user;
    ScriptedResolver users;
    ChannelEntityStore channels;
    ChannelEntityFeed feed{&channels};
    ChannelListService list{&http, &channels};
    ChannelActionsService actions{&http};
    RoomServiceFixture room;
    FakeSocketClient socket;
    GatewayService gateway{&socket};
    MemoryUiStorage storage;

    Fixture()
    {
        ui->window.setMyChannelPanel(panel);
        signIn(user, "me", "Me");
        storage.channels = {"c2", "c1"};
        wiring::wireChannelLifecycle(&login, &session, &list, &user);
        wiring::wireChannelRealtime(&gateway, &feed, &list, &channels, &room.store, &room.watches);
        wiring::wireChannelPanels(&ui->window, &list, &channels, &actions, &user, &users, &storage, &room.store,
                                  &room.session, nullptr);
    }
    // Signs in and answers the channel list.
    void loadChannels(const QStringList &ids)
    {
        emit login.loginSucceeded("me", false, false);
        const qsizetype index = http.callsTo("/v1/channels").size() - 1;
        http.answer("/v1/channels", index, jsonReply(200, {{"channels", QJsonArray::fromStringList(ids)}}));
    }
    void snapshot(const QJsonObject &channel)
    {
        emit gateway.streamSnapshotReceived("channel:" + channel.value("channelId").toString(), channel);
    }
    // Lets the panel's rebuild run.
    void settle()
    {
        QTest::qWait(0);
        QCoreApplication::processEvents();
    }
    MainStatusBar *statusBar() const { return ui->statusBar(); }
};

// The real directory, counting every name asked of it.
class CountingDirectory : public UserDirectoryService
{
public:
    using UserDirectoryService::UserDirectoryService;
    int requests = 0;
    void request(const QString &userId) override
    {
        ++requests;
        UserDirectoryService::request(userId);
    }
};

// A signed-in user inside room "r1" of channel "c1", with the room panels, the channel
// panel and the real directory wired as the window wires them.
struct SettledClient
{
    std::unique_ptr<WindowFixture> ui = std::make_unique<WindowFixture>();
    CountingChannelPanel *panel = new CountingChannelPanel;
    FakeHttpClient http;
    UserState user;
    CountingDirectory directory{&http};
    ChannelEntityStore channels;
    ChannelEntityFeed channelFeed{&channels};
    ChannelListService list{&http, &channels};
    ChannelActionsService actions{&http};
    RoomServiceFixture room;
    RoomModerationService moderation{&room.http, &room.session};
    RoomSubroomService subrooms{&room.http, &room.session};
    RoomFollowCodeService followCode{&room.http, &room.session};
    RoomListService roomList{&room.http, &room.store};
    wiring::RoomPanelsFeed *feed = nullptr;

    SettledClient()
    {
        ui->window.setMyChannelPanel(panel);
        signIn(user, "me", "Me");
        directory.setBatchDelayMs(0);
        roomList.setUserIdProvider([this] { return user.userId(); });
        feed = wiring::wireRoomPanels(&ui->window, &room.session, &room.store, nullptr, &moderation, nullptr,
                                      &followCode, &roomList, &subrooms, &user, &directory, &channels, nullptr);
        wiring::wireChannelPanels(&ui->window, &list, &channels, &actions, &user, &directory, nullptr, &room.store,
                                  &room.session, feed);
    }
};

} // namespace

class TestChannelWiring : public QObject
{
    Q_OBJECT

private slots:
    void listFollowsSignInResumeLogoutAndExpiry();
    void realtimeFeedsTheStoreBeforeTheList();
    void panelStateFromTheStores();
    void panelRebuildsOncePerLoopTurn();
    void menuStateFromTheOwnRole();
    void orderIsRestoredAndSaved();
    void createChannelThroughThePrompt();
    void createRoomAndReorderRooms();
    void leavingAChannel();
    void membershipLostMessages();
    void resultsAfterTheWindowIsGoneAreDropped();
    void settledClientWithANamelessMemberIsIdle();
};

void TestChannelWiring::listFollowsSignInResumeLogoutAndExpiry()
{
    Fixture f;
    f.loadChannels({"c1", "c2"});
    QCOMPARE(f.list.channelIds(), QStringList({"c1", "c2"}));
    emit f.session.sessionResumed("me");
    QCOMPARE(f.http.callsTo("/v1/channels").size(), 2);
    emit f.session.loggedOut();
    QVERIFY(f.list.channelIds().isEmpty());

    f.loadChannels({"c1"});
    emit f.session.sessionExpired();
    QVERIFY(f.list.channelIds().isEmpty());

    // The own id comes from the signed-in user: the own join adds the channel.
    emit f.gateway.eventReceived("channel.member.joined", {{"channelId", "c7"}, {"userId", "me"}}, 1);
    QCOMPARE(f.list.channelIds(), QStringList{"c7"});
    emit f.gateway.eventReceived("channel.member.joined", {{"channelId", "c8"}, {"userId", "bob"}}, 2);
    QCOMPARE(f.list.channelIds(), QStringList{"c7"});
}

void TestChannelWiring::realtimeFeedsTheStoreBeforeTheList()
{
    Fixture f;
    QVERIFY(f.list.findChild<ChannelRoomsWatch *>());
    f.loadChannels({"c1"});
    f.snapshot(channelSnapshot("c1", "Guild", "core.channel.reorder_rooms", 2, {"r1"}));
    QVERIFY(f.channels.find("c1")->valid);
    QCOMPARE(f.channels.find("c1")->name, QString("Guild"));
    // The channel's rooms are watched and held.
    QTRY_VERIFY(f.room.store.find("r1"));

    // Resync refetches the list.
    emit f.gateway.resyncRequired();
    QCOMPARE(f.http.callsTo("/v1/channels").size(), 2);
}

void TestChannelWiring::panelStateFromTheStores()
{
    Fixture f;
    wiring::ChannelPanelInput input;
    input.store = &f.channels;
    input.ownUserId = "me";
    blocks::BlockListData empty = wiring::buildMyChannelPanelState(input);
    QVERIFY(empty.sections.isEmpty());
    QVERIFY(!empty.hasContent);
    QCOMPARE(empty.emptyText, QString("无频道"));

    f.loadChannels({"c1", "c2", "c3"});
    f.snapshot(channelSnapshot("c1", "Guild", "core.channel.reorder_rooms", 2, {"r2", "r1"}));
    f.snapshot(channelSnapshot("c2", QString(), "core.channel.manage_code", 2, {"r3"}));
    input.channelIds = f.list.channelIds();
    QStringList asked;
    input.roomBlock = [&asked](const QString &roomId) {
        asked << roomId;
        blocks::RoomBlockData block;
        block.roomId = roomId;
        block.draggable = true;
        return block;
    };
    const blocks::BlockListData data = wiring::buildMyChannelPanelState(input);
    QVERIFY(data.hasContent);
    QVERIFY(!data.rowSeparators);
    QCOMPARE(data.sections.size(), 1);
    const QList<blocks::ChannelBlockData> blocks = data.sections.at(0).channels;
    QCOMPARE(blocks.size(), 3);
    QCOMPARE(blocks.at(0).name, QString("Guild"));
    QCOMPARE(blocks.at(1).name, QString("频道"));
    QCOMPARE(blocks.at(2).name, QString("加载中…"));
    QVERIFY(blocks.at(0).roomsReorderable);
    QVERIFY(!blocks.at(1).roomsReorderable);
    QVERIFY(!blocks.at(2).roomsReorderable);
    for (const blocks::ChannelBlockData &block : blocks) {
        QVERIFY(block.draggable);
        QVERIFY(!block.expanded);
    }
    QCOMPARE(asked, QStringList({"r2", "r1", "r3"})); // the channel's own room order; none while loading
    QCOMPARE(blocks.at(0).rooms.size(), 2);
    QVERIFY(!blocks.at(0).rooms.at(0).draggable);
    QVERIFY(blocks.at(2).rooms.isEmpty());

    // A role holding "*" may reorder every channel's rooms.
    f.snapshot(channelSnapshot("c2", "Two", "*", 2, {"r3"}));
    QVERIFY(wiring::buildMyChannelPanelState(input).sections.at(0).channels.at(1).roomsReorderable);
}

void TestChannelWiring::panelRebuildsOncePerLoopTurn()
{
    Fixture f;
    f.settle();
    QCOMPARE(f.panel->builds, 1); // filled on the first turn
    QCOMPARE(f.panel->blocksData().emptyText, QString("无频道"));

    // A list change, channel snapshots and a room change within one turn: one rebuild.
    f.loadChannels({"c1"});
    f.snapshot(channelSnapshot("c1", "Guild", "x", 2, {"r1"}));
    f.room.store.retain("r9");
    f.room.snapshot(RoomSnapshotBuilder("r9").name("elsewhere"));
    QCOMPARE(f.panel->builds, 1);
    f.settle();
    QCOMPARE(f.panel->builds, 2);
    QCOMPARE(f.panel->blocksData().sections.at(0).channels.at(0).name, QString("Guild"));

    // The room inside the channel shows its stored name and members once its snapshot arrives.
    QTRY_VERIFY(f.room.store.find("r1"));
    f.settle();
    f.room.snapshot(RoomSnapshotBuilder("r1").name("Hall").present({"bob", "amy"}).disconnected({"bob"}));
    f.users.names.insert("amy", {"Amy", "amy"});
    const int before = f.panel->builds;
    f.settle();
    QCOMPARE(f.panel->builds, before + 1);
    const blocks::RoomBlockData hall = f.panel->blocksData().sections.at(0).channels.at(0).rooms.at(0);
    QCOMPARE(hall.title, QString("Hall"));
    QCOMPARE(hall.memberCount, 2);
    QCOMPARE(hall.members.at(0).name, QString("Amy"));
    QCOMPARE(hall.members.at(1).name, QString("bob (掉线)")); // unknown: the id, fetched
    QVERIFY(hall.members.at(1).disconnected);
    QVERIFY(f.users.requested.contains("bob"));

    // Nothing changed: no rebuild.
    f.settle();
    QCOMPARE(f.panel->builds, before + 1);
}

void TestChannelWiring::menuStateFromTheOwnRole()
{
    Fixture f;
    f.loadChannels({"c1", "c2", "c3"});
    f.snapshot(channelSnapshot("c1", "A", "core.channel.create_attached_room"));
    f.snapshot(channelSnapshot("c2", "B", "core.channel.reorder_rooms", -1));
    MyChannelPanel::MenuState state = wiring::channelMenuState(&f.channels, "me", "c1");
    QVERIFY(state.canCreateRoom);
    QVERIFY(!state.ownerLike);
    state = wiring::channelMenuState(&f.channels, "me", "c2");
    QVERIFY(state.canCreateRoom); // the owner's role holds "*"
    QVERIFY(state.ownerLike);
    state = wiring::channelMenuState(&f.channels, "me", "c3"); // not arrived yet
    QVERIFY(!state.canCreateRoom);
    QVERIFY(!state.ownerLike);
    state = wiring::channelMenuState(&f.channels, "nobody", "c1");
    QVERIFY(!state.canCreateRoom);
}

void TestChannelWiring::orderIsRestoredAndSaved()
{
    Fixture f;
    QCOMPARE(f.panel->savedOrder(), QStringList({"c2", "c1"}));
    emit f.panel->orderChanged({"c1", "c2", "c3"});
    QCOMPARE(f.storage.channels, QStringList({"c1", "c2", "c3"}));
}

void TestChannelWiring::createChannelThroughThePrompt()
{
    Fixture f;
    const auto answerPrompt = [](const QString &text, bool accept) {
        QTimer::singleShot(0, [text, accept] {
            auto *prompt = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(prompt);
            QCOMPARE(prompt->windowTitle(), QString("创建频道"));
            QCOMPARE(prompt->labelText(), QString("频道名称 (最多 20 字)"));
            prompt->setTextValue(text);
            accept ? prompt->accept() : prompt->reject();
        });
    };
    answerPrompt("  New guild ", false);
    emit f.ui->window.createChannelRequested();
    answerPrompt("   ", true);
    emit f.ui->window.createChannelRequested();
    QVERIFY(f.http.callsTo("/v1/channels").isEmpty());

    answerPrompt("  New guild ", true);
    emit f.ui->window.createChannelRequested();
    QCOMPARE(f.http.calls.size(), 1);
    QCOMPARE(f.http.calls.at(0).method, HttpMethod::Post);
    QCOMPARE(f.http.calls.at(0).body.value("name").toString(), QString("New guild"));
    f.http.reply(0, jsonReply(200, {{"channelId", "c9"}}));
    // Success fetches the list again, which brings the new channel.
    QCOMPARE(f.http.calls.size(), 2);
    QCOMPARE(f.http.calls.at(1).method, HttpMethod::Get);
    QCOMPARE(f.http.calls.at(1).path, QString("/v1/channels"));

    answerPrompt("Other", true);
    emit f.ui->window.createChannelRequested();
    f.http.reply(2, jsonReply(500, {}));
    QCOMPARE(playedMessages(f.statusBar(), 1), QStringList{"创建频道失败"});
}

void TestChannelWiring::createRoomAndReorderRooms()
{
    Fixture f;
    emit f.panel->createRoomRequested("c1");
    QCOMPARE(f.http.calls.at(0).path, QString("/v1/channels/c1/rooms"));
    f.http.reply(0, jsonReply(200, {{"roomId", "r5"}, {"name", "x"}}));
    emit f.panel->createRoomRequested("c1");
    f.http.reply(1, jsonReply(403, {}));

    emit f.panel->roomOrderChanged("c1", {"r2", "r1"});
    QCOMPARE(f.http.calls.at(2).path, QString("/v1/channels/c1/room-order"));
    QCOMPARE(f.http.calls.at(2).body.value("roomIds").toArray(), QJsonArray({"r2", "r1"}));
    f.http.reply(2, jsonReply(409, {{"message", "顺序已过期"}}));
    emit f.panel->roomOrderChanged("c1", {"r1", "r2"});
    f.http.reply(3, jsonReply(500, {}));
    QCOMPARE(playedMessages(f.statusBar(), 3), QStringList({"创建房间失败", "顺序已过期", "调整房间顺序失败"}));
}

void TestChannelWiring::leavingAChannel()
{
    Fixture f;
    emit f.panel->leaveChannelRequested("c1");
    QCOMPARE(f.http.calls.at(0).method, HttpMethod::Delete);
    QCOMPARE(f.http.calls.at(0).path, QString("/v1/channels/c1/members/me"));
    f.http.reply(0, jsonReply(403, {{"code", "channel.owner_cannot_leave"}, {"message", "server text"}}));
    emit f.panel->leaveChannelRequested("c1");
    f.http.reply(1, jsonReply(500, {}));
    emit f.panel->leaveChannelRequested("c1");
    f.http.reply(2, jsonReply(200, {}));
    QCOMPARE(playedMessages(f.statusBar(), 2),
             QStringList({"频道主不能直接退出, 请先转让频道主或解散频道", "退出频道失败"}));
}

void TestChannelWiring::membershipLostMessages()
{
    Fixture f;
    f.loadChannels({"c1", "c2", "c3", "c4"});
    emit f.gateway.eventReceived("channel.member.removed", {{"channelId", "c1"}, {"userId", "me"}}, 1);
    emit f.gateway.eventReceived("channel.member.banned", {{"channelId", "c2"}, {"userId", "me"}}, 1);
    emit f.gateway.eventReceived("channel.member.left", {{"channelId", "c3"}, {"userId", "me"}}, 1);
    emit f.gateway.eventReceived("channel.deleted", {{"channelId", "c4"}}, 1);
    emit f.list.membershipLost("c5", "other");
    QCOMPARE(f.list.channelIds(), QStringList());
    QCOMPARE(playedMessages(f.statusBar(), 3), QStringList({"你已被移出频道", "你已被频道封禁", "频道已解散"}));
}

void TestChannelWiring::resultsAfterTheWindowIsGoneAreDropped()
{
    Fixture f;
    emit f.panel->leaveChannelRequested("c1");
    emit f.panel->createRoomRequested("c1");
    emit f.panel->roomOrderChanged("c1", {"r1"});
    f.ui.reset();
    f.http.reply(0, jsonReply(500, {}));
    f.http.reply(1, jsonReply(500, {}));
    f.http.reply(2, jsonReply(500, {}));
    // The list's signals no longer reach anything of the old window.
    emit f.list.membershipLost("c1", "deleted");
    QCOMPARE(f.http.calls.size(), 3);
}

void TestChannelWiring::settledClientWithANamelessMemberIsIdle()
{
    SettledClient c;
    // The channel list and the channel, whose room "r1" is the active room.
    c.list.bootstrap();
    c.http.answer("/v1/channels", 0, jsonReply(200, {{"channels", QJsonArray{"c1"}}}));
    c.channels.retain("c1");
    c.channelFeed.handleBundle("channel:c1", channelSnapshot("c1", "Guild", "x", 2, {"r1"}));
    c.room.activate("r1");
    c.room.store.retain("r1");
    c.room.snapshot(RoomSnapshotBuilder("r1").name("Hall").channel("c1").present({"me", "ghost", "bob"}));
    // The directory answers: "ghost" exists but has neither nickname nor username.
    QTRY_VERIFY(!c.http.callsTo("/v1/users/batch-get").isEmpty());
    const qsizetype batch = c.http.callsTo("/v1/users/batch-get").size() - 1;
    c.http.answer("/v1/users/batch-get", batch,
                  jsonReply(200, {{"users", QJsonArray{QJsonObject{{"userId", "ghost"}, {"nickname", ""}, {"username", ""}},
                                                        QJsonObject{{"userId", "bob"}, {"nickname", "Bob"}},
                                                        QJsonObject{{"userId", "me"}, {"nickname", "Me"}}}}}));
    // The channel settings dialog names the same members.
    emit c.panel->channelSettingsRequested("c1");
    QTRY_VERIFY(findDialog<ChannelSettingsDialog>(&c.ui->window) != nullptr);
    QTest::qWait(200);

    const QList<blocks::ChannelBlockData> shownChannels = c.panel->blocksData().sections.value(0).channels;
    QCOMPARE(shownChannels.size(), 1);
    QCOMPARE(shownChannels.at(0).rooms.size(), 1);
    QStringList names;
    for (const auto &member : shownChannels.at(0).rooms.at(0).members)
        names << member.name;
    QVERIFY2(names.contains("ghost"), qPrintable(names.join(',')));

    // Settled: an idle loop rebuilds nothing and asks nothing.
    QSignalSpy ticks(c.feed, &wiring::RoomPanelsFeed::assembleTicked);
    const int builds = c.panel->builds;
    const int requests = c.directory.requests;
    const qsizetype calls = c.http.calls.size() + c.room.http.calls.size();
    QTest::qWait(1500);
    QCOMPARE(ticks.size(), 0);
    QCOMPARE(c.panel->builds, builds);
    QCOMPARE(c.directory.requests, requests);
    QCOMPARE(c.http.calls.size() + c.room.http.calls.size(), calls);
}

KESTOVA_TEST_MAIN(TestChannelWiring)
#include "test_channel_wiring.moc"
