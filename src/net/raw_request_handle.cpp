#include "net/raw_request_handle.h"

#include <QNetworkReply>

void RawRequestHandle::cancel()
{
    if (!done || *done)
        return;
    *done = true;
    if (reply)
        reply->abort();
}
