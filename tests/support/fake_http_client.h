#pragma once

#include "net/i_http_client.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace testsupport {

// An IHttpClient for service tests: nothing goes on the wire. Every call is recorded
// (method, path, JSON or raw body, options and callback) in the order it was made and
// stays pending until the test answers it, by its place among all calls (reply) or
// among the calls to one path (answer). A call never answered stays pending, which is
// how a test holds a request in flight. Answering runs the service's callback at once,
// on the test's thread; the call stays recorded, so a test can still read what was sent.
//
//     FakeHttpClient http;
//     ProfileService service(&http, &state);
//     service.fetchProfile();
//     QCOMPARE(http.calls.at(0).path, QStringLiteral("/v1/users/me"));
//     http.reply(0, jsonReply(200, {{"userId", "u1"}}));
class FakeHttpClient : public IHttpClient
{
public:
    struct Call
    {
        HttpMethod method = HttpMethod::Get;
        QString path;
        QJsonObject body;       // JSON calls (post, put, patch)
        QByteArray rawBody;     // postRaw only
        QByteArray contentType; // postRaw only
        HttpOptions options;
        HttpCallback callback;
    };

    void setBaseUrl(const QString &url) override { baseUrl = url; }
    void get(const QString &path, HttpCallback callback, const HttpOptions &options = {}) override;
    void post(const QString &path, const QJsonObject &body, HttpCallback callback,
              const HttpOptions &options = {}) override;
    void put(const QString &path, const QJsonObject &body, HttpCallback callback,
             const HttpOptions &options = {}) override;
    void patch(const QString &path, const QJsonObject &body, HttpCallback callback,
               const HttpOptions &options = {}) override;
    void del(const QString &path, HttpCallback callback, const HttpOptions &options = {}) override;
    void postRaw(const QString &path, const QByteArray &body, const QByteArray &contentType, HttpCallback callback,
                 const HttpOptions &options = {}) override;

    // Calls made to `path` (compared with its query, if any), in order.
    QList<Call> callsTo(const QString &path) const;
    // Answers the `index`-th of all calls. Fails the running test when there is no such call.
    void reply(qsizetype index, const HttpResponse &response);
    // Answers the `index`-th call to `path`. Fails the running test when there is no such call.
    void answer(const QString &path, qsizetype index, const HttpResponse &response);

    QList<Call> calls; // every call so far, answered or not
    QString baseUrl;   // the last one set
};

// A reply as the transport hands it over. With a status, the JSON object is the parsed
// body and `body` its compact bytes (empty for an empty object). Status 0 stands for a
// request that got no HTTP answer: the reply is marked a network error (the JSON, if
// any, is kept, for tests that check a service ignores it).
HttpResponse jsonReply(int status, const QJsonObject &json = {});
// A request given up on its time-out.
HttpResponse timedOutReply();
// A request that failed below HTTP (connection refused).
HttpResponse networkErrorReply();

} // namespace testsupport
