#include "net/http_client.h"
#include "net/tracing_interceptor.h"

#include "http_test_helpers.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/recording_request_interceptor.h"
#include "support/scripted_response_interceptor.h"
#include "support/test_main.h"

#include <QRegularExpression>

using testsupport::RecordingRequestInterceptor;
using testsupport::ScriptedReply;
using testsupport::ScriptedResponseInterceptor;
using Action = ScriptedResponseInterceptor::Action;

class HttpInterceptorsTest : public QObject, private LoopbackClientFixture
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(startLoopback()); }
    void cleanup() { stopLoopback(); }

    void requestInterceptorsRunInOrderBeforeCallerHeaders()
    {
        RecordingRequestInterceptor first;
        first.setHeader("Authorization", "Bearer from-interceptor");
        RecordingRequestInterceptor second;
        client->addRequestInterceptor(&first);
        client->addRequestInterceptor(nullptr); // ignored
        client->addRequestInterceptor(&second);
        QCOMPARE(client->requestInterceptors().size(), 2);
        server->on("POST", QStringLiteral("/v1/x"), ScriptedReply::empty(204));

        HttpOptions options;
        options.skipAuth = true;
        options.headers.insert("Idempotency-Key", "k-1");
        ResponseCollector got;
        client->post(QStringLiteral("/v1/x"), {}, got.callback(), options);
        QTRY_COMPARE(got.count(), 1);

        // The first saw only the common header; the second also what the first set.
        QCOMPARE(first.callCount(), 1);
        QCOMPARE(first.calls().at(0).headers.size(), 1);
        QCOMPARE(first.calls().at(0).headers.at(0).first, QByteArray("Content-Type"));
        QCOMPARE(second.calls().at(0).headers.size(), 2);
        QCOMPARE(second.calls().at(0).headers.at(1).second, QByteArray("Bearer from-interceptor"));
        // Interceptors see the caller's options, but not yet its extra headers.
        QVERIFY(second.calls().at(0).options.skipAuth);
        for (const auto &h : second.calls().at(0).headers)
            QVERIFY(h.first != "Idempotency-Key");
        QCOMPARE(server->lastRequest().header("Idempotency-Key"), QByteArray("k-1"));
    }

    void callerHeadersReplaceInterceptorHeaders_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("bearer token") << QByteArray("Authorization") << QByteArray("Bearer caller");
        QTest::newRow("traceparent") << QByteArray("traceparent")
                                     << QByteArray("00-0123456789abcdef0123456789abcdef-0123456789abcdef-01");
        QTest::newRow("request id") << QByteArray("X-Request-Id") << QByteArray("caller-id");
        QTest::newRow("content type") << QByteArray("Content-Type") << QByteArray("text/plain");
    }
    void callerHeadersReplaceInterceptorHeaders()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        tracing::TracingInterceptor tracer;
        RecordingRequestInterceptor auth;
        auth.setHeader("Authorization", "Bearer from-interceptor");
        client->addRequestInterceptor(&tracer);
        client->addRequestInterceptor(&auth);
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::empty(204));
        HttpOptions options;
        options.headers.insert(name, value);
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback(), options);
        QTRY_COMPARE(got.count(), 1);
        const auto request = server->lastRequest();
        QCOMPARE(request.header(name), value);
        int seen = 0;
        for (const auto &h : request.headers)
            seen += h.first.compare(name, Qt::CaseInsensitive) == 0;
        QCOMPARE(seen, 1);
    }

    void firstInterceptorThatTakesOverEndsTheWalk()
    {
        ScriptedResponseInterceptor passes;
        ScriptedResponseInterceptor takes;
        ScriptedResponseInterceptor never;
        takes.setAction(Action::Hold);
        client->addResponseInterceptor(&passes);
        client->addResponseInterceptor(&takes);
        client->addResponseInterceptor(&never);
        server->on("GET", QStringLiteral("/v1/me"), ScriptedReply::json(401, QJsonObject{{"code", "unauthorized"}}));
        HttpOptions options;
        options.skipAuth = true;
        ResponseCollector got;
        client->get(QStringLiteral("/v1/me"), got.callback(), options);
        QTRY_COMPARE(takes.offerCount(), 1);
        QCOMPARE(passes.offerCount(), 1);
        QCOMPARE(never.offerCount(), 0);
        const auto offer = takes.offers().at(0);
        QCOMPARE(offer.path, QStringLiteral("/v1/me"));
        QCOMPARE(offer.attempt, 0);
        QVERIFY(offer.options.skipAuth);
        QCOMPARE(offer.response.status, 401);
        QCOMPARE(offer.response.json.value("code").toString(), QStringLiteral("unauthorized"));
        QTest::qWait(50);
        QCOMPARE(got.count(), 0);
    }

    void networkErrorsAreOffered()
    {
        ScriptedResponseInterceptor interceptor;
        client->addResponseInterceptor(&interceptor);
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::closeWithoutReply());
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(interceptor.offerCount(), 1);
        QVERIFY(interceptor.offers().at(0).response.networkError);
    }

    void replaySendsAgainThroughTheWholePath()
    {
        RecordingRequestInterceptor requests;
        client->addRequestInterceptor(&requests);
        ScriptedResponseInterceptor interceptor;
        interceptor.setScript([](const ScriptedResponseInterceptor::Offer &offer) {
            return offer.response.status == 401 && offer.attempt == 0 ? Action::Replay : Action::PassOn;
        });
        client->addResponseInterceptor(&interceptor);
        // The first answer is slow, so the replay's elapsed time must include it.
        server->enqueue("POST", QStringLiteral("/v1/rooms"),
                        ScriptedReply::json(401, QJsonObject{{"code", "token_expired"}}).withDelay(150));
        server->on("POST", QStringLiteral("/v1/rooms"), ScriptedReply::json(201, QJsonObject{{"id", "r1"}}));

        testsupport::LogCapture log;
        HttpOptions options;
        options.headers.insert("Idempotency-Key", "same-key");
        ResponseCollector got;
        client->post(QStringLiteral("/v1/rooms"), QJsonObject{{"name", "n"}}, got.callback(), options);
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 201);
        QCOMPARE(got.last().json.value("id").toString(), QStringLiteral("r1"));

        QCOMPARE(interceptor.offerCount(), 2);
        QCOMPARE(interceptor.offers().at(0).attempt, 0);
        QCOMPARE(interceptor.offers().at(1).attempt, 1);
        QCOMPARE(requests.callCount(), 2);
        const auto sent = server->requestsTo(QStringLiteral("/v1/rooms"));
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(1).method, sent.at(0).method);
        QCOMPARE(sent.at(1).body, sent.at(0).body);
        QCOMPARE(sent.at(1).header("Idempotency-Key"), QByteArray("same-key"));

        const QRegularExpression line(
            QStringLiteral("^http response POST \"/v1/rooms\" status 201 elapsed_ms (\\d+)$"));
        qint64 elapsed = -1;
        for (const auto &e : log.entries()) {
            const auto m = line.match(e.message);
            if (m.hasMatch())
                elapsed = m.captured(1).toLongLong();
        }
        QVERIFY2(elapsed >= 150, qPrintable(QString::number(elapsed)));
    }

    void replayGetsAFreshTimeLimit()
    {
        ScriptedResponseInterceptor interceptor;
        interceptor.setScript([](const ScriptedResponseInterceptor::Offer &offer) {
            return offer.attempt == 0 ? Action::Replay : Action::PassOn;
        });
        client->addResponseInterceptor(&interceptor);
        // Together the two sends take longer than the limit; each alone stays well within it, with
        // room for a late scheduling turn on a loaded machine.
        server->enqueue("GET", QStringLiteral("/v1/x"), ScriptedReply::json(401, QJsonObject{}).withDelay(1200));
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::json(200, QJsonObject{}).withDelay(1200));
        HttpOptions options;
        options.timeoutMs = 2000;
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback(), options);
        QTRY_COMPARE_WITH_TIMEOUT(got.count(), 1, 10000);
        QCOMPARE(got.last().status, 200);
        QVERIFY(!got.last().timedOut);
    }

    void controlActsOnce_data()
    {
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("sends");
        QTest::addColumn<int>("status");
        QTest::newRow("replay twice") << QStringList{"replay", "replay"} << 2 << 200;
        QTest::newRow("deliver twice") << QStringList{"deliver", "deliver"} << 1 << 401;
        QTest::newRow("replay then deliver") << QStringList{"replay", "deliver"} << 2 << 200;
        QTest::newRow("deliver then replay") << QStringList{"deliver", "replay"} << 1 << 401;
    }
    void controlActsOnce()
    {
        QFETCH(QStringList, calls);
        QFETCH(int, sends);
        QFETCH(int, status);
        ScriptedResponseInterceptor interceptor;
        interceptor.setScript([](const ScriptedResponseInterceptor::Offer &offer) {
            return offer.attempt == 0 ? Action::Hold : Action::PassOn;
        });
        client->addResponseInterceptor(&interceptor);
        server->enqueue("GET", QStringLiteral("/v1/x"), ScriptedReply::json(401, QJsonObject{}));
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::json(200, QJsonObject{}));
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(interceptor.offerCount(), 1);
        const ResponseControl control = interceptor.offers().at(0).control;
        const HttpResponse held = interceptor.offers().at(0).response;
        for (const QString &call : calls) {
            if (call == QLatin1String("replay"))
                control.replay();
            else
                control.deliver(held);
        }
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, status);
        QTest::qWait(100);
        QCOMPARE(got.count(), 1);
        QCOMPARE(server->requestCount(), sends);
    }

    void deliverHandsOverAnyResponse()
    {
        ScriptedResponseInterceptor interceptor;
        HttpResponse substitute;
        substitute.status = 401;
        substitute.body = "held";
        interceptor.setSubstitute(substitute);
        interceptor.setAction(Action::Deliver);
        client->addResponseInterceptor(&interceptor);
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::json(500, QJsonObject{}));
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 401);
        QCOMPARE(got.last().body, QByteArray("held"));
    }

    void controlDoesNothingAfterTheClientIsGone()
    {
        ScriptedResponseInterceptor interceptor;
        interceptor.setAction(Action::Hold);
        client->addResponseInterceptor(&interceptor);
        server->on("GET", QStringLiteral("/v1/x"), ScriptedReply::json(401, QJsonObject{}));
        ResponseCollector got;
        client->get(QStringLiteral("/v1/x"), got.callback());
        QTRY_COMPARE(interceptor.offerCount(), 1);
        const ResponseControl control = interceptor.offers().at(0).control;
        client.reset();
        control.replay();
        control.deliver(HttpResponse{});
        QTest::qWait(50);
        QCOMPARE(got.count(), 0);
        QCOMPARE(server->requestCount(), 1);
    }
};

KESTOVA_TEST_MAIN(HttpInterceptorsTest)
#include "test_http_interceptors.moc"
