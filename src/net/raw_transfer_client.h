#pragma once

#include "net/i_raw_downloader.h"
#include "net/i_raw_uploader.h"

#include <QObject>

#include <functional>

class QNetworkAccessManager;

// Raw transfers to absolute web URLs: downloads, byte ranges and uploads. Unlike the
// REST client, no interceptor sees them and no JSON is parsed; only http and https
// URLs are followed. GUI thread only.
class RawTransferClient : public QObject, public IRawDownloader, public IRawUploader
{
    Q_OBJECT
public:
    explicit RawTransferClient(QObject *parent = nullptr);
    // Every transfer in flight goes with the manager, without calling back.
    ~RawTransferClient() override;

    RawRequestHandle rawGet(const QString &url, HttpCallback callback, int timeoutMs) override;
    RawRequestHandle rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                              int timeoutMs) override;
    RawRequestHandle rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                            HttpCallback callback, ProgressCallback progress, int timeoutMs) override;

private:
    // Answers a raw call whose URL is not http or https with a network error on the next
    // event-loop turn (unless cancelled first), without reading anything.
    RawRequestHandle refuse(const QString &url, std::function<void(const QString &error)> answer);

    QNetworkAccessManager *manager = nullptr;
};
