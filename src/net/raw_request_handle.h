#pragma once

#include <QPointer>

#include <memory>

class QNetworkReply;

// Returned by every raw transfer. Copies share the request's done flag;
// dropping a handle does nothing to the request.
struct RawRequestHandle
{
    QPointer<QNetworkReply> reply;
    std::shared_ptr<bool> done;

    // Ends the transfer so that no callback follows.
    void cancel();
};
