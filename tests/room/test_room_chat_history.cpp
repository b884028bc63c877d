#include "chat_test_fixture.h"
#include "room/room_chat_buffer.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

ImMessageSentEvent message(qint64 seq, const QString &roomId = QStringLiteral("r"), const QString &content = {})
{
    ImMessageSentEvent m;
    m.roomId = roomId;
    m.messageId = QStringLiteral("m%1").arg(seq);
    m.seq = seq;
    m.content = content;
    return m;
}

QJsonObject messageJson(qint64 seq, const QString &roomId = QStringLiteral("r"))
{
    return QJsonObject{{"roomId", roomId}, {"messageId", QStringLiteral("m%1").arg(seq)}, {"seq", double(seq)}};
}

// Seqs "1-100,150-175" as messages.
QList<qint64> seqs(const QString &ranges)
{
    QList<qint64> out;
    for (const QString &range : ranges.split(',', Qt::SkipEmptyParts)) {
        const QStringList ends = range.split('-');
        const qint64 from = ends.at(0).toLongLong();
        const qint64 to = ends.value(1, ends.at(0)).toLongLong();
        for (qint64 s = from; s <= to; ++s)
            out << s;
    }
    return out;
}

RoomChatBuffer bufferOf(const QString &ranges, qint64 gap)
{
    RoomChatBuffer buffer;
    for (qint64 s : seqs(ranges))
        buffer.messages << message(s);
    buffer.gapBeforeSeq = gap;
    return buffer;
}

// A latest page as the server lists it: newest first.
QJsonArray pageJson(const QString &ranges)
{
    const QList<qint64> all = seqs(ranges);
    QJsonArray page;
    for (auto it = all.crbegin(); it != all.crend(); ++it)
        page.append(messageJson(*it));
    return page;
}

QList<qint64> seqsOf(const QList<ImMessageSentEvent> &messages)
{
    QList<qint64> out;
    for (const ImMessageSentEvent &m : messages)
        out << m.seq;
    return out;
}

} // namespace

class RoomChatHistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void gapRule_data()
    {
        QTest::addColumn<QString>("buffered");
        QTest::addColumn<qint64>("gap");
        QTest::addColumn<QString>("page");
        QTest::addColumn<qint64>("expectedGap");
        QTest::addColumn<int>("expectedCount");
        QTest::newRow("overlapping page") << "1-100" << 0LL << "90-120" << 0LL << 120;
        QTest::newRow("hole") << "1-100" << 0LL << "150-170" << 150LL << 121;
        QTest::newRow("empty buffer") << "" << 0LL << "150-170" << 0LL << 21;
        QTest::newRow("next seq exactly") << "1-100" << 0LL << "101-120" << 0LL << 120;
        QTest::newRow("empty page") << "1-100" << 0LL << "" << 0LL << 100;
        QTest::newRow("earlier hole kept") << "1-100,150-175" << 150LL << "160-180" << 150LL << 131;
        QTest::newRow("earlier hole kept, empty page") << "1-100,150-175" << 150LL << "" << 150LL << 126;
        QTest::newRow("earlier hole filled") << "1-100,150-175" << 150LL << "90-180" << 0LL << 180;
        QTest::newRow("earlier hole filled to the edge") << "1-100,150-175" << 150LL << "101-180" << 0LL << 180;
        QTest::newRow("half filled") << "1-100,150-175" << 150LL << "120-180" << 120LL << 0 + 100 + 61;
        QTest::newRow("new hole moves the mark") << "1-100,150-175" << 150LL << "200-210" << 200LL << 137;
    }

    // Where the hole mark lands after a latest page.
    void gapRule()
    {
        QFETCH(QString, buffered);
        QFETCH(qint64, gap);
        QFETCH(QString, page);
        QFETCH(qint64, expectedGap);
        QFETCH(int, expectedCount);
        RoomChatBuffer buffer = bufferOf(buffered, gap);
        QList<ImMessageSentEvent> walked;
        const QList<qint64> pageSeqs = seqs(page);
        for (auto it = pageSeqs.crbegin(); it != pageSeqs.crend(); ++it)
            walked << message(*it);
        applyLatestChatPage(buffer, walked);
        QCOMPARE(buffer.gapBeforeSeq, expectedGap);
        QCOMPARE(buffer.messages.size(), expectedCount);
        QVERIFY(buffer.loaded);
        QVERIFY(!buffer.stale);
        const QList<qint64> order = seqsOf(buffer.messages);
        QVERIFY(std::is_sorted(order.cbegin(), order.cend()));
    }

    void orderedInsertion()
    {
        RoomChatBuffer buffer;
        for (qint64 s : {5, 1, 3, 9, 7, 3})
            bufferChatMessage(buffer, message(s, "r", QStringLiteral("v%1").arg(buffer.messages.size())));
        QCOMPARE(seqsOf(buffer.messages), (QList<qint64>{1, 3, 5, 7, 9}));
        // The repeated seq 3 replaced the first one in place, whole.
        QCOMPARE(buffer.messages.at(1).content, QStringLiteral("v5"));

        // Told apart by seq only: a known message id under a new seq is a new message.
        ImMessageSentEvent moved = message(11);
        moved.messageId = QStringLiteral("m1");
        bufferChatMessage(buffer, moved);
        QCOMPARE(buffer.messages.size(), 6);
    }

    // The 1001st message drops the oldest; the mark goes once nothing before the hole is left.
    void capDropsTheOldest()
    {
        RoomChatBuffer buffer = bufferOf("1-2,4-1001", 4);
        QCOMPARE(buffer.messages.size(), 1000);
        bufferChatMessage(buffer, message(1002));
        QCOMPARE(buffer.messages.size(), 1000);
        QCOMPARE(buffer.messages.constFirst().seq, qint64(2));
        QCOMPARE(buffer.gapBeforeSeq, qint64(4));
        bufferChatMessage(buffer, message(1003));
        QCOMPARE(buffer.messages.constFirst().seq, qint64(4));
        QCOMPARE(buffer.gapBeforeSeq, qint64(0));
    }

    // The service's latest page: walked from the end, the feed rebuilt in order.
    void refreshRebuildsTheFeed()
    {
        ChatFixture f;
        LogCapture log;
        f.follow({"r"});
        QStringList order;
        QObject::connect(&f.chat, &RoomChatService::chatCleared, [&](const QString &id) { order << "cleared " + id; });
        QObject::connect(&f.chat, &RoomChatService::gapMarked, [&](const QString &id, qlonglong gap) {
            order << QStringLiteral("gap %1 %2").arg(id).arg(gap);
        });
        QObject::connect(&f.chat, &RoomChatService::historyLoaded,
                         [&](const QString &id, const QList<ImMessageSentEvent> &messages) {
                             order << QStringLiteral("history %1 %2").arg(id).arg(messages.size());
                         });
        f.chat.onFeedActivated("r");
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/messages"));
        QJsonArray page = pageJson("1-100");
        page.insert(3, QJsonObject{{"seq", 50}}); // no room id: skipped
        f.http.reply(f.http.calls.size() - 1, jsonReply(200, {{"history", page}}));
        QCOMPARE(order, (QStringList{"cleared r", "gap r 0", "history r 100"}));
        QVERIFY(log.contains("room.chat", "chat refreshed room_id=\"r\" buffered=100 gap=false"));

        // Loaded and current: activating again sends nothing.
        const qsizetype calls = f.http.calls.size();
        f.chat.onFeedActivated("r");
        QCOMPARE(f.http.calls.size(), calls);

        // Stale after a resync: the next activation refreshes and marks the hole.
        f.chat.onResync();
        QVERIFY(f.chat.buffer("r")->stale);
        f.chat.onFeedActivated("r");
        order.clear();
        f.http.reply(f.http.calls.size() - 1, jsonReply(200, {{"history", pageJson("150-170")}}));
        QCOMPARE(order, (QStringList{"cleared r", "gap r 150", "history r 121"}));
        QVERIFY(log.contains("room.chat", "gap=true"));
    }

    // Replies for a room whose subscription was dropped change nothing.
    void repliesAfterTheSubscriptionWentAreDropped()
    {
        ChatFixture f;
        f.follow({"r"});
        QSignalSpy history(&f.chat, &RoomChatService::historyLoaded);
        QSignalSpy older(&f.chat, &RoomChatService::olderLoaded);
        QSignalSpy thread(&f.chat, &RoomChatService::tagHistoryLoaded);
        f.chat.onFeedActivated("r");
        f.chat.loadOlder("r", 50);
        f.chat.loadTagHistory("r", 2, 0);
        const qsizetype first = f.http.calls.size() - 3;
        f.follow({});
        LogCapture log;
        f.http.reply(first, jsonReply(200, {{"history", pageJson("1-3")}}));
        f.http.reply(first + 1, jsonReply(200, {{"history", pageJson("1-3")}}));
        f.http.reply(first + 2, jsonReply(500));
        QCOMPARE(history.count() + older.count() + thread.count(), 0);
        QCOMPARE(f.chat.buffer("r"), nullptr);
        QVERIFY(log.entries().isEmpty());

        // Activating a room without a subscription requests nothing.
        const qsizetype calls = f.http.calls.size();
        f.chat.onFeedActivated("r");
        QCOMPARE(f.http.calls.size(), calls);
    }

    // "room.not_found" on a followed room unfollows it; on the active room only logs.
    void goneRoom()
    {
        ChatFixture f;
        LogCapture log;
        f.enter("a");
        f.follow({"f"});
        f.chat.onFeedActivated("f");
        f.http.reply(f.http.calls.size() - 1, jsonReply(404, {{"code", "room.not_found"}}));
        QVERIFY(log.contains("room.chat",
                             "chat refresh failed room_id=\"f\" status=404 code=\"room.not_found\" net_err=\"\""));
        QVERIFY(log.contains("room.chat", "room gone, dropping subscription room_id=\"f\""));
        QCOMPARE(f.http.calls.last().method, HttpMethod::Delete);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/users/me/chat-subscriptions/f"));
        QVERIFY(!f.chat.buffer("f")->loaded);

        const qsizetype calls = f.http.calls.size();
        f.chat.onFeedActivated("a");
        f.http.reply(f.http.calls.size() - 1, jsonReply(404, {{"code", "room.not_found"}}));
        QCOMPARE(f.http.calls.size(), calls + 1);
    }

    void olderPages()
    {
        ChatFixture f;
        LogCapture log;
        QSignalSpy older(&f.chat, &RoomChatService::olderLoaded);
        f.follow({"r"});
        f.chat.loadOlder("r", 0);
        f.chat.loadOlder("x", 10);
        QCOMPARE(f.http.calls.size(), 1);
        f.chat.loadOlder("r", 101);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/messages?beforeSeq=101"));
        f.http.reply(1, jsonReply(200, {{"history", pageJson("51-100")}}));
        QCOMPARE(older.count(), 1);
        // The page in walking order: from the array's last element to its first.
        QCOMPARE(seqsOf(older.at(0).at(1).value<QList<ImMessageSentEvent>>()).constFirst(), qint64(51));
        QCOMPARE(f.chat.buffer("r")->messages.size(), 50);
        QVERIFY(log.contains("room.chat", "chat older loaded room_id=\"r\" count=50"));

        // At the cap the page is emitted whole and not buffered.
        f.chat.onFeedActivated("r");
        f.http.reply(2, jsonReply(200, {{"history", pageJson("1001-2000")}}));
        QCOMPARE(f.chat.buffer("r")->messages.size(), 1000);
        f.chat.loadOlder("r", 1001);
        f.http.reply(3, jsonReply(200, {{"history", pageJson("901-1000")}}));
        QCOMPARE(older.at(1).at(1).value<QList<ImMessageSentEvent>>().size(), 100);
        QCOMPARE(f.chat.buffer("r")->messages.constFirst().seq, qint64(1001));

        f.chat.loadOlder("r", 5);
        f.http.reply(4, testsupport::timedOutReply());
        QCOMPARE(older.count(), 2);
        QVERIFY(log.contains("room.chat", "chat history fetch failed room_id=\"r\" status=0 code=\"\" net_err="));
    }

    void threadPages()
    {
        ChatFixture f;
        LogCapture log;
        QSignalSpy thread(&f.chat, &RoomChatService::tagHistoryLoaded);
        f.follow({"r"});
        f.chat.loadTagHistory("r", 0, 5);
        f.chat.loadTagHistory("r", 3, -1);
        f.chat.loadTagHistory("x", 3, 0);
        QCOMPARE(f.http.calls.size(), 1);
        f.chat.loadTagHistory("r", 3, 0);
        QCOMPARE(f.http.calls.last().path, QStringLiteral("/v1/im/rooms/r/messages?tagId=3&afterSeq=0"));
        f.http.reply(1, jsonReply(200, {{"history", QJsonArray{messageJson(4), messageJson(9)}}}));
        QCOMPARE(thread.count(), 1);
        QCOMPARE(thread.at(0).at(1).toLongLong(), 3LL);
        QCOMPARE(thread.at(0).at(2).toLongLong(), 0LL);
        QCOMPARE(seqsOf(thread.at(0).at(3).value<QList<ImMessageSentEvent>>()), (QList<qint64>{4, 9}));
        QCOMPARE(f.chat.buffer("r"), nullptr); // the buffer is not touched

        f.chat.loadTagHistory("r", 3, 9);
        f.http.reply(2, jsonReply(502, {{"code", "busy"}}));
        QVERIFY(log.contains("room.chat", "tag history fetch failed room_id=\"r\" tag_id=3 status=502"));
        QVERIFY(!log.contains("room.chat", "tag_id=3 status=502 code"));
    }
};

KESTOVA_TEST_MAIN(RoomChatHistoryTest)
#include "test_room_chat_history.moc"
