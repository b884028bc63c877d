#pragma once

#include "net/i_raw_downloader.h"

#include <QList>
#include <QString>

namespace testsupport {

// An IRawDownloader that answers nothing by itself: every rawGet is recorded, and the
// test answers it later (in any order, or never). Ranged gets are recorded as well.
class PendingRawDownloader : public IRawDownloader
{
public:
    struct Request
    {
        QString url;
        int timeoutMs = 0;
        qint64 first = -1; // ranged gets only
        qint64 last = -1;
        HttpCallback callback;
        RangeCallback rangeCallback;
        bool answered = false;
    };

    RawRequestHandle rawGet(const QString &url, HttpCallback callback, int timeoutMs) override;
    RawRequestHandle rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                              int timeoutMs) override;

    int count() const { return int(requests.size()); }
    const Request &at(int index) const { return requests.at(index); }
    // Index of the oldest unanswered request whose URL ends with `suffix`, or -1.
    int pendingIndex(const QString &suffix) const;
    // Index of the newest unanswered request whose URL ends with `suffix`, or -1.
    int latestPendingIndex(const QString &suffix) const;
    int pendingCount() const;

    // Answers request `index` once; a second answer to the same request fails the test.
    void reply(int index, const HttpResponse &response);
    // Answers ranged request `index` once.
    void replyRange(int index, bool ok, const QByteArray &data, const QString &error = {});
    // Answers the oldest unanswered request whose URL ends with `suffix`; false when none.
    bool replyTo(const QString &suffix, const HttpResponse &response);
    // Answers the newest unanswered request whose URL ends with `suffix`; false when none.
    bool replyToLatest(const QString &suffix, const HttpResponse &response);

    static HttpResponse ok(const QByteArray &body, int status = 200);
    static HttpResponse status(int status, const QByteArray &body = {});
    static HttpResponse networkFailure(const QString &error = QStringLiteral("connection refused"));
    static HttpResponse timeout();

private:
    QList<Request> requests;
};

} // namespace testsupport
