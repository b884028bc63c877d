#include "net/http_client.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

// Skeleton: the transport's send path is not built yet; every call answers with a
// network error so that callers never wait.
namespace {
HttpResponse notAvailable()
{
    HttpResponse r;
    r.networkError = true;
    r.error = QStringLiteral("transport not available");
    return r;
}
} // namespace

HttpClient::HttpClient(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
{
}

HttpClient::~HttpClient() = default;

void HttpClient::setBaseUrl(const QString &url) { baseUrl = url; }
void HttpClient::get(const QString &, HttpCallback cb, const HttpOptions &) { if (cb) cb(notAvailable()); }
void HttpClient::post(const QString &, const QJsonObject &, HttpCallback cb, const HttpOptions &) { if (cb) cb(notAvailable()); }
void HttpClient::put(const QString &, const QJsonObject &, HttpCallback cb, const HttpOptions &) { if (cb) cb(notAvailable()); }
void HttpClient::patch(const QString &, const QJsonObject &, HttpCallback cb, const HttpOptions &) { if (cb) cb(notAvailable()); }
void HttpClient::del(const QString &, HttpCallback cb, const HttpOptions &) { if (cb) cb(notAvailable()); }
void HttpClient::postRaw(const QString &, const QByteArray &, const QByteArray &, HttpCallback cb, const HttpOptions &)
{
    if (cb)
        cb(notAvailable());
}

RawRequestHandle HttpClient::rawGet(const QString &, HttpCallback cb, int)
{
    if (cb)
        cb(notAvailable());
    return {};
}

RawRequestHandle HttpClient::rangeGet(const QString &, qint64, qint64, RangeCallback cb, int)
{
    if (cb)
        cb(false, {}, notAvailable().error);
    return {};
}

RawRequestHandle HttpClient::rawPut(const QString &, const QByteArray &, const QByteArray &, HttpCallback cb,
                                    ProgressCallback, int)
{
    if (cb)
        cb(notAvailable());
    return {};
}

void HttpClient::addRequestInterceptor(IRequestInterceptor *interceptor)
{
    if (interceptor)
        requestInterceptorList.append(interceptor);
}

void HttpClient::addResponseInterceptor(IResponseInterceptor *interceptor)
{
    if (interceptor)
        responseInterceptorList.append(interceptor);
}
