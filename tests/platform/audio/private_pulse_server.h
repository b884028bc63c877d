#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

// A private sound server for one test program: its own runtime folder, a null sink and a
// null source, started as a daemon and stopped by its pid. The test process is pointed at it
// through PULSE_SERVER before anything connects.
class PrivatePulseServer
{
public:
    static bool available() { return !QStandardPaths::findExecutable("pulseaudio").isEmpty(); }

    bool start()
    {
        if (!runtime.isValid())
            return false;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("PULSE_SERVER", ("unix:" + runtime.filePath("pulse/native")).toUtf8());
        // The daemon keeps its cookie and a link to its runtime folder under the home folder,
        // and claims one well-known name on the session bus; daemons of test programs started
        // at the same time would race for both, so each gets a home of its own and no bus.
        // Clients of this user need no cookie.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        environment.insert("HOME", runtime.filePath("home"));
        environment.insert("XDG_CONFIG_HOME", runtime.filePath("home/.config"));
        QDir().mkpath(runtime.filePath("home/.config"));
        QProcess daemon;
        daemon.setProcessEnvironment(environment);
        daemon.setProcessChannelMode(QProcess::MergedChannels);
        daemon.start("pulseaudio",
                     {"--daemonize=yes", "--log-target=file:" + runtime.filePath("pulse.log"), "--exit-idle-time=-1",
                      "-n", "--load=module-native-protocol-unix auth-anonymous=1",
                      "--load=module-null-sink sink_name=nullsink", "--load=module-null-source source_name=nullsrc"});
        const bool started =
            daemon.waitForFinished(20000) && daemon.exitStatus() == QProcess::NormalExit && daemon.exitCode() == 0;
        QFile pidFile(runtime.filePath("pulse/pid"));
        if (!started || !pidFile.open(QIODevice::ReadOnly)) {
            QFile log(runtime.filePath("pulse.log"));
            log.open(QIODevice::ReadOnly);
            qWarning("pulseaudio did not start: %s\n%s", daemon.readAll().constData(), log.readAll().constData());
            return false;
        }
        pid = pidFile.readAll().trimmed().toLongLong();
        return pid > 0 && pactl({"info"}) == 0;
    }

    ~PrivatePulseServer()
    {
        if (pid <= 0)
            return;
        ::kill(pid_t(pid), SIGTERM);
        if (!QTest::qWaitFor([this] { return ::kill(pid_t(pid), 0) != 0; }, 5000))
            ::kill(pid_t(pid), SIGKILL);
    }

    // Runs pactl against this server; returns its exit code.
    int pactl(const QStringList &args, QString *output = nullptr) const
    {
        QProcess p;
        p.start("pactl", args);
        if (!p.waitForFinished(10000))
            return -1;
        if (output)
            *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        return p.exitCode();
    }

    QString path(const QString &name) const { return runtime.filePath(name); }

private:
    QTemporaryDir runtime;
    qint64 pid = 0;
};

// Writes a 440 Hz tone at about -10 dBFS into a pipe source's FIFO as fast as the server takes
// it, on a thread of its own, until it is destroyed (also when a failed check returns early).
class PipeToneWriter
{
public:
    explicit PipeToneWriter(const QString &fifo)
        : thread([this, path = fifo.toLocal8Bit()] { run(path); })
    {}
    ~PipeToneWriter()
    {
        stop = true;
        thread.join();
    }
    PipeToneWriter(const PipeToneWriter &) = delete;
    PipeToneWriter &operator=(const PipeToneWriter &) = delete;

private:
    void run(const QByteArray &path)
    {
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        if (fd < 0)
            return;
        std::vector<qint16> block(480);
        long n = 0;
        while (!stop.load()) {
            for (auto &s : block)
                s = qint16(std::lround(10000 * std::sin(2 * M_PI * 440 * double(n++) / 48000)));
            const char *p = reinterpret_cast<const char *>(block.data());
            std::size_t left = block.size() * 2;
            while (left > 0 && !stop.load()) {
                const ssize_t w = ::write(fd, p, left);
                if (w > 0) {
                    p += w;
                    left -= std::size_t(w);
                } else if (w < 0 && errno == EAGAIN) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                } else if (w < 0 && errno != EINTR) {
                    ::close(fd);
                    return;
                }
            }
        }
        ::close(fd);
    }

    std::atomic<bool> stop{false};
    std::thread thread; // last: it starts once the flag exists
};

} // namespace testsupport
