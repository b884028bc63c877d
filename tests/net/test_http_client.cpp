#include "net/http_client.h"

#include "http_test_helpers.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/request_check.h"
#include "support/scripted_response_interceptor.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

using testsupport::ScriptedReply;

class HttpClientTest : public QObject, private LoopbackClientFixture
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(startLoopback()); }
    void cleanup() { stopLoopback(); }

    void sendsMethodPathQueryAndBody_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<QByteArray>("body");
        const QByteArray json = R"({"n":1,"name":"a"})"; // compact, keys in QJsonObject order
        QTest::newRow("get") << int(HttpMethod::Get) << QByteArray("GET") << QByteArray();
        QTest::newRow("post") << int(HttpMethod::Post) << QByteArray("POST") << json;
        QTest::newRow("put") << int(HttpMethod::Put) << QByteArray("PUT") << json;
        QTest::newRow("patch") << int(HttpMethod::Patch) << QByteArray("PATCH") << json;
        QTest::newRow("delete") << int(HttpMethod::Delete) << QByteArray("DELETE") << QByteArray();
    }
    void sendsMethodPathQueryAndBody()
    {
        QFETCH(int, method);
        QFETCH(QByteArray, verb);
        QFETCH(QByteArray, body);
        server->on(verb, QStringLiteral("/v1/rooms/r1"), ScriptedReply::json(200, QJsonObject{{"ok", true}}));
        const QString path = QStringLiteral("/v1/rooms/r1?beforeSeq=5&limit=20");
        const QJsonObject object{{"name", "a"}, {"n", 1}};
        ResponseCollector got;
        switch (HttpMethod(method)) {
            case HttpMethod::Get: client->get(path, got.callback()); break;
            case HttpMethod::Post: client->post(path, object, got.callback()); break;
            case HttpMethod::Put: client->put(path, object, got.callback()); break;
            case HttpMethod::Patch: client->patch(path, object, got.callback()); break;
            case HttpMethod::Delete: client->del(path, got.callback()); break;
        }
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 200);
        QVERIFY(got.last().isSuccess());
        QCOMPARE(got.last().json.value("ok").toBool(), true);

        QCOMPARE(server->requestCount(), 1);
        const auto request = server->lastRequest();
        // Every REST request, GET and DELETE included, carries the JSON content type.
        const QString mismatch = testsupport::requestMismatch(request, {verb,
                                                                        QStringLiteral("/v1/rooms/r1"),
                                                                        {},
                                                                        body,
                                                                        {{"Content-Type", "application/json"}},
                                                                        {"Authorization"}});
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(request.query, QStringLiteral("beforeSeq=5&limit=20"));
    }

    void responseShapes_data()
    {
        QTest::addColumn<ScriptedReply>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("hasJson");
        QTest::addColumn<QByteArray>("body");
        const QJsonObject error{{"code", "token_expired"}, {"message", "expired"}};
        QTest::newRow("object") << ScriptedReply::json(200, QJsonObject{{"a", 1}}) << 200 << true
                                << QByteArray(R"({"a":1})");
        QTest::newRow("array") << ScriptedReply::json(200, QJsonArray{1, 2}) << 200 << false << QByteArray("[1,2]");
        QTest::newRow("scalar") << ScriptedReply::raw(200, "42", "application/json") << 200 << false
                                << QByteArray("42");
        QTest::newRow("invalid json") << ScriptedReply::raw(200, "{not json", "application/json") << 200 << false
                                      << QByteArray("{not json");
        QTest::newRow("empty 200") << ScriptedReply::empty(200) << 200 << false << QByteArray();
        QTest::newRow("204") << ScriptedReply::empty(204) << 204 << false << QByteArray();
        QTest::newRow("401 with code") << ScriptedReply::json(401, error) << 401 << true
                                       << QJsonDocument(error).toJson(QJsonDocument::Compact);
        QTest::newRow("404 plain text") << ScriptedReply::raw(404, "nope", "text/plain") << 404 << false
                                        << QByteArray("nope");
        QTest::newRow("500 with object") << ScriptedReply::json(500, error) << 500 << true
                                         << QJsonDocument(error).toJson(QJsonDocument::Compact);
    }
    void responseShapes()
    {
        QFETCH(ScriptedReply, reply);
        QFETCH(int, status);
        QFETCH(bool, hasJson);
        QFETCH(QByteArray, body);
        server->on("GET", QStringLiteral("/v1/x"), reply);
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        const HttpResponse &r = got.last();
        QCOMPARE(r.status, status);
        QCOMPARE(!r.json.isEmpty(), hasJson);
        if (hasJson)
            QCOMPARE(r.json, QJsonDocument::fromJson(body).object());
        QCOMPARE(r.body, body);
        // Every response with a status has no error text and no flags.
        QVERIFY(r.error.isEmpty());
        QVERIFY(!r.timedOut);
        QVERIFY(!r.networkError);
    }

    void connectionRefusedIsANetworkError()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 deadPort = probe.serverPort();
        probe.close();
        client->setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(deadPort));

        testsupport::LogCapture log;
        ResponseCollector got;
        client->post(QStringLiteral("/v1/auth/login"), QJsonObject{{"code", "123456"}}, got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 0);
        QVERIFY(got.last().networkError);
        QVERIFY(!got.last().timedOut);
        QVERIFY(!got.last().error.isEmpty());
        QVERIFY(got.last().json.isEmpty());
        QVERIFY(log.contains("base.net", "http network error POST \"/v1/auth/login\""));
    }

    void closedWithoutReplyIsANetworkError()
    {
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::closeWithoutReply());
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 0);
        QVERIFY(got.last().networkError);
        QVERIFY(!got.last().error.isEmpty());
    }

    void timeoutLimit_data()
    {
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("limit");
        QTest::newRow("zero") << 0 << 30000;
        QTest::newRow("negative") << -5 << 30000;
        QTest::newRow("given") << 1500 << 1500;
    }
    void timeoutLimit()
    {
        QFETCH(int, timeoutMs);
        QFETCH(int, limit);
        server->on("GET", QStringLiteral("/v1/slow"), ScriptedReply::never());
        HttpOptions options;
        options.timeoutMs = timeoutMs;
        client->get(QStringLiteral("/v1/slow"), {}, options);
        const auto timers = client->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(timers.size(), 1);
        QVERIFY(timers.first()->isActive());
        QVERIFY(timers.first()->isSingleShot());
        QCOMPARE(timers.first()->interval(), limit);
    }

    void timeoutCallsBackOnceAndSkipsInterceptors()
    {
        testsupport::ScriptedResponseInterceptor interceptor;
        client->addResponseInterceptor(&interceptor);
        // The reply comes after the limit: it must not produce a second callback.
        server->on("GET", QStringLiteral("/v1/late"), ScriptedReply::json(200, QJsonObject{{"a", 1}}).withDelay(250));
        testsupport::LogCapture log;
        HttpOptions options;
        options.timeoutMs = 60;
        ResponseCollector got;
        client->get(QStringLiteral("/v1/late"), got.callback(), options);
        QTRY_COMPARE(got.count(), 1);
        const HttpResponse &r = got.last();
        QCOMPARE(r.status, 0);
        QVERIFY(r.timedOut);
        QVERIFY(!r.networkError);
        QCOMPARE(r.error, QStringLiteral("请求超时"));
        QVERIFY(r.body.isEmpty());
        QVERIFY(log.contains("base.net", "http request timeout GET \"/v1/late\" elapsed_ms"));
        QVERIFY(log.contains("base.net", "limit_ms 60"));
        // The reply was aborted: the connection goes, and the late answer never arrives.
        QTRY_COMPARE(server->openConnections(), 0);
        QTest::qWait(300); // past the server's delay
        QCOMPARE(got.count(), 1);
        QCOMPARE(interceptor.offerCount(), 0);
        QVERIFY(client->findChildren<QTimer *>(Qt::FindDirectChildrenOnly).isEmpty());
    }

    void rateLimited_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<int>("retryAfter");
        QTest::newRow("retryAfter 7") << QJsonObject{{"code", "rate_limited"},
                                                     {"details", QJsonObject{{"retryAfter", 7}}}}
                                      << 7;
        QTest::newRow("no details") << QJsonObject{{"code", "rate_limited"}} << 0;
        QTest::newRow("details without retryAfter") << QJsonObject{{"details", QJsonObject{{"x", 1}}}} << 0;
        QTest::newRow("retryAfter as text") << QJsonObject{{"details", QJsonObject{{"retryAfter", "7"}}}} << 0;
        QTest::newRow("retryAfter fractional") << QJsonObject{{"details", QJsonObject{{"retryAfter", 2.5}}}} << 0;
        QTest::newRow("details not an object") << QJsonObject{{"details", 7}} << 0;
    }
    void rateLimited()
    {
        QFETCH(QJsonObject, body);
        QFETCH(int, retryAfter);
        testsupport::ScriptedResponseInterceptor interceptor;
        client->addResponseInterceptor(&interceptor);
        server->on("POST", QStringLiteral("/v1/auth/send-code"), ScriptedReply::json(429, body));
        QSignalSpy spy(client.get(), &HttpClient::rateLimited);
        ResponseCollector got;
        client->post(QStringLiteral("/v1/auth/send-code"), {}, got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("/v1/auth/send-code"));
        QCOMPARE(spy.at(0).at(1).toInt(), retryAfter);
        // Then handled like any other 4xx: offered to the interceptors, then the callback.
        QCOMPARE(interceptor.offerCount(), 1);
        QCOMPARE(got.last().status, 429);
        QCOMPARE(got.last().json, body);
    }

    void otherStatusesDoNotEmitRateLimited()
    {
        server->on("GET", QStringLiteral("/v1/x"),
                   ScriptedReply::json(503, QJsonObject{{"details", QJsonObject{{"retryAfter", 3}}}}));
        QSignalSpy spy(client.get(), &HttpClient::rateLimited);
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(spy.count(), 0);
    }

    void postRawContentType_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("optionHeader");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("given") << QByteArray("image/png") << QByteArray() << QByteArray("image/png");
        QTest::newRow("empty keeps json") << QByteArray() << QByteArray() << QByteArray("application/json");
        QTest::newRow("empty, caller header") << QByteArray() << QByteArray("text/plain") << QByteArray("text/plain");
        QTest::newRow("given beats caller header")
            << QByteArray("image/png") << QByteArray("text/plain") << QByteArray("image/png");
    }
    void postRawContentType()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, optionHeader);
        QFETCH(QByteArray, expected);
        server->on("POST", QStringLiteral("/v1/upload"), ScriptedReply::empty(204));
        HttpOptions options;
        if (!optionHeader.isEmpty())
            options.headers.insert("content-type", optionHeader);
        const QByteArray body("\x89PNG\r\n\x1a\n\x00\x01", 10);
        ResponseCollector got;
        client->postRaw(QStringLiteral("/v1/upload"), body, contentType, got.callback(), options);
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 204);
        const auto request = server->lastRequest();
        QCOMPARE(request.body, body);
        QCOMPARE(request.header("Content-Type"), expected);
        int contentTypeHeaders = 0;
        for (const auto &h : request.headers)
            contentTypeHeaders += h.first.compare("Content-Type", Qt::CaseInsensitive) == 0;
        QCOMPARE(contentTypeHeaders, 1);
    }

    void followsRedirects()
    {
        server->on("GET", QStringLiteral("/v1/old"),
                   ScriptedReply::empty(302).withHeader("Location", server->url(QStringLiteral("/v1/new")).toUtf8()));
        server->on("GET", QStringLiteral("/v1/new"), ScriptedReply::json(200, QJsonObject{{"moved", true}}));
        ResponseCollector got;
        client->get(QStringLiteral("/v1/old"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 200);
        QCOMPARE(got.last().json.value("moved").toBool(), true);
    }

    void logsEachOutcome()
    {
        server->on("GET", QStringLiteral("/v1/ok"), ScriptedReply::json(404, QJsonObject{}));
        server->on("GET", QStringLiteral("/v1/bad"), ScriptedReply::json(502, QJsonObject{}));
        testsupport::LogCapture log;
        ResponseCollector got;
        client->get(QStringLiteral("/v1/ok"), got.callback());
        client->get(QStringLiteral("/v1/bad"), got.callback());
        QTRY_COMPARE(got.count(), 2);
        bool sawInfo = false;
        bool sawWarning = false;
        for (const auto &e : log.entries()) {
            if (e.category != QLatin1String("base.net"))
                continue;
            if (e.message.startsWith(QLatin1String("http response GET \"/v1/ok\" status 404 elapsed_ms ")))
                sawInfo = e.type == QtInfoMsg;
            if (e.message.startsWith(QLatin1String("http server error GET \"/v1/bad\" status 502 elapsed_ms ")))
                sawWarning = e.type == QtWarningMsg;
        }
        QVERIFY(sawInfo);
        QVERIFY(sawWarning);
    }

    void destroyingTheClientCallsNothing()
    {
        server->on("GET", QStringLiteral("/v1/hold"), ScriptedReply::never());
        ResponseCollector got;
        HttpOptions options;
        options.timeoutMs = 300;
        client->get(QStringLiteral("/v1/hold"), got.callback(), options);
        QTRY_COMPARE(server->requestCount(), 1);
        client.reset();
        QTRY_COMPARE(server->openConnections(), 0);
        QTest::qWait(350); // past the time-out the request had
        QCOMPARE(got.count(), 0);
    }
};

KESTOVA_TEST_MAIN(HttpClientTest)
#include "test_http_client.moc"
