#pragma once

#include "net/i_http_client.h"
#include "net/i_raw_downloader.h"
#include "net/i_raw_uploader.h"
#include "net/interceptors.h"

#include <QList>
#include <QObject>

class QNetworkAccessManager;

// The one HTTP client of the process: REST calls through the interceptor lists,
// and raw transfers around them. GUI thread only.
class HttpClient : public QObject, public IHttpClient, public IRawDownloader, public IRawUploader
{
    Q_OBJECT
public:
    explicit HttpClient(QObject *parent = nullptr);
    ~HttpClient() override;

    void setBaseUrl(const QString &baseUrl) override;
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

    RawRequestHandle rawGet(const QString &url, HttpCallback callback, int timeoutMs) override;
    RawRequestHandle rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                              int timeoutMs) override;
    RawRequestHandle rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                            HttpCallback callback, ProgressCallback progress, int timeoutMs) override;

    void addRequestInterceptor(IRequestInterceptor *interceptor);
    void addResponseInterceptor(IResponseInterceptor *interceptor);
    const QList<IRequestInterceptor *> &requestInterceptors() const { return requestInterceptorList; }
    const QList<IResponseInterceptor *> &responseInterceptors() const { return responseInterceptorList; }

signals:
    void rateLimited(const QString &endpoint, int retryAfterSec);

private:
    QNetworkAccessManager *manager = nullptr;
    QString baseUrl;
    QList<IRequestInterceptor *> requestInterceptorList;
    QList<IResponseInterceptor *> responseInterceptorList;
};
