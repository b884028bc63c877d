#include "net/raw_request_handle.h"

#include <QNetworkReply>
#include <QTimer>

void RawRequestHandle::cancel()
{
    if (!done || *done)
        return;
    *done = true;
    if (timer) {
        timer->stop();
        timer->deleteLater();
    }
    if (reply) {
        reply->abort();
        reply->deleteLater();
    }
}
