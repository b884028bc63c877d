// Bad input at the local service's doors: every malformed request gets an error status
// with a code and changes nothing; the gateway drops malformed frames and goes on.
#include "client_language.h"
#include "local_service_rig.h"

#include "server/asset_host.h"
#include "server/service_state.h"
#include "server/token_issuer.h"
#include "support/test_main.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebSocket>

using servertest::isChinese;
using servertest::ServiceRig;

namespace {

constexpr int kWaitMs = 10000;

struct Answer
{
    int status = 0;
    QJsonObject json;
};

} // namespace

class LocalServiceRequestsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void malformedRequests_data();
    void malformedRequests();
    void refusedChangeLeavesEverythingAsItWas();
    void tokensAreCheckedWholly_data();
    void tokensAreCheckedWholly();
    void gatewayIgnoresMalformedFrames();
    void gatewayRefusesMissingToken();
    void installerIsServedInRanges_data();
    void newAccountNeverReplacesOneFromTheStateFile();
    void installerIsServedInRanges();

private:
    Answer send(const QByteArray &method, const QString &path, const QByteArray &body, bool signedIn);

    ServiceRig *rig = nullptr;
    QNetworkAccessManager network;
    QString accessToken;
    QString userId;
};

void LocalServiceRequestsTest::initTestCase()
{
    rig = new ServiceRig;
    QVERIFY(rig->start());
    QSignalSpy codes(rig->service.get(), &localservice::LocalService::codeSent);
    QCOMPARE(send("POST", "/v1/auth/send-code", R"({"phone":"13900139000"})", false).status, 200);
    QCOMPARE(codes.size(), 1);
    const Answer login = send("POST", "/v1/auth/login",
                              QJsonDocument(QJsonObject{{"phone", "13900139000"},
                                                        {"code", codes.at(0).at(1).toString()},
                                                        {"deviceId", "d"},
                                                        {"agreedLegalVersion", "terms@local-1+privacy@local-1"}})
                                  .toJson(),
                              false);
    QCOMPARE(login.status, 200);
    accessToken = login.json.value("accessToken").toString();
    userId = login.json.value("userId").toString();
    QVERIFY(!accessToken.isEmpty());
}

void LocalServiceRequestsTest::cleanupTestCase()
{
    delete rig;
}

Answer LocalServiceRequestsTest::send(const QByteArray &method, const QString &path, const QByteArray &body,
                                      bool signedIn)
{
    QNetworkRequest request(QUrl(rig->service->baseUrl() + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (signedIn)
        request.setRawHeader("Authorization", "Bearer " + accessToken.toLatin1());
    QNetworkReply *reply = network.sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(kWaitMs))
        return {};
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.json = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return answer;
}

void LocalServiceRequestsTest::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");

    const QString sendCode = QStringLiteral("/v1/auth/send-code");
    const QString me = QStringLiteral("/v1/users/me");
    const QString batch = QStringLiteral("/v1/users/batch-get");
    QJsonArray manyIds;
    for (int i = 0; i < 201; ++i)
        manyIds.append(QString::number(i));

    QTest::newRow("not json") << QByteArray("POST") << sendCode << QByteArray("phone=1") << false << 400
                              << "request.malformed_json";
    QTest::newRow("array body") << QByteArray("POST") << sendCode << QByteArray("[]") << false << 400
                                << "request.malformed_json";
    QTest::newRow("empty body") << QByteArray("POST") << sendCode << QByteArray() << false << 400
                                << "request.malformed_json";
    QTest::newRow("phone missing") << QByteArray("POST") << sendCode << QByteArray("{}") << false << 400
                                   << "request.field_missing";
    QTest::newRow("phone as number") << QByteArray("POST") << sendCode << QByteArray(R"({"phone":13800138000})")
                                     << false << 400 << "request.field_type";
    QTest::newRow("phone pattern") << QByteArray("POST") << sendCode << QByteArray(R"({"phone":"12800138000"})")
                                   << false << 400 << "auth.sms.phone_invalid";
    QTest::newRow("phone too long") << QByteArray("POST") << sendCode
                                    << QByteArray(R"({"phone":")") + QByteArray(40, '1') + "\"}" << false << 400
                                    << "request.field_too_long";
    QTest::newRow("code as number") << QByteArray("POST") << "/v1/auth/login"
                                    << QByteArray(R"({"phone":"13900139000","code":123456})") << false << 400
                                    << "request.field_type";
    QTest::newRow("code missing") << QByteArray("POST") << "/v1/auth/login" << QByteArray(R"({"phone":"13900139000"})")
                                  << false << 400 << "auth.login.code_required";
    QTest::newRow("refresh token object")
        << QByteArray("POST") << "/v1/auth/refresh" << QByteArray(R"({"refreshToken":{}})") << false << 400
        << "request.field_type";
    QTest::newRow("refresh token unknown")
        << QByteArray("POST") << "/v1/auth/refresh" << QByteArray(R"({"refreshToken":"abc"})") << false << 401
        << "auth.refresh.invalid";
    QTest::newRow("logout token null") << QByteArray("POST") << "/v1/auth/logout"
                                       << QByteArray(R"({"refreshToken":null})") << false << 400
                                       << "request.field_missing";
    QTest::newRow("nickname as number") << QByteArray("PATCH") << me << QByteArray(R"({"nickname":7})") << true << 400
                                        << "request.field_type";
    QTest::newRow("nickname blank") << QByteArray("PATCH") << me << QByteArray(R"({"nickname":"   "})") << true << 400
                                    << "request.field_invalid";
    QTest::newRow("nickname control") << QByteArray("PATCH") << me << QByteArray(R"({"nickname":"a\u0007b"})") << true
                                      << 400 << "request.field_invalid";
    QTest::newRow("nickname too long") << QByteArray("PATCH") << me
                                       << QByteArray(R"({"nickname":")") + QByteArray(33, 'n') + "\"}" << true << 400
                                       << "request.field_too_long";
    QTest::newRow("nothing to change") << QByteArray("PATCH") << me << QByteArray("{}") << true << 400
                                       << "request.field_invalid";
    QTest::newRow("consent empty") << QByteArray("PATCH") << me << QByteArray(R"({"agreedLegalVersion":""})") << true
                                   << 400 << "request.field_invalid";
    QTest::newRow("ids as string") << QByteArray("POST") << batch << QByteArray(R"({"userIds":"1"})") << true << 400
                                   << "request.field_type";
    QTest::newRow("ids mixed") << QByteArray("POST") << batch << QByteArray(R"({"userIds":["1",2]})") << true << 400
                               << "request.field_type";
    QTest::newRow("too many ids") << QByteArray("POST") << batch
                                  << QJsonDocument(QJsonObject{{"userIds", manyIds}}).toJson() << true << 400
                                  << "request.field_too_long";
    QTest::newRow("body too large") << QByteArray("POST") << sendCode
                                    << QByteArray(R"({"phone":")") + QByteArray(70000, '1') + "\"}" << false << 413
                                    << "request.too_large";
    QTest::newRow("no token") << QByteArray("GET") << me << QByteArray() << false << 401 << "auth.unauthorized";
    QTest::newRow("unknown path") << QByteArray("GET") << "/v1/nothing" << QByteArray() << true << 404 << "not_found";
    QTest::newRow("trailing slash") << QByteArray("GET") << "/v1/users/me/" << QByteArray() << true << 404
                                    << "not_found";
    QTest::newRow("wrong method") << QByteArray("PUT") << me << QByteArray("{}") << true << 405 << "method_not_allowed";
    QTest::newRow("unknown legal file") << QByteArray("GET") << "/legal/terms-0.md" << QByteArray() << false << 404
                                        << "not_found";
}

void LocalServiceRequestsTest::malformedRequests()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(bool, signedIn);
    QFETCH(int, status);
    QFETCH(QString, code);

    const Answer answer = send(method, path, body, signedIn);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.json.value("code").toString(), code);
    // The client shows the message as it is, inside a Chinese interface.
    QVERIFY2(isChinese(answer.json.value("message").toString()), qPrintable(answer.json.value("message").toString()));

    // The service still answers, and still knows the caller as before.
    const Answer me = send("GET", "/v1/users/me", {}, true);
    QCOMPARE(me.status, 200);
    QCOMPARE(me.json.value("userId").toString(), userId);
}

void LocalServiceRequestsTest::refusedChangeLeavesEverythingAsItWas()
{
    const Answer before = send("GET", "/v1/users/me", {}, true);
    QCOMPARE(before.status, 200);
    // The nickname alone would pass; the consent of the wrong type refuses the whole change.
    const Answer refused = send("PATCH", "/v1/users/me", R"({"nickname":"Valid","agreedLegalVersion":5})", true);
    QCOMPARE(refused.status, 400);
    QCOMPARE(refused.json.value("code").toString(), QStringLiteral("request.field_type"));
    const Answer after = send("GET", "/v1/users/me", {}, true);
    QCOMPARE(after.json, before.json);

    const Answer accepted = send("PATCH", "/v1/users/me", R"({"nickname":"Valid"})", true);
    QCOMPARE(accepted.status, 200);
    QCOMPARE(accepted.json.value("nickname").toString(), QStringLiteral("Valid"));
    QCOMPARE(accepted.json.value("agreedLegalVersion").toString(), before.json.value("agreedLegalVersion").toString());
}

void LocalServiceRequestsTest::tokensAreCheckedWholly_data()
{
    QTest::addColumn<int>("edit");
    QTest::newRow("payload changed") << 1;
    QTest::newRow("signature changed") << 2;
    QTest::newRow("signature dropped") << 3;
    QTest::newRow("other secret") << 4;
    QTest::newRow("expired") << 5;
}

void LocalServiceRequestsTest::tokensAreCheckedWholly()
{
    QFETCH(int, edit);
    localservice::TokenIssuer issuer;
    QVERIFY(issuer.setSecret(rig->service->state().tokenSecret));
    const qint64 now = rig->nowMs / 1000;
    QString token = issuer.issueAccessToken(userId, rig->service->state().signIns.keys().value(0), now, 60);
    QVERIFY(issuer.verifyAccessToken(token, now));
    QStringList parts = token.split('.');
    switch (edit) {
        case 1: {
            QJsonObject claims =
                QJsonDocument::fromJson(QByteArray::fromBase64(parts[1].toLatin1(), QByteArray::Base64UrlEncoding))
                    .object();
            claims["sub"] = "10002";
            parts[1] =
                QString::fromLatin1(QJsonDocument(claims)
                                        .toJson(QJsonDocument::Compact)
                                        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
            token = parts.join('.');
            break;
        }
        case 2:
            parts[2][0] = parts[2][0] == 'A' ? 'B' : 'A';
            token = parts.join('.');
            break;
        case 3: token = parts[0] + '.' + parts[1] + '.'; break;
        case 4:
            token = localservice::TokenIssuer().issueAccessToken(userId, rig->service->state().signIns.keys().value(0),
                                                                 now, 60);
            break;
        case 5:
            token = issuer.issueAccessToken(userId, rig->service->state().signIns.keys().value(0), now - 120, 60);
            break;
    }
    QVERIFY(!issuer.verifyAccessToken(token, now));
    const QString kept = accessToken;
    accessToken = token;
    const Answer answer = send("GET", "/v1/users/me", {}, true);
    accessToken = kept;
    QCOMPARE(answer.status, 401);
    QCOMPARE(answer.json.value("code").toString(), QStringLiteral("auth.unauthorized"));
}

void LocalServiceRequestsTest::gatewayIgnoresMalformedFrames()
{
    QWebSocket socket;
    QSignalSpy texts(&socket, &QWebSocket::textMessageReceived);
    QUrl url(rig->service->baseUrl().replace("http://", "ws://") + "/ws");
    url.setQuery("token=" + QUrl::toPercentEncoding(accessToken));
    socket.open(url);
    QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 1, kWaitMs);
    QCOMPARE(QJsonDocument::fromJson(texts.at(0).at(0).toString().toUtf8()).object().value("event").toString(),
             QStringLiteral("session-established"));

    for (const char *frame :
         {"not json", "[1,2]", R"({"data":{}})", R"({"event":5})", R"({"event":"watch","data":7})",
          R"({"event":"watch","data":{"targets":"room:1"}})", R"({"event":"watch","data":{"targets":[1]}})",
          R"({"event":"resume","data":{"lastSeq":"x"}})", R"({"event":"chat-subscribe","data":{"roomId":""}})",
          R"({"event":"no-such-command"})"})
        socket.sendTextMessage(QString::fromLatin1(frame));
    socket.sendBinaryMessage(QByteArray(100, 'x'));
    socket.sendTextMessage(QStringLiteral(R"({"event":"heartbeat"})"));
    QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 2, kWaitMs);
    QCOMPARE(texts.at(1).at(0).toString(), QStringLiteral(R"({"event":"pong"})"));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
}

void LocalServiceRequestsTest::gatewayRefusesMissingToken()
{
    for (const QString &query : {QString(), QStringLiteral("token=forged"), QStringLiteral("token=")}) {
        QWebSocket socket;
        QSignalSpy closed(&socket, &QWebSocket::disconnected);
        QSignalSpy texts(&socket, &QWebSocket::textMessageReceived);
        QUrl url(rig->service->baseUrl().replace("http://", "ws://") + "/ws");
        url.setQuery(query);
        socket.open(url);
        QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, kWaitMs);
        QCOMPARE(int(socket.closeCode()), 4001);
        QCOMPARE(texts.size(), 0);
    }
}

void LocalServiceRequestsTest::installerIsServedInRanges_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("length"); // -1: to the end

    QTest::newRow("whole file") << QByteArray() << 200 << 0 << -1;
    QTest::newRow("first bytes") << QByteArray("bytes=0-9") << 206 << 0 << 10;
    QTest::newRow("middle") << QByteArray("bytes=5-7") << 206 << 5 << 3;
    QTest::newRow("past the end is cut") << QByteArray("bytes=3-999999") << 206 << 3 << -1;
    QTest::newRow("reversed") << QByteArray("bytes=7-5") << 416 << 0 << 0;
    QTest::newRow("starts past the end") << QByteArray("bytes=999999-1000000") << 416 << 0 << 0;
    QTest::newRow("not a range") << QByteArray("bytes=-5") << 416 << 0 << 0;
}

void LocalServiceRequestsTest::installerIsServedInRanges()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(int, first);
    QFETCH(int, length);

    const QJsonObject manifest = QJsonDocument::fromJson(rig->service->assets()->manifestBytes()).object();
    QNetworkRequest request(QUrl(rig->service->baseUrl() + "/core/" + manifest.value("fileName").toString()));
    if (!range.isEmpty())
        request.setRawHeader("Range", range);
    QNetworkReply *reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(kWaitMs));
    const int replyStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray part = reply->readAll();
    reply->deleteLater();
    QCOMPARE(replyStatus, status);
    if (status == 416)
        return;
    // The whole file is what the manifest describes; a range is exactly its slice of it.
    QNetworkRequest wholeRequest(request.url());
    QNetworkReply *wholeReply = network.get(wholeRequest);
    QSignalSpy wholeFinished(wholeReply, &QNetworkReply::finished);
    QVERIFY(wholeFinished.wait(kWaitMs));
    const QByteArray whole = wholeReply->readAll();
    wholeReply->deleteLater();
    QCOMPARE(whole.size(), manifest.value("fileSize").toInt());
    QCOMPARE(QString::fromLatin1(QCryptographicHash::hash(whole, QCryptographicHash::Sha256).toHex()),
             manifest.value("sha256").toString());
    QCOMPARE(part, whole.mid(first, length));
}

void LocalServiceRequestsTest::newAccountNeverReplacesOneFromTheStateFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"formatVersion":1,"accounts":{"nextUserNumber":10001,"users":[
        {"userId":"10001","phone":"13500135000","status":"active","nickname":"kept"}]}})");
    file.close();

    localservice::LocalServiceConfig config = servertest::defaultConfig();
    config.statePath = path;
    ServiceRig other(config);
    QVERIFY(other.start());
    QSignalSpy codes(other.service.get(), &localservice::LocalService::codeSent);
    localservice::ApiRequest request;
    request.method = "POST";
    request.path = "/v1/auth/send-code";
    request.body = R"({"phone":"13600136000"})";
    QCOMPARE(other.service->handle(request).status, 200);
    request.path = "/v1/auth/login";
    request.body = QJsonDocument(QJsonObject{{"phone", "13600136000"},
                                             {"code", codes.at(0).at(1).toString()},
                                             {"agreedLegalVersion", "terms@local-1+privacy@local-1"}})
                       .toJson();
    const localservice::ApiReply reply = other.service->handle(request);
    QCOMPARE(reply.status, 200);
    QCOMPARE(QJsonDocument::fromJson(reply.body).object().value("userId").toString(), QStringLiteral("10002"));
    QCOMPARE(other.service->state().accounts.value("10001").nickname, QStringLiteral("kept"));
    QCOMPARE(other.service->state().accounts.size(), 2);
}

KESTOVA_TEST_MAIN(LocalServiceRequestsTest)
#include "test_local_service_requests.moc"
