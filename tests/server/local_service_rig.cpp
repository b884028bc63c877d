#include "local_service_rig.h"

#include "build_config.h"
#include "net/server_addresses.h"
#include "server/asset_host.h"

namespace servertest {

QByteArray developmentSeed()
{
    QString error;
    return localservice::AssetHost::readSigningSeed(QStringLiteral(KESTOVA_DEV_SIGNING_KEY), &error);
}

localservice::LocalServiceConfig defaultConfig()
{
    localservice::LocalServiceConfig config;
    config.signingSeed = developmentSeed();
    config.clientVersion = QString::fromLatin1(buildconfig::kClientVersion);
    return config;
}

ServiceRig::ServiceRig()
    : ServiceRig(defaultConfig())
{}

ServiceRig::ServiceRig(localservice::LocalServiceConfig config)
    : service(std::make_unique<localservice::LocalService>(std::move(config)))
{
    service->setClock([this] { return nowMs; });
}

bool ServiceRig::start()
{
    QString error;
    if (!service->start(&error)) {
        qWarning("local service did not start: %s", qPrintable(error));
        return false;
    }
    serveraddress::setApiBaseUrl(service->baseUrl());
    serveraddress::setAssetBaseUrl(service->baseUrl());
    return true;
}

} // namespace servertest
