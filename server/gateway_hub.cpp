#include "gateway_hub.h"

#include "service_log.h"
#include "token_issuer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

namespace localservice {

namespace {

constexpr qint64 kMaxFrameBytes = 64 * 1024;
constexpr int kMaxListItems = 200;
constexpr int kMaxIdChars = 256;
constexpr int kCloseUnauthorized = 4001;
constexpr int kCloseNotFound = 4004;
constexpr int kCloseReconnect = 4000;

// The strings of `data[key]`, or nothing when it is not an array of at most kMaxListItems
// non-empty strings of at most kMaxIdChars.
std::optional<QStringList> idList(const QJsonObject &data, const char *key)
{
    const QJsonValue value = data.value(QLatin1String(key));
    if (!value.isArray() || value.toArray().size() > kMaxListItems)
        return std::nullopt;
    QStringList ids;
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString() || item.toString().isEmpty() || item.toString().size() > kMaxIdChars)
            return std::nullopt;
        ids << item.toString();
    }
    return ids;
}

} // namespace

GatewayHub::GatewayHub(QObject *parent)
    : QObject(parent)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , sweepTimer(new QTimer(this))
{
    sweepTimer->setInterval(10000);
    connect(sweepTimer, &QTimer::timeout, this, &GatewayHub::expireDetachedSessions);
    sweepTimer->start();
}

GatewayHub::~GatewayHub()
{
    // The sockets are children; they must not call back into a hub that is going.
    for (QWebSocket *socket : sessionBySocket.keys())
        socket->disconnect(this);
}

void GatewayHub::setAuthenticator(Authenticator authenticator)
{
    authenticate = std::move(authenticator);
}

void GatewayHub::setClock(Clock nowMs)
{
    clock = std::move(nowMs);
}

void GatewayHub::setChatAccess(ChatAccess access)
{
    chatAccess = std::move(access);
}

void GatewayHub::addStreamSource(const QString &prefix, StreamSource source)
{
    sources.append({prefix, std::move(source)});
}

void GatewayHub::accept(std::unique_ptr<QWebSocket> owned)
{
    QWebSocket *socket = owned.release();
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(kMaxFrameBytes);
    socket->setMaxAllowedIncomingFrameSize(kMaxFrameBytes);

    const QUrl url = socket->requestUrl();
    if (url.path() != QLatin1String("/ws")) {
        qCWarning(lcServiceGateway).noquote() << "gateway refused path=" + url.path();
        closeSocket(socket, kCloseNotFound, QStringLiteral("not found"));
        return;
    }
    const QUrlQuery query(url);
    const QString token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
    const std::optional<AccessGrant> grant = authenticate && !token.isEmpty() ? authenticate(token) : std::nullopt;
    if (!grant) {
        qCWarning(lcServiceGateway) << "gateway refused connection, access token missing or refused";
        closeSocket(socket, kCloseUnauthorized, QStringLiteral("unauthorized"));
        return;
    }

    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString &text) { onText(socket, text); });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { onDisconnected(socket); });

    const QString requested = query.queryItemValue(QStringLiteral("sessionId"), QUrl::FullyDecoded);
    const auto existing = sessions.find(requested);
    if (!requested.isEmpty() && existing != sessions.end()) {
        Session &session = existing.value();
        if (session.userId != grant->userId) {
            qCWarning(lcServiceGateway).noquote()
                << "gateway resume refused, session of another user session_id=" + requested;
            sendFrame(socket, QStringLiteral("session-invalid"));
            closeSocket(socket, kCloseReconnect, QStringLiteral("session invalid"));
            return;
        }
        if (session.socket) {
            // The same session opened twice: the newer connection wins.
            QWebSocket *old = session.socket;
            sessionBySocket.remove(old);
            old->disconnect(this);
            closeSocket(old, kCloseReconnect, QStringLiteral("replaced"));
        }
        session.socket = socket;
        session.signInId = grant->signInId;
        session.awaitingResume = true;
        session.detachedAtMs = 0;
        sessionBySocket.insert(socket, session.id);
        qCInfo(lcServiceGateway).noquote().nospace() << "gateway session established session_id=" << session.id
                                                     << " user_id=" << session.userId << " resumed=true";
        sendFrame(socket, QStringLiteral("session-established"),
                  QJsonObject{{QStringLiteral("sessionId"), session.id}, {QStringLiteral("resumed"), true}});
        const QString id = session.id;
        const QString userId = session.userId;
        emit sessionEstablished(id, userId, true);
        emit sessionReattached(id, userId);
        return;
    }

    Session session;
    session.id = QStringLiteral("s-") + TokenIssuer::randomToken(12);
    session.userId = grant->userId;
    session.signInId = grant->signInId;
    session.socket = socket;
    sessions.insert(session.id, session);
    sessionBySocket.insert(socket, session.id);
    qCInfo(lcServiceGateway).noquote().nospace()
        << "gateway session established session_id=" << session.id << " user_id=" << session.userId << " resumed=false";
    sendFrame(socket, QStringLiteral("session-established"),
              QJsonObject{{QStringLiteral("sessionId"), session.id}, {QStringLiteral("resumed"), false}});
    emit sessionEstablished(session.id, session.userId, false);
}

void GatewayHub::onText(QWebSocket *socket, const QString &text)
{
    const auto sessionId = sessionBySocket.constFind(socket);
    if (sessionId == sessionBySocket.constEnd())
        return;
    const auto found = sessions.find(sessionId.value());
    if (found == sessions.end())
        return;
    Session &session = found.value();

    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    const QJsonObject frame = document.object();
    const QJsonValue eventValue = frame.value(QLatin1String("event"));
    const QJsonValue dataValue = frame.value(QLatin1String("data"));
    if (!document.isObject() || !eventValue.isString() || !(dataValue.isUndefined() || dataValue.isObject())) {
        qCWarning(lcServiceGateway).noquote() << "gateway frame ignored, malformed session_id=" + session.id;
        return;
    }
    const QString event = eventValue.toString();
    const QJsonObject data = dataValue.toObject();

    if (event == QLatin1String("heartbeat")) {
        sendFrame(socket, QStringLiteral("pong"));
    } else if (event == QLatin1String("resume")) {
        handleResume(session, data);
    } else if (event == QLatin1String("watch")) {
        handleWatch(session, data);
    } else if (event == QLatin1String("unwatch") || event == QLatin1String("profile-subscribe")
               || event == QLatin1String("profile-unsubscribe")) {
        const bool isWatch = event == QLatin1String("unwatch");
        const std::optional<QStringList> ids = idList(data, isWatch ? "targets" : "userIds");
        if (!ids) {
            qCWarning(lcServiceGateway).noquote() << "gateway command ignored, bad list event=" + event;
            return;
        }
        for (const QString &id : *ids) {
            if (isWatch)
                session.watches.remove(id);
            else if (event == QLatin1String("profile-subscribe"))
                session.profiles.insert(id);
            else
                session.profiles.remove(id);
        }
    } else if (event == QLatin1String("chat-subscribe") || event == QLatin1String("chat-unsubscribe")) {
        const QJsonValue roomId = data.value(QLatin1String("roomId"));
        if (!roomId.isString() || roomId.toString().isEmpty() || roomId.toString().size() > kMaxIdChars) {
            qCWarning(lcServiceGateway).noquote() << "gateway command ignored, bad room id event=" + event;
            return;
        }
        if (event == QLatin1String("chat-unsubscribe")) {
            session.chatRooms.remove(roomId.toString());
        } else if (chatAccess && chatAccess(session.userId, roomId.toString())) {
            session.chatRooms.insert(roomId.toString());
            deliver(session, QStringLiteral("chat-subscribed"), QJsonObject{{QStringLiteral("roomId"), roomId}}, 0);
        } else {
            qCInfo(lcServiceGateway).noquote()
                << "gateway chat subscription refused room_id=" + roomId.toString() + " user_id=" + session.userId;
        }
    } else {
        qCWarning(lcServiceGateway).noquote() << "gateway command unknown event=" + event.left(64);
    }
}

void GatewayHub::handleResume(Session &session, const QJsonObject &data)
{
    if (!session.awaitingResume) {
        qCWarning(lcServiceGateway).noquote() << "gateway resume ignored, not awaited session_id=" + session.id;
        return;
    }
    const QJsonValue value = data.value(QLatin1String("lastSeq"));
    if (!value.isDouble()) {
        qCWarning(lcServiceGateway).noquote()
            << "gateway resume ignored, lastSeq is no number session_id=" + session.id;
        return;
    }
    session.awaitingResume = false;
    const double lastSeq = value.toDouble();
    const qint64 oldest = session.buffer.empty()
                              ? session.lastSeq + 1
                              : qint64(session.buffer.front().value(QLatin1String("seq")).toDouble());
    // A client that claims more than was sent, or asks for what the buffer let go of,
    // cannot be brought up to date event by event.
    if (!(lastSeq >= 0) || lastSeq > double(session.lastSeq) || qint64(lastSeq) + 1 < oldest) {
        qCInfo(lcServiceGateway).noquote().nospace() << "gateway buffer miss session_id=" << session.id
                                                     << " last_seq=" << qint64(lastSeq) << " oldest=" << oldest;
        sendFrame(session.socket, QStringLiteral("buffer-miss"));
        emit sessionResumed(session.id, -1);
        return;
    }
    int replayed = 0;
    for (const QJsonObject &frame : session.buffer) {
        if (frame.value(QLatin1String("seq")).toDouble() <= lastSeq)
            continue;
        session.socket->sendTextMessage(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
        ++replayed;
    }
    qCInfo(lcServiceGateway).noquote().nospace()
        << "gateway session resumed session_id=" << session.id << " replayed=" << replayed;
    sendFrame(session.socket, QStringLiteral("resumed"), QJsonObject{{QStringLiteral("count"), replayed}});
    emit sessionResumed(session.id, replayed);
}

void GatewayHub::handleWatch(Session &session, const QJsonObject &data)
{
    const std::optional<QStringList> targets = idList(data, "targets");
    if (!targets) {
        qCWarning(lcServiceGateway) << "gateway command ignored, bad list event=watch";
        return;
    }
    QJsonArray results;
    for (const QString &target : *targets) {
        const std::optional<QJsonObject> snapshot = snapshotFor(session.userId, target);
        if (snapshot) {
            session.watches.insert(target);
            sendFrame(session.socket, QStringLiteral("stream-snapshot"),
                      QJsonObject{{QStringLiteral("target"), target}, {QStringLiteral("snapshot"), *snapshot}});
        } else {
            session.watches.remove(target);
        }
        results.append(QJsonObject{{QStringLiteral("target"), target}, {QStringLiteral("ok"), snapshot.has_value()}});
    }
    sendFrame(session.socket, QStringLiteral("watched"), QJsonObject{{QStringLiteral("results"), results}});
}

std::optional<QJsonObject> GatewayHub::snapshotFor(const QString &userId, const QString &target) const
{
    for (const auto &source : sources) {
        if (target.startsWith(source.first))
            return source.second(userId, target);
    }
    return std::nullopt;
}

void GatewayHub::onDisconnected(QWebSocket *socket)
{
    const QString sessionId = sessionBySocket.take(socket);
    const auto found = sessions.find(sessionId);
    if (found != sessions.end() && found->socket == socket) {
        found->socket = nullptr;
        found->awaitingResume = false;
        found->detachedAtMs = clock();
        qCInfo(lcServiceGateway).noquote() << "gateway socket closed session_id=" + sessionId;
        const QString userId = found->userId;
        emit sessionDetached(sessionId, userId);
    }
    socket->deleteLater();
}

void GatewayHub::deliver(Session &session, const QString &event, const QJsonObject &data, qint64 version)
{
    QJsonObject frame{
        {QStringLiteral("event"), event},
        {QStringLiteral("data"), data},
        {QStringLiteral("seq"), double(++session.lastSeq)},
    };
    if (version != 0)
        frame.insert(QStringLiteral("version"), double(version));
    session.buffer.push_back(frame);
    while (session.buffer.size() > size_t(bufferSize))
        session.buffer.pop_front();
    if (session.socket && !session.awaitingResume)
        session.socket->sendTextMessage(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void GatewayHub::publishToUser(const QString &userId, const QString &event, const QJsonObject &data, qint64 version)
{
    for (Session &session : sessions) {
        if (session.userId == userId)
            deliver(session, event, data, version);
    }
}

void GatewayHub::publishProfileUpdate(const QString &userId, const QJsonObject &data, qint64 version)
{
    for (Session &session : sessions) {
        if (session.userId == userId || session.profiles.contains(userId))
            deliver(session, QStringLiteral("user.profile-updated"), data, version);
    }
}

void GatewayHub::publishToWatchers(const QString &target, const QString &event, const QJsonObject &data, qint64 version)
{
    for (Session &session : sessions) {
        if (session.watches.contains(target))
            deliver(session, event, data, version);
    }
}

void GatewayHub::publishToWatchersIf(const QString &target, const QString &event, const QJsonObject &data,
                                     qint64 version, const UserFilter &filter)
{
    for (Session &session : sessions) {
        if (session.watches.contains(target) && filter(session.userId))
            deliver(session, event, data, version);
    }
}

void GatewayHub::publishToChat(const QString &roomId, const QString &event, const QJsonObject &data)
{
    for (Session &session : sessions) {
        if (session.chatRooms.contains(roomId))
            deliver(session, event, data, 0);
    }
}

void GatewayHub::dropUserFromTargets(const QString &userId, const QString &roomId, const QStringList &targets)
{
    for (Session &session : sessions) {
        if (session.userId != userId)
            continue;
        session.chatRooms.remove(roomId);
        for (const QString &target : targets)
            session.watches.remove(target);
    }
}

void GatewayHub::resendSnapshot(const QString &target)
{
    for (Session &session : sessions) {
        if (!session.socket || !session.watches.contains(target))
            continue;
        const std::optional<QJsonObject> snapshot = snapshotFor(session.userId, target);
        if (snapshot) {
            sendFrame(session.socket, QStringLiteral("stream-snapshot"),
                      QJsonObject{{QStringLiteral("target"), target}, {QStringLiteral("snapshot"), *snapshot}});
        }
    }
}

void GatewayHub::endSignIn(const QString &signInId)
{
    QStringList ended;
    for (const Session &session : std::as_const(sessions)) {
        if (session.signInId == signInId)
            ended << session.id;
    }
    for (const QString &id : std::as_const(ended)) {
        Session session = sessions.take(id);
        if (session.socket) {
            sessionBySocket.remove(session.socket);
            session.socket->disconnect(this);
            closeSocket(session.socket, 1000, QStringLiteral("signed out"));
        }
        qCInfo(lcServiceGateway).noquote() << "gateway session ended by sign-out session_id=" + id;
        emit sessionEnded(id, session.userId);
    }
}

void GatewayHub::kickUser(const QString &userId)
{
    for (const Session &session : std::as_const(sessions)) {
        if (session.userId == userId && session.socket)
            sendFrame(session.socket, QStringLiteral("session-kick"));
    }
}

void GatewayHub::askAllToReconnect()
{
    for (const Session &session : std::as_const(sessions)) {
        if (session.socket) {
            sendFrame(session.socket, QStringLiteral("please-reconnect"));
            // The process may end right after this; the frame must not wait for the event loop.
            session.socket->flush();
        }
    }
}

void GatewayHub::dropAllConnections()
{
    const QList<QWebSocket *> sockets = sessionBySocket.keys();
    for (QWebSocket *socket : sockets)
        socket->abort();
}

void GatewayHub::expireDetachedSessions()
{
    const qint64 now = clock();
    QStringList expired;
    for (const Session &session : std::as_const(sessions)) {
        if (!session.socket && session.detachedAtMs > 0 && now - session.detachedAtMs > detachedKeepMs)
            expired << session.id;
    }
    for (const QString &id : std::as_const(expired)) {
        const QString userId = sessions.take(id).userId;
        qCInfo(lcServiceGateway).noquote() << "gateway session expired session_id=" + id;
        emit sessionEnded(id, userId);
    }
}

void GatewayHub::sendFrame(QWebSocket *socket, const QString &event, const QJsonObject &data)
{
    if (!socket)
        return;
    QJsonObject frame{{QStringLiteral("event"), event}};
    if (!data.isEmpty())
        frame.insert(QStringLiteral("data"), data);
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void GatewayHub::closeSocket(QWebSocket *socket, int code, const QString &reason)
{
    socket->close(QWebSocketProtocol::CloseCode(code), reason);
    // A peer that never answers the close frame must not keep the socket alive.
    QTimer::singleShot(5000, socket, &QWebSocket::abort);
    connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace localservice
