#pragma once

#include "net/i_http_client.h"

#include <QJsonObject>
#include <QList>

// An IHttpClient that records every call and lets the test answer it.
class FakeHttpClient : public IHttpClient {
public:
    struct Call {
        HttpMethod method = HttpMethod::Get;
        QString path;
        QJsonObject body;
        QByteArray rawBody;
        HttpCallback callback;
        HttpOptions options;
    };

    void setBaseUrl(const QString &url) override { baseUrl = url; }
    void get(const QString &path, HttpCallback callback, const HttpOptions &options = {}) override;
    void post(const QString &path, const QJsonObject &body, HttpCallback callback,
              const HttpOptions &options = {}) override;
    void put(const QString &path, const QJsonObject &body, HttpCallback callback,
             const HttpOptions &options = {}) override;
    void patch(const QString &path, const QJsonObject &body, HttpCallback callback,
               const HttpOptions &options = {}) override;
    void del(const QString &path, HttpCallback callback, const HttpOptions &options = {}) override;
    void postRaw(const QString &path, const QByteArray &body, const QByteArray &contentType, HttpCallback callback,
                 const HttpOptions &options = {}) override;

    // Calls made to `path`, in order.
    QList<Call> callsTo(const QString &path) const;
    // Answers the `index`-th call to `path` (its callback runs now).
    void answer(const QString &path, int index, const HttpResponse &response);

    QList<Call> calls;
    QString baseUrl;

private:
    void record(HttpMethod method, const QString &path, const QJsonObject &body, const QByteArray &rawBody,
                HttpCallback callback, const HttpOptions &options);
};

// Replies as the transport hands them over.
HttpResponse jsonReply(int status, const QJsonObject &json = {});
HttpResponse timedOutReply();
HttpResponse networkErrorReply();
