#include "net/http_client.h"
#include "net/raw_transfer_client.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_chat_service.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "support/loopback_http_server.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using testsupport::LoopbackHttpServer;
using testsupport::ScriptedReply;

class RoomChatUploadLoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    // Two images through the real transport: tickets, raw PUTs to the URLs the
    // tickets name, then the message with both attachment ids.
    void uploadAndSendOverHttp()
    {
        LoopbackHttpServer api;
        QVERIFY(api.listen());
        api.on("GET", "/v1/users/me/chat-subscriptions",
               ScriptedReply::json(200, QJsonObject{{"rooms", QJsonArray{"r1"}}}));
        api.enqueue("POST", "/v1/im/rooms/r1/attachments",
                    ScriptedReply::json(200,
                                        QJsonObject{{"attachmentId", "att-1"}, {"uploadUrl", api.url("/blob/1")}}));
        api.enqueue("POST", "/v1/im/rooms/r1/attachments",
                    ScriptedReply::json(200,
                                        QJsonObject{{"attachmentId", "att-2"}, {"uploadUrl", api.url("/blob/2")}}));
        api.on("PUT", "/blob/1", ScriptedReply::empty(200));
        api.on("PUT", "/blob/2", ScriptedReply::empty(200));
        api.on("POST", "/v1/im/rooms/r1/messages", ScriptedReply::json(201, QJsonObject{{"messageId", "m1"}}));

        HttpClient http;
        http.setBaseUrl(api.baseUrl());
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        RoomAdapterRegistry registry(&store);
        ActiveRoomSession session(&http, &store, &feed, &registry);
        RawTransferClient raw;
        RoomChatService chat(&http, &raw, &session);

        QSignalSpy feeds(&chat, &RoomChatService::feedsChanged);
        chat.fetchSubscriptions();
        QTRY_COMPARE(feeds.count(), 1);

        QSignalSpy progress(&chat, &RoomChatService::uploadProgress);
        QSignalSpy finished(&chat, &RoomChatService::uploadFinished);
        QSignalSpy failed(&chat, &RoomChatService::uploadFailed);
        const QByteArray first(3000, 'a');
        const QByteArray second(5000, 'b');
        chat.uploadAndSend("r1", "batch-1",
                           {RoomChatService::LocalImage{"a.png", first, "image/png", 10, 10},
                            RoomChatService::LocalImage{"b.jpg", second, "image/jpeg", 20, 20}},
                           "two pictures", 0, QString());
        QTRY_COMPARE(finished.count() + failed.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(progress.last().at(2).toInt(), 100);

        QList<testsupport::RecordedRequest> puts;
        testsupport::RecordedRequest message;
        for (const auto &request : api.requests()) {
            if (request.method == "PUT")
                puts << request;
            if (request.path == QStringLiteral("/v1/im/rooms/r1/messages"))
                message = request;
        }
        QCOMPARE(puts.size(), 2);
        QCOMPARE(puts.at(0).path, QStringLiteral("/blob/1"));
        QCOMPARE(puts.at(0).body, first);
        QCOMPARE(puts.at(0).header("Content-Type"), QByteArray("image/png"));
        QCOMPARE(puts.at(1).body, second);
        QCOMPARE(puts.at(1).header("Content-Type"), QByteArray("image/jpeg"));
        QVERIFY(!message.header("Idempotency-Key").isEmpty());
        QCOMPARE(QJsonDocument::fromJson(message.body).object(),
                 (QJsonObject{{"content", "two pictures"}, {"attachmentIds", QJsonArray{"att-1", "att-2"}}}));
    }
};

KESTOVA_TEST_MAIN(RoomChatUploadLoopbackTest)
#include "test_room_chat_upload_loopback.moc"
