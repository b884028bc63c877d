#include "match/code_attach_service.h"
#include "match/code_match_service.h"
#include "match/match_error_code.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

QJsonObject obj(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// A reply built from a table row: "timeout" and "network" stand for the transport's
// own failures, "flagged" for an HTTP status that came with the network-error flag set.
HttpResponse replyOf(int status, const QJsonObject &json, const QString &transport)
{
    if (transport == QLatin1String("timeout"))
        return testsupport::timedOutReply();
    if (transport == QLatin1String("network"))
        return testsupport::networkErrorReply();
    HttpResponse response = jsonReply(status, json);
    if (transport == QLatin1String("flagged"))
        response.networkError = true;
    return response;
}

// Every result signal of both services, as "name:arg:arg" lines in arrival order, so a
// test can see that one reply gave exactly one signal.
struct SignalLog
{
    QStringList lines;

    void watch(CodeMatchService *service)
    {
        QObject::connect(service, &CodeMatchService::roomEntering, service,
                         [this](const QString &roomId) { lines << "roomEntering:" + roomId; });
        QObject::connect(service, &CodeMatchService::channelJoined, service, [this] { lines << "channelJoined"; });
        QObject::connect(service, &CodeMatchService::joinNeedsApply, service,
                         [this](const QString &roomId) { lines << "joinNeedsApply:" + roomId; });
        QObject::connect(service, &CodeMatchService::joinByCodeFailed, service,
                         [this](MatchErrorCode code, const QString &msg) {
                             lines << QStringLiteral("failed:%1:%2").arg(int(code)).arg(msg);
                         });
    }

    void watch(CodeAttachService *service)
    {
        QObject::connect(service, &CodeAttachService::attached, service,
                         [this](const QString &parent) { lines << "attached:" + parent; });
        QObject::connect(service, &CodeAttachService::attachPending, service,
                         [this](const QString &requestId, const QString &parent, const QString &child,
                                qlonglong expiresAtMs, const QString &parentName) {
                             lines << QStringLiteral("pending:%1:%2:%3:%4:%5")
                                          .arg(requestId, parent, child)
                                          .arg(expiresAtMs)
                                          .arg(parentName);
                         });
        QObject::connect(service, &CodeAttachService::attachFailed, service,
                         [this](MatchErrorCode code, const QString &msg) {
                             lines << QStringLiteral("failed:%1:%2").arg(int(code)).arg(msg);
                         });
    }
};

} // namespace

class CodeServicesTest : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("expected");
        QTest::newRow("invalid code") << "match.invalid_code" << 1;
        QTest::newRow("channel banned") << "match.channel_banned" << 2;
        QTest::newRow("room gone") << "match.room_gone" << 3;
        QTest::newRow("join rejected") << "match.join_rejected" << 4;
        QTest::newRow("attach rejected") << "match.attach_rejected" << 5;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("other area") << "room.not_found" << 0;
        QTest::newRow("upper case") << "MATCH.ROOM_GONE" << 0;
        QTest::newRow("trailing blank") << "match.room_gone " << 0;
        QTest::newRow("prefix only") << "match." << 0;
    }

    void classify()
    {
        QFETCH(QString, code);
        QFETCH(int, expected);
        QCOMPARE(int(classifyMatchError(code)), expected);
    }

    void joinRequestCarriesCodeUnchangedAndSessionId_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("withProvider");
        QTest::addColumn<QString>("sessionId");
        QTest::newRow("no provider") << "ABC123" << false << "";
        QTest::newRow("provider") << "ABC123" << true << "sess-9";
        QTest::newRow("empty code still sent") << "" << true << "sess-9";
        QTest::newRow("blanks kept") << "  ab c " << false << "";
    }

    void joinRequestCarriesCodeUnchangedAndSessionId()
    {
        QFETCH(QString, code);
        QFETCH(bool, withProvider);
        QFETCH(QString, sessionId);
        FakeHttpClient http;
        CodeMatchService service(&http);
        if (withProvider)
            service.setSessionIdProvider([sessionId] { return sessionId; });

        service.joinByCode(code);

        QCOMPARE(http.calls.size(), 1);
        const FakeHttpClient::Call &call = http.calls.at(0);
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, QStringLiteral("/v1/match/code"));
        QCOMPARE(call.body, (QJsonObject{{"code", code}, {"sessionId", sessionId}}));
        QCOMPARE(call.options.timeoutMs, 0);
        QVERIFY(!call.options.skipAuth);
        QVERIFY(call.options.headers.isEmpty());
    }

    void providerIsAskedAtEachCall()
    {
        FakeHttpClient http;
        CodeMatchService service(&http);
        QString current = "s1";
        service.setSessionIdProvider([&current] { return current; });
        service.joinByCode("c");
        current = "s2";
        service.joinByCode("c");
        QCOMPARE(http.calls.at(0).body.value("sessionId").toString(), QStringLiteral("s1"));
        QCOMPARE(http.calls.at(1).body.value("sessionId").toString(), QStringLiteral("s2"));
    }

    void joinReply_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("expected");

        QTest::newRow("entering") << 200 << obj(R"({"status":"entering","roomId":"r1"})") << ""
                                  << "roomEntering:r1";
        QTest::newRow("ok joins a channel") << 200 << obj(R"({"status":"ok","roomId":"r1"})") << ""
                                            << "channelJoined";
        QTest::newRow("needApply") << 200 << obj(R"({"status":"needApply","roomId":"r2"})") << ""
                                   << "joinNeedsApply:r2";
        QTest::newRow("error with listed reason")
            << 200 << obj(R"({"status":"error","reason":"match.room_gone","message":"房间已解散"})") << ""
            << "failed:3:房间已解散";
        QTest::newRow("error with unlisted reason")
            << 200 << obj(R"({"status":"error","reason":"match.other","message":"no"})") << ""
            << "failed:0:no";
        QTest::newRow("error without reason or message") << 200 << obj(R"({"status":"error"})") << ""
                                                         << "failed:0:";
        QTest::newRow("error code key is not the reason")
            << 200 << obj(R"({"status":"error","code":"match.invalid_code"})") << ""
            << "failed:0:";
        QTest::newRow("unknown status") << 200 << obj(R"({"status":"queued","message":"m"})") << ""
                                        << "failed:0:";
        QTest::newRow("status compared exactly") << 200 << obj(R"({"status":"Entering","roomId":"r1"})") << ""
                                                 << "failed:0:";
        QTest::newRow("status not a string") << 200 << obj(R"({"status":1})") << ""
                                             << "failed:0:";
        QTest::newRow("no body") << 204 << QJsonObject() << ""
                                 << "failed:0:";
        QTest::newRow("http error with listed code")
            << 400 << obj(R"({"code":"match.invalid_code","message":"邀请码无效"})") << ""
            << "failed:1:邀请码无效";
        QTest::newRow("http error reason is not read")
            << 400 << obj(R"({"reason":"match.invalid_code","message":"m"})") << ""
            << "failed:0:m";
        QTest::newRow("http error with other code") << 500 << obj(R"({"code":"oops","message":"m"})") << ""
                                                    << "failed:0:m";
        QTest::newRow("success body behind a failure status")
            << 409 << obj(R"({"status":"entering","roomId":"r1"})") << ""
            << "failed:0:";
        QTest::newRow("time-out") << 0 << QJsonObject() << "timeout"
                                  << "failed:0:";
        QTest::newRow("network error") << 0 << QJsonObject() << "network"
                                       << "failed:0:";
        QTest::newRow("status with network flag") << 200 << obj(R"({"status":"entering","roomId":"r1"})") << "flagged"
                                                  << "failed:0:";
        // An empty room id would make the receiver enter or apply for nothing.
        QTest::newRow("entering without room id") << 200 << obj(R"({"status":"entering"})") << ""
                                                  << "failed:0:";
        QTest::newRow("needApply without room id") << 200 << obj(R"({"status":"needApply","roomId":""})") << ""
                                                   << "failed:0:";
    }

    void joinReply()
    {
        QFETCH(int, status);
        QFETCH(QJsonObject, json);
        QFETCH(QString, transport);
        QFETCH(QString, expected);
        FakeHttpClient http;
        CodeMatchService service(&http);
        SignalLog log;
        log.watch(&service);

        service.joinByCode("code");
        http.reply(0, replyOf(status, json, transport));

        QCOMPARE(log.lines, QStringList{expected});
    }

    void joinLogLines()
    {
        FakeHttpClient http;
        CodeMatchService service(&http);
        LogCapture logs;
        service.joinByCode("a");
        service.joinByCode("b");
        service.joinByCode("c");
        http.reply(0, jsonReply(200, obj(R"({"status":"entering","roomId":"r1"})")));
        http.reply(1, jsonReply(400, obj(R"({"code":"match.invalid_code","message":"m"})")));
        http.reply(2, jsonReply(200, obj(R"({"status":"later"})")));

        QVERIFY(logs.contains("match.code", R"(join by code entering room room_id="r1")"));
        QVERIFY(logs.contains("match.code",
                              R"(join by code failed status=400 code="match.invalid_code" net_err="" body=)"));
        QVERIFY(logs.contains("match.code", R"(join by code unexpected status status="later" body=)"));
    }

    void repliesAreIndependentAndArriveInReplyOrder()
    {
        FakeHttpClient http;
        CodeMatchService service(&http);
        SignalLog log;
        log.watch(&service);
        service.joinByCode("first");
        service.joinByCode("second");
        http.reply(1, jsonReply(200, obj(R"({"status":"ok"})")));
        http.reply(0, jsonReply(200, obj(R"({"status":"entering","roomId":"r1"})")));
        QCOMPARE(log.lines, (QStringList{"channelJoined", "roomEntering:r1"}));
    }

    void replyAfterServiceIsGoneIsDropped()
    {
        FakeHttpClient http;
        auto *match = new CodeMatchService(&http);
        auto *attach = new CodeAttachService(&http);
        match->joinByCode("c");
        attach->attachByCode("c", "child");
        QCOMPARE(http.calls.size(), 2);
        delete match;
        delete attach;
        // Services made next most likely live where the deleted ones did: a reply that
        // reached the deleted ones' memory would show up on these.
        const auto nextMatch = std::make_unique<CodeMatchService>(&http);
        const auto nextAttach = std::make_unique<CodeAttachService>(&http);
        SignalLog log;
        log.watch(nextMatch.get());
        log.watch(nextAttach.get());
        LogCapture logs;
        http.reply(0, jsonReply(200, obj(R"({"status":"ok"})")));
        http.reply(1, jsonReply(200, obj(R"({"status":"attached","roomId":"p"})")));
        QCOMPARE(log.lines, QStringList());
        QCOMPARE(logs.count("match.code", ""), 0);

        // The same replies to living services are handled (and logged).
        nextMatch->joinByCode("c");
        nextAttach->attachByCode("c", "child");
        http.reply(2, jsonReply(200, obj(R"({"status":"ok"})")));
        http.reply(3, jsonReply(200, obj(R"({"status":"attached","roomId":"p"})")));
        QCOMPARE(log.lines, (QStringList{"channelJoined", "attached:p"}));
        QVERIFY(logs.contains("match.code", "join by code joined channel"));
    }

    void attachRequest()
    {
        FakeHttpClient http;
        CodeAttachService service(&http);
        service.attachByCode(" XY ", "child-1");
        QCOMPARE(http.calls.size(), 1);
        const FakeHttpClient::Call &call = http.calls.at(0);
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, QStringLiteral("/v1/match/attach"));
        QCOMPARE(call.body, (QJsonObject{{"code", " XY "}, {"childRoomId", "child-1"}}));
        QCOMPARE(call.options.timeoutMs, 0);
    }

    void attachReply_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("expected");

        QTest::newRow("attached") << 200 << obj(R"({"status":"attached","roomId":"p1"})") << ""
                                  << "attached:p1";
        QTest::newRow("pending whole milliseconds")
            << 200
            << obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1","expiresAtMs":1700000000123,"roomName":"大厅"})")
            << ""
            << "pending:q1:p1:child:1700000000123:大厅";
        QTest::newRow("pending fraction truncated")
            << 200 << obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1","expiresAtMs":1700000000123.9})")
            << ""
            << "pending:q1:p1:child:1700000000123:";
        QTest::newRow("pending negative fraction toward zero")
            << 200 << obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1","expiresAtMs":-5.7})") << ""
            << "pending:q1:p1:child:-5:";
        QTest::newRow("pending without expiry")
            << 200 << obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1"})") << ""
            << "pending:q1:p1:child:0:";
        QTest::newRow("pending expiry as text is no number")
            << 200 << obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1","expiresAtMs":"99"})") << ""
            << "pending:q1:p1:child:0:";
        QTest::newRow("pending expiry beyond 64 bits is held")
            << 200 << obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1","expiresAtMs":1e300})") << ""
            << "pending:q1:p1:child:9223372036854775807:";
        QTest::newRow("pending with nothing else") << 200 << obj(R"({"status":"attachPending"})") << ""
                                                   << "pending:::child:0:";
        QTest::newRow("error with listed reason")
            << 200 << obj(R"({"status":"error","reason":"match.attach_rejected","message":"拒绝"})") << ""
            << "failed:5:拒绝";
        QTest::newRow("error with join reason")
            << 200 << obj(R"({"status":"error","reason":"match.join_rejected"})") << ""
            << "failed:4:";
        QTest::newRow("unknown status") << 200 << obj(R"({"status":"entering","roomId":"p1"})") << ""
                                        << "failed:0:";
        QTest::newRow("status compared exactly") << 200 << obj(R"({"status":"Attached","roomId":"p1"})") << ""
                                                 << "failed:0:";
        QTest::newRow("http error with listed code")
            << 403 << obj(R"({"code":"match.channel_banned","message":"banned"})") << ""
            << "failed:2:banned";
        QTest::newRow("time-out") << 0 << QJsonObject() << "timeout"
                                  << "failed:0:";
        QTest::newRow("network error") << 0 << QJsonObject() << "network"
                                       << "failed:0:";
    }

    void attachReply()
    {
        QFETCH(int, status);
        QFETCH(QJsonObject, json);
        QFETCH(QString, transport);
        QFETCH(QString, expected);
        FakeHttpClient http;
        CodeAttachService service(&http);
        SignalLog log;
        log.watch(&service);

        service.attachByCode("code", "child");
        http.reply(0, replyOf(status, json, transport));

        QCOMPARE(log.lines, QStringList{expected});
    }

    void pendingKeepsTheChildOfItsOwnRequest()
    {
        FakeHttpClient http;
        CodeAttachService service(&http);
        SignalLog log;
        log.watch(&service);
        service.attachByCode("a", "child-a");
        service.attachByCode("b", "child-b");
        const QJsonObject pending = obj(R"({"status":"attachPending","roomId":"p","requestId":"q"})");
        http.reply(1, jsonReply(200, pending));
        http.reply(0, jsonReply(200, pending));
        QCOMPARE(log.lines, (QStringList{"pending:q:p:child-b:0:", "pending:q:p:child-a:0:"}));
    }

    void attachLogLines()
    {
        FakeHttpClient http;
        CodeAttachService service(&http);
        LogCapture logs;
        service.attachByCode("a", "c");
        service.attachByCode("a", "c");
        service.attachByCode("a", "c");
        http.reply(0, jsonReply(200, obj(R"({"status":"attachPending","roomId":"p1","requestId":"q1"})")));
        http.reply(1, jsonReply(200, obj(R"({"status":"error","reason":"match.room_gone"})")));
        http.reply(2, testsupport::timedOutReply());
        QVERIFY(logs.contains("match.code", R"(attach by code pending parent_room_id="p1" request_id="q1")"));
        QVERIFY(logs.contains("match.code", R"(attach by code rejected reason="match.room_gone")"));
        QVERIFY(logs.contains("match.code", "attach by code failed status=0 code=\"\" net_err=\""));
    }
};

KESTOVA_TEST_MAIN(CodeServicesTest)
#include "test_code_services.moc"
