#include "match/code_attach_service.h"
#include "match/code_match_service.h"
#include "match/match_assembly.h"
#include "match/pref_match_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

QJsonObject obj(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// The candidates as "user@room" texts, for comparing whole lists at once.
QStringList describe(const QList<PrefMatchService::Candidate> &candidates)
{
    QStringList out;
    for (const auto &c : candidates)
        out << c.userId + "@" + c.roomId;
    return out;
}

} // namespace

class PrefMatchServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void requestSendsTheIdsInOrder_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("empty list is an empty array") << QStringList();
        QTest::newRow("order kept, duplicates kept") << QStringList{"u3", "u1", "u3", ""};
    }

    void requestSendsTheIdsInOrder()
    {
        QFETCH(QStringList, ids);
        FakeHttpClient http;
        PrefMatchService service(&http);
        service.start(ids);
        QCOMPARE(http.calls.size(), 1);
        const FakeHttpClient::Call &call = http.calls.at(0);
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, QStringLiteral("/v1/match/preference"));
        QVERIFY(call.body.value("memberIds").isArray());
        QCOMPARE(call.body, (QJsonObject{{"memberIds", QJsonArray::fromStringList(ids)}}));
        QCOMPARE(call.options.timeoutMs, 0);
    }

    void reply_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");

        QTest::newRow("two candidates in one room, server order")
            << 200
            << obj(R"({"status":"candidates","candidates":[{"userId":"u2","roomId":"r1"},{"userId":"u1","roomId":"r1"}]})")
            << true << QStringList{"u2@r1", "u1@r1"} << 0 << "";
        QTest::newRow("same candidate twice is not merged")
            << 200
            << obj(R"({"status":"candidates","candidates":[{"userId":"u1","roomId":"r1"},{"userId":"u1","roomId":"r1"}]})")
            << true << QStringList{"u1@r1", "u1@r1"} << 0 << "";
        QTest::newRow("no array is an empty list")
            << 200 << obj(R"({"status":"candidates"})") << true << QStringList() << 0 << "";
        QTest::newRow("malformed elements keep their place")
            << 200 << obj(R"({"status":"candidates","candidates":[7,{"roomId":"r2"},{"userId":3,"roomId":"r3"}]})")
            << true << QStringList{"@", "@r2", "@r3"} << 0 << "";
        QTest::newRow("other status") << 200 << obj(R"({"status":"none","message":"m"})") << false << QStringList() << 0
                                      << "";
        QTest::newRow("status compared exactly")
            << 200 << obj(R"({"status":"Candidates","candidates":[]})") << false << QStringList() << 0 << "";
        QTest::newRow("http error with listed code")
            << 403 << obj(R"({"code":"match.channel_banned","message":"封禁"})") << false << QStringList() << 2
            << "封禁";
        QTest::newRow("http error without body") << 503 << QJsonObject() << false << QStringList() << 0 << "";
        QTest::newRow("no answer") << 0 << QJsonObject() << false << QStringList() << 0 << "";
    }

    void reply()
    {
        QFETCH(int, status);
        QFETCH(QJsonObject, json);
        QFETCH(bool, ready);
        QFETCH(QStringList, candidates);
        QFETCH(int, code);
        QFETCH(QString, message);
        FakeHttpClient http;
        PrefMatchService service(&http);
        QSignalSpy readySpy(&service, &PrefMatchService::candidatesReady);
        QSignalSpy failedSpy(&service, &PrefMatchService::matchFailed);

        service.start({"u1"});
        http.reply(0, jsonReply(status, json));

        QCOMPARE(readySpy.size() + failedSpy.size(), 1);
        QCOMPARE(readySpy.size(), ready ? 1 : 0);
        if (ready) {
            QCOMPARE(describe(readySpy.at(0).at(0).value<QList<PrefMatchService::Candidate>>()), candidates);
        } else {
            QCOMPARE(int(failedSpy.at(0).at(0).value<MatchErrorCode>()), code);
            QCOMPARE(failedSpy.at(0).at(1).toString(), message);
        }
    }

    void logLines()
    {
        FakeHttpClient http;
        PrefMatchService service(&http);
        LogCapture logs;
        service.start({});
        service.start({});
        service.start({});
        http.reply(0, jsonReply(200, obj(R"({"status":"candidates"})")));
        http.reply(1, jsonReply(200, obj(R"({"status":"busy"})")));
        http.reply(2, jsonReply(403, obj(R"({"code":"match.channel_banned"})")));
        QVERIFY(logs.contains("match.preference", "preference match candidates count=0"));
        QVERIFY(logs.contains("match.preference", R"(preference match unexpected status status="busy" body=)"));
        QVERIFY(logs.contains("match.preference",
                              R"(preference match failed status=403 code="match.channel_banned" net_err="" body=)"));
    }

    void assemblyBuildsTheThreeServicesOverOneClient()
    {
        FakeHttpClient http;
        MatchAssembly assembly(&http);
        QVERIFY(assembly.codeMatchService() && assembly.codeAttachService() && assembly.prefMatchService());
        // Owned by the assembly alone.
        QCOMPARE(assembly.codeMatchService()->parent(), nullptr);
        QCOMPARE(assembly.codeAttachService()->parent(), nullptr);
        QCOMPARE(assembly.prefMatchService()->parent(), nullptr);

        assembly.codeMatchService()->joinByCode("c");
        assembly.codeAttachService()->attachByCode("c", "r");
        assembly.prefMatchService()->start({"u"});
        QCOMPARE(http.calls.size(), 3);
        QCOMPARE(http.calls.at(0).path, QStringLiteral("/v1/match/code"));
        QCOMPARE(http.calls.at(1).path, QStringLiteral("/v1/match/attach"));
        QCOMPARE(http.calls.at(2).path, QStringLiteral("/v1/match/preference"));
    }

    void repliesAfterTheAssemblyIsGoneAreDropped()
    {
        FakeHttpClient http;
        {
            MatchAssembly assembly(&http);
            assembly.codeMatchService()->joinByCode("c");
            assembly.prefMatchService()->start({"u"});
        }
        QCOMPARE(http.calls.size(), 2);
        // An assembly made next most likely lives where the gone one did: a reply that
        // reached the gone members' memory would show up on this one.
        MatchAssembly next(&http);
        QSignalSpy joined(next.codeMatchService(), &CodeMatchService::channelJoined);
        QSignalSpy candidates(next.prefMatchService(), &PrefMatchService::candidatesReady);
        LogCapture logs;
        http.reply(0, jsonReply(200, obj(R"({"status":"ok"})")));
        http.reply(1, jsonReply(200, obj(R"({"status":"candidates"})")));
        QCOMPARE(joined.count(), 0);
        QCOMPARE(candidates.count(), 0);
        QCOMPARE(logs.count("match.code", ""), 0);
        QCOMPARE(logs.count("match.preference", ""), 0);

        // The same replies to a living assembly are handled (and logged).
        next.codeMatchService()->joinByCode("c");
        next.prefMatchService()->start({"u"});
        http.reply(2, jsonReply(200, obj(R"({"status":"ok"})")));
        http.reply(3, jsonReply(200, obj(R"({"status":"candidates"})")));
        QCOMPARE(joined.count(), 1);
        QCOMPARE(candidates.count(), 1);
        QVERIFY(logs.contains("match.preference", "preference match candidates count=0"));
    }
};

KESTOVA_TEST_MAIN(PrefMatchServiceTest)
#include "test_pref_match_service.moc"
