#include "net/raw_transfer_client.h"

#include "net/net_log.h"
#include "net/request_lifecycle.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

using namespace netlifecycle;

namespace {

constexpr qint64 kRangeReadBufferBytes = 262144;
constexpr qsizetype kLoggedBodyBytes = 512;

const QString &uploadTimeoutText()
{
    static const QString text = QStringLiteral("上传超时");
    return text;
}

QString bodyPreview(const QByteArray &body)
{
    return QString::fromUtf8(body.left(kLoggedBodyBytes));
}

void logFinish(const char *what, const QString &url, const HttpResponse &response, qint64 startMs)
{
    const qint64 elapsed = nowMs() - startMs;
    const QByteArray name(what);
    if (response.networkError)
        qCWarning(lcNet) << (name + " network error").constData() << url << response.error << "elapsed_ms" << elapsed;
    else if (response.status < 400)
        qCInfo(lcNet) << what << url << "status" << response.status << "elapsed_ms" << elapsed;
    else
        qCWarning(lcNet).noquote() << (name + " failed").constData() << url << "status" << response.status
                                   << "elapsed_ms" << elapsed << "body" << bodyPreview(response.body);
}

// Raw transfers go only to web URLs: other schemes (file:, qrc:, data: ...) would let a
// URL that came from another user read local files.
bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QNetworkRequest requestFor(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

} // namespace

RawTransferClient::RawTransferClient(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
{
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

RawTransferClient::~RawTransferClient() = default;

RawRequestHandle RawTransferClient::refuse(const QString &url, std::function<void(const QString &error)> answer)
{
    const QString scheme = QUrl(url, QUrl::TolerantMode).scheme();
    qCWarning(lcNet) << "http raw request refused" << url << "scheme" << scheme;
    const QString error = QStringLiteral("unsupported url scheme \"%1\"").arg(scheme);
    RawRequestHandle handle;
    handle.done = std::make_shared<bool>(false);
    QTimer::singleShot(0, this, [done = handle.done, answer = std::move(answer), error] {
        if (*done)
            return;
        *done = true;
        answer(error);
    });
    return handle;
}

RawRequestHandle RawTransferClient::rawGet(const QString &url, HttpCallback callback, int timeoutMs)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!isWebUrl(target)) {
        return refuse(url, [callback](const QString &error) {
            if (callback)
                callback(networkErrorResponse(error));
        });
    }

    const int limit = limitOf(timeoutMs);
    const qint64 startMs = nowMs();
    return track(
        this, manager->get(requestFor(target)), limit,
        [url, callback, limit, startMs] {
            qCWarning(lcNet) << "http get timeout" << url << "elapsed_ms" << nowMs() - startMs << "limit_ms" << limit;
            if (callback)
                callback(timeoutResponse(timeoutText()));
        },
        [url, callback, startMs](QNetworkReply *reply) {
            const HttpResponse response = rawResponseOf(reply);
            logFinish("http raw get", url, response, startMs);
            if (callback)
                callback(response);
        });
}

RawRequestHandle RawTransferClient::rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                                             int timeoutMs)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!isWebUrl(target)) {
        return refuse(url, [callback](const QString &error) {
            if (callback)
                callback(false, {}, error);
        });
    }

    QNetworkRequest request = requestFor(target);
    request.setRawHeader("Range", QStringLiteral("bytes=%1-%2").arg(first).arg(last).toLatin1());
    const qint64 startMs = nowMs();
    QNetworkReply *sent = manager->get(request);
    sent->setReadBufferSize(kRangeReadBufferBytes);
    auto buffer = std::make_shared<QByteArray>();

    const RawRequestHandle handle = track(
        this, sent, limitOf(timeoutMs),
        [callback] {
            if (callback)
                callback(false, {}, timeoutText());
        },
        [url, first, last, callback, buffer, startMs](QNetworkReply *reply) {
            const int status = statusOf(reply);
            const bool failed = reply->error() != QNetworkReply::NoError;
            const QString errorText = reply->errorString();
            buffer->append(reply->readAll());
            const qint64 elapsed = nowMs() - startMs;
            if (failed && status == 0) {
                qCWarning(lcNet) << "http range network error" << url << "range" << first << "-" << last << errorText
                                 << "elapsed_ms" << elapsed;
                if (callback)
                    callback(false, {}, errorText);
            } else if (status == 206 || status == 200) {
                qCDebug(lcNet) << "http range" << url << "range" << first << "-" << last << "status" << status
                               << "bytes" << buffer->size() << "elapsed_ms" << elapsed;
                if (callback)
                    callback(true, *buffer, QString());
            } else {
                qCWarning(lcNet).noquote() << "http range failed" << url << "range" << first << "-" << last << "status"
                                           << status << "elapsed_ms" << elapsed << "body" << bodyPreview(*buffer);
                if (callback)
                    callback(false, {}, QStringLiteral("HTTP %1").arg(status));
            }
        });
    // The reply keeps only a bounded buffer, so the body is drained as it arrives.
    QPointer<QNetworkReply> reply(sent);
    connect(sent, &QNetworkReply::readyRead, this, [reply, done = handle.done, buffer] {
        if (!*done && reply)
            buffer->append(reply->readAll());
    });
    return handle;
}

RawRequestHandle RawTransferClient::rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                                           HttpCallback callback, ProgressCallback progress, int timeoutMs)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!isWebUrl(target)) {
        return refuse(url, [callback](const QString &error) {
            if (callback)
                callback(networkErrorResponse(error));
        });
    }

    QNetworkRequest request = requestFor(target);
    if (!contentType.isEmpty())
        request.setRawHeader("Content-Type", contentType);
    const int limit = limitOf(timeoutMs);
    const qint64 startMs = nowMs();
    QNetworkReply *sent = manager->put(request, body);
    const RawRequestHandle handle = track(
        this, sent, limit,
        [url, callback, limit, startMs] {
            qCWarning(lcNet) << "http put timeout" << url << "elapsed_ms" << nowMs() - startMs << "limit_ms" << limit;
            if (callback)
                callback(timeoutResponse(uploadTimeoutText()));
        },
        [url, callback, startMs](QNetworkReply *reply) {
            const HttpResponse response = rawResponseOf(reply);
            logFinish("http raw put", url, response, startMs);
            if (callback)
                callback(response);
        });

    // The limit is the longest silence between two progress reports, not the whole upload.
    connect(sent, &QNetworkReply::uploadProgress, this,
            [progress, timer = handle.timer, done = handle.done, limit](qint64 bytesSent, qint64 total) {
                if (*done)
                    return;
                if (timer)
                    timer->start(limit);
                if (progress)
                    progress(bytesSent, total);
            });
    return handle;
}
