#include "fake_raw_downloader.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "update/update_lock.h"
#include "update_test_kit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

using namespace updatetest;

class InstallerLaunchTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void installWithoutDownloadFails();
    void installerThatCannotStartRemovesTheLock();
    // Last: it lets the application quit.
    void installerStartsWithSilentArgumentsAndAppQuits();

private:
    void offer(TestUpdateService &service, FakeRawDownloader &downloader, const QByteArray &content);
    SigningKey key = SigningKey::generate();
};

void InstallerLaunchTest::init()
{
    clearCache();
}

void InstallerLaunchTest::cleanup()
{
    QFile::remove(updateLockPath());
}

void InstallerLaunchTest::offer(TestUpdateService &service, FakeRawDownloader &downloader, const QByteArray &content)
{
    const QByteArray manifest = manifestJson("0.2.0", "Kestova-0.2.0.exe", content.size(), sha256Hex(content));
    QCOMPARE(service.evaluateManifest(manifest, key.signManifest(manifest)), ManifestVerdict::UpdateAvailable);
    downloader.setFile(installerUrl("Kestova-0.2.0.exe"), content);
}

void InstallerLaunchTest::installWithoutDownloadFails()
{
    FakeRawDownloader downloader;
    UpdateService service(&downloader);
    testsupport::LogCapture log;
    QVERIFY(!service.install());
    QVERIFY(log.contains("update", "install file missing:"));
    QVERIFY(!QFile::exists(updateLockPath()));
}

void InstallerLaunchTest::installerThatCannotStartRemovesTheLock()
{
    FakeRawDownloader downloader;
    TestUpdateService service(&downloader, key.publicKey, true);
    offer(service, downloader, makeContent(4096, 1)); // no program the system can run
    testsupport::LogCapture log;

    bool completed = false;
    bool result = true;
    service.downloadAndInstall([&](bool ok) {
        completed = true;
        result = ok;
    });
    QTRY_VERIFY(completed);
    QVERIFY(!result);
    QCOMPARE(service.installCalls, 1);
    QVERIFY(log.contains("update", "installer start failed:"));
    QVERIFY(!QFile::exists(updateLockPath()));
}

void InstallerLaunchTest::installerStartsWithSilentArgumentsAndAppQuits()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString argsFile = dir.filePath(QStringLiteral("args"));
    // A stand-in installer: records its arguments, then publishes them in one rename.
    const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + argsFile.toUtf8() + ".part' && mv '"
                              + argsFile.toUtf8() + ".part' '" + argsFile.toUtf8() + "'\n";

    FakeRawDownloader downloader;
    TestUpdateService service(&downloader, key.publicKey, true);
    offer(service, downloader, script);
    testsupport::LogCapture log;

    QElapsedTimer sinceFinished;
    connect(&service, &UpdateService::finished, &service, [&sinceFinished] { sinceFinished.start(); });
    bool completed = false;
    service.downloadAndInstall([&](bool) { completed = true; });

    // The application's own event loop runs until the update quits it (or the watchdog does).
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    watchdog.start(15000);
    const int exitCode = QCoreApplication::exec();
    watchdog.stop();

    QCOMPARE(exitCode, 0);
    QVERIFY(sinceFinished.isValid());
    QVERIFY2(sinceFinished.elapsed() >= 200, qPrintable(QString::number(sinceFinished.elapsed())));
    QVERIFY(!completed);
    QVERIFY(log.contains("update", "installer launched, app quitting in 200ms"));
    QVERIFY(isUpdateInstallInProgress());

    const QString installer = QDir(cacheDir()).filePath(QStringLiteral("Kestova-0.2.0.exe"));
    QVERIFY(QFileInfo(installer).permissions() & QFileDevice::ExeOwner);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(argsFile), 10000);
    QFile args(argsFile);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(args.readAll(), QByteArray("/SILENT\n/NORESTART\n/CLOSEAPPLICATIONS\n"));
}

KESTOVA_TEST_MAIN(InstallerLaunchTest)
#include "test_installer_launch.moc"
