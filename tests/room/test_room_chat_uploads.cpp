#include "chat_test_fixture.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::jsonReply;
using testsupport::LogCapture;
using Image = RoomChatService::LocalImage;

namespace {

const QString kAttachments = QStringLiteral("/v1/im/rooms/r/attachments");

Image image(const QString &name, int bytes)
{
    return Image{name, QByteArray(bytes, 'x'), QStringLiteral("image/png"), 40, 30};
}

HttpResponse ticket(const QString &id)
{
    return jsonReply(200, {{"attachmentId", id}, {"uploadUrl", "https://files.invalid/" + id}});
}

// Every upload signal of the service as text, in order.
struct UploadLog
{
    QStringList lines;
    explicit UploadLog(RoomChatService &chat)
    {
        QObject::connect(&chat, &RoomChatService::uploadProgress, [this](const QString &, const QString &b, int p) {
            lines << QStringLiteral("progress %1 %2").arg(b).arg(p);
        });
        QObject::connect(&chat, &RoomChatService::uploadFinished,
                         [this](const QString &, const QString &b) { lines << "finished " + b; });
        QObject::connect(&chat, &RoomChatService::uploadFailed,
                         [this](const QString &, const QString &b, const QString &reason) {
                             lines << QStringLiteral("failed %1 %2").arg(b, reason);
                         });
    }
};

} // namespace

class RoomChatUploadsTest : public QObject
{
    Q_OBJECT

private slots:
    // Two images of 300 and 700 bytes: tickets and PUTs in turn, progress within
    // each image's share, 100, the message, and finished once it was accepted.
    void twoImageProgress()
    {
        ChatFixture f;
        UploadLog log(f.chat);
        f.follow({"r"});
        f.chat.uploadAndSend("r", "b1", {image("a.png", 300), image("b.png", 700)}, "  hello ", 4, " ");
        QCOMPARE(f.http.callsTo(kAttachments).size(), 1);
        const auto first = f.http.callsTo(kAttachments).at(0);
        QCOMPARE(first.body, (QJsonObject{{"fileName", "a.png"},
                                          {"contentType", "image/png"},
                                          {"sizeBytes", 300},
                                          {"width", 40},
                                          {"height", 30}}));
        QVERIFY(!first.options.headers.value("Idempotency-Key").isEmpty());
        f.http.answer(kAttachments, 0, ticket("att-1"));
        QCOMPARE(f.uploads.puts.size(), 1);
        QCOMPARE(f.uploads.puts.at(0).url, QStringLiteral("https://files.invalid/att-1"));
        QCOMPARE(f.uploads.puts.at(0).contentType, QByteArray("image/png"));
        QCOMPARE(f.uploads.puts.at(0).timeoutMs, 120000);
        QCOMPARE(f.uploads.puts.at(0).body.size(), 300);
        f.uploads.progress(0, 150, 300);
        f.uploads.progress(0, 300, 300);
        f.uploads.finish(0, jsonReply(200));
        QCOMPARE(f.http.callsTo(kAttachments).size(), 2);
        QVERIFY(f.http.callsTo(kAttachments).at(1).options.headers.value("Idempotency-Key")
                != first.options.headers.value("Idempotency-Key"));
        f.http.answer(kAttachments, 1, ticket("att-2"));
        f.uploads.progress(1, 350, 700);
        f.uploads.progress(1, 700, 700);
        f.uploads.finish(1, jsonReply(200));
        QCOMPARE(log.lines, (QStringList{"progress b1 15", "progress b1 30", "progress b1 65", "progress b1 99",
                                         "progress b1 100"}));

        const auto send = f.http.callsTo("/v1/im/rooms/r/messages");
        QCOMPARE(send.size(), 1);
        QCOMPARE(send.at(0).body,
                 (QJsonObject{{"content", "hello"}, {"attachmentIds", QJsonArray{"att-1", "att-2"}}, {"tagId", 4}}));
        QVERIFY(!send.at(0).options.headers.value("Idempotency-Key").isEmpty());
        f.http.answer("/v1/im/rooms/r/messages", 0, jsonReply(201));
        QCOMPARE(log.lines.last(), QStringLiteral("finished b1"));
    }

    // The images stay on their card while their message was not accepted.
    void finalMessageFailureFailsTheBatch()
    {
        ChatFixture f;
        UploadLog log(f.chat);
        QSignalSpy failed(&f.chat, &RoomChatService::sendFailed);
        f.follow({"r"});
        f.chat.uploadAndSend("r", "b1", {image("a.png", 10)}, "", 0, "");
        f.http.answer(kAttachments, 0, ticket("att-1"));
        f.uploads.finish(0, jsonReply(200));
        QCOMPARE(f.http.callsTo("/v1/im/rooms/r/messages").at(0).body,
                 (QJsonObject{{"content", ""}, {"attachmentIds", QJsonArray{"att-1"}}}));
        f.http.answer("/v1/im/rooms/r/messages", 0, jsonReply(403, {{"code", "room.banned"}, {"message", "muted"}}));
        QCOMPARE(log.lines, (QStringList{"progress b1 100", "failed b1 muted"}));
        QCOMPARE(failed.count(), 1);

        // Without a message from the server the card gets the fixed send text.
        f.chat.uploadAndSend("r", "b2", {image("a.png", 10)}, "x", 0, "");
        f.http.answer(kAttachments, 1, ticket("att-2"));
        f.uploads.finish(1, jsonReply(200));
        f.http.answer("/v1/im/rooms/r/messages", 1, testsupport::networkErrorReply());
        QCOMPARE(log.lines.last(), QStringLiteral("failed b2 消息发送失败，请稍后重试"));
    }

    // Dropped while uploading: the images still go up; the message cannot be sent
    // and the batch fails, while a tag post goes out regardless.
    void subscriptionDroppedDuringUpload()
    {
        ChatFixture f;
        UploadLog log(f.chat);
        f.follow({"r"});
        f.chat.uploadAndSend("r", "send", {image("a.png", 10)}, "hi", 0, "");
        f.chat.uploadAndPost("r", "post", {image("b.png", 10)}, "Tag", "Title", "Body");
        f.follow({});
        f.http.answer(kAttachments, 0, ticket("att-1"));
        f.http.answer(kAttachments, 1, ticket("att-2"));
        f.uploads.finish(0, jsonReply(200));
        f.uploads.finish(1, jsonReply(200));
        QCOMPARE(f.http.callsTo("/v1/im/rooms/r/messages").size(), 0);
        const auto post = f.http.callsTo("/v1/im/rooms/r/tags");
        QCOMPARE(post.size(), 1);
        QCOMPARE(post.at(0).body, (QJsonObject{{"name", "Tag"},
                                               {"title", "Title"},
                                               {"content", "Body"},
                                               {"attachmentIds", QJsonArray{"att-2"}}}));
        QVERIFY(!post.at(0).options.headers.value("Idempotency-Key").isEmpty());
        f.http.answer("/v1/im/rooms/r/tags", 0, jsonReply(201));
        QCOMPARE(log.lines, (QStringList{"progress send 100", "failed send 消息发送失败，请稍后重试",
                                         "progress post 100", "finished post"}));
    }

    void failureReasons_data()
    {
        QTest::addColumn<HttpResponse>("ticketReply");
        QTest::addColumn<HttpResponse>("putReply");
        QTest::addColumn<QString>("reason");
        QTest::newRow("server message") << jsonReply(413, {{"message", "too big"}}) << HttpResponse() << "too big";
        QTest::newRow("no message") << jsonReply(500) << HttpResponse() << "网络错误";
        QTest::newRow("no status") << testsupport::networkErrorReply() << HttpResponse() << "网络错误";
        QTest::newRow("ticket without url")
            << jsonReply(200, {{"attachmentId", "a"}}) << HttpResponse() << "上传票响应异常";
        QTest::newRow("ticket without id")
            << jsonReply(200, {{"uploadUrl", "https://x.invalid/"}}) << HttpResponse() << "上传票响应异常";
        QTest::newRow("put timed out") << ticket("a") << testsupport::timedOutReply() << "上传超时";
        QTest::newRow("put refused") << ticket("a") << jsonReply(403) << "上传失败";
        QTest::newRow("put network") << ticket("a") << testsupport::networkErrorReply() << "上传失败";
    }

    void failureReasons()
    {
        QFETCH(HttpResponse, ticketReply);
        QFETCH(HttpResponse, putReply);
        QFETCH(QString, reason);
        ChatFixture f;
        UploadLog log(f.chat);
        f.follow({"r"});
        LogCapture lines;
        f.chat.uploadAndSend("r", "b", {image("a.png", 10), image("b.png", 10)}, "hi", 0, "");
        f.http.answer(kAttachments, 0, ticketReply);
        if (!f.uploads.puts.isEmpty())
            f.uploads.finish(0, putReply);
        QCOMPARE(log.lines, QStringList{"failed b " + reason});
        QCOMPARE(f.http.callsTo(kAttachments).size(), 1); // the first failing step ends the batch
        QVERIFY(lines.contains("room.chat", "attachment upload failed room_id=\"r\" batch=\"b\" index=0 reason="));
        QCOMPARE(lines.entries().size(), 1);
    }

    void withoutAnUploader()
    {
        ChatFixture f;
        RoomChatService chat(&f.http, nullptr, &f.session);
        UploadLog log(chat);
        chat.uploadAndSend("r", "b", {image("a.png", 10)}, "hi", 0, "");
        QVERIFY(log.lines.isEmpty()); // not subscribed: nothing
        chat.setSelectedRoom("r");
        chat.uploadAndSend("r", "b", {image("a.png", 10)}, "hi", 0, "");
        QCOMPARE(log.lines, QStringList{"failed b 图片功能不可用"});
    }

    // Cancelled before the second ticket: nothing more is sent and nothing is reported.
    void cancelBeforeTheSecondTicket()
    {
        ChatFixture f;
        UploadLog log(f.chat);
        f.follow({"r"});
        f.chat.uploadAndSend("r", "b", {image("a.png", 10), image("b.png", 10)}, "hi", 0, "");
        f.http.answer(kAttachments, 0, ticket("att-1"));
        f.chat.cancelUpload("b");
        f.uploads.finish(0, jsonReply(200));
        QCOMPARE(f.http.callsTo(kAttachments).size(), 1);
        QCOMPARE(f.http.callsTo("/v1/im/rooms/r/messages").size(), 0);
        QVERIFY(log.lines.isEmpty());

        // The id was used up: a new batch under it runs.
        f.chat.uploadAndSend("r", "b", {image("a.png", 10)}, "hi", 0, "");
        QCOMPARE(f.http.callsTo(kAttachments).size(), 2);
    }

    void guardsAndEmptyImages()
    {
        ChatFixture f;
        UploadLog log(f.chat);
        f.follow({"r"});
        const qsizetype calls = f.http.calls.size();
        f.chat.uploadAndSend("r", "b", {}, "hi", 0, "");
        f.chat.uploadAndSend("x", "b", {image("a.png", 1)}, "hi", 0, "");
        f.chat.uploadAndPost("r", "b", {image("a.png", 1)}, "Tag", "  ", "Body");
        f.chat.uploadAndPost("r", "b", {image("a.png", 1)}, "", "T", "Body");
        f.chat.uploadAndPost("r", "b", {image("a.png", 1)}, "Tag", "T", " ");
        QCOMPARE(f.http.calls.size(), calls);
        QVERIFY(log.lines.isEmpty());

        // Images without bytes: no intermediate progress, only 100.
        f.chat.uploadAndSend("r", "e", {image("a.png", 0)}, "hi", 0, "");
        f.http.answer(kAttachments, 0, ticket("att-1"));
        f.uploads.progress(0, 0, 0);
        f.uploads.finish(0, jsonReply(200));
        QCOMPARE(log.lines, QStringList{"progress e 100"});
    }
};

KESTOVA_TEST_MAIN(RoomChatUploadsTest)
#include "test_room_chat_uploads.moc"
