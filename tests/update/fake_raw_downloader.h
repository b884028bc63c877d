#pragma once

#include "net/i_raw_downloader.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Serves raw GETs from a table of answers and ranged GETs from a table of files, always on a
// later turn of the event loop, like a real transport. Records every request.
class FakeRawDownloader : public QObject, public IRawDownloader
{
    Q_OBJECT
public:
    struct RangeRequest
    {
        QString url;
        qint64 first = 0;
        qint64 last = 0;
    };
    struct RangeAnswer
    {
        bool ok = true;
        QByteArray data;
        QString error;
    };
    // Replaces the answer to one ranged request; nullopt keeps the served one.
    using RangeHook = std::function<std::optional<RangeAnswer>(const RangeRequest &request, int index)>;

    RawRequestHandle rawGet(const QString &url, HttpCallback callback, int timeoutMs) override;
    RawRequestHandle rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                              int timeoutMs) override;

    // A raw GET of url answers with this status and body; unknown URLs answer 404.
    void setRaw(const QString &url, int status, const QByteArray &body);
    void setRaw(const QString &url, const HttpResponse &response) { raws.insert(url, response); }
    // A ranged GET of url answers with the requested bytes of this content.
    void setFile(const QString &url, const QByteArray &content);
    void setRangeHook(RangeHook hook) { rangeHook = std::move(hook); }
    // While set, answers to ranged requests wait until releaseHeld().
    void setHoldRanges(bool hold) { holdRanges = hold; }
    void releaseHeld();

    QStringList rawRequests;
    QList<RangeRequest> rangeRequests;
    qint64 rangeBytesServed = 0;

private:
    QHash<QString, HttpResponse> raws;
    QHash<QString, QByteArray> files;
    RangeHook rangeHook;
    bool holdRanges = false;
    QList<std::function<void()>> held;
};
