#include "support/pending_raw_downloader.h"

#include <QTest>

#include <algorithm>

namespace testsupport {

RawRequestHandle PendingRawDownloader::rawGet(const QString &url, HttpCallback callback, int timeoutMs)
{
    Request request;
    request.url = url;
    request.timeoutMs = timeoutMs;
    request.callback = std::move(callback);
    requests.append(std::move(request));
    return {};
}

RawRequestHandle PendingRawDownloader::rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                                                int timeoutMs)
{
    Request request;
    request.url = url;
    request.timeoutMs = timeoutMs;
    request.first = first;
    request.last = last;
    request.rangeCallback = std::move(callback);
    requests.append(std::move(request));
    return {};
}

int PendingRawDownloader::pendingIndex(const QString &suffix) const
{
    for (int i = 0; i < requests.size(); ++i) {
        if (!requests.at(i).answered && requests.at(i).url.endsWith(suffix))
            return i;
    }
    return -1;
}

int PendingRawDownloader::latestPendingIndex(const QString &suffix) const
{
    for (int i = int(requests.size()) - 1; i >= 0; --i) {
        if (!requests.at(i).answered && requests.at(i).url.endsWith(suffix))
            return i;
    }
    return -1;
}

int PendingRawDownloader::pendingCount() const
{
    return int(std::count_if(requests.cbegin(), requests.cend(), [](const Request &r) { return !r.answered; }));
}

void PendingRawDownloader::reply(int index, const HttpResponse &response)
{
    QVERIFY2(index >= 0 && index < requests.size(), "no such request");
    QVERIFY2(!requests.at(index).answered, "request answered twice");
    requests[index].answered = true;
    // Copy first: the callback may issue new requests and grow the list.
    const HttpCallback callback = requests.at(index).callback;
    if (callback)
        callback(response);
}

void PendingRawDownloader::replyRange(int index, bool ok, const QByteArray &data, const QString &error)
{
    QVERIFY2(index >= 0 && index < requests.size(), "no such request");
    QVERIFY2(!requests.at(index).answered, "request answered twice");
    QVERIFY2(requests.at(index).rangeCallback, "not a ranged request");
    requests[index].answered = true;
    const RangeCallback callback = requests.at(index).rangeCallback;
    callback(ok, data, error);
}

bool PendingRawDownloader::replyTo(const QString &suffix, const HttpResponse &response)
{
    const int index = pendingIndex(suffix);
    if (index < 0)
        return false;
    reply(index, response);
    return true;
}

bool PendingRawDownloader::replyToLatest(const QString &suffix, const HttpResponse &response)
{
    const int index = latestPendingIndex(suffix);
    if (index < 0)
        return false;
    reply(index, response);
    return true;
}

HttpResponse PendingRawDownloader::ok(const QByteArray &body, int status)
{
    HttpResponse response;
    response.status = status;
    response.body = body;
    return response;
}

HttpResponse PendingRawDownloader::status(int status, const QByteArray &body)
{
    return ok(body, status);
}

HttpResponse PendingRawDownloader::networkFailure(const QString &error)
{
    HttpResponse response;
    response.error = error;
    response.networkError = true;
    return response;
}

HttpResponse PendingRawDownloader::timeout()
{
    HttpResponse response;
    response.error = QStringLiteral("timeout");
    response.timedOut = true;
    return response;
}

} // namespace testsupport
