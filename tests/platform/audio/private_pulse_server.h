#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

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

} // namespace testsupport
