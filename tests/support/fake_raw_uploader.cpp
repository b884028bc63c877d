#include "support/fake_raw_uploader.h"

#include <QTest>

namespace testsupport {

RawRequestHandle FakeRawUploader::rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                                         HttpCallback callback, ProgressCallback progress, int timeoutMs)
{
    puts.append(Put{url, body, contentType, timeoutMs, std::move(callback), std::move(progress)});
    return {};
}

void FakeRawUploader::progress(qsizetype index, qint64 sent, qint64 total)
{
    if (index < 0 || index >= puts.size())
        QFAIL(qPrintable(QStringLiteral("no put %1 (%2 made)").arg(index).arg(puts.size())));
    // A copy: the callback may start the next PUT, which grows the list.
    const ProgressCallback callback = puts.at(index).onProgress;
    if (callback)
        callback(sent, total);
}

void FakeRawUploader::finish(qsizetype index, const HttpResponse &response)
{
    if (index < 0 || index >= puts.size())
        QFAIL(qPrintable(QStringLiteral("no put %1 (%2 made)").arg(index).arg(puts.size())));
    const HttpCallback callback = puts.at(index).callback;
    if (callback)
        callback(response);
}

} // namespace testsupport
