#pragma once

#include "net/http_types.h"
#include "net/raw_request_handle.h"

// Absolute-URL GETs of raw bytes. No interceptors, no JSON parsing.
class IRawDownloader
{
public:
    using RangeCallback = std::function<void(bool ok, const QByteArray &data, const QString &error)>;

    virtual ~IRawDownloader() = default;
    virtual RawRequestHandle rawGet(const QString &url, HttpCallback callback, int timeoutMs) = 0;
    // first and last are inclusive byte offsets.
    virtual RawRequestHandle rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                                      int timeoutMs) = 0;
};
