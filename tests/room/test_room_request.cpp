#include "net/api_path.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <memory>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

Q_DECLARE_METATYPE(HttpResponse)

namespace {

RoomRequest makeRequest(HttpMethod method, const QString &path, const QJsonObject &body, const QString &lead,
                        FailureDetail detail = FailureDetail::Body)
{
    RoomRequest request;
    request.method = method;
    request.path = path;
    request.body = body;
    request.failureLead = lead;
    request.detail = detail;
    return request;
}

HttpResponse rawReply(int status, const QByteArray &body)
{
    HttpResponse response = jsonReply(status);
    response.body = body;
    return response;
}

} // namespace

class RoomRequestTest : public QObject
{
    Q_OBJECT

private slots:
    // Which replies count as failed, and what their failure signal carries.
    void failureAndClassification_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<RoomErrorCode>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("200") << jsonReply(200) << false << RoomErrorCode::Other << "";
        QTest::newRow("204") << jsonReply(204) << false << RoomErrorCode::Other << "";
        QTest::newRow("299") << jsonReply(299) << false << RoomErrorCode::Other << "";
        QTest::newRow("199") << jsonReply(199) << true << RoomErrorCode::Other << "";
        QTest::newRow("300") << jsonReply(300) << true << RoomErrorCode::Other << "";
        QTest::newRow("404 not found") << jsonReply(404, {{"code", "room.not_found"}, {"message", "gone"}}) << true
                                       << RoomErrorCode::NotFound << "gone";
        QTest::newRow("403 banned") << jsonReply(403, {{"code", "room.banned"}}) << true << RoomErrorCode::Banned << "";
        QTest::newRow("409 not in room") << jsonReply(409, {{"code", "room.not_in_room"}, {"message", "m"}}) << true
                                         << RoomErrorCode::NotInRoom << "m";
        QTest::newRow("code not a string")
            << jsonReply(400, {{"code", 3}, {"message", 4}}) << true << RoomErrorCode::Other << "";
        QTest::newRow("network error") << testsupport::networkErrorReply() << true << RoomErrorCode::Other << "";
        QTest::newRow("time-out") << testsupport::timedOutReply() << true << RoomErrorCode::Other << "";
        HttpResponse flagged = jsonReply(200, {{"code", "room.banned"}});
        flagged.timedOut = true;
        QTest::newRow("200 with time-out flag") << flagged << true << RoomErrorCode::Banned << "";
    }

    void failureAndClassification()
    {
        QFETCH(HttpResponse, response);
        QFETCH(bool, failed);
        QFETCH(RoomErrorCode, code);
        QFETCH(QString, message);

        QCOMPARE(isFailedReply(response), failed);
        FakeHttpClient http;
        QObject receiver;
        int successes = 0;
        std::optional<RoomRequestError> failure;
        sendRoomRequest(
            &http, lcRoomModeration, &receiver,
            makeRequest(HttpMethod::Put, "/v1/x", {}, "op failed", FailureDetail::Body),
            [&](const HttpResponse &) { ++successes; }, [&](const RoomRequestError &error) { failure = error; });
        http.reply(0, response);
        QCOMPARE(successes, failed ? 0 : 1);
        QCOMPARE(failure.has_value(), failed);
        if (failure) {
            QCOMPARE(failure->code, code);
            QCOMPARE(failure->message, message);
        }
    }

    // One warning per failure: the lead with its quoted values, then the four
    // failure fields; the body is cut at 512 bytes and may be left out.
    void failureLine()
    {
        FakeHttpClient http;
        QObject receiver;
        LogCapture log;
        const QString userId = QStringLiteral("u\"2");
        sendRoomRequest(&http, lcRoomModeration, &receiver,
                        makeRequest(HttpMethod::Delete, "/v1/a", {},
                                    logText("kick failed room_id=", QStringLiteral("r1"), " user_id=", userId,
                                            " n=", 7)),
                        {}, {});
        sendRoomRequest(&http, lcRoomModeration, &receiver,
                        makeRequest(HttpMethod::Delete, "/v1/b", {},
                                    logText("mute failed room_id=", QStringLiteral("r1")), FailureDetail::NetError),
                        {}, {});
        HttpResponse big = rawReply(503, QByteArray(600, 'x'));
        big.json = QJsonObject{{"code", "busy"}};
        http.reply(0, big);
        http.reply(1, testsupport::networkErrorReply());

        const auto entries = log.entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).type, QtWarningMsg);
        QCOMPARE(entries.at(0).category, QStringLiteral("room.moderation"));
        QCOMPARE(entries.at(0).message, QStringLiteral("kick failed room_id=\"r1\" user_id=\"u\\\"2\" n=7 status=503 "
                                                       "code=\"busy\" net_err=\"\" body=\"")
                                            + QString(512, 'x') + "\"");
        QCOMPARE(entries.at(1).message,
                 QStringLiteral("mute failed room_id=\"r1\" status=0 code=\"\" net_err=\"Connection refused\""));
    }

    void detailLevels_data()
    {
        QTest::addColumn<FailureDetail>("detail");
        QTest::addColumn<QString>("text");
        QTest::newRow("status") << FailureDetail::Status << " status=404";
        QTest::newRow("code") << FailureDetail::Code << " status=404 code=\"room.x\"";
        QTest::newRow("net error") << FailureDetail::NetError << " status=404 code=\"room.x\" net_err=\"\"";
        QTest::newRow("body") << FailureDetail::Body
                              << " status=404 code=\"room.x\" net_err=\"\" body=\"{\\\"code\\\":\\\"room.x\\\"}\"";
    }

    void detailLevels()
    {
        QFETCH(FailureDetail, detail);
        QFETCH(QString, text);
        QString line;
        QDebug(&line).nospace() << failureFields(jsonReply(404, {{"code", "room.x"}}), detail);
        QCOMPARE(line, text);
    }

    // Success runs the success callback only, and writes nothing of its own.
    void successCallsBackAndLogsNothing()
    {
        FakeHttpClient http;
        QObject receiver;
        LogCapture log;
        QJsonObject seen;
        bool failed = false;
        RoomRequest request = makeRequest(HttpMethod::Post, "/v1/p", QJsonObject{{"k", 1}}, "p failed");
        request.options.headers.insert("Idempotency-Key", "abc");
        sendRoomRequest(
            &http, lcRoomModeration, &receiver, request, [&](const HttpResponse &r) { seen = r.json; },
            [&](const RoomRequestError &) { failed = true; });
        QCOMPARE(http.calls.at(0).method, HttpMethod::Post);
        QCOMPARE(http.calls.at(0).body, (QJsonObject{{"k", 1}}));
        QCOMPARE(http.calls.at(0).options.headers.value("Idempotency-Key"), QByteArray("abc"));
        http.reply(0, jsonReply(200, {{"status", "ok"}}));
        QCOMPARE(seen.value("status").toString(), QStringLiteral("ok"));
        QVERIFY(!failed);
        QVERIFY(log.entries().isEmpty());
    }

    // Every method reaches the transport as itself, bodies only where they belong.
    void methods_data()
    {
        QTest::addColumn<HttpMethod>("method");
        QTest::newRow("get") << HttpMethod::Get;
        QTest::newRow("post") << HttpMethod::Post;
        QTest::newRow("put") << HttpMethod::Put;
        QTest::newRow("patch") << HttpMethod::Patch;
        QTest::newRow("delete") << HttpMethod::Delete;
    }

    void methods()
    {
        QFETCH(HttpMethod, method);
        FakeHttpClient http;
        QObject receiver;
        sendRoomRequest(&http, lcRoomModeration, &receiver,
                        makeRequest(method, "/v1/m", {{"a", true}}, "", FailureDetail::Body), {}, {});
        QCOMPARE(http.calls.size(), 1);
        QCOMPARE(http.calls.at(0).method, method);
        QCOMPARE(http.calls.at(0).path, QStringLiteral("/v1/m"));
        const bool hasBody = method == HttpMethod::Post || method == HttpMethod::Put || method == HttpMethod::Patch;
        QCOMPARE(http.calls.at(0).body.isEmpty(), !hasBody);
    }

    // A reply that arrives after its service is gone is dropped without a trace.
    void replyAfterReceiverIsGone()
    {
        FakeHttpClient http;
        auto receiver = std::make_unique<QObject>();
        LogCapture log;
        int calls = 0;
        sendRoomRequest(
            &http, lcRoomModeration, receiver.get(),
            makeRequest(HttpMethod::Get, "/v1/g", {}, "g failed", FailureDetail::Body),
            [&](const HttpResponse &) { ++calls; }, [&](const RoomRequestError &) { ++calls; });
        receiver.reset();
        http.reply(0, jsonReply(500));
        QCOMPARE(calls, 0);
        QVERIFY(log.entries().isEmpty());
    }

    // A reply that a later state made meaningless is dropped unseen.
    void unwantedReplyDropped()
    {
        FakeHttpClient http;
        QObject receiver;
        LogCapture log;
        bool wanted = true;
        int calls = 0;
        RoomRequest request = makeRequest(HttpMethod::Get, "/v1/w", {}, "w failed");
        request.stillWanted = [&wanted] { return wanted; };
        sendRoomRequest(
            &http, lcRoomModeration, &receiver, request, [&](const HttpResponse &) { ++calls; },
            [&](const RoomRequestError &) { ++calls; });
        sendRoomRequest(
            &http, lcRoomModeration, &receiver, request, [&](const HttpResponse &) { ++calls; },
            [&](const RoomRequestError &) { ++calls; });
        http.reply(0, jsonReply(200));
        QCOMPARE(calls, 1);
        wanted = false;
        http.reply(1, jsonReply(500));
        QCOMPARE(calls, 1);
        QVERIFY(log.entries().isEmpty());
    }

    // An id never changes the shape of the request it is placed in.
    void idsStayOneSegment_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "r1"
                               << "/v1/rooms/r1/members/me";
        QTest::newRow("slash") << "a/b"
                               << "/v1/rooms/a%2Fb/members/me";
        QTest::newRow("query") << "a?x=1"
                               << "/v1/rooms/a%3Fx%3D1/members/me";
        QTest::newRow("fragment") << "a#b"
                                  << "/v1/rooms/a%23b/members/me";
        QTest::newRow("placeholder") << "%2"
                                     << "/v1/rooms/%252/members/me";
        QTest::newRow("dot dot") << ".."
                                 << "/v1/rooms/%2E%2E/members/me";
    }

    void idsStayOneSegment()
    {
        QFETCH(QString, id);
        QFETCH(QString, path);
        QCOMPARE(apiPath("/v1/rooms/%1/members/me", {id}), path);
    }
};

KESTOVA_TEST_MAIN(RoomRequestTest)
#include "test_room_request.moc"
