#pragma once

#include "account_api.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QHttpServer;
class QTemporaryDir;

namespace localservice {

class ApiRouter;
class AssetHost;
class ChannelsApi;
class ChatApi;
class JanusControl;
class MediaApi;
class RoomsApi;
class GatewayHub;
class StateFile;
class TokenIssuer;
struct ApiReply;
struct ApiRequest;
struct ServiceState;

struct LocalServiceConfig
{
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;       // 0: any free port
    QString statePath;      // empty: state in memory only
    QByteArray signingSeed; // 32 bytes: the update feed's Ed25519 seed
    QString clientVersion;  // the version the update manifest names
    AccountPolicy accounts;
    qint64 maxBodyBytes = 64 * 1024;
    qint64 detachedSessionKeepMs = 120000;
    // Where chat images are kept; empty: "uploads" beside the state file, or a
    // temporary folder without one.
    QString uploadFolder;
    // Start the media server for voice; without it the media token is refused.
    bool media = false;
};

// The local stand-in of the service: the REST API, the realtime gateway at "/ws" and
// the asset host, all on one loopback port. GUI thread only.
class LocalService : public QObject
{
    Q_OBJECT
public:
    explicit LocalService(LocalServiceConfig config, QObject *parent = nullptr);
    ~LocalService() override;

    // Loads the state file (when one is set) and starts listening. False, with the
    // reason, when either fails.
    bool start(QString *error);
    quint16 port() const { return listeningPort; }
    // "http://127.0.0.1:<port>": the API base and the asset base alike.
    QString baseUrl() const;

    // Milliseconds since the epoch; every lifetime and expiry reads it.
    void setClock(std::function<qint64()> nowMs);

    // Answers one request without HTTP (the HTTP layer calls this too).
    ApiReply handle(const ApiRequest &request);

    GatewayHub *gateway() const { return hub.get(); }
    RoomsApi *rooms() const { return roomsApi.get(); }
    JanusControl *media() const { return janus.get(); }
    // Empty when voice works; otherwise why it does not.
    QString voiceUnavailableReason() const;
    AssetHost *assets() const { return assetHost.get(); }
    const ServiceState &state() const { return *serviceState; }

    // Sends "please-reconnect" to every client and writes the state file.
    void shutdown();

signals:
    void codeSent(const QString &phone, const QString &code);

private:
    void saveState();

    LocalServiceConfig config;
    std::unique_ptr<ServiceState> serviceState;
    std::unique_ptr<StateFile> stateFile;
    std::unique_ptr<TokenIssuer> tokens;
    std::unique_ptr<ApiRouter> router;
    std::unique_ptr<AssetHost> assetHost;
    std::unique_ptr<GatewayHub> hub;
    std::unique_ptr<AccountApi> accountApi;
    std::unique_ptr<RoomsApi> roomsApi;
    std::unique_ptr<ChatApi> chatApi;
    std::unique_ptr<ChannelsApi> channelsApi;
    std::unique_ptr<QTemporaryDir> scratchFolder;
    std::unique_ptr<JanusControl> janus;
    std::unique_ptr<MediaApi> mediaApi;
    std::unique_ptr<QHttpServer> http;
    quint16 listeningPort = 0;
};

} // namespace localservice
