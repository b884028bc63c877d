#include "chat_tab_stand_in.h"
#include "scripted_resolver.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_chat_service.h"
#include "room/room_entity.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_moderation_service.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/fake_raw_uploader.h"
#include "support/pending_raw_downloader.h"
#include "support/room_snapshot_builder.h"
#include "ui/main/main_status_bar.h"
#include "ui/panels/my_room_panel.h"
#include "user/user_profile.h"
#include "user/user_state.h"
#include "wiring/chat_wiring_tab.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using testsupport::jsonReply;

namespace {

const QString kMessages = QStringLiteral("/v1/im/rooms/r/messages");

QJsonObject messageJson(qint64 seq, const QString &userId, const QString &content = QString(), qint64 tagId = 0)
{
    QJsonObject m{{"roomId", "r"},      {"messageId", QStringLiteral("m%1").arg(seq)},
                  {"userId", userId},   {"content", content.isEmpty() ? QStringLiteral("text %1").arg(seq) : content},
                  {"seq", double(seq)}, {"sentAt", double(1700000000000 + seq * 1000)}};
    if (tagId > 0)
        m.insert("tagId", double(tagId));
    return m;
}

// A page as the server lists it: newest first.
QJsonObject pageJson(qint64 from, qint64 to, const QString &userId = QStringLiteral("u2"))
{
    QJsonArray history;
    for (qint64 s = to; s >= from; --s)
        history.append(messageJson(s, userId));
    return QJsonObject{{"history", history}};
}

RoomAclRole role(qint64 id, int level, QSet<QString> permissions)
{
    RoomAclRole r;
    r.roleId = id;
    r.level = level;
    r.permissions = std::move(permissions);
    return r;
}

QAction *findAction(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

// The real chat service over the fake REST client, the real feed views in the tab, and
// the chat wiring between them.
struct ChatWiringFixture
{
    testsupport::FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    ActiveRoomSession session{&http, &store, &feed, &registry};
    testsupport::FakeRawUploader uploads;
    RoomChatService chat{&http, &uploads, &session};
    RoomModerationService moderation{&http, &session};
    ChannelEntityStore channels;
    UserState user;
    ScriptedResolver users;
    testsupport::PendingRawDownloader downloader;
    MainStatusBar statusBar;
    MyRoomPanel myRooms;
    ChatTabStandIn tab;

    explicit ChatWiringFixture(bool signedIn = true)
    {
        statusBar.setTimings(1, 20, 1);
        QObject::connect(&session, &ActiveRoomSession::activeRoomChanged, &chat, &RoomChatService::onActiveRoomChanged);
        if (signedIn)
            user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
        users.names.insert("u2", {"Bob", "bob"});
        wiring::ChatWiring in;
        in.activeRoom = &session;
        in.roomStore = &store;
        in.chat = &chat;
        in.moderation = &moderation;
        in.user = &user;
        in.users = &users;
        in.channelStore = &channels;
        in.downloader = &downloader;
        in.statusBar = &statusBar;
        in.myRoomPanel = &myRooms;
        wiring::wireChatTab(&tab, tab.mixedFeed(), in);
    }

    RoomEntity *holdRoom(const QString &roomId, const QString &name)
    {
        RoomEntity *room = store.retain(roomId);
        room->name = name;
        return room;
    }

    // Loads the followed rooms and answers with `rooms`.
    void follow(const QStringList &rooms)
    {
        chat.fetchSubscriptions();
        http.reply(http.calls.size() - 1, jsonReply(200, {{"rooms", QJsonArray::fromStringList(rooms)}}));
    }

    // Follows "r", whose feed becomes current and asks for its latest page; answers it.
    ChatFeedView *openRoom(const QJsonObject &latestPage = QJsonObject{{"history", QJsonArray()}})
    {
        follow({"r"});
        http.answer(kMessages, http.callsTo(kMessages).size() - 1, jsonReply(200, latestPage));
        return tab.feedView("r");
    }

    void event(const QString &name, const QJsonObject &payload) { chat.handleGatewayEvent(name, payload); }
};

class TestChatWiring : public QObject
{
    Q_OBJECT

private slots:
    void messageRoadFromGatewayToRowAndMergedFeed();
    void typedMessageAppearsOnlyWhenTheServerCopyReturns();
    void failedSendKeepsTheTextAndNamesTheFailure_data();
    void failedSendKeepsTheTextAndNamesTheFailure();
    void historyOnScroll();
    void messageActionsFollowPermissions_data();
    void messageActionsFollowPermissions();
    void hideAndRetagReachServiceAndBothFeeds();
    void imageUploadProgressFinishAndFailure();
    void forumModeTagsThreadAndReadCursor();
    void ownFlagRecomputedWhenTheProfileArrives();
    void feedTabsLabelsSelectionAndSubscribing();
    void tagEditPermissionWithoutCreator();
};

void TestChatWiring::messageRoadFromGatewayToRowAndMergedFeed()
{
    ChatWiringFixture f;
    f.holdRoom("r", "Lobby");
    ChatFeedView *feed = f.openRoom(pageJson(1, 2));
    QVERIFY(feed != nullptr);
    QCOMPARE(f.tab.feedTabs().size(), 1);
    QCOMPARE(f.tab.feedTabs().at(0).label, QString("Lobby"));
    QVERIFY(f.tab.loader() != nullptr);

    // A history page reaches the room's feed only.
    QCOMPARE(feed->flatEntries().size(), 2);
    QCOMPARE(feed->flatEntries().at(0).message.senderName, QString("Bob"));
    QVERIFY(f.tab.mixedFeed()->storedItems().isEmpty());

    // A new message from a user nobody knows yet, with an image.
    QJsonObject payload = messageJson(3, "u3", "look", 0);
    payload.insert("title", "T");
    payload.insert("attachments", QJsonArray{QJsonObject{{"attachmentId", "a1"},
                                                         {"url", "https://files.invalid/a1"},
                                                         {"thumbUrl", "https://files.invalid/a1t"},
                                                         {"width", 40},
                                                         {"height", 30},
                                                         {"contentType", "image/png"},
                                                         {"sizeBytes", 1234},
                                                         {"fileName", "a.png"}}});
    f.event("im.message.sent", payload);

    QCOMPARE(feed->flatEntries().size(), 3);
    const ChatFeedView::Message m = feed->flatEntries().last().message;
    QCOMPARE(m.id, QString("m3"));
    QCOMPARE(m.seq, 3);
    QCOMPARE(m.createdAt, 1700000003000);
    QCOMPARE(m.senderId, QString("u3"));
    QCOMPARE(m.senderName, QString("\u2026"));
    QCOMPARE(m.content, QString("look"));
    QCOMPARE(m.title, QString("T"));
    QVERIFY(!m.own);
    QCOMPARE(m.attachments.size(), 1);
    QCOMPARE(m.attachments.at(0).thumbUrl, QString("https://files.invalid/a1t"));
    QCOMPARE(m.attachments.at(0).sizeBytes, 1234);
    QCOMPARE(m.attachments.at(0).fileName, QString("a.png"));
    QVERIFY(f.users.requested.contains("u3"));

    const QList<MixedFeedView::Item> &items = f.tab.mixedFeed()->storedItems();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.at(0).roomId, QString("r"));
    QCOMPARE(items.at(0).messageId, QString("m3"));
    QCOMPARE(items.at(0).senderId, QString("u3"));
    QCOMPARE(items.at(0).attachments.at(0).attachmentId, QString("a1"));
    // The merged feed names rooms and people through the wiring.
    QCOMPARE(f.tab.mixedFeed()->roomNameResolver("r"), QString("Lobby"));
    QCOMPARE(f.tab.mixedFeed()->userNameResolver("u2"), QString("Bob"));

    // The same message again (a resync) adds no row.
    f.event("im.message.sent", payload);
    QCOMPARE(feed->flatEntries().size(), 3);
}

void TestChatWiring::typedMessageAppearsOnlyWhenTheServerCopyReturns()
{
    ChatWiringFixture f;
    ChatFeedView *feed = f.openRoom();
    feed->inputLine()->setText("  hello  ");
    emit feed->inputLine()->returnPressed();

    const QList<testsupport::FakeHttpClient::Call> sends = [&] {
        QList<testsupport::FakeHttpClient::Call> posts;
        for (const auto &call : f.http.callsTo(kMessages)) {
            if (call.method == HttpMethod::Post)
                posts << call;
        }
        return posts;
    }();
    QCOMPARE(sends.size(), 1);
    QCOMPARE(sends.at(0).body.value("content").toString(), QString("hello"));
    // Nothing shown yet; the line holds its text until the server answers.
    QVERIFY(feed->flatEntries().isEmpty());
    QVERIFY(feed->inputLine()->isReadOnly());

    f.http.answer(kMessages, f.http.callsTo(kMessages).size() - 1, jsonReply(201));
    QVERIFY(feed->inputLine()->text().isEmpty());
    QVERIFY(!feed->inputLine()->isReadOnly());
    QVERIFY(feed->flatEntries().isEmpty());

    f.event("im.message.sent", messageJson(9, "me", "hello"));
    QCOMPARE(feed->flatEntries().size(), 1);
    QVERIFY(feed->flatEntries().at(0).message.own);
    QCOMPARE(feed->flatEntries().at(0).message.senderName, QString("\u2026"));
    QCOMPARE(f.tab.mixedFeed()->storedItems().size(), 1);
}

void TestChatWiring::failedSendKeepsTheTextAndNamesTheFailure_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("serverMessage");
    QTest::addColumn<QString>("shown");
    QTest::newRow("server message") << 403 << "你已被禁言"
                                    << "你已被禁言";
    QTest::newRow("no message") << 500 << ""
                                << "消息发送失败，请稍后重试";
    QTest::newRow("no answer") << 0 << ""
                               << "消息发送失败，请稍后重试";
}

void TestChatWiring::failedSendKeepsTheTextAndNamesTheFailure()
{
    QFETCH(int, status);
    QFETCH(QString, serverMessage);
    QFETCH(QString, shown);
    ChatWiringFixture f;
    ChatFeedView *feed = f.openRoom();
    feed->inputLine()->setText("again");
    emit feed->inputLine()->returnPressed();
    QJsonObject body;
    if (!serverMessage.isEmpty())
        body = QJsonObject{{"code", "room.text_muted"}, {"message", serverMessage}};
    f.http.answer(kMessages, f.http.callsTo(kMessages).size() - 1,
                  status == 0 ? testsupport::networkErrorReply() : jsonReply(status, body));
    QTRY_COMPARE(f.statusBar.currentMessage(), shown);
    QCOMPARE(feed->inputLine()->text(), QString("again"));
    QVERIFY(!feed->inputLine()->isReadOnly());
    QVERIFY(feed->flatEntries().isEmpty());
}

void TestChatWiring::historyOnScroll()
{
    ChatWiringFixture f;
    ChatFeedView *feed = f.openRoom(pageJson(71, 100));
    QCOMPARE(feed->flatEntries().size(), 30);
    QCOMPARE(feed->oldestLoadedSeq(), 71);

    // Scrolled to the top: the page before the oldest message is asked for.
    emit feed->flatScrollArea()->verticalScrollBar()->valueChanged(0);
    const QString older = QStringLiteral("/v1/im/rooms/r/messages?beforeSeq=71");
    QCOMPARE(f.http.callsTo(older).size(), 1);
    f.http.answer(older, 0, jsonReply(200, pageJson(41, 70)));
    QCOMPARE(feed->flatEntries().size(), 60);
    QCOMPARE(feed->flatEntries().first().message.seq, 41);
    QCOMPARE(feed->flatEntries().last().message.seq, 100);
    QCOMPARE(feed->oldestLoadedSeq(), 41);
    QVERIFY(f.tab.mixedFeed()->storedItems().isEmpty());

    // An empty older page ends the scrolling back.
    emit feed->flatScrollArea()->verticalScrollBar()->valueChanged(0);
    f.http.answer(QStringLiteral("/v1/im/rooms/r/messages?beforeSeq=41"), 0,
                  jsonReply(200, {{"history", QJsonArray()}}));
    QVERIFY(feed->isOlderExhausted());
}

void TestChatWiring::messageActionsFollowPermissions_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("cascade");
    QTest::addColumn<bool>("allowed");
    // Me: level 5 holding the four keys.
    QTest::newRow("same level") << "peer" << false << false;
    QTest::newRow("lower level") << "low" << false << true;
    QTest::newRow("no role") << "stranger" << false << true;
    QTest::newRow("higher level") << "boss" << false << false;
    QTest::newRow("same level, channel cascade") << "peer" << true << true;
    QTest::newRow("higher level, channel cascade") << "boss" << true << true;
}

void TestChatWiring::messageActionsFollowPermissions()
{
    QFETCH(QString, sender);
    QFETCH(bool, cascade);
    QFETCH(bool, allowed);
    ChatWiringFixture f;
    RoomEntity *room = f.holdRoom("r", "Lobby");
    room->publicState.channelId = "c1";
    room->publicState.roles = {role(1, 5,
                                    {"core.room.hide_message", "core.room.retag_other_messages",
                                     "core.room.mute_text_members", "core.room.ban_members"}),
                               role(2, 4, {}), role(3, 9, {})};
    room->publicState.memberRoles = {{"me", 1}, {"peer", 1}, {"low", 2}, {"boss", 3}};
    if (cascade) {
        f.channels.retain("c1");
        ChannelEntity channel;
        channel.channelId = "c1";
        channel.valid = true;
        ChannelRole channelRole;
        channelRole.roleId = 5;
        channelRole.permissions = {"*"};
        channel.roles = {channelRole};
        channel.members = {ChannelMember{"me", 5, 0}};
        f.channels.applyBundle("c1", channel);
    }
    ChatFeedView *feed = f.openRoom();
    f.chat.refreshTags("r");
    f.http.answer("/v1/im/rooms/r/tags", 0,
                  jsonReply(200,
                            {{"enabled", true},
                             {"tags", QJsonArray{QJsonObject{{"tagId", 1}, {"name", "a"}, {"firstMessageId", "m0"}},
                                                 QJsonObject{{"tagId", 2}, {"name", "b"}}}}}));
    f.http.answer("/v1/im/rooms/r/unread", 0, jsonReply(200));
    f.event("im.message.sent", messageJson(5, sender, "x", 1));

    std::unique_ptr<QMenu> menu(feed->buildMessageMenu("m5"));
    QVERIFY(menu != nullptr);
    QCOMPARE(findAction(menu.get(), "隐藏此消息")->isEnabled(), allowed);
    QCOMPARE(findAction(menu.get(), "禁言此用户")->isEnabled(), allowed);
    QCOMPARE(findAction(menu.get(), "封禁此用户")->isEnabled(), allowed);
    QCOMPARE(findAction(menu.get(), "修改消息所属标签")->isEnabled(), allowed);

    // An own message may always be hidden; retagging it asks its own key, which me lacks
    // unless the channel grants every key.
    f.event("im.message.sent", messageJson(6, "me", "mine", 1));
    std::unique_ptr<QMenu> ownMenu(feed->buildMessageMenu("m6"));
    QVERIFY(findAction(ownMenu.get(), "隐藏此消息")->isEnabled());
    QCOMPARE(findAction(ownMenu.get(), "修改消息所属标签")->isEnabled(), cascade);
    QVERIFY(!findAction(ownMenu.get(), "禁言此用户")->isEnabled());
}

void TestChatWiring::hideAndRetagReachServiceAndBothFeeds()
{
    ChatWiringFixture f;
    RoomEntity *room = f.holdRoom("r", "Lobby");
    room->publicState.roles = {role(1, 5,
                                    {"core.room.hide_message", "core.room.retag_other_messages",
                                     "core.room.mute_text_members", "core.room.ban_members"})};
    room->publicState.memberRoles = {{"me", 1}};
    ChatFeedView *feed = f.openRoom();
    f.chat.refreshTags("r");
    f.http.answer("/v1/im/rooms/r/tags", 0,
                  jsonReply(200, {{"enabled", true},
                                  {"tags", QJsonArray{QJsonObject{{"tagId", 1}, {"name", "a"}},
                                                      QJsonObject{{"tagId", 2}, {"name", "b"}}}}}));
    f.http.answer("/v1/im/rooms/r/unread", 0, jsonReply(200));
    f.event("im.message.sent", messageJson(5, "u2", "x", 1));

    std::unique_ptr<QMenu> menu(feed->buildMessageMenu("m5"));
    findAction(menu.get(), "隐藏此消息")->trigger();
    const auto hides = f.http.callsTo("/v1/im/rooms/r/messages/m5");
    QCOMPARE(hides.size(), 1);
    QCOMPARE(hides.at(0).body, (QJsonObject{{"hidden", true}}));
    // The row changes only when the room's event says so.
    QVERIFY(!feed->flatEntries().last().message.hidden);
    f.event("im.message.hidden", {{"roomId", "r"}, {"messageId", "m5"}, {"hidden", true}});
    QVERIFY(feed->flatEntries().last().message.hidden);
    QVERIFY(f.tab.mixedFeed()->storedItems().last().hidden);

    QMenu *retag = findAction(menu.get(), "修改消息所属标签")->menu();
    findAction(retag, "b")->trigger();
    const auto retags = f.http.callsTo("/v1/im/rooms/r/messages/m5/tag");
    QCOMPARE(retags.size(), 1);
    QCOMPARE(retags.at(0).body, (QJsonObject{{"tagId", 2}}));
    f.event("im.message.retagged", {{"roomId", "r"}, {"messageId", "m5"}, {"tagId", 2}});
    QCOMPARE(feed->flatEntries().last().message.tagId, 2);
    QCOMPARE(f.tab.mixedFeed()->storedItems().last().tagId, 2);
    QCOMPARE(f.tab.mixedFeed()->tagNameResolver("r", 2), QString("b"));

    // Mute and ban leave for the moderation service, in the feed's room.
    emit feed->muteUserRequested("u2", 1700000600000);
    emit feed->banRequested("u2");
    QCOMPARE(f.http.callsTo("/v1/rooms/r/members/u2/mutes/text").size(), 1);
    QCOMPARE(f.http.callsTo("/v1/rooms/r/bans/u2").size(), 1);
}

void TestChatWiring::imageUploadProgressFinishAndFailure()
{
    ChatWiringFixture f;
    ChatFeedView *feed = f.openRoom();
    const ChatPendingImage image{"a.png", QByteArray(200, 'x'), "image/png", 10, 10};
    const QString attachments = QStringLiteral("/v1/im/rooms/r/attachments");

    feed->sendImages({image}, "look", 0, QString());
    QCOMPARE(feed->uploads().size(), 1);
    const QString batch = feed->uploads().keys().first();
    QCOMPARE(f.http.callsTo(attachments).size(), 1);
    QCOMPARE(f.http.callsTo(attachments).at(0).body.value("fileName").toString(), QString("a.png"));
    QCOMPARE(f.http.callsTo(attachments).at(0).body.value("contentType").toString(), QString("image/png"));
    f.http.answer(attachments, 0,
                  jsonReply(200, {{"attachmentId", "att-1"}, {"uploadUrl", "https://files.invalid/1"}}));
    QCOMPARE(f.uploads.puts.size(), 1);
    QCOMPARE(f.uploads.puts.at(0).body, image.data);
    f.uploads.progress(0, 100, 200);
    QCOMPARE(feed->uploads().value(batch).progressBar->value(), 50);
    f.uploads.finish(0, jsonReply(200));
    // The message goes out; once the server took it the card is gone, and the row comes
    // with the server's copy.
    QCOMPARE(f.http.calls.last().path, kMessages);
    QCOMPARE(f.http.calls.last().body.value("attachmentIds").toArray(), QJsonArray{"att-1"});
    QCOMPARE(feed->uploads().size(), 1);
    f.http.reply(f.http.calls.size() - 1, jsonReply(201));
    QVERIFY(feed->uploads().isEmpty());

    // A refused upload turns its card into the failed state with the reason; the status
    // bar stays quiet.
    feed->sendImages({image}, QString(), 0, QString());
    const QString second = feed->uploads().keys().first();
    f.http.answer(attachments, 1, jsonReply(413, {{"code", "file.too_large"}, {"message", "too large"}}));
    const ChatFeedView::PendingUpload failed = feed->uploads().value(second);
    QVERIFY(failed.errorLabel);
    QVERIFY(!failed.errorLabel->text().isEmpty());
    QVERIFY(!failed.errorLabel->isHidden());
    QVERIFY(failed.progressBar->isHidden());
    QVERIFY(f.statusBar.currentMessage().isEmpty());

    // A cancelled batch stops before its next image.
    feed->sendImages({image, image}, QString(), 0, QString());
    QString third;
    for (const QString &id : feed->uploads().keys()) {
        if (id != second)
            third = id;
    }
    emit feed->uploadCancelRequested(third);
    f.http.answer(attachments, 2,
                  jsonReply(200, {{"attachmentId", "att-3"}, {"uploadUrl", "https://files.invalid/3"}}));
    f.uploads.finish(f.uploads.puts.size() - 1, jsonReply(200));
    QCOMPARE(f.http.callsTo(attachments).size(), 3);
}

void TestChatWiring::forumModeTagsThreadAndReadCursor()
{
    ChatWiringFixture f;
    ChatFeedView *feed = f.openRoom();
    f.chat.refreshTags("r");
    f.http.answer("/v1/im/rooms/r/tags", 0,
                  jsonReply(200, {{"enabled", true},
                                  {"tags", QJsonArray{QJsonObject{{"tagId", 7},
                                                                  {"name", "主题"},
                                                                  {"createdBy", "u2"},
                                                                  {"lastSeq", 12},
                                                                  {"firstUserId", "u2"},
                                                                  {"firstTitle", "开篇"},
                                                                  {"messageCount", 3}}}}}));
    f.http.answer("/v1/im/rooms/r/unread", 0,
                  jsonReply(200, {{"unread", QJsonArray{QJsonObject{{"tagKey", 7}, {"unread", 2}}}}}));
    QCOMPARE(f.tab.mixedFeed()->tagNameResolver("r", 7), QString("主题"));

    feed->setForumMode(true);
    QVERIFY(feed->isForumMode());
    QCOMPARE(feed->forumCardLayout()->count() > 0, true);
    feed->openThread(7);
    // Opening reports the read cursor and asks for the thread.
    const auto cursor = f.http.callsTo("/v1/im/rooms/r/read-cursor");
    QCOMPARE(cursor.size(), 1);
    QCOMPARE(cursor.at(0).body, (QJsonObject{{"tagKey", 7}, {"seq", 12}}));
    const QString thread = QStringLiteral("/v1/im/rooms/r/messages?tagId=7&afterSeq=0");
    QCOMPARE(f.http.callsTo(thread).size(), 1);
    f.http.answer(thread, 0,
                  jsonReply(200,
                            {{"history", QJsonArray{messageJson(10, "u2", "a", 7), messageJson(12, "me", "b", 7)}}}));
    QCOMPARE(feed->threadPageEntries().size(), 2);
    QVERIFY(feed->threadPageEntries().at(1).message.own);
    QCOMPARE(feed->threadPageEntries().at(0).message.senderName, QString("Bob"));

    // A new tag list replaces the room's names: a tag that went away has none.
    f.chat.refreshTags("r");
    f.http.answer("/v1/im/rooms/r/tags", 1, jsonReply(200, {{"enabled", true}, {"tags", QJsonArray()}}));
    f.http.answer("/v1/im/rooms/r/unread", 1, jsonReply(200));
    QCOMPARE(f.tab.mixedFeed()->tagNameResolver("r", 7), QString());
}

void TestChatWiring::ownFlagRecomputedWhenTheProfileArrives()
{
    ChatWiringFixture f(false);
    ChatFeedView *feed = f.openRoom(pageJson(1, 2, "me"));
    QCOMPARE(feed->flatEntries().size(), 2);
    QVERIFY(!feed->flatEntries().at(0).message.own);

    f.user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
    QVERIFY(feed->flatEntries().at(0).message.own);
    QVERIFY(feed->flatEntries().at(1).message.own);
    // Only the own user's messages turn own.
    f.event("im.message.sent", messageJson(3, "u2"));
    QVERIFY(!feed->flatEntries().at(2).message.own);
    std::unique_ptr<QMenu> menu(feed->buildMessageMenu("m1"));
    QVERIFY(findAction(menu.get(), "隐藏此消息")->isEnabled());
    QVERIFY(!findAction(menu.get(), "禁言此用户")->isEnabled());

    // Signed out: nothing is own any more.
    f.user.clear();
    QVERIFY(!feed->flatEntries().at(0).message.own);
}

void TestChatWiring::feedTabsLabelsSelectionAndSubscribing()
{
    ChatWiringFixture f;
    // The active room, with a parent the store holds under no name.
    f.session.enter("A");
    f.session.onStreamReady(publicStreamTarget("A"));
    f.session.onStreamReady(privateStreamTarget("A"));
    f.feed.onStreamSnapshot(testsupport::RoomSnapshotBuilder("A").name("Alpha").parent("P").publicTarget(),
                            testsupport::RoomSnapshotBuilder("A").name("Alpha").parent("P").publicSnapshot());
    f.follow({"F"});
    auto labels = [&] {
        QStringList out;
        for (const ChatTabStandIn::FeedTab &t : f.tab.feedTabs())
            out << t.label;
        return out;
    };
    QCOMPARE(labels(), (QStringList{"Alpha (当前)", "P (父房)", "F"}));
    QCOMPARE(f.tab.mixedFeed()->roomNameResolver("F"), QString("F"));

    // The active room selected again stays one tab.
    emit f.myRooms.roomSelected("A");
    QCOMPARE(labels(), (QStringList{"Alpha (当前)", "P (父房)", "F"}));

    // Another room selected gets its tab and is made current.
    f.holdRoom("S", "Side");
    emit f.myRooms.roomSelected("S");
    QCOMPARE(labels(), (QStringList{"Alpha (当前)", "P (父房)", "Side (选中)", "F"}));
    QCOMPARE(f.tab.currentFeed(), QString("S"));

    // Following a room from a panel passes its stored name; the followed room may be
    // left again, the others not.
    f.holdRoom("G", "Garden");
    emit f.myRooms.roomChatSubscribeRequested("G");
    const auto puts = f.http.callsTo("/v1/users/me/chat-subscriptions/G");
    QCOMPARE(puts.size(), 1);
    f.http.answer("/v1/users/me/chat-subscriptions/G", 0, jsonReply(200));
    QCOMPARE(f.chat.subscribedRoomName("G"), QString("Garden"));
    QCOMPARE(labels().last(), QString("Garden"));
    QVERIFY(f.tab.unsubscribePredicate()("G"));
    QVERIFY(!f.tab.unsubscribePredicate()("A"));
    QVERIFY(!f.tab.unsubscribePredicate()("g"));
}

void TestChatWiring::tagEditPermissionWithoutCreator()
{
    ChatWiringFixture f;
    RoomEntity *room = f.holdRoom("r", "Lobby");
    // Level 1 holding only the key for other people's tags; the creator "boss" is above.
    room->publicState.roles = {role(1, 1, {"core.room.edit_other_tags"}), role(2, 9, {})};
    room->publicState.memberRoles = {{"me", 1}, {"boss", 2}};
    wiring::ChatWiring in;
    in.roomStore = &f.store;
    in.chat = &f.chat;
    in.user = &f.user;
    in.channelStore = &f.channels;
    const wiring::ChatPredicates p = wiring::chatPredicates(in);
    QVERIFY(p.canEditTag("r", QString()));
    QVERIFY(!p.canEditTag("r", "boss"));
    QVERIFY(!p.canEditTag("r", "me")); // own tag: its own key
    QVERIFY(!p.canCreateTag("r"));
    QVERIFY(!p.canEditTag("elsewhere", QString()));
}

QTEST_MAIN(TestChatWiring)
#include "test_chat_wiring.moc"
