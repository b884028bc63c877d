#include "net/http_client.h"

#include "net/net_log.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace {

constexpr int kDefaultTimeoutMs = 30000;
constexpr qint64 kRangeReadBufferBytes = 262144;
constexpr qsizetype kLoggedBodyBytes = 512;

const QString &timeoutText()
{
    static const QString text = QStringLiteral("请求超时");
    return text;
}

const QString &uploadTimeoutText()
{
    static const QString text = QStringLiteral("上传超时");
    return text;
}

const char *methodName(HttpMethod method)
{
    switch (method) {
    case HttpMethod::Post: return "POST";
    case HttpMethod::Get: return "GET";
    case HttpMethod::Delete: return "DELETE";
    case HttpMethod::Put: return "PUT";
    case HttpMethod::Patch: return "PATCH";
    }
    return "?";
}

int limitOf(int timeoutMs)
{
    return timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString bodyPreview(const QByteArray &body)
{
    return QString::fromUtf8(body.left(kLoggedBodyBytes));
}

int statusOf(QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

HttpResponse timeoutResponse(const QString &text)
{
    HttpResponse response;
    response.error = text;
    response.timedOut = true;
    return response;
}

// status, body and the network-error fields of a finished reply; never json.
HttpResponse rawResponseOf(QNetworkReply *reply)
{
    HttpResponse response;
    response.status = statusOf(reply);
    response.body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError && response.status == 0) {
        response.networkError = true;
        response.error = reply->errorString();
    }
    return response;
}

void logRawFinish(const char *what, const QString &url, const HttpResponse &response, qint64 startMs)
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

// Stops and frees a request's timer and lets its reply go (aborted first when asked),
// once the request's done flag is set.
void release(QNetworkReply *reply, QTimer *timer, bool abort)
{
    if (timer) {
        timer->stop();
        timer->deleteLater();
    }
    if (reply) {
        if (abort)
            reply->abort();
        reply->deleteLater();
    }
}

// Raw transfers go only to web URLs: other schemes (file:, qrc:, data: ...) would let a
// URL that came from another user read local files.
bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QNetworkRequest rawRequestFor(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

HttpResponse networkErrorResponse(const QString &error)
{
    HttpResponse response;
    response.networkError = true;
    response.error = error;
    return response;
}

} // namespace

HttpClient::HttpClient(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
{
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    factory.setCommonHeader("Content-Type", "application/json");
}

// Deleting the manager (a child) deletes every open reply, and the timers go with this
// object; Qt has already cut this object's connections by then, so no callback runs.
HttpClient::~HttpClient() = default;

void HttpClient::setBaseUrl(const QString &url)
{
    factory.setBaseUrl(QUrl(url, QUrl::TolerantMode));
}

void HttpClient::get(const QString &path, HttpCallback callback, const HttpOptions &options)
{
    send(HttpMethod::Get, path, {}, std::move(callback), options);
}

void HttpClient::post(const QString &path, const QJsonObject &body, HttpCallback callback, const HttpOptions &options)
{
    send(HttpMethod::Post, path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback), options);
}

void HttpClient::put(const QString &path, const QJsonObject &body, HttpCallback callback, const HttpOptions &options)
{
    send(HttpMethod::Put, path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback), options);
}

void HttpClient::patch(const QString &path, const QJsonObject &body, HttpCallback callback,
                       const HttpOptions &options)
{
    send(HttpMethod::Patch, path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback), options);
}

void HttpClient::del(const QString &path, HttpCallback callback, const HttpOptions &options)
{
    send(HttpMethod::Delete, path, {}, std::move(callback), options);
}

void HttpClient::postRaw(const QString &path, const QByteArray &body, const QByteArray &contentType,
                         HttpCallback callback, const HttpOptions &options)
{
    HttpOptions own = options;
    if (!contentType.isEmpty()) {
        // The caller's own spelling of the name would otherwise survive next to ours.
        for (auto it = own.headers.begin(); it != own.headers.end();) {
            if (it.key().compare("Content-Type", Qt::CaseInsensitive) == 0)
                it = own.headers.erase(it);
            else
                ++it;
        }
        own.headers.insert("Content-Type", contentType);
    }
    send(HttpMethod::Post, path, body, std::move(callback), own);
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

void HttpClient::send(HttpMethod method, const QString &path, const QByteArray &body, HttpCallback callback,
                      const HttpOptions &options)
{
    RequestContext context;
    context.method = method;
    context.path = path;
    context.body = body;
    context.callback = std::move(callback);
    context.options = options;
    sendRequest(std::move(context));
}

void HttpClient::sendRequest(RequestContext context)
{
    if (context.startMs == 0)
        context.startMs = nowMs();

    QNetworkRequest request = factory.createRequest(context.path);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    const QList<IRequestInterceptor *> interceptors = requestInterceptorList;
    for (IRequestInterceptor *interceptor : interceptors)
        interceptor->onRequest(request, context.options);
    for (auto it = context.options.headers.cbegin(); it != context.options.headers.cend(); ++it)
        request.setRawHeader(it.key(), it.value());

    QNetworkReply *reply = nullptr;
    switch (context.method) {
    case HttpMethod::Post:
        reply = manager->post(request, context.body);
        break;
    case HttpMethod::Get:
        reply = manager->get(request);
        break;
    case HttpMethod::Delete:
        reply = manager->deleteResource(request);
        break;
    case HttpMethod::Put:
        reply = manager->put(request, context.body);
        break;
    case HttpMethod::Patch:
        reply = manager->sendCustomRequest(request, "PATCH", context.body);
        break;
    }
    handleReply(reply, context);
}

void HttpClient::handleReply(QNetworkReply *reply, const RequestContext &context)
{
    const int limit = limitOf(context.options.timeoutMs);
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    auto done = std::make_shared<bool>(false);
    QPointer<QNetworkReply> guardedReply(reply);

    connect(timer, &QTimer::timeout, this, [timer, done, guardedReply, context, limit] {
        if (*done)
            return;
        *done = true;
        // abort() emits finished at once; that handler finds the flag set.
        release(guardedReply, timer, true);
        qCWarning(lcNet) << "http request timeout" << methodName(context.method) << context.path << "elapsed_ms"
                         << nowMs() - context.startMs << "limit_ms" << limit;
        // A time-out never reaches the response interceptors.
        if (context.callback)
            context.callback(timeoutResponse(timeoutText()));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, timer, done, context] {
        if (*done)
            return;
        *done = true;
        release(nullptr, timer, false);
        finishReply(reply, context);
    });
    timer->start(limit);
}

void HttpClient::finishReply(QNetworkReply *reply, const RequestContext &context)
{
    HttpResponse response;
    response.status = statusOf(reply);
    response.body = reply->readAll();
    if (reply->error() == QNetworkReply::NoError || response.status != 0) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(response.body, &parseError);
        if (parseError.error == QJsonParseError::NoError && document.isObject())
            response.json = document.object();
    } else {
        response.networkError = true;
        response.error = reply->errorString();
    }
    reply->deleteLater();

    const qint64 elapsed = nowMs() - context.startMs;
    const char *method = methodName(context.method);
    if (response.networkError)
        qCWarning(lcNet) << "http network error" << method << context.path << response.error << "elapsed_ms" << elapsed;
    else if (response.status < 500)
        qCInfo(lcNet) << "http response" << method << context.path << "status" << response.status << "elapsed_ms"
                      << elapsed;
    else
        qCWarning(lcNet) << "http server error" << method << context.path << "status" << response.status
                         << "elapsed_ms" << elapsed;

    if (response.status == 429) {
        const QJsonObject details = response.json.value(QStringLiteral("details")).toObject();
        const int retryAfter = details.value(QStringLiteral("retryAfter")).toInt(0);
        emit rateLimited(context.path, retryAfter);
    }

    offerToInterceptors(response, context);
}

void HttpClient::offerToInterceptors(const HttpResponse &response, const RequestContext &context)
{
    const QList<IResponseInterceptor *> interceptors = responseInterceptorList;
    for (IResponseInterceptor *interceptor : interceptors) {
        if (interceptor->onResponse(response, context.path, context.options, context.attempt, makeControl(context)))
            return;
    }
    if (context.callback)
        context.callback(response);
}

ResponseControl HttpClient::makeControl(const RequestContext &context)
{
    // Replay and deliver share one flag: whichever runs first acts, every later call
    // of either does nothing, so the callback is never called twice.
    auto used = std::make_shared<bool>(false);
    auto pending = std::make_shared<RequestContext>(context);
    QPointer<HttpClient> self(this);

    ResponseControl control;
    control.replay = [self, used, pending] {
        if (*used || !self)
            return;
        *used = true;
        RequestContext next = std::move(*pending);
        ++next.attempt;
        self->sendRequest(std::move(next));
    };
    control.deliver = [self, used, pending](const HttpResponse &response) {
        if (*used || !self)
            return;
        *used = true;
        const HttpCallback callback = std::move(pending->callback);
        if (callback)
            callback(response);
    };
    return control;
}

RawRequestHandle HttpClient::refuseRaw(const QString &url, std::function<void(const QString &error)> answer)
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

RawRequestHandle HttpClient::trackRaw(QNetworkReply *reply)
{
    RawRequestHandle handle;
    handle.reply = reply;
    handle.done = std::make_shared<bool>(false);
    handle.timer = new QTimer(this);
    handle.timer->setSingleShot(true);
    return handle;
}

RawRequestHandle HttpClient::rawGet(const QString &url, HttpCallback callback, int timeoutMs)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!isWebUrl(target)) {
        return refuseRaw(url, [callback](const QString &error) {
            if (callback)
                callback(networkErrorResponse(error));
        });
    }

    const int limit = limitOf(timeoutMs);
    const qint64 startMs = nowMs();
    const RawRequestHandle handle = trackRaw(manager->get(rawRequestFor(target)));
    QPointer<QNetworkReply> reply = handle.reply;
    QTimer *timer = handle.timer;
    auto done = handle.done;

    connect(timer, &QTimer::timeout, this, [url, callback, reply, timer, done, limit, startMs] {
        if (*done)
            return;
        *done = true;
        release(reply, timer, true);
        qCWarning(lcNet) << "http get timeout" << url << "elapsed_ms" << nowMs() - startMs << "limit_ms" << limit;
        if (callback)
            callback(timeoutResponse(timeoutText()));
    });
    connect(reply, &QNetworkReply::finished, this, [url, callback, reply, timer, done, startMs] {
        if (*done || !reply)
            return;
        *done = true;
        release(reply, timer, false);
        const HttpResponse response = rawResponseOf(reply);
        logRawFinish("http raw get", url, response, startMs);
        if (callback)
            callback(response);
    });
    timer->start(limit);
    return handle;
}

RawRequestHandle HttpClient::rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                                      int timeoutMs)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!isWebUrl(target)) {
        return refuseRaw(url, [callback](const QString &error) {
            if (callback)
                callback(false, {}, error);
        });
    }

    QNetworkRequest request = rawRequestFor(target);
    request.setRawHeader("Range", QStringLiteral("bytes=%1-%2").arg(first).arg(last).toLatin1());
    const int limit = limitOf(timeoutMs);
    const qint64 startMs = nowMs();
    const RawRequestHandle handle = trackRaw(manager->get(request));
    QPointer<QNetworkReply> reply = handle.reply;
    QTimer *timer = handle.timer;
    auto done = handle.done;
    auto buffer = std::make_shared<QByteArray>();
    reply->setReadBufferSize(kRangeReadBufferBytes);

    connect(reply, &QNetworkReply::readyRead, this, [reply, done, buffer] {
        if (!*done && reply)
            buffer->append(reply->readAll());
    });
    connect(timer, &QTimer::timeout, this, [callback, reply, timer, done] {
        if (*done)
            return;
        *done = true;
        release(reply, timer, true);
        if (callback)
            callback(false, {}, timeoutText());
    });
    connect(reply, &QNetworkReply::finished, this, [url, first, last, callback, reply, timer, done, buffer, startMs] {
        if (*done || !reply)
            return;
        *done = true;
        release(reply, timer, false);
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
            qCDebug(lcNet) << "http range" << url << "range" << first << "-" << last << "status" << status << "bytes"
                           << buffer->size() << "elapsed_ms" << elapsed;
            if (callback)
                callback(true, *buffer, QString());
        } else {
            qCWarning(lcNet).noquote() << "http range failed" << url << "range" << first << "-" << last << "status"
                                       << status << "elapsed_ms" << elapsed << "body" << bodyPreview(*buffer);
            if (callback)
                callback(false, {}, QStringLiteral("HTTP %1").arg(status));
        }
    });
    timer->start(limit);
    return handle;
}

RawRequestHandle HttpClient::rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                                    HttpCallback callback, ProgressCallback progress, int timeoutMs)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!isWebUrl(target)) {
        return refuseRaw(url, [callback](const QString &error) {
            if (callback)
                callback(networkErrorResponse(error));
        });
    }

    QNetworkRequest request = rawRequestFor(target);
    if (!contentType.isEmpty())
        request.setRawHeader("Content-Type", contentType);
    const int limit = limitOf(timeoutMs);
    const qint64 startMs = nowMs();
    const RawRequestHandle handle = trackRaw(manager->put(request, body));
    QPointer<QNetworkReply> reply = handle.reply;
    QTimer *timer = handle.timer;
    auto done = handle.done;

    // The limit is the longest silence between two progress reports, not the whole upload.
    connect(reply, &QNetworkReply::uploadProgress, this, [progress, timer, done, limit](qint64 sent, qint64 total) {
        if (*done)
            return;
        timer->start(limit);
        if (progress)
            progress(sent, total);
    });
    connect(timer, &QTimer::timeout, this, [url, callback, reply, timer, done, limit, startMs] {
        if (*done)
            return;
        *done = true;
        release(reply, timer, true);
        qCWarning(lcNet) << "http put timeout" << url << "elapsed_ms" << nowMs() - startMs << "limit_ms" << limit;
        if (callback)
            callback(timeoutResponse(uploadTimeoutText()));
    });
    connect(reply, &QNetworkReply::finished, this, [url, callback, reply, timer, done, startMs] {
        if (*done || !reply)
            return;
        *done = true;
        release(reply, timer, false);
        const HttpResponse response = rawResponseOf(reply);
        logRawFinish("http raw put", url, response, startMs);
        if (callback)
            callback(response);
    });
    timer->start(limit);
    return handle;
}
