#include "local_service.h"

#include "api_router.h"
#include "api_types.h"
#include "asset_host.h"
#include "channels_api.h"
#include "chat_api.h"
#include "gateway_hub.h"
#include "janus_control.h"
#include "media_api.h"
#include "rooms_api.h"
#include "service_log.h"
#include "service_state.h"
#include "state_file.h"
#include "token_issuer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebSocket>

namespace localservice {

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
        case QHttpServerRequest::Method::Get: return "GET";
        case QHttpServerRequest::Method::Put: return "PUT";
        case QHttpServerRequest::Method::Delete: return "DELETE";
        case QHttpServerRequest::Method::Post: return "POST";
        case QHttpServerRequest::Method::Head: return "HEAD";
        case QHttpServerRequest::Method::Options: return "OPTIONS";
        case QHttpServerRequest::Method::Patch: return "PATCH";
        default: return "OTHER";
    }
}

} // namespace

LocalService::LocalService(LocalServiceConfig config_, QObject *parent)
    : QObject(parent)
    , config(std::move(config_))
    , serviceState(std::make_unique<ServiceState>())
    , tokens(std::make_unique<TokenIssuer>())
    , router(std::make_unique<ApiRouter>())
    , hub(std::make_unique<GatewayHub>())
{
    if (!this->config.statePath.isEmpty())
        stateFile = std::make_unique<StateFile>(this->config.statePath);
    assetHost = std::make_unique<AssetHost>(this->config.signingSeed, this->config.clientVersion);
    accountApi = std::make_unique<AccountApi>(serviceState.get(), tokens.get(), hub.get(), this->config.accounts);

    router->setMaxBodyBytes(this->config.maxBodyBytes);
    router->setAuthenticator([this](const QString &token) { return accountApi->authorize(token); });
    hub->setAuthenticator([this](const QString &token) { return accountApi->authorize(token); });
    hub->setDetachedSessionKeepMs(this->config.detachedSessionKeepMs);
    assetHost->addRoutes(*router);
    accountApi->addRoutes(*router);

    QString uploads = this->config.uploadFolder;
    if (uploads.isEmpty() && !this->config.statePath.isEmpty())
        uploads = QFileInfo(this->config.statePath).absoluteDir().filePath(QStringLiteral("uploads"));
    if (uploads.isEmpty()) {
        scratchFolder = std::make_unique<QTemporaryDir>();
        uploads = scratchFolder->path();
    }
    roomsApi = std::make_unique<RoomsApi>(serviceState.get(), hub.get());
    chatApi =
        std::make_unique<ChatApi>(serviceState.get(), hub.get(), roomsApi.get(), uploads, [this] { return baseUrl(); });
    channelsApi = std::make_unique<ChannelsApi>(serviceState.get(), hub.get(), roomsApi.get());
    roomsApi->addRoutes(*router);
    chatApi->addRoutes(*router);
    channelsApi->addRoutes(*router);
    hub->addStreamSource(QStringLiteral("channel:"), [this](const QString &userId, const QString &target) {
        return channelsApi->snapshot(userId, target.mid(8));
    });
    connect(channelsApi.get(), &ChannelsApi::stateChanged, this, &LocalService::saveState);
    hub->addStreamSource(QStringLiteral("room:"), [this](const QString &userId, const QString &target) {
        const QString rest = target.mid(5);
        if (rest.endsWith(QLatin1String(":private")))
            return roomsApi->privateSnapshot(userId, rest.chopped(8));
        return roomsApi->publicSnapshot(userId, rest);
    });
    hub->setChatAccess(
        [this](const QString &userId, const QString &roomId) { return roomsApi->canReadChat(userId, roomId); });
    janus = std::make_unique<JanusControl>();
    mediaApi = std::make_unique<MediaApi>(roomsApi.get(), janus.get());
    mediaApi->addRoutes(*router);
    connect(roomsApi.get(), &RoomsApi::roomRemoved, mediaApi.get(), &MediaApi::onRoomRemoved);
    connect(roomsApi.get(), &RoomsApi::bitrateChanged, mediaApi.get(), &MediaApi::onBitrateChanged);
    connect(roomsApi.get(), &RoomsApi::roomCreated, mediaApi.get(), [this](const QString &roomId) {
        if (const Room *room = roomsApi->room(roomId))
            janus->ensureRoom(room->mediaRoom, room->settings.value(QLatin1String("bitrate")).toInt());
    });
    connect(roomsApi.get(), &RoomsApi::stateChanged, this, &LocalService::saveState);
    connect(hub.get(), &GatewayHub::sessionDetached, roomsApi.get(), &RoomsApi::onSessionDetached);
    connect(hub.get(), &GatewayHub::sessionReattached, roomsApi.get(), &RoomsApi::onSessionReattached);
    connect(hub.get(), &GatewayHub::sessionEnded, roomsApi.get(), &RoomsApi::onSessionEnded);
    connect(chatApi.get(), &ChatApi::stateChanged, this, &LocalService::saveState);

    connect(accountApi.get(), &AccountApi::codeSent, this, &LocalService::codeSent);
    connect(accountApi.get(), &AccountApi::stateChanged, this, &LocalService::saveState);
}

LocalService::~LocalService()
{
    // The server goes first, so no request reaches the parts below while they go.
    http.reset();
    janus->stop();
}

bool LocalService::start(QString *error)
{
    if (!assetHost->valid()) {
        *error = QStringLiteral("the update feed could not be signed (the signing seed must be 32 bytes)");
        return false;
    }
    if (stateFile) {
        QString reason;
        std::optional<ServiceState> loaded = stateFile->load(&reason);
        if (!loaded) {
            *error = QStringLiteral("state file %1: %2").arg(stateFile->path(), reason);
            return false;
        }
        *serviceState = std::move(*loaded);
        qCInfo(lcServiceState).noquote().nospace()
            << "state loaded path=" << stateFile->path() << " accounts=" << serviceState->accounts.size();
    }
    if (!tokens->setSecret(serviceState->tokenSecret))
        serviceState->tokenSecret = tokens->secret();

    http = std::make_unique<QHttpServer>();
    http->setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        QElapsedTimer elapsed;
        elapsed.start();
        ApiRequest apiRequest;
        apiRequest.method = methodName(request.method());
        apiRequest.path = request.url().path(QUrl::FullyDecoded);
        apiRequest.query = request.query();
        apiRequest.headers = request.headers();
        apiRequest.body = request.body();
        const ApiReply reply = handle(apiRequest);
        QHttpServerResponse response(reply.contentType, reply.body, QHttpServerResponder::StatusCode(reply.status));
        for (const auto &header : reply.headers)
            response.addHeader(header.first, header.second);
        response.write(std::move(responder));
        // Neither the query (it may carry a token) nor any body is logged.
        qCInfo(lcServiceHttp).noquote().nospace()
            << "request method=" << apiRequest.method << " path=" << apiRequest.path << " status=" << reply.status
            << " elapsed_ms=" << elapsed.elapsed();
    });
    // The server hands a WebSocket upgrade over only when a route takes the request;
    // this one writes nothing for an upgrade, so the socket passes to the gateway as it is.
    http->route(QStringLiteral("/ws"), [](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) != 0) {
            QHttpServerResponse(QByteArrayLiteral("application/json"),
                                ApiReply::error(426, QStringLiteral("upgrade_required"),
                                                QStringLiteral("the gateway speaks WebSocket only"))
                                    .body,
                                QHttpServerResponder::StatusCode(426))
                .write(std::move(responder));
        }
    });
    connect(http.get(), &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (http->hasPendingWebSocketConnections())
            hub->accept(http->nextPendingWebSocketConnection());
    });
    listeningPort = http->listen(config.address, config.port);
    if (listeningPort == 0) {
        *error = QStringLiteral("cannot listen on %1 port %2").arg(config.address.toString()).arg(config.port);
        http.reset();
        return false;
    }
    // What ran out while the service was down ends now; the rest gets its timer.
    roomsApi->expireDue();
    saveState();
    if (config.media) {
        if (janus->start())
            mediaApi->prepareRooms();
        else
            qCWarning(lcServiceMedia).noquote() << janus->unavailableReason();
    }
    qCInfo(lcServiceHttp).noquote() << "local service listening url=" + baseUrl();
    return true;
}

QString LocalService::baseUrl() const
{
    QString host = config.address.toString();
    if (config.address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2").arg(host).arg(listeningPort);
}

QString LocalService::voiceUnavailableReason() const
{
    return janus->unavailableReason();
}

void LocalService::setClock(std::function<qint64()> nowMs)
{
    accountApi->setClock(nowMs);
    roomsApi->setClock(nowMs);
    hub->setClock(std::move(nowMs));
}

ApiReply LocalService::handle(const ApiRequest &request)
{
    return router->dispatch(request);
}

void LocalService::shutdown()
{
    hub->askAllToReconnect();
    saveState();
}

void LocalService::saveState()
{
    if (!stateFile)
        return;
    QString reason;
    if (!stateFile->save(*serviceState, &reason))
        qCWarning(lcServiceState).noquote() << "state save failed path=" + stateFile->path() + " reason=" + reason;
}

} // namespace localservice
