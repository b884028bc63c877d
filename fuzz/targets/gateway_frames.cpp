#include "fuzz_target.h"

#include "realtime/abstract_socket_client.h"
#include "realtime/gateway_service.h"

#include <QUrl>

namespace {

// A socket that connects at once and sends nowhere.
class SilentSocket : public AbstractSocketClient
{
public:
    void open(const QUrl &) override { emit connected(); }
    void close() override {}
    void reconnect() override {}
    void sendText(const QString &) override {}
};

} // namespace

// A started gateway fed one frame per line, watching a stream so that watch results
// and snapshots have something to match.
KESTOVA_FUZZ_TARGET(gateway_frames)
{
    fuzzing::ensureApplication();
    SilentSocket socket;
    GatewayService gateway(&socket);
    gateway.setTokenProvider([](const GatewayService::TokenCallback &answer) { answer(QStringLiteral("token")); });
    gateway.setGatewayUrl(QUrl(QStringLiteral("ws://127.0.0.1:9/ws")));
    gateway.start();
    gateway.watch({QStringLiteral("room:r1:public")});
    for (const QByteArray &line : fuzzing::bytesOf(data, size).split('\n'))
        emit socket.textMessageReceived(QString::fromUtf8(line));
    gateway.stop();
}
