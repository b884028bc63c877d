#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "auth/session_store.h"
#include "net/http_client.h"
#include "support/loopback_http_server.h"
#include "support/test_main.h"

#include <QNetworkRequest>

using testsupport::LoopbackHttpServer;
using testsupport::ScriptedReply;

namespace {
// Records the path and bearer header of every request as it leaves, after the auth interceptor.
class SentRecorder : public IRequestInterceptor {
public:
    void onRequest(QNetworkRequest &request, const HttpOptions &) override
    {
        sent << request.url().path() + QLatin1Char(' ') + QString::fromUtf8(request.rawHeader("Authorization"));
    }
    QStringList sent;
};

// Records the path of every reply in the order the client received it; takes none over.
class ArrivalRecorder : public IResponseInterceptor {
public:
    bool onResponse(const HttpResponse &response, const QString &path, const HttpOptions &, int attempt,
                    ResponseControl) override
    {
        arrived << QStringLiteral("%1 %2 %3").arg(path).arg(response.status).arg(attempt);
        return false;
    }
    QStringList arrived;
};
} // namespace

class AuthOverHttpTest : public QObject {
    Q_OBJECT

private slots:
    // Three requests refused together: one refresh, then the three go out again in the
    // order their refusals arrived, with the new token, and each caller gets its answer.
    void refusedRequestsShareOneRefreshAndReplayInOrder()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        const QStringList paths {"/v1/a", "/v1/b", "/v1/c"};
        for (const QString &path : paths) {
            server.enqueue("GET", path, ScriptedReply::json(401, QJsonObject {{"code", "auth.token_expired"}}));
            server.on("GET", path, ScriptedReply::json(200, QJsonObject {{"path", path}}));
        }
        // The refresh answers only after every refusal has reached the client.
        server.on("POST", "/v1/auth/refresh",
                  ScriptedReply::json(200, QJsonObject {{"accessToken", "new-access"}, {"refreshToken", "new-refresh"}})
                      .withDelay(1000));

        HttpClient client;
        client.setBaseUrl(server.baseUrl());
        AuthAssembly auth(&client, QStringLiteral("device-1"));
        ArrivalRecorder arrivals;
        SentRecorder sentLog;
        client.addRequestInterceptor(auth.interceptor());
        client.addRequestInterceptor(&sentLog);
        client.addResponseInterceptor(&arrivals);
        client.addResponseInterceptor(auth.interceptor());
        auth.sessionStore()->saveLogin(QStringLiteral("u"), QStringLiteral("old-access"), QStringLiteral("r"), 0);

        QStringList answers;
        for (const QString &path : paths) {
            client.get(path, [&answers, path](const HttpResponse &response) {
                answers << path + QLatin1Char(' ') + QString::number(response.status) + QLatin1Char(' ')
                        + response.json.value("path").toString();
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 3, 10000);

        QCOMPARE(server.requestsTo("/v1/auth/refresh").size(), 1);
        const auto refresh = server.requestsTo("/v1/auth/refresh").first();
        QVERIFY(!refresh.hasHeader("Authorization"));
        QCOMPARE(refresh.body, QByteArray(R"({"refreshToken":"r"})"));

        // The refusals, in the order they arrived, and then the replays in that same order.
        QStringList refusedOrder;
        for (const QString &line : arrivals.arrived) {
            if (line.endsWith(QLatin1String(" 401 0")))
                refusedOrder << line.section(QLatin1Char(' '), 0, 0);
        }
        QCOMPARE(refusedOrder.size(), 3);
        QStringList expectedSent;
        for (const QString &path : paths)
            expectedSent << path + " Bearer old-access";
        expectedSent << "/v1/auth/refresh ";
        for (const QString &path : refusedOrder)
            expectedSent << path + " Bearer new-access";
        QCOMPARE(sentLog.sent, expectedSent);

        for (const QString &answer : answers)
            QVERIFY2(answer.endsWith(QLatin1String(" 200 ") + answer.section(QLatin1Char(' '), 0, 0)),
                     qPrintable(answer));
        QCOMPARE(auth.sessionStore()->accessToken(), QStringLiteral("new-access"));

        auth.sessionStore()->clear();
        QTRY_VERIFY_WITH_TIMEOUT(auth.sessionStore()->findChildren<QObject *>().isEmpty(), 10000);
    }
};

KESTOVA_TEST_MAIN(AuthOverHttpTest)
#include "test_auth_over_http.moc"
