#include "app/server_address_options.h"

#include "app/app_log.h"
#include "net/server_addresses.h"

namespace {

struct AddressOption
{
    QLatin1String option;
    const char *environment;
    QString value;  // as given; empty when not given
    QString source; // where it came from, for the log and the error text
};

// Fills `option.value` from the arguments; false when the option ends the list.
bool readOption(const QStringList &arguments, AddressOption &option, QString *error)
{
    const QString prefixed = option.option + QLatin1Char('=');
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == option.option) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs an address").arg(option.option);
                return false;
            }
            option.value = arguments.at(++i);
            option.source = option.option;
        } else if (argument.startsWith(prefixed)) {
            option.value = argument.mid(prefixed.size());
            option.source = option.option;
        }
    }
    if (option.source.isEmpty() && !qEnvironmentVariableIsEmpty(option.environment)) {
        option.value = qEnvironmentVariable(option.environment);
        option.source = QString::fromLatin1(option.environment);
    }
    return true;
}

} // namespace

bool applyServerAddressOptions(const QStringList &arguments, QString *error)
{
    AddressOption api{QLatin1String("--api"), "KESTOVA_API_BASE_URL", {}, {}};
    AddressOption assets{QLatin1String("--assets"), "KESTOVA_ASSET_BASE_URL", {}, {}};
    QString reason;
    for (AddressOption *option : {&api, &assets}) {
        if (!readOption(arguments, *option, &reason)) {
            *error = reason;
            return false;
        }
    }
    QString apiUrl;
    QString assetUrl;
    if (!api.source.isEmpty()) {
        apiUrl = serveraddress::normalizedBaseUrl(api.value, &reason);
        if (apiUrl.isEmpty()) {
            *error = QStringLiteral("%1: %2: %3").arg(api.source, reason, api.value);
            return false;
        }
    }
    if (!assets.source.isEmpty()) {
        assetUrl = serveraddress::normalizedBaseUrl(assets.value, &reason);
        if (assetUrl.isEmpty()) {
            *error = QStringLiteral("%1: %2: %3").arg(assets.source, reason, assets.value);
            return false;
        }
    }
    if (!apiUrl.isEmpty()) {
        serveraddress::setApiBaseUrl(apiUrl);
        qCInfo(lcApp).noquote().nospace() << "api base url from " << api.source << " url=" << apiUrl;
    }
    if (!assetUrl.isEmpty()) {
        serveraddress::setAssetBaseUrl(assetUrl);
        qCInfo(lcApp).noquote().nospace() << "asset base url from " << assets.source << " url=" << assetUrl;
    }
    return true;
}
