#include "app/single_instance.h"
#include "counting_presenter.h"
#include "storage/data_root.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>

using testsupport::LogCapture;

namespace {

QString serverName()
{
    return QStringLiteral("kestova-instance-") + installId();
}

QString socketPath()
{
    return QDir(QDir::tempPath()).filePath(serverName());
}

// Runs the helper (a separate launch) to its end and returns what it printed.
QString launch(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(SINGLE_INSTANCE_HELPER), {});
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("helper failed");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase()
    {
        // Killed helpers could not close their servers.
        QLocalServer::removeServer(serverName());
    }

    void secondGuardHandsOverToTheFirst()
    {
        LogCapture logs;
        SingleInstance first;
        QVERIFY(first.tryBecomePrimary());
        QVERIFY(logs.contains("app.instance", "primary instance, listening on " + serverName()));
        CountingPresenter presenter;
        first.setPresenter(&presenter);

        {
            SingleInstance second;
            QVERIFY(!second.tryBecomePrimary());
        }
        QVERIFY(logs.contains("app.instance", "existing instance activated, exiting"));
        QTRY_COMPARE(presenter.presented, 1);
        QCOMPARE(logs.count("app.instance", "second launch detected, presenting windows"), 1);

        // Only the same user may connect.
        const QFile::Permissions foreign = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        QVERIFY(QFileInfo::exists(socketPath()));
        QCOMPARE(QFileInfo(socketPath()).permissions() & foreign, QFile::Permissions());
    }

    void everyLaunchPresentsOnce()
    {
        SingleInstance first;
        QVERIFY(first.tryBecomePrimary());
        CountingPresenter presenter;
        first.setPresenter(&presenter);

        for (int i = 0; i < 3; ++i) {
            SingleInstance later;
            QVERIFY(!later.tryBecomePrimary());
        }
        QTRY_COMPARE(presenter.presented, 3);
        QCoreApplication::processEvents();
        QCOMPARE(presenter.presented, 3);
    }

    void launchBeforeTheShellPresentsNothing()
    {
        LogCapture logs;
        SingleInstance first;
        QVERIFY(first.tryBecomePrimary());
        {
            SingleInstance early;
            QVERIFY(!early.tryBecomePrimary());
        }
        // Let the guard take the connection while it has no presenter.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();

        CountingPresenter presenter;
        first.setPresenter(&presenter);
        QCOMPARE(presenter.presented, 0);
        {
            SingleInstance later;
            QVERIFY(!later.tryBecomePrimary());
        }
        QTRY_COMPARE(presenter.presented, 1);
        QCoreApplication::processEvents();
        QCOMPARE(presenter.presented, 1);

        first.setPresenter(nullptr);
        QVERIFY(!SingleInstance().tryBecomePrimary());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(presenter.presented, 1);
        QCOMPARE(logs.count("app.instance", "second launch detected, presenting windows"), 1);
    }

    void destroyedGuardFreesTheName()
    {
        {
            SingleInstance first;
            QVERIFY(first.tryBecomePrimary());
        }
        SingleInstance next;
        QVERIFY(next.tryBecomePrimary());
    }

    void separateLaunchesOverOneDataRoot()
    {
        SingleInstance first;
        QVERIFY(first.tryBecomePrimary());
        CountingPresenter presenter;
        first.setPresenter(&presenter);

        QCOMPARE(launch(), QStringLiteral("secondary"));
        QTRY_COMPARE(presenter.presented, 1);
    }

    void separateDataRootsAreIndependent()
    {
        SingleInstance first;
        QVERIFY(first.tryBecomePrimary());
        CountingPresenter presenter;
        first.setPresenter(&presenter);

        QTemporaryDir otherHome;
        QVERIFY(otherHome.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), otherHome.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), otherHome.filePath(QStringLiteral("data")));
        QCOMPARE(launch(env), QStringLiteral("primary"));
        QCoreApplication::processEvents();
        QCOMPARE(presenter.presented, 0);
    }

    void socketLeftByACrashedInstanceDoesNotBlock()
    {
        QProcess crashed;
        crashed.start(QStringLiteral(SINGLE_INSTANCE_HELPER), {QStringLiteral("--hold")});
        QVERIFY(crashed.waitForReadyRead(10000));
        QCOMPARE(QString::fromUtf8(crashed.readAllStandardOutput()).trimmed(), QStringLiteral("primary"));
        crashed.kill(); // no chance to close its server
        QVERIFY(crashed.waitForFinished(10000));
        QVERIFY(QFileInfo::exists(socketPath()));

        LogCapture logs;
        SingleInstance next;
        QVERIFY(next.tryBecomePrimary());
        QVERIFY(logs.contains("app.instance", "primary instance, listening on " + serverName()));

        // It really guards: a later launch hands over to it.
        CountingPresenter presenter;
        next.setPresenter(&presenter);
        QCOMPARE(launch(), QStringLiteral("secondary"));
        QTRY_COMPARE(presenter.presented, 1);
    }

    void simultaneousStartsLeaveOnePrimary()
    {
        QList<QProcess *> starts;
        for (int i = 0; i < 6; ++i) {
            auto *process = new QProcess(this);
            process->start(QStringLiteral(SINGLE_INSTANCE_HELPER), {QStringLiteral("--hold")});
            starts.append(process);
        }
        int primaries = 0;
        int secondaries = 0;
        for (QProcess *process : starts) {
            QVERIFY(process->waitForReadyRead(10000));
            const QString said = QString::fromUtf8(process->readAllStandardOutput()).trimmed();
            primaries += said == QLatin1String("primary");
            secondaries += said == QLatin1String("secondary");
        }
        // The one primary still answers: a later launch hands over to it.
        QCOMPARE(launch(), QStringLiteral("secondary"));
        for (QProcess *process : starts) {
            process->kill();
            process->waitForFinished(10000);
            delete process;
        }
        QCOMPARE(primaries, 1);
        QCOMPARE(secondaries, 5);
    }
};

KESTOVA_TEST_MAIN(SingleInstanceTest)
#include "test_single_instance.moc"
