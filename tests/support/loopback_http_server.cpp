#include "support/loopback_http_server.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace testsupport {

namespace {

QString routeKey(const QByteArray &method, const QString &path)
{
    return QString::fromLatin1(method) + QLatin1Char(' ') + path;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 416: return "Range Not Satisfiable";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

bool statusHasNoBody(int status)
{
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

ScriptedReply ScriptedReply::json(int status, const QJsonObject &object)
{
    return raw(status, QJsonDocument(object).toJson(QJsonDocument::Compact), "application/json");
}

ScriptedReply ScriptedReply::json(int status, const QJsonArray &array)
{
    return raw(status, QJsonDocument(array).toJson(QJsonDocument::Compact), "application/json");
}

ScriptedReply ScriptedReply::raw(int status, const QByteArray &body, const QByteArray &contentType)
{
    ScriptedReply r;
    r.status = status;
    r.body = body;
    if (!contentType.isEmpty())
        r.headers.append({"Content-Type", contentType});
    return r;
}

ScriptedReply ScriptedReply::empty(int status)
{
    ScriptedReply r;
    r.status = status;
    return r;
}

ScriptedReply ScriptedReply::never()
{
    ScriptedReply r;
    r.mode = Mode::Never;
    return r;
}

ScriptedReply ScriptedReply::closeWithoutReply()
{
    ScriptedReply r;
    r.mode = Mode::Close;
    return r;
}

ScriptedReply &ScriptedReply::withDelay(int ms)
{
    delayMs = ms;
    return *this;
}

ScriptedReply &ScriptedReply::withHeader(const QByteArray &name, const QByteArray &value)
{
    headers.append({name, value});
    return *this;
}

// One accepted connection: the head is read at once, the body at the configured rate.
struct LoopbackHttpServer::Connection
{
    QPointer<QTcpSocket> socket;
    QByteArray buffer;
    bool headParsed = false;
    bool dispatched = false;
    qint64 contentLength = 0;
    RecordedRequest request;
    QTimer *readTick = nullptr; // child of the socket; only with a read rate
    QElapsedTimer paceClock;    // since the head was read; the rate holds even when ticks run late
    qint64 pacedBytes = 0;
};

LoopbackHttpServer::LoopbackHttpServer(QObject *parent)
    : QObject(parent)
    , server(new QTcpServer(this))
{
    qRegisterMetaType<testsupport::RecordedRequest>();
    connect(server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    // Sockets are children of this object; disconnect first so that no handler runs on a half-destroyed server.
    const auto sockets = connections.keys();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect();
        socket->abort();
    }
    connections.clear();
}

bool LoopbackHttpServer::listen()
{
    return server->listen(QHostAddress::LocalHost, 0);
}

quint16 LoopbackHttpServer::port() const
{
    return server->serverPort();
}

QString LoopbackHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

QString LoopbackHttpServer::url(const QString &path) const
{
    return baseUrl() + path;
}

void LoopbackHttpServer::on(const QByteArray &method, const QString &path, const ScriptedReply &reply)
{
    routes.insert(routeKey(method, path), reply);
}

void LoopbackHttpServer::enqueue(const QByteArray &method, const QString &path, const ScriptedReply &reply)
{
    queued[routeKey(method, path)].append(reply);
}

void LoopbackHttpServer::serveFile(const QString &path, const QByteArray &content, RangeMode mode)
{
    files.insert(path, FileEntry{content, mode});
}

void LoopbackHttpServer::setBodyReadRate(qint64 bytesPerTick, int tickMs)
{
    readBytesPerTick = bytesPerTick < 0 ? -1 : bytesPerTick;
    readTickMs = qMax(1, tickMs);
    if (server->isListening() && readBytesPerTick >= 0) {
        // A small kernel receive buffer (inherited by accepted sockets), so that the
        // sender really waits for our reads instead of filling megabytes of buffer.
        int size = 32 * 1024;
        ::setsockopt(int(server->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
}

RecordedRequest LoopbackHttpServer::lastRequest() const
{
    return recorded.isEmpty() ? RecordedRequest{} : recorded.last();
}

QList<RecordedRequest> LoopbackHttpServer::requestsTo(const QString &path) const
{
    QList<RecordedRequest> out;
    for (const RecordedRequest &r : recorded) {
        if (r.path == path)
            out.append(r);
    }
    return out;
}

int LoopbackHttpServer::openConnections() const
{
    return int(connections.size());
}

void LoopbackHttpServer::clearRecorded()
{
    recorded.clear();
    sentCount = 0;
    bodyBytes = 0;
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        connections.insert(socket, connection);
        // The handlers hold the connection and die with the socket.
        connect(socket, &QTcpSocket::readyRead, socket, [this, connection] { readFrom(connection.get(), false); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        if (readBytesPerTick >= 0) {
            connection->readTick = new QTimer(socket);
            connection->readTick->setInterval(readTickMs);
            connect(connection->readTick, &QTimer::timeout, socket,
                    [this, connection] { readFrom(connection.get(), true); });
        }
        if (socket->bytesAvailable() > 0)
            readFrom(connection.get(), false);
    }
}

void LoopbackHttpServer::readFrom(Connection *c, bool fromTick)
{
    QTcpSocket *socket = c->socket;
    if (!socket || c->dispatched)
        return;

    if (!c->headParsed) {
        c->buffer += socket->readAll();
        const qsizetype end = c->buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = c->buffer.left(end).split('\n');
        c->buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        c->request.method = requestLine.value(0);
        const QByteArray target = requestLine.value(1);
        const qsizetype q = target.indexOf('?');
        c->request.path = QString::fromLatin1(q < 0 ? target : target.left(q));
        c->request.query = q < 0 ? QString() : QString::fromLatin1(target.mid(q + 1));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            c->request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        c->contentLength = c->request.header("Content-Length").toLongLong();
        c->headParsed = true;
        bodyBytes += qMin<qint64>(c->buffer.size(), c->contentLength);
        if (c->readTick) {
            // From here on the socket holds a few ticks' worth at most; the timer reads it.
            socket->setReadBufferSize(qMax<qint64>(4 * readBytesPerTick, 1));
            c->paceClock.start();
            c->readTick->start();
        }
    } else if (c->readTick) {
        if (!fromTick)
            return; // while pacing, only the tick reads
        const qint64 due = readBytesPerTick * (c->paceClock.elapsed() / readTickMs + 1) - c->pacedBytes;
        const qint64 want = qMin(due, c->contentLength - c->buffer.size());
        if (want > 0) {
            const QByteArray chunk = socket->read(want);
            c->pacedBytes += chunk.size();
            bodyBytes += chunk.size();
            c->buffer += chunk;
        }
    } else {
        const QByteArray chunk = socket->readAll();
        bodyBytes += chunk.size();
        c->buffer += chunk;
    }

    if (c->buffer.size() >= c->contentLength) {
        if (c->readTick)
            c->readTick->stop();
        c->request.body = c->buffer.left(c->contentLength);
        c->dispatched = true;
        dispatch(c);
    }
}

void LoopbackHttpServer::dispatch(Connection *c)
{
    recorded.append(c->request);
    emit requestReceived(c->request);
    const ScriptedReply reply = replyFor(c->request);
    const QString path = c->request.path;
    if (reply.mode == ScriptedReply::Mode::Never)
        return;
    QPointer<QTcpSocket> socket = c->socket;
    auto act = [this, socket, reply, path] {
        if (!socket)
            return;
        auto it = connections.constFind(socket.data());
        if (it == connections.constEnd())
            return;
        if (reply.mode == ScriptedReply::Mode::Close) {
            socket->disconnectFromHost();
            return;
        }
        write(it.value().get(), reply, path);
    };
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, socket.data(), act);
    else
        act();
}

ScriptedReply LoopbackHttpServer::replyFor(const RecordedRequest &request)
{
    for (const QByteArray &method : {request.method, QByteArray("*")}) {
        auto q = queued.find(routeKey(method, request.path));
        if (q != queued.end() && !q->isEmpty())
            return q->takeFirst();
    }
    for (const QByteArray &method : {request.method, QByteArray("*")}) {
        auto r = routes.constFind(routeKey(method, request.path));
        if (r != routes.constEnd())
            return *r;
    }
    auto f = files.constFind(request.path);
    if (f != files.constEnd() && request.method == "GET")
        return fileReply(f->content, f->mode, request);
    return ScriptedReply::json(404, QJsonObject{{QStringLiteral("code"), QStringLiteral("not_found")}});
}

ScriptedReply LoopbackHttpServer::fileReply(const QByteArray &content, RangeMode mode,
                                            const RecordedRequest &request) const
{
    const QByteArray range = request.header("Range").trimmed();
    const qint64 size = content.size();
    const QByteArray whole = "application/octet-stream";
    if (range.isEmpty() || mode == RangeMode::IgnoreRange)
        return ScriptedReply::raw(200, content, whole);
    const QByteArray unsatisfiable = "bytes */" + QByteArray::number(size);
    if (mode == RangeMode::Unsatisfiable)
        return ScriptedReply::empty(416).withHeader("Content-Range", unsatisfiable);

    // "bytes=first-last" or "bytes=first-"; anything else is served whole, as servers do.
    if (!range.startsWith("bytes=") || range.contains(','))
        return ScriptedReply::raw(200, content, whole);
    const QList<QByteArray> bounds = range.mid(6).split('-');
    bool firstOk = false;
    const qint64 first = bounds.value(0).toLongLong(&firstOk);
    bool lastOk = true;
    qint64 last = bounds.value(1).isEmpty() ? size - 1 : bounds.value(1).toLongLong(&lastOk);
    if (bounds.size() != 2 || !firstOk || !lastOk || last < first)
        return ScriptedReply::raw(200, content, whole);
    if (first >= size)
        return ScriptedReply::empty(416).withHeader("Content-Range", unsatisfiable);
    last = qMin(last, size - 1);
    return ScriptedReply::raw(206, content.mid(first, last - first + 1), whole)
        .withHeader("Content-Range", "bytes " + QByteArray::number(first) + '-' + QByteArray::number(last) + '/'
                                         + QByteArray::number(size));
}

void LoopbackHttpServer::write(Connection *c, const ScriptedReply &reply, const QString &path)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto &h : reply.headers)
        out += h.first + ": " + h.second + "\r\n";
    if (!statusHasNoBody(reply.status))
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!statusHasNoBody(reply.status))
        out += reply.body;
    c->socket->write(out);
    c->socket->disconnectFromHost();
    ++sentCount;
    emit replySent(path, reply.status);
}

void LoopbackHttpServer::drop(QTcpSocket *socket)
{
    if (connections.remove(socket))
        socket->deleteLater();
}

} // namespace testsupport
