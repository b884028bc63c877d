#include "net/request_lifecycle.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QObject>
#include <QTimer>

namespace netlifecycle {

namespace {

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

} // namespace

int limitOf(int timeoutMs)
{
    return timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

RawRequestHandle track(QObject *owner, QNetworkReply *reply, int limitMs, std::function<void()> timedOut,
                       std::function<void(QNetworkReply *reply)> finished)
{
    RawRequestHandle handle;
    handle.reply = reply;
    handle.done = std::make_shared<bool>(false);
    auto *timer = new QTimer(owner);
    timer->setSingleShot(true);
    handle.timer = timer;

    QPointer<QNetworkReply> guarded(reply);
    auto done = handle.done;
    QObject::connect(timer, &QTimer::timeout, owner, [timer, guarded, done, timedOut = std::move(timedOut)] {
        if (*done)
            return;
        *done = true;
        // abort() emits finished at once; that handler finds the flag set.
        release(guarded, timer, true);
        if (timedOut)
            timedOut();
    });
    QObject::connect(reply, &QNetworkReply::finished, owner, [timer, guarded, done, finished = std::move(finished)] {
        if (*done || !guarded)
            return;
        *done = true;
        release(guarded, timer, false);
        if (finished)
            finished(guarded);
    });
    timer->start(limitMs);
    return handle;
}

int statusOf(QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

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

HttpResponse timeoutResponse(const QString &text)
{
    HttpResponse response;
    response.error = text;
    response.timedOut = true;
    return response;
}

HttpResponse networkErrorResponse(const QString &error)
{
    HttpResponse response;
    response.networkError = true;
    response.error = error;
    return response;
}

const QString &timeoutText()
{
    static const QString text = QStringLiteral("请求超时");
    return text;
}

} // namespace netlifecycle
