#include "net/server_addresses.h"

#include "build_config.h"

#include <QUrl>

namespace {

QString &apiOverride()
{
    static QString value;
    return value;
}

QString &assetOverride()
{
    static QString value;
    return value;
}

} // namespace

namespace serveraddress {

QString apiBaseUrl()
{
    const QString &value = apiOverride();
    return value.isEmpty() ? QString::fromLatin1(buildconfig::kApiBaseUrl) : value;
}

QString assetBaseUrl()
{
    const QString &value = assetOverride();
    return value.isEmpty() ? QString::fromLatin1(buildconfig::kAssetBaseUrl) : value;
}

void setApiBaseUrl(const QString &url)
{
    apiOverride() = url;
}

void setAssetBaseUrl(const QString &url)
{
    assetOverride() = url;
}

QString normalizedBaseUrl(const QString &text, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return QString();
    };
    QString trimmed = text.trimmed();
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const QUrl url(trimmed, QUrl::StrictMode);
    if (trimmed.isEmpty() || !url.isValid())
        return fail(QStringLiteral("not a valid URL"));
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return fail(QStringLiteral("the scheme must be http or https"));
    if (url.host().isEmpty())
        return fail(QStringLiteral("the URL names no host"));
    if (url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return fail(QStringLiteral("a base URL carries no query, fragment or user"));
    if (error)
        error->clear();
    return url.toString(QUrl::FullyEncoded);
}

} // namespace serveraddress
