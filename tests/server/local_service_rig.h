#pragma once

#include "server/local_service.h"

#include <QDateTime>
#include <QString>

#include <memory>

namespace servertest {

// A local service on a free loopback port, signed with the development key, whose clock
// the test moves. The client services built afterwards are pointed at it.
struct ServiceRig
{
    ServiceRig();
    explicit ServiceRig(localservice::LocalServiceConfig config);
    bool start();

    qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    std::unique_ptr<localservice::LocalService> service;
};

// The development key's 32-byte seed, read from the repository's key file.
QByteArray developmentSeed();
// A config with the development key and the client's own version.
localservice::LocalServiceConfig defaultConfig();

} // namespace servertest
