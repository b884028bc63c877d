#include "net/http_transport.h"
#include "net/raw_transfer_client.h"

#include "build_config.h"
#include "net/http_client.h"
#include "net/tracing_interceptor.h"

#include "http_test_helpers.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/recording_request_interceptor.h"
#include "support/scripted_response_interceptor.h"
#include "support/test_main.h"

#include <QNetworkRequest>
#include <QRegularExpression>

using testsupport::LoopbackHttpServer;
using testsupport::ScriptedReply;
using testsupport::ScriptedResponseInterceptor;

namespace {
const QRegularExpression traceparentPattern(QStringLiteral("^00-[0-9a-f]{32}-[0-9a-f]{16}-01$"));
const QRegularExpression requestIdPattern(
    QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
} // namespace

class HttpTransportTest : public QObject
{
    Q_OBJECT
private slots:
    void exposesOneClientWithTracingFirst()
    {
        testsupport::LogCapture log;
        HttpTransport transport;
        HttpClient *client = transport.httpClient();
        QVERIFY(client);
        QCOMPARE(transport.api(), static_cast<IHttpClient *>(client));
        // Downloads and uploads share one raw client, apart from the REST client.
        auto *raw = dynamic_cast<RawTransferClient *>(transport.downloader());
        QVERIFY(raw);
        QCOMPARE(dynamic_cast<RawTransferClient *>(transport.uploader()), raw);
        QCOMPARE(client->requestInterceptors().size(), 1);
        QVERIFY(dynamic_cast<tracing::TracingInterceptor *>(client->requestInterceptors().at(0)));
        QVERIFY(client->responseInterceptors().isEmpty());
        QVERIFY(log.contains("base.net", QStringLiteral("http transport ready base_url=\"%1\"")
                                             .arg(QLatin1String(buildconfig::kApiBaseUrl))));

        testsupport::RecordingRequestInterceptor auth;
        ScriptedResponseInterceptor responses;
        transport.addRequestInterceptor(&auth);
        transport.addRequestInterceptor(nullptr);
        transport.addResponseInterceptor(&responses);
        transport.addResponseInterceptor(nullptr);
        QCOMPARE(client->requestInterceptors().size(), 2);
        QCOMPARE(client->requestInterceptors().at(1), static_cast<IRequestInterceptor *>(&auth));
        QCOMPARE(client->responseInterceptors().size(), 1);
        QCOMPARE(client->responseInterceptors().at(0), static_cast<IResponseInterceptor *>(&responses));
    }

    void everySendGetsItsOwnTraceHeaders()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        HttpTransport transport;
        transport.api()->setBaseUrl(server.baseUrl());
        // The first answer is replayed once, as a token refresh would.
        ScriptedResponseInterceptor replayer;
        replayer.setScript([](const ScriptedResponseInterceptor::Offer &offer) {
            return offer.attempt == 0 && offer.path == QLatin1String("/v1/a")
                       ? ScriptedResponseInterceptor::Action::Replay
                       : ScriptedResponseInterceptor::Action::PassOn;
        });
        transport.addResponseInterceptor(&replayer);
        server.on("GET", QStringLiteral("/v1/a"), ScriptedReply::json(200, QJsonObject{}));
        server.on("GET", QStringLiteral("/v1/b"), ScriptedReply::json(200, QJsonObject{}));
        ResponseCollector got;
        transport.api()->get(QStringLiteral("/v1/a"), got.callback());
        QTRY_COMPARE(got.count(), 1);
        transport.api()->get(QStringLiteral("/v1/b"), got.callback());
        QTRY_COMPARE(got.count(), 2);

        const auto requests = server.requests();
        QCOMPARE(requests.size(), 3); // /v1/a, its replay, /v1/b
        QSet<QByteArray> traceIds, parentIds, requestIds;
        for (const auto &r : requests) {
            const QByteArray traceparent = r.header("traceparent");
            QVERIFY2(traceparentPattern.match(QString::fromLatin1(traceparent)).hasMatch(), traceparent.constData());
            QCOMPARE(traceparent.size(), 55);
            const QByteArray requestId = r.header("X-Request-Id");
            QVERIFY2(requestIdPattern.match(QString::fromLatin1(requestId)).hasMatch(), requestId.constData());
            traceIds.insert(traceparent.mid(3, 32));
            parentIds.insert(traceparent.mid(36, 16));
            requestIds.insert(requestId);
        }
        QCOMPARE(traceIds.size(), 3);
        QCOMPARE(parentIds.size(), 3);
        QCOMPARE(requestIds.size(), 3);
    }

    void rawTransfersCarryNoTraceHeaders()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        HttpTransport transport;
        server.serveFile(QStringLiteral("/legal/version.json"), "{}");
        ResponseCollector got;
        transport.downloader()->rawGet(server.url(QStringLiteral("/legal/version.json")), got.callback(), 0);
        QTRY_COMPARE(got.count(), 1);
        QVERIFY(!server.lastRequest().hasHeader("traceparent"));
        QVERIFY(!server.lastRequest().hasHeader("X-Request-Id"));
    }

    void keepsHeadersAlreadySet()
    {
        tracing::TracingInterceptor tracer;
        QNetworkRequest request;
        request.setRawHeader("traceparent", "00-given-01");
        request.setRawHeader("X-Request-Id", "given");
        tracer.onRequest(request, HttpOptions{});
        QCOMPARE(request.rawHeader("traceparent"), QByteArray("00-given-01"));
        QCOMPARE(request.rawHeader("X-Request-Id"), QByteArray("given"));

        QNetworkRequest fresh;
        tracer.onRequest(fresh, HttpOptions{});
        QVERIFY(traceparentPattern.match(QString::fromLatin1(fresh.rawHeader("traceparent"))).hasMatch());
        QVERIFY(requestIdPattern.match(QString::fromLatin1(fresh.rawHeader("X-Request-Id"))).hasMatch());
    }

    void destroyingTheTransportDropsRequestsInFlight()
    {
        // The request's time-out is short enough to wait out, and must not run out before the
        // server has the request: on a busy machine that can take longer, so an attempt whose
        // request timed out first is made again with twice the time-out.
        for (int timeoutMs = 150; timeoutMs <= 4800; timeoutMs *= 2) {
            LoopbackHttpServer server;
            QVERIFY(server.listen());
            server.on("GET", QStringLiteral("/v1/hold"), ScriptedReply::never());
            ResponseCollector got;
            {
                HttpTransport transport;
                transport.api()->setBaseUrl(server.baseUrl());
                HttpOptions options;
                options.timeoutMs = timeoutMs;
                transport.api()->get(QStringLiteral("/v1/hold"), got.callback(), options);
                QTRY_VERIFY(server.requestCount() == 1 || got.count() > 0);
                if (got.count() > 0)
                    continue; // timed out before the server had it
            }
            QTRY_COMPARE(server.openConnections(), 0);
            QTest::qWait(timeoutMs + 50); // past the time-out the request had
            QCOMPARE(got.count(), 0);
            return;
        }
        QFAIL("the server never had the request before its time-out ran out");
    }
};

KESTOVA_TEST_MAIN(HttpTransportTest)
#include "test_http_transport.moc"
