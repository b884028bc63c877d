#include "realtime/events/chat_events.h"
#include "support/test_json.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

using testsupport::json;

namespace {

ImMessageSentEvent parseMessage(const char *text)
{
    const std::optional<ImMessageSentEvent> message = ImMessageSentEvent::fromJson(json(text));
    if (!message)
        qFatal("payload gave no message");
    return *message;
}

template<typename T>
QString debugText(const T &value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

} // namespace

class ChatEventsTest : public QObject
{
    Q_OBJECT

private slots:
    void roomIdMustBeANonEmptyString_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::newRow("empty payload") << QJsonObject();
        QTest::newRow("missing") << json(R"({"messageId":"m1","hidden":true,"tagId":3})");
        QTest::newRow("empty") << json(R"({"roomId":"","messageId":"m1"})");
        QTest::newRow("number") << json(R"({"roomId":42,"messageId":"m1"})");
        QTest::newRow("null") << json(R"({"roomId":null,"messageId":"m1"})");
    }

    void roomIdMustBeANonEmptyString()
    {
        QFETCH(QJsonObject, payload);
        QVERIFY(!ImMessageSentEvent::fromJson(payload));
        QVERIFY(!ImMessageHiddenEvent::fromJson(payload));
        QVERIFY(!ImMessageRetaggedEvent::fromJson(payload));
    }

    void messageReadsEveryKey()
    {
        const QJsonObject attachment{
            {"attachmentId", "a1"}, {"contentType", "image/png"}, {"sizeBytes", "2048"},         {"width", 640},
            {"height", 480},        {"url", "https://x/a1"},      {"thumbUrl", "https://x/a1t"}, {"fileName", "a.png"}};
        const std::optional<ImMessageSentEvent> message =
            ImMessageSentEvent::fromJson(QJsonObject{{"roomId", "r1"},
                                                     {"messageId", "m1"},
                                                     {"userId", "u1"},
                                                     {"content", "**hi**"},
                                                     {"tagId", "12"},
                                                     {"seq", 42},
                                                     {"sentAt", qint64(1700000000000)},
                                                     {"hidden", true},
                                                     {"title", "Topic"},
                                                     {"extra", "ignored"},
                                                     {"attachments", QJsonArray{attachment}}});
        QVERIFY(message);

        const ImMessageSentEvent expected{"r1",
                                          "m1",
                                          "u1",
                                          "**hi**",
                                          12,
                                          42,
                                          1700000000000,
                                          true,
                                          "Topic",
                                          {ImAttachment{"a1", "image/png", 2048, 640, 480, "https://x/a1",
                                                        "https://x/a1t", "a.png"}}};
        QVERIFY2(*message == expected, qPrintable(debugText(*message)));
    }

    void onlyRoomIdGivesDefaults()
    {
        ImMessageSentEvent expected;
        expected.roomId = "r1";
        QVERIFY(parseMessage(R"({"roomId":"r1"})") == expected);
    }

    void awkwardValuesFollowTheConversions()
    {
        const ImMessageSentEvent message = parseMessage(R"({"roomId":"r1","seq":"42","hidden":"true","sentAt":12.5,
            "tagId":"x","attachments":[{"width":1.5,"height":"640","sizeBytes":"10"}]})");
        QCOMPARE(message.seq, 42ll);
        QVERIFY(!message.hidden);
        QCOMPARE(message.sentAt, 13ll); // the variant conversion rounds a fraction
        QCOMPARE(message.tagId, 0ll);
        QCOMPARE(message.attachments.size(), 1);
        QCOMPARE(message.attachments.first().width, 0);
        QCOMPARE(message.attachments.first().height, 0);
        QCOMPARE(message.attachments.first().sizeBytes, 10ll);
    }

    void attachmentsNeedAnArray_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<QList<ImAttachment>>("expected");
        QTest::newRow("object") << json(R"({"roomId":"r1","attachments":{"attachmentId":"a1"}})")
                                << QList<ImAttachment>();
        QTest::newRow("string") << json(R"({"roomId":"r1","attachments":"a1"})") << QList<ImAttachment>();
        QTest::newRow("null") << json(R"({"roomId":"r1","attachments":null})") << QList<ImAttachment>();
        QTest::newRow("number then object")
            << json(R"({"roomId":"r1","attachments":[5,{"attachmentId":"a2","fileName":"b.jpg"}]})")
            << QList<ImAttachment>{ImAttachment{}, ImAttachment{"a2", "", 0, 0, 0, "", "", "b.jpg"}};
    }

    void attachmentsNeedAnArray()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(QList<ImAttachment>, expected);
        const std::optional<ImMessageSentEvent> message = ImMessageSentEvent::fromJson(payload);
        QVERIFY(message);
        QVERIFY(message->attachments == expected);
    }

    void hiddenEventReadsItsKeys()
    {
        const std::optional<ImMessageHiddenEvent> hidden = ImMessageHiddenEvent::fromJson(
            json(R"({"roomId":"r1","messageId":"m1","hidden":true,"byUserId":"u9","changedAt":"77"})"));
        QVERIFY(hidden);
        QVERIFY(*hidden == (ImMessageHiddenEvent{"r1", "m1", true, "u9", 77}));

        // Without "hidden" the message counts as shown again.
        const std::optional<ImMessageHiddenEvent> shown =
            ImMessageHiddenEvent::fromJson(json(R"({"roomId":"r1","messageId":"m1"})"));
        QVERIFY(shown);
        QVERIFY(!shown->hidden);
    }

    void retaggedEventReadsItsKeys()
    {
        const std::optional<ImMessageRetaggedEvent> retagged = ImMessageRetaggedEvent::fromJson(
            json(R"({"roomId":"r1","messageId":"m1","tagId":"9","byUserId":"u9","changedAt":78})"));
        QVERIFY(retagged);
        QVERIFY(*retagged == (ImMessageRetaggedEvent{"r1", "m1", 9, "u9", 78}));
    }

    void messagePrintsEveryField()
    {
        const ImMessageSentEvent message{
            "r1",
            "m1",
            "u1",
            "say \"hi\"",
            12,
            42,
            1700000000000,
            true,
            "",
            {ImAttachment{"a1", "image/png", 2048, 640, 480, "https://x/a1", "https://x/t1", "a.png"}, ImAttachment{}}};
        const QString expected =
            "ImMessageSentEvent{roomId=\"r1\", messageId=\"m1\", userId=\"u1\", content=\"say \\\"hi\\\"\", "
            "tagId=12, seq=42, sentAt=1700000000000, hidden=true, title=\"\", attachments=QList("
            "ImAttachment{attachmentId=\"a1\", contentType=\"image/png\", sizeBytes=2048, width=640, height=480, "
            "url=\"https://x/a1\", thumbUrl=\"https://x/t1\", fileName=\"a.png\"}, "
            "ImAttachment{attachmentId=\"\", contentType=\"\", sizeBytes=0, width=0, height=0, url=\"\", "
            "thumbUrl=\"\", fileName=\"\"})}";
        QCOMPARE(debugText(message).trimmed(), expected);
    }

    void messageWithoutAttachmentsPrintsAnEmptyList()
    {
        ImMessageSentEvent message;
        message.roomId = "r1";
        const QString expected = "ImMessageSentEvent{roomId=\"r1\", messageId=\"\", userId=\"\", content=\"\", "
                                 "tagId=0, seq=0, sentAt=0, hidden=false, title=\"\", attachments=QList()}";
        QCOMPARE(debugText(message).trimmed(), expected);

        // The caller's stream settings are kept: noquote drops the quotes, and the
        // automatic spaces come back after the record.
        QString text;
        QDebug(&text).noquote() << message << "after";
        QVERIFY2(text.startsWith("ImMessageSentEvent{roomId=r1, messageId=, "), qPrintable(text));
        QVERIFY2(text.trimmed().endsWith("attachments=QList()} after"), qPrintable(text));
    }

    void messagesTravelAndPrintFromAVariant()
    {
        QVERIFY(QMetaType::fromName("ImMessageSentEvent").isValid());
        QVERIFY(QMetaType::fromName("QList<ImMessageSentEvent>").isValid());

        ImMessageSentEvent message;
        message.roomId = "r1";
        message.seq = 5;
        const QString single = debugText(QVariant::fromValue(message));
        QVERIFY2(single.contains("ImMessageSentEvent{roomId=\"r1\""), qPrintable(single));

        const QList<ImMessageSentEvent> page{message, message};
        const QVariant pageVariant = QVariant::fromValue(page);
        QCOMPARE(pageVariant.metaType(), QMetaType::fromName("QList<ImMessageSentEvent>"));
        const QString pageText = debugText(pageVariant);
        QVERIFY2(pageText.contains("QList(ImMessageSentEvent{"), qPrintable(pageText));
        QCOMPARE(pageText.count("seq=5"), 2);
        QVERIFY(pageVariant.value<QList<ImMessageSentEvent>>() == page);
    }
};

KESTOVA_TEST_MAIN(ChatEventsTest)
#include "test_chat_events.moc"
