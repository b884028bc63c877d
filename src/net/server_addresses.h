#pragma once

#include <QString>

// Where the service lives: the REST API base URL (its host also serves the realtime
// gateway) and the asset host base URL, both without a trailing slash. They start as the
// built-in addresses; `main` may replace them once, before any service is built, from the
// command line or the environment. GUI thread only.
namespace serveraddress {

QString apiBaseUrl();
QString assetBaseUrl();

void setApiBaseUrl(const QString &url);
void setAssetBaseUrl(const QString &url);

// Checks a base URL given from outside: an absolute http or https URL with a host, no
// query, no fragment and no user info. Returns it without trailing slashes, or an empty
// string (and the reason in `error`) when it cannot serve as a base URL.
QString normalizedBaseUrl(const QString &text, QString *error);

} // namespace serveraddress
