#include "storage/data_root.h"
#include "support/test_main.h"

#include <QLocalServer>

#include <QProcess>

namespace {

// The client reaches for its built-in hosts at start; each launch runs in a network
// namespace of its own that has nothing but a downed loopback, so that nothing leaves
// the machine. Local sockets are files and still meet across namespaces.
const QString kIsolate = QStringLiteral("unshare");
const QStringList kIsolatedClient{QStringLiteral("-n"), QStringLiteral("--"), QStringLiteral(KESTOVA_CLIENT)};

bool canIsolate()
{
    QProcess probe;
    probe.start(kIsolate, {QStringLiteral("-n"), QStringLiteral("--"), QStringLiteral("true")});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

} // namespace

// Runs the client itself twice over one data root.
class SecondLaunchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!canIsolate())
            QSKIP("no private network namespace here; the client must not reach real hosts");
    }

    void cleanupTestCase()
    {
        // The first client was killed and could not close its server.
        QLocalServer::removeServer(QStringLiteral("kestova-instance-") + installId());
    }

    void secondStartHandsOverAndEnds()
    {
        QProcess first;
        first.setProcessChannelMode(QProcess::SeparateChannels);
        first.start(kIsolate, kIsolatedClient);
        QVERIFY(first.waitForStarted(10000));
        QString firstLog;
        auto readFirst = [&] { firstLog += QString::fromUtf8(first.readAllStandardError()); };
        QTRY_VERIFY_WITH_TIMEOUT((readFirst(), firstLog.contains("client context initialized")), 20000);
        QVERIFY(firstLog.contains("primary instance, listening on kestova-instance-"));

        QProcess second;
        second.start(kIsolate, kIsolatedClient);
        QVERIFY(second.waitForFinished(20000));
        const QString secondLog = QString::fromUtf8(second.readAllStandardError());
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(secondLog.contains("existing instance activated, exiting"), qPrintable(secondLog));
        QVERIFY(!secondLog.contains("client context initialized"));

        // The first one's shell set itself as presenter when it started.
        QTRY_VERIFY_WITH_TIMEOUT((readFirst(), firstLog.contains("second launch detected, presenting windows")), 20000);
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }
};

KESTOVA_TEST_MAIN(SecondLaunchTest)
#include "test_second_launch.moc"
