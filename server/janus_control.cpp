#include "janus_control.h"

#include "service_log.h"
#include "token_issuer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QNetworkInterface>
#include <QNetworkRequest>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketHandshakeOptions>

#include <csignal>
#include <sys/prctl.h>

namespace localservice {

namespace {

constexpr const char *kModules = "/usr/lib/x86_64-linux-gnu/janus";
constexpr int kKeepaliveMs = 25000;
constexpr int kErrorRoomExists = 427;
// A media server that ran this long before it exited counts as healthy: the next
// restart comes after the shortest pause again.
constexpr qint64 kStableRunMs = 60000;

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return file.write(text.toUtf8()) == text.toUtf8().size();
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

JanusControl::JanusControl(QObject *parent)
    : QObject(parent)
    , keepalive(new QTimer(this))
    , restartTimer(new QTimer(this))
    , secret(TokenIssuer::randomToken(24).toLatin1())
    , adminKey(TokenIssuer::randomToken(24))
{
    restartTimer->setSingleShot(true);
    connect(restartTimer, &QTimer::timeout, this, &JanusControl::restart);
    keepalive->setInterval(kKeepaliveMs);
    connect(keepalive, &QTimer::timeout, this, [this] {
        if (sessionId != 0)
            send(QJsonObject{{"janus", "keepalive"}, {"session_id", double(sessionId)}});
    });
}

JanusControl::~JanusControl()
{
    stop();
}

bool JanusControl::hasNonLoopbackAddress()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &network : interfaces) {
        const auto flags = network.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (!network.addressEntries().isEmpty())
            return true;
    }
    return false;
}

QString JanusControl::signedToken(const QByteArray &secret, qint64 expiry, const QString &realm,
                                  const QString &descriptor)
{
    const QString data = QStringLiteral("%1,%2,%3").arg(expiry).arg(realm, descriptor);
    const QByteArray signature =
        QMessageAuthenticationCode::hash(data.toUtf8(), secret, QCryptographicHash::Sha1).toBase64();
    return data + QLatin1Char(':') + QString::fromLatin1(signature);
}

QString JanusControl::serverToken() const
{
    return signedToken(secret, QDateTime::currentSecsSinceEpoch() + 24 * 3600, QStringLiteral("janus"),
                       QStringLiteral("janus.plugin.videoroom"));
}

QString JanusControl::url(qint64 mediaRoom) const
{
    return QStringLiteral("ws://127.0.0.1:%1/?room=%2").arg(port).arg(mediaRoom);
}

QString JanusControl::token(qint64 mediaRoom, const QString &identity, qint64 nowSec, qint64 ttlSec) const
{
    const qint64 expiry = nowSec + ttlSec;
    return signedToken(secret, expiry, QStringLiteral("janus"), QStringLiteral("janus.plugin.videoroom"))
           + QLatin1Char('|')
           + signedToken(secret, expiry, QStringLiteral("janus.plugin.videoroom"),
                         QStringLiteral("room=%1").arg(mediaRoom))
           + QLatin1Char('|') + identity;
}

bool JanusControl::writeConfiguration()
{
    const QString root = folder.path();
    for (const char *sub : {"conf", "plugins", "transports", "none"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    QFile::link(QStringLiteral("%1/plugins/libjanus_videoroom.so").arg(QLatin1String(kModules)),
                root + QStringLiteral("/plugins/libjanus_videoroom.so"));
    QFile::link(QStringLiteral("%1/transports/libjanus_websockets.so").arg(QLatin1String(kModules)),
                root + QStringLiteral("/transports/libjanus_websockets.so"));
    const QString core =
        QStringLiteral(
            "general: {\n"
            "  configs_folder = \"%1/conf\"\n  plugins_folder = \"%1/plugins\"\n"
            "  transports_folder = \"%1/transports\"\n  events_folder = \"%1/none\"\n  loggers_folder = \"%1/none\"\n"
            "  debug_level = 4\n  debug_timestamps = true\n  session_timeout = 60\n  server_name = \"kestova-local\"\n"
            "  protected_folders = [ \"/bin\", \"/boot\", \"/dev\", \"/etc\", \"/lib\", \"/proc\", \"/sbin\", "
            "\"/sys\", "
            "\"/usr\", \"/var\" ]\n"
            "  token_auth = true\n  token_auth_secret = \"%2\"\n"
            "}\ncertificates: {\n}\nmedia: {\n  rtp_port_range = \"20000-40000\"\n}\n"
            "nat: {\n  nice_debug = false\n  ice_ignore_list = \"vmnet\"\n}\n"
            "plugins: {\n}\ntransports: {\n}\nloggers: {\n}\nevents: {\n  broadcast = false\n}\n")
            .arg(root, QString::fromLatin1(secret));
    const QString transport =
        QStringLiteral("general: {\n  json = \"plain\"\n  ws = true\n  ws_port = %1\n  ws_ip = \"127.0.0.1\"\n"
                       "  wss = false\n}\nadmin: {\n  admin_ws = false\n  admin_wss = false\n}\n")
            .arg(port);
    // No static rooms: each room is made through the API with the admin key, which
    // only the service holds, so clients with valid tokens cannot make rooms.
    const QString plugin = QStringLiteral("general: {\n  string_ids = false\n  admin_key = \"%1\"\n}\n").arg(adminKey);
    return writeFile(root + QStringLiteral("/conf/janus.jcfg"), core)
           && writeFile(root + QStringLiteral("/conf/janus.transport.websockets.jcfg"), transport)
           && writeFile(root + QStringLiteral("/conf/janus.plugin.videoroom.jcfg"), plugin);
}

bool JanusControl::start()
{
    if (!hasNonLoopbackAddress()) {
        unavailable = QStringLiteral("voice is unavailable: this machine has no network address other than loopback, "
                                     "and the media server gathers no candidates on loopback");
        return false;
    }
    program = QStandardPaths::findExecutable(QStringLiteral("janus"));
    if (program.isEmpty()) {
        unavailable = QStringLiteral("voice is unavailable: the media server (janus) is not installed");
        return false;
    }
    if (!folder.isValid()) {
        unavailable = QStringLiteral("voice is unavailable: no folder for the media server's configuration");
        return false;
    }
    port = 0;
    if (!launch(&unavailable))
        return false;
    unavailable.clear();
    return true;
}

bool JanusControl::launch(QString *why)
{
    // The port may be taken between the probe and the start; the server then exits at once.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (port == 0 || attempt > 0)
            port = freeLoopbackPort();
        if (port == 0 || !writeConfiguration()) {
            *why = QStringLiteral("voice is unavailable: the media server's configuration cannot be written");
            return false;
        }
        process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        // Appended, so the log of a server that crashed survives its restart.
        process->setStandardOutputFile(folder.filePath(QStringLiteral("janus.log")), QIODevice::Append);
        // A core dump of a crash lands beside that log, never in whatever folder the service runs in.
        process->setWorkingDirectory(folder.path());
        // The media server ends with the service, even when the service is killed.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        const QString conf = folder.filePath(QStringLiteral("conf"));
        process->start(program, {QStringLiteral("-C"), conf + QStringLiteral("/janus.jcfg"), QStringLiteral("-F"), conf,
                                 QStringLiteral("-o")});
        if (!process->waitForStarted(5000)) {
            *why = QStringLiteral("voice is unavailable: the media server does not start: ") + process->errorString();
            process.reset();
            return false;
        }
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process->state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(50)) {
                qCInfo(lcServiceMedia).noquote().nospace()
                    << "media server started port=" << port << " pid=" << process->processId();
                connect(process.get(), &QProcess::finished, this,
                        [this](int exitCode, QProcess::ExitStatus status) { onExited(exitCode, int(status)); });
                running.start();
                openControl();
                return true;
            }
            process->waitForFinished(10);
        }
        stop();
    }
    *why = QStringLiteral("voice is unavailable: the media server exited at start (see its log in ") + folder.path()
           + QStringLiteral(")");
    folder.setAutoRemove(false);
    return false;
}

qint64 JanusControl::processId() const
{
    return process && process->state() == QProcess::Running ? process->processId() : 0;
}

void JanusControl::setRestartDelays(int firstMs, int maxMs)
{
    firstRestartDelayMs = std::max(0, firstMs);
    maxRestartDelayMs = std::max(firstRestartDelayMs, maxMs);
    restartDelayMs = firstRestartDelayMs;
}

void JanusControl::onExited(int exitCode, int exitStatus)
{
    if (running.isValid() && running.elapsed() >= kStableRunMs)
        restartDelayMs = firstRestartDelayMs;
    qCWarning(lcServiceMedia).noquote().nospace()
        << "media server exited unexpectedly exit_code=" << exitCode
        << " crashed=" << (exitStatus == QProcess::CrashExit ? "true" : "false") << " restart_in_ms=" << restartDelayMs;
    // Its control session and rooms went with it; the rooms are made again once the
    // new server's control session is up.
    dropControlSession();
    waiting.clear();
    creating.clear();
    createdRooms.clear();
    // The process object is deleted later: this runs inside one of its signals.
    process.release()->deleteLater();
    running.invalidate();
    scheduleRestart();
}

void JanusControl::scheduleRestart()
{
    restartTimer->start(restartDelayMs);
    restartDelayMs = int(std::min<qint64>(qint64(restartDelayMs) * 2, maxRestartDelayMs));
}

void JanusControl::dropControlSession()
{
    keepalive->stop();
    if (control) {
        control->disconnect(this);
        control->abort();
        control->deleteLater();
        control = nullptr;
    }
    sessionId = 0;
    handleId = 0;
}

void JanusControl::restart()
{
    QString why;
    if (!launch(&why)) {
        // Voice stays announced as available meanwhile, so rooms made now are still
        // remembered and made once a restart succeeds.
        qCWarning(lcServiceMedia).noquote().nospace()
            << "media server restart failed reason=" << why << " retry_in_ms=" << restartDelayMs;
        scheduleRestart();
        return;
    }
    ++restarts;
    qCInfo(lcServiceMedia).noquote().nospace() << "media server restarted restarts=" << restarts << " port=" << port;
    const QHash<qint64, int> rooms = wantedRooms;
    for (auto it = rooms.begin(); it != rooms.end(); ++it)
        ensureRoom(it.key(), it.value());
}

void JanusControl::stop()
{
    restartTimer->stop();
    dropControlSession();
    if (!process)
        return;
    // An exit asked for is no crash.
    process->disconnect(this);
    if (process->state() == QProcess::Running) {
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
    process.reset();
}

void JanusControl::openControl()
{
    control = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    connect(control, &QWebSocket::connected, this, [this] {
        send(QJsonObject{{"janus", "create"}, {"transaction", "session"}});
    });
    connect(control, &QWebSocket::textMessageReceived, this, &JanusControl::onText);
    connect(control, &QWebSocket::disconnected, this, [this] {
        qCWarning(lcServiceMedia) << "media server control connection closed";
        sessionId = 0;
        handleId = 0;
        keepalive->stop();
    });
    QWebSocketHandshakeOptions options;
    options.setSubprotocols({QStringLiteral("janus-protocol")});
    control->open(QNetworkRequest(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port))), options);
}

void JanusControl::send(QJsonObject message)
{
    if (!control)
        return;
    message.insert(QStringLiteral("token"), serverToken());
    if (!message.contains(QLatin1String("transaction")))
        message.insert(QStringLiteral("transaction"), QStringLiteral("t%1").arg(nextTransaction++));
    control->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void JanusControl::sendPluginBody(const QJsonObject &body)
{
    if (handleId == 0) {
        waiting.append(body);
        return;
    }
    const QString transaction = QStringLiteral("t%1").arg(nextTransaction++);
    if (body.value(QLatin1String("request")).toString() == QLatin1String("create"))
        creating.insert(transaction, qint64(body.value(QLatin1String("room")).toDouble()));
    send(QJsonObject{{"janus", "message"},
                     {"session_id", double(sessionId)},
                     {"handle_id", double(handleId)},
                     {"transaction", transaction},
                     {"body", body}});
}

void JanusControl::onText(const QString &text)
{
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString kind = message.value(QLatin1String("janus")).toString();
    const QString transaction = message.value(QLatin1String("transaction")).toString();
    if (kind == QLatin1String("error")) {
        qCWarning(lcServiceMedia).noquote()
            << "media server refused a request: "
                   + message.value(QLatin1String("error")).toObject().value(QLatin1String("reason")).toString();
        return;
    }
    if (kind != QLatin1String("success"))
        return;
    if (transaction == QLatin1String("session")) {
        sessionId = qint64(message.value(QLatin1String("data")).toObject().value(QLatin1String("id")).toDouble());
        send(QJsonObject{{"janus", "attach"},
                         {"plugin", "janus.plugin.videoroom"},
                         {"session_id", double(sessionId)},
                         {"transaction", "handle"}});
        keepalive->start();
        return;
    }
    if (transaction == QLatin1String("handle")) {
        handleId = qint64(message.value(QLatin1String("data")).toObject().value(QLatin1String("id")).toDouble());
        qCInfo(lcServiceMedia) << "media server control session ready";
        // Rooms asked for before the control session was up, or before a reconnect.
        const QList<QJsonObject> queued = std::exchange(waiting, {});
        for (const QJsonObject &body : queued)
            sendPluginBody(body);
        return;
    }
    const auto pending = creating.constFind(transaction);
    if (pending == creating.cend())
        return;
    const qint64 room = pending.value();
    creating.remove(transaction);
    const QJsonObject data =
        message.value(QLatin1String("plugindata")).toObject().value(QLatin1String("data")).toObject();
    const int errorCode = data.value(QLatin1String("error_code")).toInt();
    if (data.value(QLatin1String("videoroom")).toString() == QLatin1String("created")
        || errorCode == kErrorRoomExists) {
        createdRooms.insert(room, true);
        emit roomReady(room);
    } else {
        qCWarning(lcServiceMedia).noquote().nospace() << "media room not created media_room=" << room
                                                      << " error=" << data.value(QLatin1String("error")).toString();
    }
}

void JanusControl::ensureRoom(qint64 mediaRoom, int bitrate)
{
    if (!available() || mediaRoom <= 0)
        return;
    wantedRooms.insert(mediaRoom, bitrate);
    if (createdRooms.contains(mediaRoom))
        return;
    sendPluginBody(QJsonObject{{"request", "create"},
                               {"room", double(mediaRoom)},
                               {"admin_key", adminKey},
                               {"secret", adminKey},
                               {"permanent", false},
                               {"is_private", true},
                               {"publishers", 16},
                               {"audiocodec", "opus"},
                               {"opus_fec", true},
                               {"opus_dtx", true},
                               {"audiolevel_ext", true},
                               {"notify_joining", true},
                               {"transport_wide_cc_ext", false},
                               {"signed_tokens", true},
                               {"bitrate", bitrate}});
}

void JanusControl::setRoomBitrate(qint64 mediaRoom, int bitrate)
{
    if (!available() || !wantedRooms.contains(mediaRoom))
        return;
    wantedRooms.insert(mediaRoom, bitrate);
    sendPluginBody(
        QJsonObject{{"request", "edit"}, {"room", double(mediaRoom)}, {"secret", adminKey}, {"new_bitrate", bitrate}});
}

void JanusControl::destroyRoom(qint64 mediaRoom)
{
    if (!available() || !wantedRooms.remove(mediaRoom))
        return;
    createdRooms.remove(mediaRoom);
    sendPluginBody(
        QJsonObject{{"request", "destroy"}, {"room", double(mediaRoom)}, {"secret", adminKey}, {"permanent", false}});
}

} // namespace localservice
