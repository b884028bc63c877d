#pragma once

#include "net/http_request_factory.h"
#include "net/i_http_client.h"
#include "net/interceptors.h"

#include <QList>
#include <QObject>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// The one REST client of the process: every call passes the interceptor lists (raw
// transfers, which pass none, are RawTransferClient's). GUI thread only.
class HttpClient : public QObject, public IHttpClient
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

    // Appended in registration order; a null pointer is ignored. Not owned.
    void addRequestInterceptor(IRequestInterceptor *interceptor);
    void addResponseInterceptor(IResponseInterceptor *interceptor);
    const QList<IRequestInterceptor *> &requestInterceptors() const { return requestInterceptorList; }
    const QList<IResponseInterceptor *> &responseInterceptors() const { return responseInterceptorList; }

signals:
    void rateLimited(const QString &endpoint, int retryAfterSec);

private:
    // One REST request as sent, replayed and answered.
    struct RequestContext
    {
        HttpMethod method = HttpMethod::Get;
        QString path;
        QByteArray body;
        HttpCallback callback;
        HttpOptions options;
        int attempt = 0;
        qint64 startMs = 0; // first send, kept across replays
    };

    void send(HttpMethod method, const QString &path, const QByteArray &body, HttpCallback callback,
              const HttpOptions &options);
    void sendRequest(RequestContext context);
    void handleReply(QNetworkReply *reply, const RequestContext &context);
    void finishReply(QNetworkReply *reply, const RequestContext &context);
    void offerToInterceptors(const HttpResponse &response, const RequestContext &context);
    ResponseControl makeControl(const RequestContext &context);

    QNetworkAccessManager *manager = nullptr;
    HttpRequestFactory factory;
    QList<IRequestInterceptor *> requestInterceptorList;
    QList<IResponseInterceptor *> responseInterceptorList;
};
