#include "net/http_request_factory.h"

#include <QNetworkRequest>

void HttpRequestFactory::setCommonHeader(const QByteArray &name, const QByteArray &value)
{
    for (auto &header : commonHeaders) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            header.second = value;
            return;
        }
    }
    commonHeaders.append({name, value});
}

QNetworkRequest HttpRequestFactory::createRequest(const QString &path) const
{
    QString relative = path;
    QString query;
    const qsizetype q = relative.indexOf(QLatin1Char('?'));
    if (q >= 0) {
        query = relative.mid(q + 1);
        relative.truncate(q);
    }

    QString joined = base.path(QUrl::FullyEncoded);
    while (joined.endsWith(QLatin1Char('/')))
        joined.chop(1);
    qsizetype start = 0;
    while (start < relative.size() && relative.at(start) == QLatin1Char('/'))
        ++start;
    joined += QLatin1Char('/') + relative.mid(start);

    QUrl url = base;
    // Tolerant mode keeps the escapes a caller already wrote and encodes what must be.
    url.setPath(joined, QUrl::TolerantMode);
    if (q >= 0)
        url.setQuery(query, QUrl::TolerantMode);
    else
        url.setQuery(QString());

    QNetworkRequest request(url);
    for (const auto &header : commonHeaders)
        request.setRawHeader(header.first, header.second);
    return request;
}
