// Two real client processes against the local service process, on a private X display: each is
// signed in through its own login form with the code the service prints, the first creates a room
// through its connect tab, and a picture of each main window is saved to the build's screenshots folder.
#include "support/test_main.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kWaitMs = 20000;

// A child process read line by line; every line is kept for a failure message.
class LineProcess
{
public:
    QProcess process;
    QStringList lines;

    // The first line (from now on) matching `pattern`, or an empty match when none came in time.
    QRegularExpressionMatch waitFor(const QString &pattern, int timeoutMs = kWaitMs)
    {
        const QRegularExpression expression(pattern);
        QDeadlineTimer deadline(timeoutMs);
        while (true) {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                lines << line;
                const QRegularExpressionMatch match = expression.match(line);
                if (match.hasMatch())
                    return match;
            }
            if (deadline.hasExpired() || process.state() != QProcess::Running)
                return {};
            process.waitForReadyRead(100);
        }
    }
    void send(const QString &line)
    {
        process.write((line + QLatin1Char('\n')).toUtf8());
        // Written from the event loop otherwise, which the waits on other processes do not run.
        process.waitForBytesWritten(kWaitMs);
    }
    QString tail() const { return lines.mid(qMax(0, lines.size() - 20)).join(QLatin1Char('\n')); }
    ~LineProcess()
    {
        if (process.state() == QProcess::Running) {
            process.closeWriteChannel();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(3000);
            }
        }
    }
};

} // namespace

class TwoClientsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void bothSignInWithThePrintedCodes();

private:
    void startClient(LineProcess &client, const QString &name);

    QProcess xvfb;
    QByteArray display;
    QTemporaryDir folder;
    LineProcess service;
    QString baseUrl;
};

void TwoClientsTest::initTestCase()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty())
        QSKIP("Xvfb is not installed");
    xvfb.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                         QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1600x1000x24")});
    QVERIFY2(xvfb.waitForStarted(5000), qPrintable(xvfb.errorString()));
    QByteArray number;
    while (!number.endsWith('\n') && xvfb.waitForReadyRead(10000))
        number += xvfb.readAllStandardOutput();
    QVERIFY2(!number.trimmed().isEmpty(), "Xvfb did not name its display");
    display = ':' + number.trimmed();

    service.process.setProgram(QStringLiteral(KESTOVA_LOCAL_SERVICE));
    service.process.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"),
                                  folder.filePath(QStringLiteral("state.json")), QStringLiteral("--no-voice")});
    service.process.start();
    QVERIFY2(service.process.waitForStarted(kWaitMs), qPrintable(service.process.errorString()));
    const QRegularExpressionMatch listening = service.waitFor(QStringLiteral("^listening (\\S+)"));
    QVERIFY2(listening.hasMatch(), qPrintable(service.tail()));
    baseUrl = listening.captured(1);
}

void TwoClientsTest::cleanupTestCase()
{
    if (service.process.state() == QProcess::Running) {
        service.process.terminate();
        service.process.waitForFinished(kWaitMs);
    }
    if (xvfb.state() == QProcess::Running) {
        xvfb.terminate();
        if (!xvfb.waitForFinished(3000))
            xvfb.kill();
    }
}

void TwoClientsTest::startClient(LineProcess &client, const QString &name)
{
    // A data folder of its own: its own single-instance guard, settings and data root.
    const QString home = folder.filePath(name);
    QVERIFY(QDir().mkpath(home + QStringLiteral("/tmp")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    client.process.setProcessEnvironment(environment);
    client.process.setProgram(QStringLiteral(KESTOVA_E2E_CLIENT));
    client.process.setArguments({QStringLiteral("--api"), baseUrl, QStringLiteral("--assets"), baseUrl});
    client.process.setProcessChannelMode(QProcess::SeparateChannels);
    client.process.start();
    QVERIFY2(client.process.waitForStarted(kWaitMs), qPrintable(client.process.errorString()));
}

void TwoClientsTest::bothSignInWithThePrintedCodes()
{
    LineProcess first;
    LineProcess second;
    startClient(first, QStringLiteral("first"));
    startClient(second, QStringLiteral("second"));
    QVERIFY(QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR)));

    const QList<std::pair<LineProcess *, QString>> clients{{&first, QStringLiteral("13800138001")},
                                                           {&second, QStringLiteral("13800138002")}};
    for (const auto &[client, phone] : clients) {
        // The start-up check passes and the login window shows.
        QVERIFY2(client->waitFor(QStringLiteral("^window LoginWindow$")).hasMatch(), qPrintable(client->tail()));
        client->send(QStringLiteral("sms ") + phone);
        const QRegularExpressionMatch code =
            service.waitFor(QStringLiteral("^verification code for %1: (\\d+)$").arg(phone));
        QVERIFY2(code.hasMatch(), qPrintable(service.tail()));
        client->send(QStringLiteral("login ") + code.captured(1));
        QVERIFY2(client->waitFor(QStringLiteral("^window MainWindow$")).hasMatch(), qPrintable(client->tail()));
    }
    // The first creates a room through its connect tab; it shows in the current-room panel with
    // its creator in it.
    first.send(QStringLiteral("create-room"));
    const QRegularExpressionMatch room = first.waitFor(QStringLiteral("^current-room (\\S+) members (\\d+)$"));
    QVERIFY2(room.hasMatch(), qPrintable(first.tail()));
    QVERIFY(!room.captured(1).isEmpty());
    QCOMPARE(room.captured(2), QStringLiteral("1"));

    int index = 0;
    for (LineProcess *client : {&first, &second}) {
        const QString path = QStringLiteral(KESTOVA_SCREENSHOT_DIR) + QStringLiteral("/client-%1.png").arg(++index);
        QFile::remove(path);
        client->send(QStringLiteral("shot ") + path);
        QVERIFY2(client->waitFor(QStringLiteral("^saved ")).hasMatch(), qPrintable(client->tail()));
        QVERIFY(QFileInfo(path).size() > 1000);
    }
}

KESTOVA_TEST_MAIN(TwoClientsTest)
#include "test_two_clients.moc"
