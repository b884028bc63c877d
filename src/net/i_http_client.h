#pragma once

#include "net/http_types.h"

class QJsonObject;

// The JSON REST interface every service receives. Paths are relative to the API
// base URL and may carry a query. Callbacks run once, on the GUI thread.
class IHttpClient
{
public:
    virtual ~IHttpClient() = default;
    virtual void setBaseUrl(const QString &baseUrl) = 0;
    virtual void get(const QString &path, HttpCallback callback, const HttpOptions &options = {}) = 0;
    virtual void post(const QString &path, const QJsonObject &body, HttpCallback callback,
                      const HttpOptions &options = {}) = 0;
    virtual void put(const QString &path, const QJsonObject &body, HttpCallback callback,
                     const HttpOptions &options = {}) = 0;
    virtual void patch(const QString &path, const QJsonObject &body, HttpCallback callback,
                       const HttpOptions &options = {}) = 0;
    virtual void del(const QString &path, HttpCallback callback, const HttpOptions &options = {}) = 0;
    virtual void postRaw(const QString &path, const QByteArray &body, const QByteArray &contentType,
                         HttpCallback callback, const HttpOptions &options = {}) = 0;
};
