#pragma once

#include "net/http_types.h"
#include "net/raw_request_handle.h"

#include <QString>

#include <functional>

class QNetworkReply;
class QObject;

// What every request in flight shares, REST or raw: a reply, a single-shot time-out
// timer and one done flag, so that exactly one of finishing, timing out and cancelling
// acts. GUI thread only.
namespace netlifecycle {

constexpr int kDefaultTimeoutMs = 30000;

// The limit in use: the given one when positive, else the default.
int limitOf(int timeoutMs);
qint64 nowMs();

// Tracks a sent reply. The timer (a child of `owner`, which is also the context of every
// connection) starts at once with `limitMs`. On time-out the reply is aborted and
// `timedOut` runs; when the reply finishes first, `finished` runs with it (the reply is
// freed later, so it can still be read). Neither runs after a cancel through the
// returned handle, nor after `owner` is gone.
RawRequestHandle track(QObject *owner, QNetworkReply *reply, int limitMs, std::function<void()> timedOut,
                       std::function<void(QNetworkReply *reply)> finished);

// Status, body and the network-error fields of a finished reply; never json.
HttpResponse rawResponseOf(QNetworkReply *reply);
HttpResponse timeoutResponse(const QString &text);
HttpResponse networkErrorResponse(const QString &error);
int statusOf(QNetworkReply *reply);

const QString &timeoutText();

} // namespace netlifecycle
