#include "support/fake_http_client.h"

#include <QJsonDocument>
#include <QTest>

namespace testsupport {

void FakeHttpClient::get(const QString &path, HttpCallback callback, const HttpOptions &options)
{
    calls.append(Call{HttpMethod::Get, path, {}, {}, {}, options, std::move(callback)});
}

void FakeHttpClient::post(const QString &path, const QJsonObject &body, HttpCallback callback,
                          const HttpOptions &options)
{
    calls.append(Call{HttpMethod::Post, path, body, {}, {}, options, std::move(callback)});
}

void FakeHttpClient::put(const QString &path, const QJsonObject &body, HttpCallback callback,
                         const HttpOptions &options)
{
    calls.append(Call{HttpMethod::Put, path, body, {}, {}, options, std::move(callback)});
}

void FakeHttpClient::patch(const QString &path, const QJsonObject &body, HttpCallback callback,
                           const HttpOptions &options)
{
    calls.append(Call{HttpMethod::Patch, path, body, {}, {}, options, std::move(callback)});
}

void FakeHttpClient::del(const QString &path, HttpCallback callback, const HttpOptions &options)
{
    calls.append(Call{HttpMethod::Delete, path, {}, {}, {}, options, std::move(callback)});
}

void FakeHttpClient::postRaw(const QString &path, const QByteArray &body, const QByteArray &contentType,
                             HttpCallback callback, const HttpOptions &options)
{
    calls.append(Call{HttpMethod::Post, path, {}, body, contentType, options, std::move(callback)});
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

void FakeHttpClient::reply(qsizetype index, const HttpResponse &response)
{
    if (index < 0 || index >= calls.size())
        QFAIL(qPrintable(QStringLiteral("no call %1 (%2 made)").arg(index).arg(calls.size())));
    // A copy: the callback may make the next call, which grows the list.
    const HttpCallback callback = calls.at(index).callback;
    if (callback)
        callback(response);
}

void FakeHttpClient::answer(const QString &path, qsizetype index, const HttpResponse &response)
{
    const QList<Call> matching = callsTo(path);
    if (index < 0 || index >= matching.size())
        QFAIL(qPrintable(QStringLiteral("no call %1 to %2").arg(index).arg(path)));
    if (matching.at(index).callback)
        matching.at(index).callback(response);
}

HttpResponse jsonReply(int status, const QJsonObject &json)
{
    HttpResponse response;
    response.status = status;
    response.json = json;
    response.body = json.isEmpty() ? QByteArray() : QJsonDocument(json).toJson(QJsonDocument::Compact);
    if (status == 0) {
        response.networkError = true;
        response.error = QStringLiteral("Connection refused");
    }
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
    return jsonReply(0);
}

} // namespace testsupport
