#include "realtime/realtime_assembly.h"

#include "realtime/gateway_service.h"
#include "realtime/socket_client.h"

#include <QCoreApplication>

RealtimeAssembly::RealtimeAssembly()
    : socket(std::make_unique<SocketClient>())
    , gatewayService(std::make_unique<GatewayService>(socket.get()))
{
    if (auto *app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, gatewayService.get(), &GatewayService::shutdown);
}

RealtimeAssembly::~RealtimeAssembly() = default;
