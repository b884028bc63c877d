#include "realtime/gateway_service.h"

#include "net/server_addresses.h"
#include "realtime/abstract_socket_client.h"
#include "realtime/realtime_log.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QUrlQuery>

#include <cmath>

namespace {

// A frame's number truncated to 64 bits; 0 when absent or out of the 64-bit range,
// so that a hostile value cannot make the conversion undefined.
qint64 truncatedInteger(const QJsonValue &value)
{
    const double number = value.toDouble();
    constexpr double kLimit = 9.2e18; // just inside the qint64 range
    if (!std::isfinite(number) || number >= kLimit || number <= -kLimit)
        return 0;
    return static_cast<qint64>(number);
}

// Numbers kept above the floor of received ones; beyond it the floor moves up over
// the oldest gap, so a session with lost events cannot grow the record without bound.
constexpr std::size_t kDeliveryWindow = 4096;

// Tokens older than this many connects are only caught by the "token=" rule.
constexpr int kRememberedTokens = 3;
const QLatin1String kRedactedToken("<redacted>");

QJsonArray stringArray(const QStringList &values)
{
    QJsonArray array;
    for (const QString &value : values)
        array.append(value);
    return array;
}

} // namespace

GatewayService::GatewayService(AbstractSocketClient *socket_, QObject *parent)
    : QObject(parent)
    , socket(socket_)
    , reconnectTimer(new QTimer(this))
    , heartbeatTimer(new QTimer(this))
    , pongTimer(new QTimer(this))
    , baseUrl(gatewayUrlForApiBase(QUrl(serveraddress::apiBaseUrl())))
{
    reconnectTimer->setSingleShot(true);
    heartbeatTimer->setSingleShot(false);
    pongTimer->setSingleShot(true);
    setTimings(timings);
    connect(reconnectTimer, &QTimer::timeout, this, &GatewayService::connectNow);
    connect(heartbeatTimer, &QTimer::timeout, this, &GatewayService::sendHeartbeat);
    connect(pongTimer, &QTimer::timeout, this, &GatewayService::onPongTimeout);

    connect(socket, &AbstractSocketClient::connected, this, &GatewayService::onSocketConnected);
    connect(socket, &AbstractSocketClient::textMessageReceived, this, &GatewayService::onTextMessage);
    connect(socket, &AbstractSocketClient::disconnected, this, &GatewayService::onSocketDisconnected);
    connect(socket, &AbstractSocketClient::errorOccurred, this, &GatewayService::onSocketError);
}

GatewayService::~GatewayService() = default;

void GatewayService::setTokenProvider(TokenProvider provider)
{
    tokenProvider = std::move(provider);
}

void GatewayService::setGatewayUrl(const QUrl &url)
{
    baseUrl = url;
}

void GatewayService::setTimings(const GatewayTimings &value)
{
    timings = value;
    heartbeatTimer->setInterval(timings.heartbeatMs);
    pongTimer->setInterval(timings.pongTimeoutMs);
}

QUrl GatewayService::gatewayUrlForApiBase(const QUrl &apiBase)
{
    QUrl url;
    url.setScheme(apiBase.scheme() == QLatin1String("http") ? QStringLiteral("ws") : QStringLiteral("wss"));
    url.setHost(apiBase.host());
    url.setPort(apiBase.port());
    url.setPath(QStringLiteral("/ws"));
    return url;
}

int GatewayService::reconnectDelayMs(int attempt, quint32 random, const GatewayTimings &timings)
{
    qint64 delay = timings.reconnectInitialMs;
    for (int i = 0; i < attempt && delay < timings.reconnectMaxMs; ++i)
        delay *= 2;
    delay = std::min<qint64>(delay, timings.reconnectMaxMs);
    // 64-bit product: in 32 bits random * span would overflow for most draws.
    const auto jitter = static_cast<qint64>((quint64(random) * quint64(std::max(timings.reconnectJitterMs, 0))) >> 32);
    return static_cast<int>(delay + jitter);
}

void GatewayService::start()
{
    reconnectAttempt = 0;
    if (enabled && (socketOpening || socketOpen)) {
        qCDebug(lcRealtime) << "gateway start ignored, connection under way";
        return;
    }
    enabled = true;
    reconnectTimer->stop();
    requestToken();
}

void GatewayService::stop()
{
    enabled = false;
    ++tokenRequest;
    reconnectTimer->stop();
    heartbeatTimer->stop();
    pongTimer->stop();
    currentSessionId.clear();
    lastSeq = 0;
    forgetDeliveries();
    established = false;
    socketOpening = false;
    socket->close();
    qCInfo(lcRealtime) << "gateway closed";
}

void GatewayService::shutdown()
{
    stop();
    QEventLoop loop;
    QTimer::singleShot(timings.shutdownWaitMs, &loop, &QEventLoop::quit);
    connect(socket, &AbstractSocketClient::disconnected, &loop, &QEventLoop::quit);
    loop.exec();
}

void GatewayService::connectNow()
{
    if (!enabled)
        return;
    requestToken();
}

void GatewayService::requestToken()
{
    if (!tokenProvider)
        return;
    // Only the answer to the latest request may open the socket, and only once.
    const quint64 request = ++tokenRequest;
    QPointer<GatewayService> self(this);
    tokenProvider([self, request](const QString &token) {
        if (!self || self->tokenRequest != request)
            return;
        ++self->tokenRequest;
        self->openWithToken(token);
    });
}

void GatewayService::openWithToken(const QString &token)
{
    if (!enabled)
        return;
    if (token.isEmpty()) {
        qCWarning(lcRealtime) << "gateway connect: no access token, will retry";
        scheduleReconnect();
        return;
    }
    QUrl url = baseUrl;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("token"), QString::fromLatin1(QUrl::toPercentEncoding(token)));
    const bool resume = !currentSessionId.isEmpty();
    if (resume)
        query.addQueryItem(QStringLiteral("sessionId"), QString::fromLatin1(QUrl::toPercentEncoding(currentSessionId)));
    url.setQuery(query);
    rememberToken(token);
    qCInfo(lcRealtime).nospace() << "gateway opening resume=" << resume;
    // This attempt replaces any retry still pending: a timer left by a failed attempt
    // would otherwise open yet another connection over this one once it is healthy.
    reconnectTimer->stop();
    socketOpen = false;
    socketOpening = true;
    socket->open(url);
}

void GatewayService::scheduleReconnect()
{
    if (!enabled || reconnectTimer->isActive())
        return;
    const int delay = reconnectDelayMs(reconnectAttempt, QRandomGenerator::global()->generate(), timings);
    ++reconnectAttempt;
    qCInfo(lcRealtime).nospace() << "gateway reconnect scheduled in_ms=" << delay << " attempt=" << reconnectAttempt;
    reconnectTimer->start(delay);
}

void GatewayService::sendHeartbeat()
{
    // Timed from before the send, so that no answer can come ahead of its timer.
    pongTimer->start(timings.pongTimeoutMs);
    send(QStringLiteral("heartbeat"));
}

void GatewayService::onPongTimeout()
{
    qCWarning(lcRealtime) << "gateway pong timeout, connection dead, reconnecting";
    socket->reconnect();
}

void GatewayService::onSocketConnected()
{
    socketOpen = true;
    socketOpening = false;
    qCDebug(lcRealtime) << "gateway socket opened, awaiting session-established";
}

void GatewayService::onSocketDisconnected()
{
    if (!socketOpen && !socketOpening) {
        // The end of an attempt that has already failed (or of one closed by stop): the
        // reconnect, if any, is already decided.
        qCDebug(lcRealtime) << "gateway disconnect of a past attempt ignored";
        return;
    }
    socketOpen = false;
    socketOpening = false;
    established = false;
    heartbeatTimer->stop();
    pongTimer->stop();
    qCInfo(lcRealtime) << "gateway disconnected";
    if (!enabled)
        return;
    emit sessionLost();
    scheduleReconnect();
}

void GatewayService::onSocketError(const QString &reason)
{
    qCWarning(lcRealtime).noquote().nospace() << "gateway socket error reason=" << redacted(reason);
    // An open socket reports its end through disconnected, which reconnects; an error of
    // an attempt that has already failed must not schedule a second retry.
    if (socketOpen || !socketOpening)
        return;
    socketOpening = false;
    scheduleReconnect();
}

void GatewayService::onTextMessage(const QString &text)
{
    // Frames still in flight when the gateway was stopped belong to a session it has left.
    if (!enabled)
        return;
    const QJsonObject frame = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString name = frame.value(QLatin1String("event")).toString();
    // Nothing in a frame without a name can be trusted, its "seq" least of all: it is
    // passed on empty.
    handleEvent(name, name.isEmpty() ? QJsonObject() : frame);
}

void GatewayService::handleEvent(const QString &name, const QJsonObject &frame)
{
    const QJsonObject data = frame.value(QLatin1String("data")).toObject();
    if (name == QLatin1String("session-established")) {
        onSessionEstablished(data);
    } else if (name == QLatin1String("resumed")) {
        qCInfo(lcRealtime).nospace() << "gateway resumed replayed=" << data.value(QLatin1String("count")).toInt();
    } else if (name == QLatin1String("buffer-miss")) {
        qCWarning(lcRealtime) << "gateway buffer miss, resync required";
        emit resyncRequired();
    } else if (name == QLatin1String("session-invalid")) {
        qCWarning(lcRealtime) << "gateway session invalid, resync + reconnect fresh";
        currentSessionId.clear();
        lastSeq = 0;
        forgetDeliveries();
        emit resyncRequired();
        socket->reconnect();
    } else if (name == QLatin1String("please-reconnect")) {
        qCInfo(lcRealtime) << "gateway please-reconnect (server graceful shutdown)";
        socket->reconnect();
    } else if (name == QLatin1String("pong")) {
        pongTimer->stop();
    } else if (name == QLatin1String("session-kick")) {
        qCWarning(lcRealtime) << "gateway session-kick (force-logout handling deferred)";
    } else if (name == QLatin1String("watched")) {
        onWatched(data);
    } else if (name == QLatin1String("stream-snapshot")) {
        onStreamSnapshot(data);
    } else {
        onServerEvent(name, frame);
    }
}

void GatewayService::onSessionEstablished(const QJsonObject &data)
{
    currentSessionId = data.value(QLatin1String("sessionId")).toString();
    const bool resumed = data.value(QLatin1String("resumed")).toBool();
    reconnectAttempt = 0;
    established = true;
    reconnectTimer->stop();
    qCInfo(lcRealtime).nospace() << "gateway connected resumed=" << resumed;
    if (resumed) {
        send(QStringLiteral("resume"), QJsonObject{{QStringLiteral("lastSeq"), lastSeq}});
    } else {
        if (lastSeq > 0)
            qCWarning(lcRealtime) << "gateway new session, prior stream lost, resync required";
        lastSeq = 0;
        forgetDeliveries();
        emit resyncRequired();
        // A resync handler may have stopped the gateway.
        if (!enabled)
            return;
    }
    heartbeatTimer->start(timings.heartbeatMs);
    emit sessionReady();
}

void GatewayService::onWatched(const QJsonObject &data)
{
    const QJsonArray results = data.value(QLatin1String("results")).toArray();
    for (const QJsonValue &element : results) {
        const QJsonObject result = element.toObject();
        const QString target = result.value(QLatin1String("target")).toString();
        if (target.isEmpty())
            continue;
        const bool ok = result.value(QLatin1String("ok")).toBool();
        if (!ok)
            qCWarning(lcRealtime).noquote().nospace() << "gateway watch denied target=" << target;
        emit watchResultReceived(target, ok);
    }
}

void GatewayService::onStreamSnapshot(const QJsonObject &data)
{
    const QString target = data.value(QLatin1String("target")).toString();
    if (target.isEmpty())
        return;
    qCDebug(lcRealtime).noquote().nospace() << "gateway stream snapshot target=" << target;
    emit streamSnapshotReceived(target, data.value(QLatin1String("snapshot")).toObject());
}

void GatewayService::onServerEvent(const QString &name, const QJsonObject &frame)
{
    // A number received before in this session is the same event again (a resume's
    // replay overlapping what came live on the new connection); events without a number
    // and older ones not yet seen are passed on. The highest number is kept to ask for
    // the rest when resuming.
    const qint64 seq = truncatedInteger(frame.value(QLatin1String("seq")));
    if (seq > 0 && !firstDelivery(seq)) {
        qCDebug(lcRealtime).noquote().nospace() << "gateway duplicate event dropped event=" << name << " seq=" << seq;
        return;
    }
    if (seq > lastSeq)
        lastSeq = seq;
    const qint64 version = truncatedInteger(frame.value(QLatin1String("version")));
    qCDebug(lcRealtime).noquote().nospace() << "gateway event received event=" << name << " seq=" << seq;
    emit eventReceived(name, frame.value(QLatin1String("data")).toObject(), version);
}

bool GatewayService::firstDelivery(qint64 seq)
{
    if (seq <= deliveredFloor || !deliveredAbove.insert(seq).second)
        return false;
    // Numbers that have become contiguous with the floor move into it.
    while (!deliveredAbove.empty() && *deliveredAbove.begin() == deliveredFloor + 1) {
        deliveredFloor = *deliveredAbove.begin();
        deliveredAbove.erase(deliveredAbove.begin());
    }
    // A gap that never fills (events the server lost) would keep every later number
    // here; past the window the floor moves up over the oldest gap.
    while (deliveredAbove.size() > kDeliveryWindow) {
        deliveredFloor = *deliveredAbove.begin();
        deliveredAbove.erase(deliveredAbove.begin());
    }
    return true;
}

void GatewayService::forgetDeliveries()
{
    deliveredFloor = 0;
    deliveredAbove.clear();
}

void GatewayService::subscribeRoomChat(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    send(QStringLiteral("chat-subscribe"), QJsonObject{{QStringLiteral("roomId"), roomId}});
}

void GatewayService::unsubscribeRoomChat(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    send(QStringLiteral("chat-unsubscribe"), QJsonObject{{QStringLiteral("roomId"), roomId}});
}

void GatewayService::subscribeProfiles(const QStringList &userIds)
{
    if (userIds.isEmpty())
        return;
    send(QStringLiteral("profile-subscribe"), QJsonObject{{QStringLiteral("userIds"), stringArray(userIds)}});
}

void GatewayService::unsubscribeProfiles(const QStringList &userIds)
{
    if (userIds.isEmpty())
        return;
    send(QStringLiteral("profile-unsubscribe"), QJsonObject{{QStringLiteral("userIds"), stringArray(userIds)}});
}

void GatewayService::watch(const QStringList &targets)
{
    if (targets.isEmpty())
        return;
    send(QStringLiteral("watch"), QJsonObject{{QStringLiteral("targets"), stringArray(targets)}});
}

void GatewayService::unwatch(const QStringList &targets)
{
    if (targets.isEmpty())
        return;
    send(QStringLiteral("unwatch"), QJsonObject{{QStringLiteral("targets"), stringArray(targets)}});
}

void GatewayService::send(const QString &name, const QJsonObject &data)
{
    QJsonObject frame{{QStringLiteral("event"), name}};
    if (!data.isEmpty())
        frame.insert(QStringLiteral("data"), data);
    socket->sendText(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void GatewayService::rememberToken(const QString &token)
{
    recentTokens.removeAll(token);
    recentTokens.prepend(token);
    while (recentTokens.size() > kRememberedTokens)
        recentTokens.removeLast();
}

QString GatewayService::redacted(QString text) const
{
    for (const QString &token : recentTokens) {
        // The token as given, and as the URL carries it (once or twice encoded).
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(token));
        const QString twiceEncoded = QString::fromLatin1(QUrl::toPercentEncoding(encoded));
        for (const QString &form : {twiceEncoded, encoded, token})
            text.replace(form, kRedactedToken, Qt::CaseInsensitive);
    }
    static const QRegularExpression tokenQuery(QStringLiteral("(token=)[^&#\\s\"'<>]+"),
                                               QRegularExpression::CaseInsensitiveOption);
    text.replace(tokenQuery, QStringLiteral("\\1") + kRedactedToken);
    return text;
}
