#pragma once

#include "net/i_http_client.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// Records every REST call; the test answers them one by one.
class FakeHttpClient : public IHttpClient
{
public:
    struct Call
    {
        HttpMethod method = HttpMethod::Get;
        QString path;
        QJsonObject body;
        HttpCallback callback;
    };

    QList<Call> calls;

    void setBaseUrl(const QString &) override {}
    void get(const QString &path, HttpCallback callback, const HttpOptions & = {}) override
    {
        calls.append({HttpMethod::Get, path, {}, std::move(callback)});
    }
    void post(const QString &path, const QJsonObject &body, HttpCallback callback, const HttpOptions & = {}) override
    {
        calls.append({HttpMethod::Post, path, body, std::move(callback)});
    }
    void put(const QString &path, const QJsonObject &body, HttpCallback callback, const HttpOptions & = {}) override
    {
        calls.append({HttpMethod::Put, path, body, std::move(callback)});
    }
    void patch(const QString &path, const QJsonObject &body, HttpCallback callback, const HttpOptions & = {}) override
    {
        calls.append({HttpMethod::Patch, path, body, std::move(callback)});
    }
    void del(const QString &path, HttpCallback callback, const HttpOptions & = {}) override
    {
        calls.append({HttpMethod::Delete, path, {}, std::move(callback)});
    }
    void postRaw(const QString &path, const QByteArray &, const QByteArray &, HttpCallback callback,
                 const HttpOptions & = {}) override
    {
        calls.append({HttpMethod::Post, path, {}, std::move(callback)});
    }

    // Answers call `index` (which stays recorded).
    void reply(qsizetype index, const HttpResponse &response) { calls.at(index).callback(response); }

    static HttpResponse ok(const QJsonObject &json)
    {
        HttpResponse response;
        response.status = 200;
        response.json = json;
        return response;
    }
    static HttpResponse failure(int status, const QJsonObject &json = {})
    {
        HttpResponse response;
        response.status = status;
        response.json = json;
        if (status == 0) {
            response.networkError = true;
            response.error = QStringLiteral("connection refused");
        }
        return response;
    }
};
