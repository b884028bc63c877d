#include "net/http_client.h"

#include "net/net_log.h"
#include "net/request_lifecycle.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace netlifecycle;

namespace {

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

void HttpClient::patch(const QString &path, const QJsonObject &body, HttpCallback callback, const HttpOptions &options)
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
        case HttpMethod::Post: reply = manager->post(request, context.body); break;
        case HttpMethod::Get: reply = manager->get(request); break;
        case HttpMethod::Delete: reply = manager->deleteResource(request); break;
        case HttpMethod::Put: reply = manager->put(request, context.body); break;
        case HttpMethod::Patch: reply = manager->sendCustomRequest(request, "PATCH", context.body); break;
    }
    handleReply(reply, context);
}

void HttpClient::handleReply(QNetworkReply *reply, const RequestContext &context)
{
    const int limit = limitOf(context.options.timeoutMs);
    track(
        this, reply, limit,
        [context, limit] {
            qCWarning(lcNet) << "http request timeout" << methodName(context.method) << context.path << "elapsed_ms"
                             << nowMs() - context.startMs << "limit_ms" << limit;
            // A time-out never reaches the response interceptors.
            if (context.callback)
                context.callback(timeoutResponse(timeoutText()));
        },
        [this, context](QNetworkReply *finished) { finishReply(finished, context); });
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

    const qint64 elapsed = nowMs() - context.startMs;
    const char *method = methodName(context.method);
    if (response.networkError)
        qCWarning(lcNet) << "http network error" << method << context.path << response.error << "elapsed_ms" << elapsed;
    else if (response.status < 500)
        qCInfo(lcNet) << "http response" << method << context.path << "status" << response.status << "elapsed_ms"
                      << elapsed;
    else
        qCWarning(lcNet) << "http server error" << method << context.path << "status" << response.status << "elapsed_ms"
                         << elapsed;

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
