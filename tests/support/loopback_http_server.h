#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

// One request as the server received it.
struct RecordedRequest
{
    QByteArray method;                            // "GET", "POST", ...
    QString path;                                 // the target before '?', as sent (percent-encoding kept)
    QString query;                                // the target after '?', without it; empty when none
    QList<QPair<QByteArray, QByteArray>> headers; // in arrival order, names as sent
    QByteArray body;

    // Value of the first header of that name (case-insensitive); empty when absent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
};

// What the server does with one request.
struct ScriptedReply
{
    enum class Mode {
        Answer, // write status, headers and body (after delayMs)
        Never,  // hold the connection open and never answer
        Close,  // close the connection without writing anything (after delayMs)
    };

    Mode mode = Mode::Answer;
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // besides Content-Length and Connection, which are added
    QByteArray body;
    int delayMs = 0;

    static ScriptedReply json(int status, const QJsonObject &object);
    static ScriptedReply json(int status, const QJsonArray &array);
    // Any bytes, e.g. invalid JSON; `contentType` may be empty (then no Content-Type header).
    static ScriptedReply raw(int status, const QByteArray &body, const QByteArray &contentType = {});
    // A status without a body (204, or any other).
    static ScriptedReply empty(int status);
    static ScriptedReply never();
    static ScriptedReply closeWithoutReply();

    ScriptedReply &withDelay(int ms);
    ScriptedReply &withHeader(const QByteArray &name, const QByteArray &value);
};

// How a file served with serveFile answers a "Range" request.
enum class RangeMode {
    Honour,        // 206 with exactly the asked bytes and Content-Range; 416 when the range starts past the end
    IgnoreRange,   // 200 with the whole file
    Unsatisfiable, // 416 to every ranged request
};

// An HTTP/1.1 server on 127.0.0.1 (port 0) for tests. Each connection carries one
// request and is closed after the reply ("Connection: close"), so every request the
// client sends arrives on a fresh connection and is recorded once it is complete
// (head and Content-Length body).
//
// Replies are chosen in this order: one-shot replies queued with `enqueue` for the
// method and path (in order), the reply set with `on`, a file set with `serveFile`
// (GET only), else 404 with {"code":"not_found"}. A method of "*" matches any method.
// Paths are compared without the query.
//
// Note: Qt's network access resends a request once or twice when the connection closes
// before any reply byte, so `closeWithoutReply` may be recorded more than once.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit LoopbackHttpServer(QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    // Starts listening on 127.0.0.1 at a free port; false when that fails.
    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:<port>", without a trailing slash.
    QString baseUrl() const;
    // baseUrl() + path.
    QString url(const QString &path) const;

    void on(const QByteArray &method, const QString &path, const ScriptedReply &reply);
    void enqueue(const QByteArray &method, const QString &path, const ScriptedReply &reply);
    void serveFile(const QString &path, const QByteArray &content, RangeMode mode = RangeMode::Honour);

    // Reads request bodies at an average of `bytesPerTick` every `tickMs` (a slow reader,
    // so that an upload reports progress over time; the rate is kept by the clock, not by
    // counting ticks); `bytesPerTick` 0 stops reading bodies altogether. Call after
    // `listen`; applies to connections accepted afterwards. Default: read at once.
    void setBodyReadRate(qint64 bytesPerTick, int tickMs);

    QList<RecordedRequest> requests() const { return recorded; }
    int requestCount() const { return recorded.size(); }
    // The last recorded request; a default one when none.
    RecordedRequest lastRequest() const;
    QList<RecordedRequest> requestsTo(const QString &path) const;
    // Replies written so far (Answer mode only).
    int repliesSent() const { return sentCount; }
    // Connections currently open on the server side.
    int openConnections() const;
    // Body bytes received so far on connections still reading a body.
    qint64 bodyBytesReceived() const { return bodyBytes; }
    void clearRecorded();

signals:
    void requestReceived(const testsupport::RecordedRequest &request);
    void replySent(const QString &path, int status);

private:
    struct Connection;

    void onNewConnection();
    void readFrom(Connection *connection, bool fromTick);
    void dispatch(Connection *connection);
    ScriptedReply replyFor(const RecordedRequest &request);
    ScriptedReply fileReply(const QByteArray &content, RangeMode mode, const RecordedRequest &request) const;
    void write(Connection *connection, const ScriptedReply &reply, const QString &path);
    void drop(QTcpSocket *socket);

    struct FileEntry
    {
        QByteArray content;
        RangeMode mode = RangeMode::Honour;
    };

    QTcpServer *server = nullptr;
    QHash<QTcpSocket *, std::shared_ptr<Connection>> connections;
    QHash<QString, QList<ScriptedReply>> queued; // key: method + ' ' + path
    QHash<QString, ScriptedReply> routes;
    QHash<QString, FileEntry> files;
    QList<RecordedRequest> recorded;
    qint64 readBytesPerTick = -1; // -1: no limit
    int readTickMs = 0;
    qint64 bodyBytes = 0;
    int sentCount = 0;
};

} // namespace testsupport

Q_DECLARE_METATYPE(testsupport::RecordedRequest)
