#pragma once

#include <QPointer>

#include <memory>

class QNetworkReply;
class QTimer;

// Returned by every raw transfer. Copies share the request's done flag;
// dropping a handle does nothing to the request.
struct RawRequestHandle
{
    QPointer<QNetworkReply> reply;
    std::shared_ptr<bool> done;
    // The request's time-out timer, so that cancelling also stops and frees it.
    QPointer<QTimer> timer;

    // Ends the transfer so that no callback follows. Does nothing once the request has
    // finished, timed out or been cancelled, and on a default handle.
    void cancel();
};
