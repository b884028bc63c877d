#include "support/janus_test_server.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QTcpSocket>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr const char *kModules = "/usr/lib/x86_64-linux-gnu/janus";

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(text.toUtf8());
    return true;
}

} // namespace

JanusTestServer::JanusTestServer() = default;

JanusTestServer::~JanusTestServer()
{
    if (isRunning())
        resume();
    stop();
}

bool JanusTestServer::writeConfiguration()
{
    const QString root = m_folder.path();
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
            "  debug_level = 4\n  debug_timestamps = true\n  session_timeout = 60\n  server_name = \"kestova-test\"\n"
            "  protected_folders = [ \"/bin\", \"/boot\", \"/dev\", \"/etc\", \"/lib\", \"/proc\", \"/sbin\", "
            "\"/sys\", "
            "\"/usr\", \"/var\" ]\n"
            "  token_auth = true\n  token_auth_secret = \"%2\"\n"
            "}\ncertificates: {\n}\nmedia: {\n  rtp_port_range = \"20000-20999\"\n  no_media_timer = 2\n}\n"
            "nat: {\n  nice_debug = false\n  ice_ignore_list = \"vmnet\"\n}\n"
            "plugins: {\n}\ntransports: {\n}\nloggers: {\n}\nevents: {\n  broadcast = false\n}\n")
            .arg(root, QLatin1String(kSecret));
    const QString transport =
        QStringLiteral("general: {\n  json = \"plain\"\n  ws = true\n  ws_port = %1\n  ws_ip = \"127.0.0.1\"\n"
                       "  wss = false\n}\nadmin: {\n  admin_ws = false\n  admin_wss = false\n}\n")
            .arg(m_port);
    const QString room =
        QStringLiteral(
            "general: {\n  string_ids = false\n}\nroom-%1: {\n  description = \"kestova-test\"\n  publishers = 16\n"
            "  audiocodec = \"opus\"\n  opus_fec = true\n  opus_dtx = true\n  audiolevel_ext = true\n"
            "  notify_joining = true\n  transport_wide_cc_ext = false\n  signed_tokens = true\n}\n")
            .arg(kRoom)
        + QStringLiteral("room-%1: {\n  description = \"kestova-test-parent\"\n  publishers = 16\n"
                         "  audiocodec = \"opus\"\n  opus_fec = true\n  opus_dtx = true\n"
                         "  audiolevel_ext = true\n  notify_joining = true\n"
                         "  transport_wide_cc_ext = false\n  signed_tokens = true\n}\n")
              .arg(kParentRoom);
    return writeFile(root + QStringLiteral("/conf/janus.jcfg"), core)
           && writeFile(root + QStringLiteral("/conf/janus.transport.websockets.jcfg"), transport)
           && writeFile(root + QStringLiteral("/conf/janus.plugin.videoroom.jcfg"), room);
}

bool JanusTestServer::start()
{
    if (!m_folder.isValid() || !writeConfiguration()) {
        m_error = QStringLiteral("cannot write the server configuration");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_folder.path() + QStringLiteral("/janus.log"));
    // A core dump, should the server crash, lands beside its log and never in the source tree.
    m_process->setWorkingDirectory(m_folder.path());
    const QString conf = m_folder.path() + QStringLiteral("/conf");
    m_process->start(QStringLiteral("janus"), {QStringLiteral("-C"), conf + QStringLiteral("/janus.jcfg"),
                                               QStringLiteral("-F"), conf, QStringLiteral("-o")});
    if (!m_process->waitForStarted(5000)) {
        m_error = QStringLiteral("janus does not start: ") + m_process->errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running) {
            m_error = QStringLiteral("janus exited: ") + log().right(2000);
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (probe.waitForConnected(50))
            return true;
        m_process->waitForFinished(10); // lets a failing server exit before the next probe
    }
    m_error = QStringLiteral("janus does not answer on its port: ") + log().right(2000);
    return false;
}

void JanusTestServer::stop()
{
    if (!m_process)
        return;
    m_stoppedCleanly = false;
    if (m_process->state() == QProcess::Running) {
        // The server frees a peer connection's transports on threads of its own after the
        // hang-up has been answered; its exit races that work and can crash inside it. Stop it
        // only once its log has been quiet for a moment, as an operator stopping an idle server
        // would. Bounded, so a server that keeps logging is still stopped.
        qint64 lastSize = -1;
        QElapsedTimer quietFor;
        QElapsedTimer waited;
        waited.start();
        const QString logPath = m_folder.path() + QStringLiteral("/janus.log");
        while (waited.elapsed() < 5000 && m_process->state() == QProcess::Running) {
            const qint64 size = QFileInfo(logPath).size();
            if (size != lastSize) {
                lastSize = size;
                quietFor.start();
            } else if (quietFor.elapsed() >= 400) {
                break;
            }
            m_process->waitForFinished(50);
        }
        if (m_process->state() != QProcess::Running) {
            m_process.reset();
            return;
        }
        m_process->terminate();
        if (m_process->waitForFinished(3000)) {
            m_stoppedCleanly = m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
        } else {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
    m_process.reset();
}

bool JanusTestServer::leftCoreFile() const
{
    return !QDir(m_folder.path()).entryList({QStringLiteral("core*")}, QDir::Files).isEmpty();
}

void JanusTestServer::kill()
{
    if (!m_process || m_process->state() != QProcess::Running)
        return;
    m_process->kill();
    m_process->waitForFinished(3000);
}

namespace {

// True once every thread of `pid` is stopped. A stop signal takes effect asynchronously: a
// thread running on another core goes on until it is interrupted, and under load it may still
// answer a request sent just after kill() returned.
bool allThreadsStopped(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (ids.isEmpty())
        return false;
    for (const QString &id : ids) {
        QFile stat(tasks.filePath(id + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // the thread ended
        const QByteArray text = stat.readAll();
        // The state follows the command name in parentheses, which may itself hold spaces.
        const qsizetype close = text.lastIndexOf(')');
        if (close < 0 || close + 2 >= text.size())
            return false;
        const char state = text.at(close + 2);
        if (state != 'T' && state != 't')
            return false;
    }
    return true;
}

} // namespace

void JanusTestServer::pause()
{
    if (!isRunning())
        return;
    const qint64 pid = m_process->processId();
    ::kill(static_cast<pid_t>(pid), SIGSTOP);
    QDeadlineTimer deadline(5000);
    while (!allThreadsStopped(pid) && !deadline.hasExpired())
        ::usleep(1000);
}

void JanusTestServer::resume()
{
    if (isRunning())
        ::kill(static_cast<pid_t>(m_process->processId()), SIGCONT);
}

bool JanusTestServer::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

qint64 JanusTestServer::pid() const
{
    return isRunning() ? m_process->processId() : 0;
}

double JanusTestServer::cpuSeconds() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid()));
    if (!pid() || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the command name.
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

QString JanusTestServer::url(int room) const
{
    return QStringLiteral("ws://127.0.0.1:%1/?room=%2").arg(m_port).arg(room);
}

QString JanusTestServer::signedToken(const QString &secret, qint64 expiry, const QString &realm,
                                     const QString &descriptor)
{
    const QString data = QStringLiteral("%1,%2,%3").arg(expiry).arg(realm, descriptor);
    const QByteArray signature =
        QMessageAuthenticationCode::hash(data.toUtf8(), secret.toUtf8(), QCryptographicHash::Sha1).toBase64();
    return data + QLatin1Char(':') + QString::fromLatin1(signature);
}

QString JanusTestServer::serverToken(const QString &secret) const
{
    return signedToken(secret, QDateTime::currentSecsSinceEpoch() + 3600, QStringLiteral("janus"),
                       QStringLiteral("janus.plugin.videoroom"));
}

QString JanusTestServer::roomToken(int room, const QString &secret) const
{
    return signedToken(secret, QDateTime::currentSecsSinceEpoch() + 3600, QStringLiteral("janus.plugin.videoroom"),
                       QStringLiteral("room=%1").arg(room));
}

QString JanusTestServer::token(const QString &identity, int room) const
{
    return serverToken() + QLatin1Char('|') + roomToken(room) + QLatin1Char('|') + identity;
}

QString JanusTestServer::log() const
{
    QFile file(m_folder.path() + QStringLiteral("/janus.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace testsupport
