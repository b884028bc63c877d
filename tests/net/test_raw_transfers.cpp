#include "net/raw_transfer_client.h"
#include "net/tracing_interceptor.h"

#include "http_test_helpers.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/recording_request_interceptor.h"
#include "support/scripted_response_interceptor.h"
#include "support/test_main.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTimer>

using testsupport::RangeMode;
using testsupport::ScriptedReply;

namespace {

struct RangeResult
{
    bool ok = false;
    QByteArray data;
    QString error;
};

QByteArray patternBytes(int size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char((i * 7 + i / 251) & 0xff);
    return out;
}

} // namespace

class RawTransfersTest : public QObject, private LoopbackClientFixture
{
    Q_OBJECT
private slots:
    void init()
    {
        got = {};
        ranges.clear();
        QVERIFY(startLoopback());
    }
    void cleanup() { stopLoopback(); }

    void rawGetPassesNoInterceptorAndParsesNoJson()
    {
        tracing::TracingInterceptor tracer;
        testsupport::RecordingRequestInterceptor auth;
        auth.setHeader("Authorization", "Bearer secret");
        testsupport::ScriptedResponseInterceptor responses;
        responses.setAction(testsupport::ScriptedResponseInterceptor::Action::Hold);
        client->addRequestInterceptor(&tracer);
        client->addRequestInterceptor(&auth);
        client->addResponseInterceptor(&responses);
        server->on("GET", QStringLiteral("/core/latest.json"), ScriptedReply::json(200, QJsonObject{{"v", "1.2.3"}}));

        raw->rawGet(server->url(QStringLiteral("/core/latest.json")), got.callback(), 0);
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 200);
        QCOMPARE(got.last().body, QByteArray(R"({"v":"1.2.3"})"));
        QVERIFY(got.last().json.isEmpty());
        QVERIFY(got.last().isSuccess());
        QCOMPARE(auth.callCount(), 0);
        QCOMPARE(responses.offerCount(), 0);
        const auto request = server->lastRequest();
        for (const QByteArray name : {"Authorization", "traceparent", "X-Request-Id", "Content-Type"})
            QVERIFY2(!request.hasHeader(name), name.constData());
    }

    void rawGetFailures()
    {
        server->on("GET", QStringLiteral("/missing"), ScriptedReply::raw(404, "no such file", "text/plain"));
        testsupport::LogCapture log;
        raw->rawGet(server->url(QStringLiteral("/missing")), got.callback(), 0);
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 404);
        QCOMPARE(got.last().body, QByteArray("no such file"));
        QVERIFY(got.last().error.isEmpty());
        QVERIFY(!got.last().networkError);
        // Strings unquoted in the failure line.
        QVERIFY(log.contains("base.net", QStringLiteral("http raw get failed %1 status 404 elapsed_ms")
                                             .arg(server->url(QStringLiteral("/missing")))));
        QVERIFY(log.contains("base.net", "body no such file"));

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString dead = QStringLiteral("http://127.0.0.1:%1/x").arg(probe.serverPort());
        probe.close();
        raw->rawGet(dead, got.callback(), 0);
        QTRY_COMPARE(got.count(), 2);
        QCOMPARE(got.last().status, 0);
        QVERIFY(got.last().networkError);
        QVERIFY(!got.last().error.isEmpty());
        QVERIFY(log.contains("base.net", "http raw get network error"));
    }

    void timeoutLimit_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("limit");
        for (const QString kind : {"get", "range", "put"}) {
            QTest::addRow("%s zero", qPrintable(kind)) << kind << 0 << 30000;
            QTest::addRow("%s minus one", qPrintable(kind)) << kind << -1 << 30000;
            QTest::addRow("%s given", qPrintable(kind)) << kind << 700 << 700;
        }
    }
    void timeoutLimit()
    {
        QFETCH(QString, kind);
        QFETCH(int, timeoutMs);
        QFETCH(int, limit);
        server->on("*", QStringLiteral("/hold"), ScriptedReply::never());
        const RawRequestHandle handle = start(kind, server->url(QStringLiteral("/hold")), timeoutMs);
        const auto timers = raw->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(timers.size(), 1);
        QCOMPARE(timers.first()->interval(), limit);
        QVERIFY(timers.first()->isActive());
        QCOMPARE(handle.timer.data(), timers.first());
    }

    void timesOut_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("get") << "get" << QStringLiteral("请求超时") << "http get timeout";
        QTest::newRow("range") << "range" << QStringLiteral("请求超时") << "";
        QTest::newRow("put") << "put" << QStringLiteral("上传超时") << "http put timeout";
    }
    void timesOut()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QFETCH(QString, logLine);
        server->on("*", QStringLiteral("/hold"), ScriptedReply::never());
        testsupport::LogCapture log;
        start(kind, server->url(QStringLiteral("/hold")), 60);
        QTRY_COMPARE(results(), 1);
        if (kind == QLatin1String("range")) {
            QVERIFY(!ranges.last().ok);
            QVERIFY(ranges.last().data.isEmpty());
            QCOMPARE(ranges.last().error, error);
        } else {
            QCOMPARE(got.last().status, 0);
            QVERIFY(got.last().timedOut);
            QVERIFY(!got.last().networkError);
            QCOMPARE(got.last().error, error);
            QVERIFY(log.contains("base.net", logLine));
            QVERIFY(log.contains("base.net", "limit_ms 60"));
        }
        QTRY_COMPARE(server->openConnections(), 0); // the reply was aborted
        QVERIFY(raw->findChildren<QTimer *>(Qt::FindDirectChildrenOnly).isEmpty());
        QCOMPARE(results(), 1);
    }

    void rangeGet_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");
        QTest::addColumn<qint64>("dataFirst"); // expected slice of the file, -1 for none
        QTest::addColumn<qint64>("dataSize");
        const qint64 size = 4000;
        QTest::newRow("honoured") << int(RangeMode::Honour) << qint64(0) << qint64(1023) << true << QString()
                                  << qint64(0) << qint64(1024);
        QTest::newRow("middle") << int(RangeMode::Honour) << qint64(1000) << qint64(1999) << true << QString()
                                << qint64(1000) << qint64(1000);
        QTest::newRow("past the end is cut") << int(RangeMode::Honour) << qint64(3500) << qint64(9999) << true
                                             << QString() << qint64(3500) << qint64(500);
        QTest::newRow("ignored: whole file")
            << int(RangeMode::IgnoreRange) << qint64(0) << qint64(1023) << true << QString() << qint64(0) << size;
        QTest::newRow("416") << int(RangeMode::Unsatisfiable) << qint64(0) << qint64(1023) << false
                             << QStringLiteral("HTTP 416") << qint64(-1) << qint64(0);
        QTest::newRow("start past the end") << int(RangeMode::Honour) << qint64(5000) << qint64(5999) << false
                                            << QStringLiteral("HTTP 416") << qint64(-1) << qint64(0);
    }
    void rangeGet()
    {
        QFETCH(int, mode);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        QFETCH(qint64, dataFirst);
        QFETCH(qint64, dataSize);
        const QByteArray file = patternBytes(4000);
        server->serveFile(QStringLiteral("/core/setup.exe"), file, RangeMode(mode));
        raw->rangeGet(server->url(QStringLiteral("/core/setup.exe")), first, last, rangeCallback(), 0);
        QTRY_COMPARE(ranges.size(), 1);
        QCOMPARE(server->lastRequest().header("Range"), QStringLiteral("bytes=%1-%2").arg(first).arg(last).toLatin1());
        QCOMPARE(ranges.last().ok, ok);
        QCOMPARE(ranges.last().error, error);
        if (dataFirst >= 0)
            QCOMPARE(ranges.last().data, file.mid(dataFirst, dataSize));
        else
            QVERIFY(ranges.last().data.isEmpty());
    }

    void rangeGetReadsBodiesLargerThanItsReadBuffer()
    {
        const QByteArray file = patternBytes(3 * 1024 * 1024 + 17);
        server->serveFile(QStringLiteral("/big"), file, RangeMode::Honour);
        raw->rangeGet(server->url(QStringLiteral("/big")), 5, file.size() - 1, rangeCallback(), 0);
        QTRY_COMPARE(ranges.size(), 1);
        QVERIFY(ranges.last().ok);
        QCOMPARE(ranges.last().data.size(), file.size() - 5);
        QVERIFY(ranges.last().data == file.mid(5));
    }

    void rangeGetFailures()
    {
        server->on("GET", QStringLiteral("/broken"), ScriptedReply::raw(500, "oops", "text/plain"));
        server->on("GET", QStringLiteral("/closed"), ScriptedReply::closeWithoutReply());
        raw->rangeGet(server->url(QStringLiteral("/broken")), 0, 9, rangeCallback(), 0);
        QTRY_COMPARE(ranges.size(), 1);
        QCOMPARE(ranges.last().ok, false);
        QCOMPARE(ranges.last().error, QStringLiteral("HTTP 500"));
        QVERIFY(ranges.last().data.isEmpty());
        raw->rangeGet(server->url(QStringLiteral("/closed")), 0, 9, rangeCallback(), 0);
        QTRY_COMPARE(ranges.size(), 2);
        QCOMPARE(ranges.last().ok, false);
        QVERIFY(!ranges.last().error.isEmpty());
        QVERIFY(ranges.last().data.isEmpty());
    }

    void rawPutSendsBodyAndReportsProgress()
    {
        server->on("PUT", QStringLiteral("/upload/a.png"), ScriptedReply::raw(200, "stored", "text/plain"));
        const QByteArray body = patternBytes(300 * 1024);
        QList<QPair<qint64, qint64>> progress;
        ResponseCollector done;
        raw->rawPut(
            server->url(QStringLiteral("/upload/a.png")), body, "image/png", done.callback(),
            [&progress](qint64 sent, qint64 total) {
                progress.append({sent, total});
            },
            0);
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.last().status, 200);
        QCOMPARE(done.last().body, QByteArray("stored"));
        QVERIFY(done.last().json.isEmpty());
        const auto request = server->lastRequest();
        QCOMPARE(request.method, QByteArray("PUT"));
        QCOMPARE(request.header("Content-Type"), QByteArray("image/png"));
        QVERIFY(request.body == body);
        QVERIFY(!request.hasHeader("traceparent"));
        QVERIFY(!progress.isEmpty());
        QVERIFY(progress.contains(qMakePair(qint64(body.size()), qint64(body.size()))));
    }

    void uploadTimeoutRestartsWithProgress()
    {
        // The server reads at a fixed pace, so the upload lasts about twice its limit
        // while progress keeps arriving: only the silence between two reports counts.
        // Progress means bytes handed to the kernel, and loopback buffers hold up to a
        // few megabytes; the pace drains them well within the limit. The body is small
        // enough that the server's pace, not this machine's speed, sets the duration.
        // The limit leaves room for a loaded machine that schedules the client or the server
        // late now and then; the pace still makes the upload last about twice as long.
        server->setBodyReadRate(40 * 1024, 10);
        server->on("PUT", QStringLiteral("/upload"), ScriptedReply::empty(201));
        const QByteArray body = patternBytes(12 * 1024 * 1024);
        const int limit = 1500;
        int reports = 0;
        qint64 longestGap = 0;
        QElapsedTimer clock;
        QElapsedTimer sinceReport;
        clock.start();
        sinceReport.start();
        ResponseCollector done;
        raw->rawPut(
            server->url(QStringLiteral("/upload")), body, "application/octet-stream", done.callback(),
            [&](qint64, qint64) {
                ++reports;
                longestGap = qMax(longestGap, sinceReport.restart());
            },
            limit);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
        const QString figures = QStringLiteral("took %1 ms, longest silence %2 ms, %3 reports")
                                    .arg(clock.elapsed())
                                    .arg(longestGap)
                                    .arg(reports);
        QVERIFY2(!done.last().timedOut, qPrintable(figures));
        QCOMPARE(done.last().status, 201);
        QVERIFY2(clock.elapsed() > limit, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(reports > 1);
        QCOMPARE(server->lastRequest().body.size(), body.size());
    }

    void uploadTimesOutWhenTheServerStopsReading()
    {
        server->setBodyReadRate(0, 10);
        server->on("PUT", QStringLiteral("/upload"), ScriptedReply::empty(201));
        const QByteArray body = patternBytes(4 * 1024 * 1024);
        testsupport::LogCapture log;
        ResponseCollector done;
        raw->rawPut(server->url(QStringLiteral("/upload")), body, "application/octet-stream", done.callback(), {}, 150);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
        QVERIFY(done.last().timedOut);
        QCOMPARE(done.last().error, QStringLiteral("上传超时"));
        QVERIFY(log.contains("base.net", "http put timeout"));
    }

    void cancelBeforeTheReply_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("get") << "get";
        QTest::newRow("range") << "range";
        QTest::newRow("put") << "put";
    }
    void cancelBeforeTheReply()
    {
        QFETCH(QString, kind);
        server->on("*", QStringLiteral("/slow"), ScriptedReply::raw(200, "late").withDelay(150));
        RawRequestHandle handle = start(kind, server->url(QStringLiteral("/slow")), 5000);
        RawRequestHandle copy = handle;
        QTRY_COMPARE(server->requestCount(), 1);
        handle.cancel();
        QVERIFY(*copy.done);
        // The timer is stopped and freed, the connection closed.
        QVERIFY(copy.timer.isNull() || !copy.timer->isActive());
        QTRY_VERIFY(raw->findChildren<QTimer *>(Qt::FindDirectChildrenOnly).isEmpty());
        QTRY_COMPARE(server->openConnections(), 0);
        QTRY_VERIFY(copy.reply.isNull());
        QTest::qWait(250); // past the server's delay
        QCOMPARE(results(), 0);
        copy.cancel(); // a second cancel does nothing
        QCOMPARE(results(), 0);
    }

    void cancelAfterTheReplyDoesNothing()
    {
        server->on("GET", QStringLiteral("/x"), ScriptedReply::raw(200, "body"));
        RawRequestHandle handle = raw->rawGet(server->url(QStringLiteral("/x")), got.callback(), 0);
        QTRY_COMPARE(got.count(), 1);
        handle.cancel();
        handle.cancel();
        QCOMPARE(got.count(), 1);
        QCOMPARE(got.last().body, QByteArray("body"));
        RawRequestHandle none;
        none.cancel();
    }

    void nonWebSchemesAreRefused_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << QString(); // a real local file, filled in below
        QTest::newRow("qrc") << QStringLiteral("qrc:/icons/app.png");
        QTest::newRow("data") << QStringLiteral("data:text/plain;base64,aGVsbG8=");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/file");
        QTest::newRow("no scheme") << QStringLiteral("/etc/hostname");
        QTest::newRow("empty") << QString(QLatin1String(""));
    }
    void nonWebSchemesAreRefused()
    {
        QFETCH(QString, url);
        QTemporaryFile local;
        QVERIFY(local.open());
        local.write("local secret");
        local.flush();
        if (url.isNull())
            url = QUrl::fromLocalFile(local.fileName()).toString();

        raw->rawGet(url, got.callback(), 0);
        raw->rangeGet(url, 0, 5, rangeCallback(), 0);
        raw->rawPut(url, "x", "text/plain", got.callback(), {}, 0);
        // Never inside the call.
        QCOMPARE(results(), 0);
        QTRY_COMPARE(results(), 3);
        for (const HttpResponse &r : std::as_const(got.responses)) {
            QCOMPARE(r.status, 0);
            QVERIFY(r.networkError);
            QVERIFY(!r.error.isEmpty());
            QVERIFY(r.body.isEmpty());
        }
        QVERIFY(!ranges.last().ok);
        QVERIFY(ranges.last().data.isEmpty());
        QVERIFY(!ranges.last().error.isEmpty());
        QCOMPARE(server->requestCount(), 0);
        QVERIFY(raw->findChildren<QTimer *>(Qt::FindDirectChildrenOnly).isEmpty());
    }

    void redirectToALocalFileIsNotFollowed()
    {
        QTemporaryFile local;
        QVERIFY(local.open());
        local.write("local secret");
        local.flush();
        server->on("GET", QStringLiteral("/image.png"),
                   ScriptedReply::empty(302).withHeader("Location", QUrl::fromLocalFile(local.fileName()).toEncoded()));
        raw->rawGet(server->url(QStringLiteral("/image.png")), got.callback(), 0);
        QTRY_COMPARE(got.count(), 1);
        QVERIFY(!got.last().isSuccess());
        QVERIFY(!got.last().body.contains("local secret"));
    }

    void refusedRequestCanBeCancelled()
    {
        RawRequestHandle handle = raw->rawGet(QStringLiteral("file:///etc/hostname"), got.callback(), 0);
        handle.cancel();
        QTest::qWait(20);
        QCOMPARE(got.count(), 0);
    }

    void upperCaseWebSchemeIsAccepted()
    {
        server->on("GET", QStringLiteral("/x"), ScriptedReply::raw(200, "ok"));
        raw->rawGet(QStringLiteral("HTTP://127.0.0.1:%1/x").arg(server->port()), got.callback(), 0);
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.last().status, 200);
    }

    void destroyingTheClientCallsNothing()
    {
        server->on("*", QStringLiteral("/hold"), ScriptedReply::never());
        for (const QString kind : {"get", "range", "put"})
            start(kind, server->url(QStringLiteral("/hold")), 300);
        QTRY_COMPARE(server->requestCount(), 3);
        raw.reset();
        QTRY_COMPARE(server->openConnections(), 0);
        QTest::qWait(350); // past the time-outs the requests had
        QCOMPARE(results(), 0);
    }

private:
    RawRequestHandle start(const QString &kind, const QString &url, int timeoutMs)
    {
        if (kind == QLatin1String("get"))
            return raw->rawGet(url, got.callback(), timeoutMs);
        if (kind == QLatin1String("range"))
            return raw->rangeGet(url, 0, 99, rangeCallback(), timeoutMs);
        return raw->rawPut(url, "payload", "application/octet-stream", got.callback(), {}, timeoutMs);
    }

    IRawDownloader::RangeCallback rangeCallback()
    {
        return [this](bool ok, const QByteArray &data, const QString &error) { ranges.append({ok, data, error}); };
    }

    int results() const { return got.count() + int(ranges.size()); }

    ResponseCollector got;
    QList<RangeResult> ranges;
};

KESTOVA_TEST_MAIN(RawTransfersTest)
#include "test_raw_transfers.moc"
