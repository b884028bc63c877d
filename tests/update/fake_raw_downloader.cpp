#include "fake_raw_downloader.h"

#include <QTimer>

#include <memory>
#include <utility>

RawRequestHandle FakeRawDownloader::rawGet(const QString &url, HttpCallback callback, int)
{
    rawRequests.append(url);
    HttpResponse response;
    response.status = 404;
    if (raws.contains(url))
        response = raws.value(url);
    RawRequestHandle handle;
    handle.done = std::make_shared<bool>(false);
    QTimer::singleShot(0, this, [done = handle.done, callback, response] {
        if (*done)
            return;
        *done = true;
        callback(response);
    });
    return handle;
}

RawRequestHandle FakeRawDownloader::rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback, int)
{
    const RangeRequest request{url, first, last};
    const int index = int(rangeRequests.size());
    rangeRequests.append(request);

    RangeAnswer answer;
    if (!files.contains(url)) {
        answer = {false, {}, QStringLiteral("not found")};
    } else {
        const QByteArray content = files.value(url);
        answer.data = content.mid(first, last - first + 1);
    }
    if (rangeHook) {
        if (std::optional<RangeAnswer> replaced = rangeHook(request, index))
            answer = *replaced;
    }
    RawRequestHandle handle;
    handle.done = std::make_shared<bool>(false);
    std::function<void()> deliver = [this, done = handle.done, callback, answer] {
        if (*done)
            return;
        *done = true;
        if (answer.ok)
            rangeBytesServed += answer.data.size();
        callback(answer.ok, answer.data, answer.error);
    };
    if (holdRanges)
        held.append(deliver);
    else
        QTimer::singleShot(0, this, deliver);
    return handle;
}

void FakeRawDownloader::setRaw(const QString &url, int status, const QByteArray &body)
{
    HttpResponse response;
    response.status = status;
    response.body = body;
    raws.insert(url, response);
}

void FakeRawDownloader::setFile(const QString &url, const QByteArray &content)
{
    files.insert(url, content);
}

void FakeRawDownloader::releaseHeld()
{
    const QList<std::function<void()>> answers = std::exchange(held, {});
    for (const std::function<void()> &deliver : answers)
        QTimer::singleShot(0, this, deliver);
}
