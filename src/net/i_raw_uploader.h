#pragma once

#include "net/http_types.h"
#include "net/raw_request_handle.h"

// Absolute-URL PUT of raw bytes with progress; the time-out restarts with every progress report.
class IRawUploader
{
public:
    using ProgressCallback = std::function<void(qint64 bytesSent, qint64 bytesTotal)>;

    virtual ~IRawUploader() = default;
    virtual RawRequestHandle rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                                    HttpCallback callback, ProgressCallback progress, int timeoutMs) = 0;
};
