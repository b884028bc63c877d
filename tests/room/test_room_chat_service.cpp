#include "chat_test_fixture.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QRegularExpression>
#include <QSignalSpy>

using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::RoomSnapshotBuilder;

namespace {
const QString kSubscriptions = QStringLiteral("/v1/users/me/chat-subscriptions");
}

class RoomChatServiceTest : public QObject
{
    Q_OBJECT

private slots:
    // An active sub-room, its parent (also followed and selected), a selected room
    // and followed rooms: each room once, with its first role.
    void reconciliationOrder()
    {
        ChatFixture f;
        LogCapture log;
        f.enter("S");
        QCOMPARE(f.subscriptionText(), QStringLiteral("S:0"));
        f.snapshot(RoomSnapshotBuilder("S").parent("P"));
        QCOMPARE(f.subscriptionText(), QStringLiteral("S:0 P:1"));
        f.follow({"P", "F1", "", 7, "F2", "F1"});
        QCOMPARE(f.chat.followedRoomIds(), (QStringList{"P", "F1", "F2", "F1"}));
        QCOMPARE(f.subscriptionText(), QStringLiteral("S:0 P:1 F1:3 F2:3"));
        QVERIFY(log.contains("room.chat", "chat subscriptions loaded count=4"));

        f.events.clear();
        f.chat.setSelectedRoom("P"); // already there as the parent
        f.chat.setSelectedRoom("S"); // the active room
        QCOMPARE(f.subscriptionText(), QStringLiteral("S:0 P:1 F1:3 F2:3"));
        QVERIFY(f.events.isEmpty());
        f.chat.setSelectedRoom("X");
        QCOMPARE(f.subscriptionText(), QStringLiteral("S:0 P:1 X:2 F1:3 F2:3"));
        QCOMPARE(f.events, (QStringList{"sub X", "feeds"}));
        QVERIFY(log.contains("room.chat", "chat subscribing room_id=\"X\" role=2"));
        QVERIFY(f.chat.hasSubscription("X"));
        QVERIFY(!f.chat.hasSubscription("x"));
    }

    // Entering a followed room changes its role only: no re-subscription, one feedsChanged.
    void roleChangeWithoutResubscribing()
    {
        ChatFixture f;
        f.follow({"A", "B"});
        f.events.clear();
        f.enter("B");
        QCOMPARE(f.subscriptionText(), QStringLiteral("B:0 A:3"));
        QCOMPARE(f.events, QStringList{"feeds"});

        // A reconciliation with nothing new emits nothing, not even feedsChanged.
        f.events.clear();
        f.chat.onActiveRoomChanged();
        f.chat.setSelectedRoom(QString());
        f.follow({"A", "B"});
        QVERIFY(f.events.isEmpty());
    }

    // A room that leaves the list is unsubscribed, cleared and loses its buffer.
    void droppedRooms()
    {
        ChatFixture f;
        f.follow({"A", "B"});
        f.chat.onFeedActivated("A");
        f.http.reply(f.http.calls.size() - 1,
                     jsonReply(200, {{"history", QJsonArray{QJsonObject{{"roomId", "A"}, {"seq", 1}}}}}));
        QVERIFY(f.chat.buffer("A"));
        f.events.clear();
        f.follow({"B"});
        QCOMPARE(f.events, (QStringList{"unsub A", "cleared A", "feeds"}));
        QCOMPARE(f.chat.buffer("A"), nullptr);
    }

    void subscribeAndUnsubscribe()
    {
        ChatFixture f;
        QSignalSpy failed(&f.chat, &RoomChatService::sendFailed);
        LogCapture log;
        f.chat.subscribeRoomChat(QString(), "x");
        f.chat.unsubscribeRoomChat(QString());
        QVERIFY(f.http.calls.isEmpty());

        f.chat.subscribeRoomChat("a/b", "Lobby");
        QCOMPARE(f.http.calls.at(0).method, HttpMethod::Put);
        QCOMPARE(f.http.calls.at(0).path, QStringLiteral("/v1/users/me/chat-subscriptions/a%2Fb"));
        QCOMPARE(f.http.calls.at(0).body, QJsonObject());
        QVERIFY(f.chat.subscriptions().isEmpty()); // only the reply changes anything
        f.http.reply(0, jsonReply(200));
        QCOMPARE(f.chat.followedRoomIds(), QStringList{"a/b"});
        QCOMPARE(f.chat.subscribedRoomName("a/b"), QStringLiteral("Lobby"));
        QCOMPARE(f.subscriptionText(), QStringLiteral("a/b:3"));

        // Following again with an empty name keeps the name, and lists the room once.
        f.chat.subscribeRoomChat("a/b", QString());
        f.http.reply(1, jsonReply(200));
        QCOMPARE(f.chat.followedRoomIds(), QStringList{"a/b"});
        QCOMPARE(f.chat.displayNames().value("a/b"), QStringLiteral("Lobby"));

        // Failures change nothing and are reported.
        f.chat.subscribeRoomChat("c", "C");
        f.http.reply(2, jsonReply(403, {{"code", "room.banned"}, {"message", "no"}}));
        f.chat.unsubscribeRoomChat("a/b");
        f.http.reply(3, testsupport::networkErrorReply());
        QCOMPARE(failed.count(), 2);
        QCOMPARE(failed.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::Banned);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("no"));
        QCOMPARE(f.chat.followedRoomIds(), QStringList{"a/b"});
        QVERIFY(log.contains("room.chat", "chat subscribe failed room_id=\"c\" status=403 code=\"room.banned\""));
        QVERIFY(
            !log.contains("room.chat", "chat subscribe failed room_id=\"c\" status=403 code=\"room.banned\" net_err"));
        QVERIFY(log.contains("room.chat", "chat unsubscribe failed room_id=\"a/b\" status=0 code=\"\""));

        f.chat.unsubscribeRoomChat("a/b");
        QCOMPARE(f.http.calls.at(4).method, HttpMethod::Delete);
        QCOMPARE(f.http.calls.at(4).path, QStringLiteral("/v1/users/me/chat-subscriptions/a%2Fb"));
        f.http.reply(4, jsonReply(204));
        QVERIFY(f.chat.followedRoomIds().isEmpty());
        QCOMPARE(f.chat.subscribedRoomName("a/b"), QString());
        QVERIFY(f.chat.subscriptions().isEmpty());
    }

    // A failed load is retried on one timer; a newer load supersedes older replies
    // and their retries; after logout nothing of it runs.
    void subscriptionFetchRetriesAndGenerations()
    {
        ChatFixture f;
        LogCapture log;
        f.chat.setSubscriptionRetryMs(1);
        f.chat.fetchSubscriptions();
        f.http.reply(0, jsonReply(502, {{"code", "x"}}));
        QVERIFY(log.contains("room.chat", "chat subscriptions fetch failed status=502 code=\"x\" net_err=\"\""));
        QTRY_COMPARE(f.http.callsTo(kSubscriptions).size(), 2);

        // A second login while the retry is in flight: the first reply is stale.
        f.chat.fetchSubscriptions();
        f.http.reply(2, jsonReply(200, {{"rooms", QJsonArray{"new"}}}));
        f.http.reply(1, jsonReply(200, {{"rooms", QJsonArray{"old"}}}));
        f.http.reply(1, jsonReply(500));
        QCOMPARE(f.chat.followedRoomIds(), QStringList{"new"});
        QVERIFY(!f.chat.isSubscriptionRetryScheduled()); // the stale failure started no retry loop

        // Failures of two overlapping loads still make one loop.
        f.chat.fetchSubscriptions();
        f.chat.fetchSubscriptions();
        f.http.reply(3, jsonReply(500));
        f.http.reply(4, jsonReply(500));
        QVERIFY(f.chat.isSubscriptionRetryScheduled());
        QTRY_COMPARE(f.http.calls.size(), 6);
        QVERIFY(!f.chat.isSubscriptionRetryScheduled()); // one loop, waiting on its request

        // Logout: the reply in flight and the retry it would start are dropped.
        f.chat.reset();
        f.http.reply(5, jsonReply(200, {{"rooms", QJsonArray{"late"}}}));
        QVERIFY(f.chat.followedRoomIds().isEmpty());
        f.http.reply(5, jsonReply(500));
        QVERIFY(!f.chat.isSubscriptionRetryScheduled());
        QCOMPARE(f.http.calls.size(), 6);
    }

    // Logout drops every room but the active one and its parent, which go with the session.
    void resetKeepsTheActiveRoom()
    {
        ChatFixture f;
        f.enter("S");
        f.snapshot(RoomSnapshotBuilder("S").parent("P"));
        f.follow({"A"});
        f.chat.setSelectedRoom("X");
        f.events.clear();
        f.chat.reset();
        QCOMPARE(f.subscriptionText(), QStringLiteral("S:0 P:1"));
        QCOMPARE(f.events, (QStringList{"unsub X", "cleared X", "unsub A", "cleared A", "feeds"}));
        f.session.reset();
        QVERIFY(f.chat.subscriptions().isEmpty());
    }

    void sendBodies_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<qlonglong>("tagId");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QJsonObject>("body");
        QTest::newRow("plain") << " hi \n" << 0LL << "" << QJsonObject{{"content", "hi"}};
        QTest::newRow("tag") << "hi" << 5LL << "" << QJsonObject{{"content", "hi"}, {"tagId", 5}};
        QTest::newRow("negative tag") << "hi" << -2LL << "" << QJsonObject{{"content", "hi"}};
        QTest::newRow("title") << "hi" << 0LL << "  T  " << QJsonObject{{"content", "hi"}, {"title", "T"}};
        QTest::newRow("blank title") << "hi" << 3LL << " \t" << QJsonObject{{"content", "hi"}, {"tagId", 3}};
        QTest::newRow("blank content") << " \n " << 3LL << "T" << QJsonObject();
    }

    void sendBodies()
    {
        QFETCH(QString, content);
        QFETCH(qlonglong, tagId);
        QFETCH(QString, title);
        QFETCH(QJsonObject, body);
        ChatFixture f;
        f.follow({"r/1"});
        const qsizetype before = f.http.calls.size();
        f.chat.sendMessage("r/1", content, tagId, title);
        if (body.isEmpty()) {
            QCOMPARE(f.http.calls.size(), before);
            return;
        }
        const auto &call = f.http.calls.last();
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, QStringLiteral("/v1/im/rooms/r%2F1/messages"));
        QCOMPARE(call.body, body);
    }

    // Every POST carries its own fresh key; no PATCH carries one; nothing is echoed.
    void idempotencyKeys()
    {
        ChatFixture f;
        QSignalSpy received(&f.chat, &RoomChatService::messageReceived);
        QSignalSpy history(&f.chat, &RoomChatService::historyLoaded);
        f.follow({"r"});
        f.chat.sendMessage("r", "same", 0, "");
        f.chat.sendMessage("r", "same", 0, "");
        const QByteArray first = f.http.calls.at(1).options.headers.value("Idempotency-Key");
        const QByteArray second = f.http.calls.at(2).options.headers.value("Idempotency-Key");
        const QRegularExpression shape("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$");
        QVERIFY2(shape.match(QString::fromLatin1(first)).hasMatch(), first.constData());
        QVERIFY(shape.match(QString::fromLatin1(second)).hasMatch());
        QVERIFY(first != second);
        f.http.reply(1, jsonReply(201, {{"messageId", "m1"}}));
        QCOMPARE(received.count(), 0);
        QCOMPARE(history.count(), 0);
        QCOMPARE(f.chat.buffer("r"), nullptr);

        f.chat.hideMessage("r", "m/1");
        f.chat.retagMessage("r", "m1", 0);
        QCOMPARE(f.http.calls.at(3).method, HttpMethod::Patch);
        QCOMPARE(f.http.calls.at(3).path, QStringLiteral("/v1/im/rooms/r/messages/m%2F1"));
        QCOMPARE(f.http.calls.at(3).body, (QJsonObject{{"hidden", true}}));
        QCOMPARE(f.http.calls.at(4).method, HttpMethod::Patch);
        QCOMPARE(f.http.calls.at(4).path, QStringLiteral("/v1/im/rooms/r/messages/m1/tag"));
        QCOMPARE(f.http.calls.at(4).body, (QJsonObject{{"tagId", 0}}));
        QVERIFY(f.http.calls.at(3).options.headers.isEmpty());
        QVERIFY(f.http.calls.at(4).options.headers.isEmpty());
    }

    // Calls that miss their preconditions send nothing and report nothing.
    void guards()
    {
        ChatFixture f;
        QSignalSpy failed(&f.chat, &RoomChatService::sendFailed);
        f.follow({"r"});
        const qsizetype before = f.http.calls.size();
        f.chat.sendMessage("other", "hi", 0, "");
        f.chat.hideMessage("other", "m1");
        f.chat.hideMessage("r", "");
        f.chat.hideMessage("", "m1");
        f.chat.retagMessage("r", "m1", -1);
        f.chat.retagMessage("r", "", 2);
        f.chat.retagMessage("other", "m1", 2);
        QCOMPARE(f.http.calls.size(), before);
        QCOMPARE(failed.count(), 0);
    }

    void failuresReportOnce_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("line");
        QTest::newRow("send")
            << 0 << "chat send failed room_id=\"r\" status=409 code=\"room.not_in_room\" net_err=\"\" body=";
        QTest::newRow("hide")
            << 1 << "chat hide failed room_id=\"r\" message_id=\"m1\" status=409 code=\"room.not_in_room\"";
        QTest::newRow("retag")
            << 2 << "retag message failed room_id=\"r\" status=409 code=\"room.not_in_room\" net_err=\"\" body=";
    }

    void failuresReportOnce()
    {
        QFETCH(int, operation);
        QFETCH(QString, line);
        ChatFixture f;
        f.follow({"r"});
        QSignalSpy failed(&f.chat, &RoomChatService::sendFailed);
        LogCapture log;
        if (operation == 0)
            f.chat.sendMessage("r", "hi", 0, "");
        else if (operation == 1)
            f.chat.hideMessage("r", "m1");
        else
            f.chat.retagMessage("r", "m1", 4);
        f.http.reply(f.http.calls.size() - 1, jsonReply(409, {{"code", "room.not_in_room"}, {"message", "gone"}}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::NotInRoom);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("gone"));
        QCOMPARE(log.entries().size(), 1);
        QCOMPARE(log.entries().at(0).type, QtWarningMsg);
        QVERIFY2(log.entries().at(0).message.startsWith(line), qPrintable(log.entries().at(0).message));
        if (operation == 1)
            QVERIFY(!log.entries().at(0).message.contains("net_err"));
    }

    // Every send ends in exactly one sendFinished, so whoever holds the typed text knows
    // whether to clear it or give it back; a failure is reported first.
    void sendSettlesOnce()
    {
        ChatFixture f;
        f.follow({"r"});
        QStringList order;
        QObject::connect(&f.chat, &RoomChatService::sendFailed, [&] { order << "failed"; });
        QObject::connect(&f.chat, &RoomChatService::sendFinished, [&](const QString &roomId, bool sent) {
            order << QStringLiteral("%1 %2").arg(roomId).arg(sent);
        });
        f.chat.sendMessage("other", "hi", 0, "");
        f.chat.sendMessage("r", "  ", 0, "");
        QCOMPARE(order, (QStringList{"other 0", "r 0"}));
        order.clear();
        f.chat.sendMessage("r", "hi", 0, "");
        QVERIFY(order.isEmpty());
        f.http.reply(f.http.calls.size() - 1, jsonReply(201));
        f.chat.sendMessage("r", "hi", 0, "");
        f.http.reply(f.http.calls.size() - 1, jsonReply(409, {{"code", "room.not_in_room"}}));
        QCOMPARE(order, (QStringList{"r 1", "failed", "r 0"}));
    }
};

KESTOVA_TEST_MAIN(RoomChatServiceTest)
#include "test_room_chat_service.moc"
