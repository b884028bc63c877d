#include "channel/channel_actions_service.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "net/http_client.h"
#include "support/loopback_http_server.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::LoopbackHttpServer;
using testsupport::ScriptedReply;

// The channel services against a loopback API server through the real HTTP client:
// what goes on the wire.
class ChannelOverHttpTest : public QObject
{
    Q_OBJECT

private slots:
    void roleIdsAndIdsOnTheWire()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        server.on("*", "/v1/channels/c%2F1/members/u%3F2/role",
                  ScriptedReply::json(409, QJsonObject{{"code", "channel.role_locked"}, {"message", "locked"}}));
        HttpClient http;
        http.setBaseUrl(server.baseUrl());
        ChannelActionsService actions(&http);

        bool done = false;
        bool ok = true;
        QString message;
        actions.setMemberRole("c/1", "u?2", Q_INT64_C(9007199254740993),
                              [&](bool okArg, ChannelErrorCode, const QString &messageArg) {
                                  done = true;
                                  ok = okArg;
                                  message = messageArg;
                              });
        QTRY_VERIFY(done);
        QVERIFY(!ok);
        QCOMPARE(message, QString("locked"));
        const testsupport::RecordedRequest request = server.lastRequest();
        QCOMPARE(request.method, QByteArray("PUT"));
        QCOMPARE(request.path, QString("/v1/channels/c%2F1/members/u%3F2/role"));
        QVERIFY(request.query.isEmpty());
        QCOMPARE(request.body, QByteArray(R"({"roleId":9007199254740993})"));
    }

    void listRetriesUntilTheServerAnswers()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        server.enqueue("GET", "/v1/channels", ScriptedReply::json(503, QJsonObject{{"code", "busy"}}));
        server.on("GET", "/v1/channels", ScriptedReply::json(200, QJsonObject{{"channels", QJsonArray{"a", "b"}}}));
        HttpClient http;
        http.setBaseUrl(server.baseUrl());
        ChannelEntityStore store;
        ChannelListService list(&http, &store);
        list.setRetryUnitMs(1);
        QSignalSpy changed(&list, &ChannelListService::listChanged);

        list.bootstrap();

        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(server.requestsTo("/v1/channels").size(), 2);
        QCOMPARE(list.channelIds(), (QStringList{"a", "b"}));
    }
};

KESTOVA_TEST_MAIN(ChannelOverHttpTest)
#include "test_channel_over_http.moc"
