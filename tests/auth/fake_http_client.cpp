#include "fake_http_client.h"

#include <QJsonDocument>
#include <QTest>

void FakeHttpClient::get(const QString &path, HttpCallback callback, const HttpOptions &options)
{
    record(HttpMethod::Get, path, {}, {}, std::move(callback), options);
}

void FakeHttpClient::post(const QString &path, const QJsonObject &body, HttpCallback callback,
                          const HttpOptions &options)
{
    record(HttpMethod::Post, path, body, {}, std::move(callback), options);
}

void FakeHttpClient::put(const QString &path, const QJsonObject &body, HttpCallback callback,
                         const HttpOptions &options)
{
    record(HttpMethod::Put, path, body, {}, std::move(callback), options);
}

void FakeHttpClient::patch(const QString &path, const QJsonObject &body, HttpCallback callback,
                           const HttpOptions &options)
{
    record(HttpMethod::Patch, path, body, {}, std::move(callback), options);
}

void FakeHttpClient::del(const QString &path, HttpCallback callback, const HttpOptions &options)
{
    record(HttpMethod::Delete, path, {}, {}, std::move(callback), options);
}

void FakeHttpClient::postRaw(const QString &path, const QByteArray &body, const QByteArray &, HttpCallback callback,
                             const HttpOptions &options)
{
    record(HttpMethod::Post, path, {}, body, std::move(callback), options);
}

QList<FakeHttpClient::Call> FakeHttpClient::callsTo(const QString &path) const
{
    QList<Call> matching;
    for (const Call &call : calls) {
        if (call.path == path)
            matching.append(call);
    }
    return matching;
}

void FakeHttpClient::answer(const QString &path, int index, const HttpResponse &response)
{
    const QList<Call> matching = callsTo(path);
    if (index < 0 || index >= matching.size())
        QFAIL(qPrintable(QStringLiteral("no call %1 to %2").arg(index).arg(path)));
    if (matching.at(index).callback)
        matching.at(index).callback(response);
}

void FakeHttpClient::record(HttpMethod method, const QString &path, const QJsonObject &body, const QByteArray &rawBody,
                            HttpCallback callback, const HttpOptions &options)
{
    calls.append(Call {method, path, body, rawBody, std::move(callback), options});
}

HttpResponse jsonReply(int status, const QJsonObject &json)
{
    HttpResponse response;
    response.status = status;
    response.json = json;
    response.body = json.isEmpty() ? QByteArray() : QJsonDocument(json).toJson(QJsonDocument::Compact);
    return response;
}

HttpResponse timedOutReply()
{
    HttpResponse response;
    response.error = QStringLiteral("请求超时");
    response.timedOut = true;
    return response;
}

HttpResponse networkErrorReply()
{
    HttpResponse response;
    response.error = QStringLiteral("Connection refused");
    response.networkError = true;
    return response;
}
