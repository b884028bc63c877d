#include "chat_test_fixture.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

QJsonObject tagJson(qint64 tagId, const QString &name)
{
    return QJsonObject{{"tagId", double(tagId)}, {"name", name},       {"createdBy", "u1"},
                       {"firstMessageId", "m1"}, {"messageCount", 4},  {"lastSeq", "77"},
                       {"lastMessageAt", 1000},  {"firstTitle", "T"},  {"firstUserId", "u2"},
                       {"firstContent", "c"},    {"firstHidden", true}};
}

QJsonObject sent(qint64 seq, const QString &roomId = QStringLiteral("r"), qint64 tagId = 0)
{
    return QJsonObject{{"roomId", roomId},   {"messageId", QStringLiteral("m%1").arg(seq)},
                       {"seq", double(seq)}, {"tagId", double(tagId)},
                       {"content", "text"},  {"title", "title"}};
}

} // namespace

class RoomChatTagsTest : public QObject
{
    Q_OBJECT

private slots:
    // The tag list, then the unread list merged into it by tag key.
    void unreadMerge_data()
    {
        QTest::addColumn<HttpResponse>("unread");
        QTest::addColumn<QList<qint64>>("counts");
        QTest::newRow("all listed") << jsonReply(200,
                                                 {{"unread", QJsonArray{QJsonObject{{"tagKey", 1}, {"unread", 3}},
                                                                        QJsonObject{{"tagKey", 2}, {"unread", 5}}}}})
                                    << QList<qint64>{3, 5};
        QTest::newRow("one missing") << jsonReply(200,
                                                  {{"unread", QJsonArray{QJsonObject{{"tagKey", 2}, {"unread", 5}}}}})
                                     << QList<qint64>{0, 5};
        QTest::newRow("duplicate: later wins")
            << jsonReply(200, {{"unread", QJsonArray{QJsonObject{{"tagKey", 1}, {"unread", 3}},
                                                     QJsonObject{{"tagKey", 1}, {"unread", 8}}}}})
            << QList<qint64>{8, 0};
        QTest::newRow("failed") << jsonReply(500, {{"unread", QJsonArray{QJsonObject{{"tagKey", 1}, {"unread", 3}}}}})
                                << QList<qint64>{0, 0};
    }

    void unreadMerge()
    {
        QFETCH(HttpResponse, unread);
        QFETCH(QList<qint64>, counts);
        ChatFixture f;
        LogCapture log;
        QSignalSpy tags(&f.chat, &RoomChatService::tagsChanged);
        f.chat.refreshTags(QString());
        QVERIFY(f.http.calls.isEmpty());
        f.chat.refreshTags("r/1"); // no subscription needed
        QCOMPARE(f.http.calls.at(0).path, QStringLiteral("/v1/im/rooms/r%2F1/tags"));
        f.http.reply(0, jsonReply(200, {{"enabled", true}, {"tags", QJsonArray{tagJson(1, "a"), tagJson(2, "b")}}}));
        QCOMPARE(tags.count(), 0);
        QCOMPARE(f.http.calls.at(1).path, QStringLiteral("/v1/im/rooms/r%2F1/unread"));
        f.http.reply(1, unread);
        QCOMPARE(tags.count(), 1);
        QCOMPARE(tags.at(0).at(0).toString(), QStringLiteral("r/1"));
        QCOMPARE(tags.at(0).at(1).toBool(), true);
        const auto list = tags.at(0).at(2).value<QList<RoomChatService::ChatTagInfo>>();
        QCOMPARE(list.size(), 2);
        QCOMPARE(QList<qint64>({list.at(0).unread, list.at(1).unread}), counts);
        RoomChatService::ChatTagInfo first{1, "a", "u1", "m1", 4, 77, 1000, "T", "u2", "c", true, counts.at(0)};
        QCOMPARE(list.at(0), first);
        QVERIFY(log.contains("room.chat", "tags loaded room_id=\"r/1\" enabled=true count=2"));
        if (unread.status != 200)
            QVERIFY(log.contains("room.chat", "unread fetch failed room_id=\"r/1\" status=500"));
    }

    void tagListFailureAndAbsentFlag()
    {
        ChatFixture f;
        LogCapture log;
        QSignalSpy tags(&f.chat, &RoomChatService::tagsChanged);
        f.chat.refreshTags("r");
        f.http.reply(0, jsonReply(503, {{"code", "busy"}}));
        QCOMPARE(f.http.calls.size(), 1);
        QCOMPARE(tags.count(), 0);
        QVERIFY(log.contains("room.chat", "tags fetch failed room_id=\"r\" status=503 code=\"busy\""));
        f.chat.refreshTags("r");
        f.http.reply(1, jsonReply(200, {{"tags", QJsonArray{}}}));
        f.http.reply(2, jsonReply(200));
        QCOMPARE(tags.count(), 1);
        QCOMPARE(tags.at(0).at(1).toBool(), false);
    }

    // Each operation's guards, method, path and body.
    void operations_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("room");
        QTest::addColumn<qlonglong>("tagId");
        QTest::addColumn<QString>("a");
        QTest::addColumn<qlonglong>("n");
        QTest::addColumn<int>("method"); // -1: nothing sent
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("body");
        const int post = int(HttpMethod::Post), patch = int(HttpMethod::Patch), put = int(HttpMethod::Put);
        // op 0 create (a = "name|title|content"), 1 rename, 2 archive (a = mode, n = target), 3 read cursor (n = seq)
        QTest::newRow("create") << 0 << "r" << 0LL << " N | T | C " << 0LL << post << "/v1/im/rooms/r/tags"
                                << QJsonObject{{"name", "N"}, {"title", "T"}, {"content", "C"}};
        QTest::newRow("create, blank title") << 0 << "r" << 0LL << "N| |C" << 0LL << -1 << "" << QJsonObject();
        QTest::newRow("create, not subscribed") << 0 << "x" << 0LL << "N|T|C" << 0LL << -1 << "" << QJsonObject();
        QTest::newRow("rename") << 1 << "r" << 7LL << "  new " << 0LL << patch << "/v1/im/rooms/r/tags/7"
                                << QJsonObject{{"name", "new"}};
        QTest::newRow("rename, tag 0") << 1 << "r" << 0LL << "new" << 0LL << -1 << "" << QJsonObject();
        QTest::newRow("rename, blank") << 1 << "r" << 7LL << "  " << 0LL << -1 << "" << QJsonObject();
        QTest::newRow("archive, purge") << 2 << "r" << 7LL << "purge" << 0LL << post << "/v1/im/rooms/r/tags/7/archive"
                                        << QJsonObject{{"mode", "purge"}};
        QTest::newRow("archive, transfer")
            << 2 << "r" << 7LL << "transfer" << 9LL << post << "/v1/im/rooms/r/tags/7/archive"
            << QJsonObject{{"mode", "transfer"}, {"targetTagId", 9}};
        QTest::newRow("archive, tag 0") << 2 << "r" << 0LL << "purge" << 0LL << -1 << "" << QJsonObject();
        QTest::newRow("cursor") << 3 << "r" << 7LL << "" << 0LL << put << "/v1/im/rooms/r/read-cursor"
                                << QJsonObject{{"tagKey", 7}, {"seq", 0}};
        QTest::newRow("cursor, tag 0") << 3 << "r" << 0LL << "" << 5LL << -1 << "" << QJsonObject();
        QTest::newRow("cursor, negative seq") << 3 << "r" << 7LL << "" << -1LL << -1 << "" << QJsonObject();
        QTest::newRow("cursor, not subscribed") << 3 << "x" << 7LL << "" << 5LL << -1 << "" << QJsonObject();
    }

    void operations()
    {
        QFETCH(int, op);
        QFETCH(QString, room);
        QFETCH(qlonglong, tagId);
        QFETCH(QString, a);
        QFETCH(qlonglong, n);
        QFETCH(int, method);
        QFETCH(QString, path);
        QFETCH(QJsonObject, body);
        ChatFixture f;
        f.follow({"r"});
        const qsizetype before = f.http.calls.size();
        if (op == 0) {
            const QStringList parts = a.split('|');
            f.chat.createTag(room, parts.at(0), parts.at(1), parts.at(2));
        } else if (op == 1) {
            f.chat.renameTag(room, tagId, a);
        } else if (op == 2) {
            f.chat.archiveTag(room, tagId, a, n);
        } else {
            f.chat.reportTagOpened(room, tagId, n);
        }
        if (method < 0) {
            QCOMPARE(f.http.calls.size(), before);
            return;
        }
        QCOMPARE(f.http.calls.size(), before + 1);
        const auto &call = f.http.calls.last();
        QCOMPARE(int(call.method), method);
        QCOMPARE(call.path, path);
        QCOMPARE(call.body, body);
        QCOMPARE(call.options.headers.contains("Idempotency-Key"), method == int(HttpMethod::Post));
    }

    // The read cursor and the switch reload the tags; failures as their Part says.
    void cursorAndConfig()
    {
        ChatFixture f;
        LogCapture log;
        QSignalSpy failed(&f.chat, &RoomChatService::sendFailed);
        f.follow({"r"});
        f.chat.reportTagOpened("r", 2, 10);
        f.http.reply(1, jsonReply(204));
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/tags"));
        f.chat.reportTagOpened("r", 2, 11);
        f.http.reply(3, jsonReply(500, {{"code", "x"}}));
        QVERIFY(log.contains("room.chat", "read cursor report failed room_id=\"r\" status=500"));
        QVERIFY(!log.contains("room.chat", "read cursor report failed room_id=\"r\" status=500 code"));
        QCOMPARE(failed.count(), 0);

        // The switch needs no subscription.
        f.chat.setTagConfig("elsewhere", true);
        QCOMPARE(f.http.calls.last().method, HttpMethod::Put);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/elsewhere/tag-config"));
        QCOMPARE(f.http.calls.last().body, (QJsonObject{{"enabled", true}}));
        f.http.reply(f.http.calls.size() - 1, jsonReply(200));
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/elsewhere/tags"));
        f.chat.setTagConfig("r", false);
        f.http.reply(f.http.calls.size() - 1, jsonReply(403, {{"code", "room.banned"}, {"message", "m"}}));
        QCOMPARE(failed.count(), 1);
        QVERIFY(log.contains("room.chat",
                             "set tag config failed room_id=\"r\" status=403 code=\"room.banned\" net_err=\"\" body="));
        f.chat.setTagConfig(QString(), true);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/tag-config"));

        // A cursor reply for a room no longer subscribed is dropped.
        f.chat.reportTagOpened("r", 2, 12);
        const qsizetype cursor = f.http.calls.size() - 1;
        f.follow({});
        const qsizetype calls = f.http.calls.size();
        f.http.reply(cursor, jsonReply(200));
        QCOMPARE(f.http.calls.size(), calls);
    }

    // The chat events on a subscribed room, and on one that is not.
    void messageEvents()
    {
        ChatFixture f;
        QSignalSpy received(&f.chat, &RoomChatService::messageReceived);
        QSignalSpy hidden(&f.chat, &RoomChatService::messageHidden);
        QSignalSpy retagged(&f.chat, &RoomChatService::messageRetagged);
        f.follow({"r"});
        f.chat.handleGatewayEvent("im.message.sent", sent(1, "x"));
        f.chat.handleGatewayEvent("im.message.sent", sent(1, ""));
        f.chat.handleGatewayEvent("im.message.hidden", {{"roomId", "x"}, {"messageId", "m1"}, {"hidden", true}});
        QCOMPARE(received.count() + hidden.count(), 0);
        QCOMPARE(f.chat.buffer("x"), nullptr);

        f.chat.handleGatewayEvent("im.message.sent", sent(2));
        f.chat.handleGatewayEvent("im.message.sent", sent(1));
        f.chat.handleGatewayEvent("im.message.sent", sent(2));
        QCOMPARE(received.count(), 3);
        QCOMPARE(f.chat.buffer("r")->messages.size(), 2);
        QCOMPARE(received.at(0).at(1).value<ImMessageSentEvent>().seq, qint64(2));

        f.chat.handleGatewayEvent("im.message.hidden", {{"roomId", "r"}, {"messageId", "m2"}, {"hidden", true}});
        f.chat.handleGatewayEvent("im.message.hidden", {{"roomId", "r"}, {"messageId", "m9"}, {"hidden", true}});
        QCOMPARE(hidden.count(), 2);
        const ImMessageSentEvent &m2 = f.chat.buffer("r")->messages.at(1);
        QVERIFY(m2.hidden);
        QVERIFY(m2.content.isEmpty() && m2.title.isEmpty());

        const qsizetype calls = f.http.calls.size();
        f.chat.handleGatewayEvent("im.message.retagged", {{"roomId", "r"}, {"messageId", "m1"}, {"tagId", 6}});
        QCOMPARE(retagged.count(), 1);
        QCOMPARE(retagged.at(0).at(2).toLongLong(), 6LL);
        QCOMPARE(f.chat.buffer("r")->messages.at(0).tagId, qint64(6));
        QCOMPARE(f.http.calls.size(), calls + 1);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/tags"));
    }

    // Shown again: the buffer is emptied and reloaded; the feed is rebuilt only on success.
    void unhidingReloads()
    {
        ChatFixture f;
        QStringList order;
        QObject::connect(&f.chat, &RoomChatService::chatCleared, [&] { order << "cleared"; });
        QObject::connect(&f.chat, &RoomChatService::historyLoaded, [&] { order << "history"; });
        QSignalSpy hidden(&f.chat, &RoomChatService::messageHidden);
        f.follow({"r"});
        f.chat.handleGatewayEvent("im.message.sent", sent(1));
        f.chat.handleGatewayEvent("im.message.hidden", {{"roomId", "r"}, {"messageId", "m1"}, {"hidden", false}});
        QCOMPARE(hidden.count(), 0);
        QVERIFY(f.chat.buffer("r")->messages.isEmpty());
        QVERIFY(order.isEmpty());
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/messages"));
        f.http.reply(f.http.calls.size() - 1, jsonReply(200, {{"history", QJsonArray{sent(1)}}}));
        QCOMPARE(order, (QStringList{"cleared", "history"}));
        QCOMPARE(f.chat.buffer("r")->messages.at(0).content, QStringLiteral("text"));
    }

    void archiveModes_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<QList<qint64>>("tags");
        QTest::addColumn<QList<bool>>("hiddenFlags");
        QTest::newRow("transfer") << QJsonObject{{"roomId", "r"},
                                                 {"tagId", 5},
                                                 {"mode", "transfer"},
                                                 {"targetTagId", 8}}
                                  << QList<qint64>{5 == 5 ? 8 : 0, 3, 8} << QList<bool>{false, false, false};
        QTest::newRow("transfer without target") << QJsonObject{{"roomId", "r"}, {"tagId", "5"}, {"mode", "transfer"}}
                                                 << QList<qint64>{0, 3, 0} << QList<bool>{false, false, false};
        QTest::newRow("purge") << QJsonObject{{"roomId", "r"}, {"tagId", 5}, {"mode", "purge"}}
                               << QList<qint64>{5, 3, 5} << QList<bool>{true, false, true};
        QTest::newRow("unknown mode") << QJsonObject{{"roomId", "r"}, {"tagId", 5}, {"mode", "Transfer"}}
                                      << QList<qint64>{5, 3, 5} << QList<bool>{true, false, true};
    }

    void archiveModes()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(QList<qint64>, tags);
        QFETCH(QList<bool>, hiddenFlags);
        ChatFixture f;
        f.follow({"r"});
        f.chat.handleGatewayEvent("im.message.sent", sent(1, "r", 5));
        f.chat.handleGatewayEvent("im.message.sent", sent(2, "r", 3));
        f.chat.handleGatewayEvent("im.message.sent", sent(3, "r", 5));
        QStringList order;
        QObject::connect(&f.chat, &RoomChatService::chatCleared, [&] { order << "cleared"; });
        QObject::connect(&f.chat, &RoomChatService::gapMarked, [&] { order << "gap"; });
        QObject::connect(&f.chat, &RoomChatService::historyLoaded, [&] { order << "history"; });
        const qsizetype calls = f.http.calls.size();
        f.chat.handleGatewayEvent("im.tag.archived", payload);
        QCOMPARE(order, (QStringList{"cleared", "gap", "history"}));
        QCOMPARE(f.http.calls.size(), calls + 1); // the tags reload
        const auto &messages = f.chat.buffer("r")->messages;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(messages.at(i).tagId, tags.at(i));
            QCOMPARE(messages.at(i).hidden, hiddenFlags.at(i));
            QCOMPARE(messages.at(i).content.isEmpty(), hiddenFlags.at(i));
        }
    }

    void tagEventsAndSubscriptionConfirmation()
    {
        ChatFixture f;
        f.follow({"r", "s"});
        qsizetype calls = f.http.calls.size();
        for (const char *name : {"im.tag.created", "im.tag.renamed", "im.tag_config.changed"})
            f.chat.handleGatewayEvent(name, {{"roomId", "r"}});
        f.chat.handleGatewayEvent("im.tag.created", {{"roomId", "x"}});
        f.chat.handleGatewayEvent("im.other", {{"roomId", "r"}});
        QCOMPARE(f.http.calls.size(), calls + 3);

        // Confirmation of a room other than the active feed: only the tags.
        f.chat.onFeedActivated("s");
        calls = f.http.calls.size();
        f.chat.handleGatewayEvent("chat-subscribed", {{"roomId", "r"}});
        QCOMPARE(f.http.calls.size(), calls + 1);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/tags"));
        // The active feed's room, not loaded yet: tags and the latest page.
        f.chat.handleGatewayEvent("chat-subscribed", {{"roomId", "s"}});
        QCOMPARE(f.http.calls.size(), calls + 3);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/s/messages"));
        f.chat.handleGatewayEvent("chat-subscribed", {{"roomId", "x"}});
        QCOMPARE(f.http.calls.size(), calls + 3);
    }

    // A resync marks every buffer stale and subscribes every room again, in order.
    void resync()
    {
        ChatFixture f;
        LogCapture log;
        f.enter("A");
        f.follow({"F1", "F2"});
        f.chat.onFeedActivated("F1");
        f.http.reply(f.http.calls.size() - 1, jsonReply(200, {{"history", QJsonArray{sent(1, "F1")}}}));
        f.events.clear();
        f.chat.onResync();
        QCOMPARE(f.events, (QStringList{"sub A", "sub F1", "sub F2"}));
        QVERIFY(f.chat.buffer("F1")->stale);
        QVERIFY(log.contains("room.chat", "resync, re-subscribing chat room_id=\"F2\""));

        // The stale active feed reloads on its confirmation.
        f.chat.handleGatewayEvent("chat-subscribed", {{"roomId", "F1"}});
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/F1/messages"));
    }
};

KESTOVA_TEST_MAIN(RoomChatTagsTest)
#include "test_room_chat_tags.moc"
