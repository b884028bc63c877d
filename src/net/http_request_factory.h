#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

class QNetworkRequest;

// Builds the REST client's requests: the base URL joined with a relative path (a
// query in the path is kept) and the common headers. Private to the transport.
class HttpRequestFactory
{
public:
    void setBaseUrl(const QUrl &url) { base = url; }
    QUrl baseUrl() const { return base; }
    // Set on every request built afterwards; a second call with the same name replaces the value.
    void setCommonHeader(const QByteArray &name, const QByteArray &value);

    // The base URL's path and `path` are joined with exactly one "/" between them.
    QNetworkRequest createRequest(const QString &path) const;

private:
    QUrl base;
    QList<QPair<QByteArray, QByteArray>> commonHeaders;
};
