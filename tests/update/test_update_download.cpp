#include "fake_raw_downloader.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "update_test_kit.h"

#include <QDir>
#include <QFile>

using namespace updatetest;

namespace {

constexpr int kBlock = 65536;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString inCache(const QString &name)
{
    return QDir(cacheDir()).filePath(name);
}

// The end of one downloadAndInstall: ok when the download succeeded and reached the install.
struct Outcome
{
    bool completed = false;
    bool ok = false;
};

} // namespace

class UpdateDownloadTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void missingBlockMapDownloadsEverythingInRanges();
    void secondUpdateFetchesOnlyChangedBlocks();
    void manifestDigestWinsOverBlockMapDigest();
    void untrustworthyBlockMapFallsBackToFullDownload_data();
    void untrustworthyBlockMapFallsBackToFullDownload();
    void cachedMapWithoutCachedInstallerIsIgnored();
    void corruptCacheIsRepairedByOneFullRetry();
    void secondDigestMismatchGivesUp();
    void transportFailuresFail_data();
    void transportFailuresFail();
    void installerNamedLikeTheCacheCopy();
    void failedInstallCompletesWithFalse();

private:
    // Accepts a signed manifest for version/fileName describing content, and serves content
    // (and its block map when blockMap is set).
    void offer(const QString &version, const QString &fileName, const QByteArray &content, bool serveBlockMap);
    Outcome run();

    SigningKey key = SigningKey::generate();
    std::unique_ptr<FakeRawDownloader> downloader;
    std::unique_ptr<TestUpdateService> service;
};

void UpdateDownloadTest::init()
{
    clearCache();
    downloader = std::make_unique<FakeRawDownloader>();
    service = std::make_unique<TestUpdateService>(downloader.get(), key.publicKey);
}

void UpdateDownloadTest::offer(const QString &version, const QString &fileName, const QByteArray &content,
                               bool serveBlockMap)
{
    const QByteArray manifest = manifestJson(version, fileName, content.size(), sha256Hex(content));
    QCOMPARE(service->evaluateManifest(manifest, key.signManifest(manifest)), ManifestVerdict::UpdateAvailable);
    downloader->setFile(installerUrl(fileName), content);
    if (serveBlockMap)
        downloader->setRaw(blockMapUrl(fileName), 200, blockMapJson(blockMapOf(content, kBlock)));
}

Outcome UpdateDownloadTest::run()
{
    auto outcome = std::make_shared<Outcome>();
    const int installsBefore = service->installCalls;
    service->downloadAndInstall([outcome](bool ok) {
        outcome->completed = true;
        outcome->ok = ok;
    });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome->completed, 20000); }();
    // A successful download always ends in an install attempt first.
    if (outcome->completed && service->installCalls > installsBefore)
        return {true, true};
    return *outcome;
}

void UpdateDownloadTest::missingBlockMapDownloadsEverythingInRanges()
{
    // A map left from an earlier installer that no longer exists must not survive the refresh.
    QVERIFY(writeFile(inCache("last.blockmap"), "{}"));
    const QByteArray content = makeContent(3 * 1024 * 1024 + 5, 1);
    offer("0.2.0", "Kestova-0.2.0.exe", content, false);
    testsupport::LogCapture log;

    const Outcome outcome = run();
    QVERIFY(outcome.ok);
    QVERIFY(log.contains("update", "blockmap unavailable, synthesizing full-download map"));
    QCOMPARE(downloader->rawRequests, QStringList{blockMapUrl("Kestova-0.2.0.exe")});
    QCOMPARE(downloader->rangeRequests.size(), 4);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(downloader->rangeRequests.at(i).first, qint64(i) * 16 * kBlock);
        QCOMPARE(downloader->rangeRequests.at(i).last, qint64(i + 1) * 16 * kBlock - 1);
    }
    QCOMPARE(downloader->rangeRequests.at(3).last, content.size() - 1);
    QCOMPARE(readFile(inCache("Kestova-0.2.0.exe")), content);
    QCOMPARE(readFile(inCache("last.exe")), content);
    QVERIFY(!QFile::exists(inCache("last.blockmap")));

    QCOMPARE(service->events.first(), QStringLiteral("started"));
    QCOMPARE(service->events.mid(service->events.size() - 3), (QStringList{"progress 100", "finished", "install"}));
    QCOMPARE(service->events.count("started"), 1);
}

void UpdateDownloadTest::secondUpdateFetchesOnlyChangedBlocks()
{
    const QByteArray first = makeContent(40 * kBlock + 100, 2);
    offer("0.2.0", "Kestova-0.2.0.exe", first, true);
    QVERIFY(run().ok);
    QCOMPARE(downloader->rangeBytesServed, first.size());
    QCOMPARE(readFile(inCache("last.blockmap")), blockMapJson(blockMapOf(first, kBlock)));

    QByteArray second = first;
    for (int block : {5, 6, 30})
        second[block * kBlock + 1] = char(second.at(block * kBlock + 1) ^ 0x77);
    downloader->rangeRequests.clear();
    downloader->rangeBytesServed = 0;
    offer("0.3.0", "Kestova-0.3.0.exe", second, true);
    QVERIFY(run().ok);

    QCOMPARE(downloader->rangeRequests.size(), 2);
    QCOMPARE(downloader->rangeRequests.at(0).first, qint64(5) * kBlock);
    QCOMPARE(downloader->rangeRequests.at(0).last, qint64(7) * kBlock - 1);
    QCOMPARE(downloader->rangeRequests.at(1).first, qint64(30) * kBlock);
    QCOMPARE(downloader->rangeBytesServed, qint64(3) * kBlock);
    QCOMPARE(readFile(inCache("Kestova-0.3.0.exe")), second);
    QCOMPARE(readFile(inCache("last.exe")), second);
    QCOMPARE(readFile(inCache("last.blockmap")), blockMapJson(blockMapOf(second, kBlock)));
}

void UpdateDownloadTest::manifestDigestWinsOverBlockMapDigest()
{
    const QByteArray content = makeContent(2 * kBlock, 3);
    offer("0.2.0", "Kestova-0.2.0.exe", content, false);
    BlockMap map = blockMapOf(content, kBlock);
    map.sha256 = QString(64, QLatin1Char('0'));
    downloader->setRaw(blockMapUrl("Kestova-0.2.0.exe"), 200, blockMapJson(map));
    QVERIFY(run().ok);
    QCOMPARE(readFile(inCache("Kestova-0.2.0.exe")), content);
}

void UpdateDownloadTest::untrustworthyBlockMapFallsBackToFullDownload_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("timedOut");

    const QByteArray content = makeContent(3 * kBlock + 9, 4);
    BlockMap bigger = blockMapOf(content, kBlock);
    bigger.fileSize = 100LL * 1024 * 1024 * 1024;
    BlockMap fewer = blockMapOf(content, kBlock);
    fewer.blocks.removeLast();
    BlockMap more = blockMapOf(content, kBlock);
    more.blocks.append(QStringLiteral("extra"));
    BlockMap zeroBlock = blockMapOf(content, kBlock);
    zeroBlock.blockSize = 0;
    BlockMap versionZero = blockMapOf(content, kBlock);
    versionZero.version = 0;

    QTest::newRow("file size of another file") << 200 << blockMapJson(bigger) << false;
    QTest::newRow("too few blocks") << 200 << blockMapJson(fewer) << false;
    QTest::newRow("too many blocks") << 200 << blockMapJson(more) << false;
    QTest::newRow("block size 0") << 200 << blockMapJson(zeroBlock) << false;
    QTest::newRow("version 0") << 200 << blockMapJson(versionZero) << false;
    QTest::newRow("not json") << 200 << QByteArray("<html>") << false;
    QTest::newRow("empty body") << 200 << QByteArray() << false;
    QTest::newRow("server error") << 500 << blockMapJson(blockMapOf(content, kBlock)) << false;
    QTest::newRow("timed out") << 0 << QByteArray() << true;
}

void UpdateDownloadTest::untrustworthyBlockMapFallsBackToFullDownload()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, timedOut);
    const QByteArray content = makeContent(3 * kBlock + 9, 4);
    // A cached installer whose blocks an accepted map would reuse.
    QVERIFY(writeFile(inCache("last.exe"), content));
    QVERIFY(writeFile(inCache("last.blockmap"), blockMapJson(blockMapOf(content, kBlock))));
    offer("0.2.0", "Kestova-0.2.0.exe", content, false);
    HttpResponse response;
    response.status = status;
    response.body = body;
    response.timedOut = timedOut;
    downloader->setRaw(blockMapUrl("Kestova-0.2.0.exe"), response);
    testsupport::LogCapture log;

    QVERIFY(run().ok);
    QVERIFY(log.contains("update", "blockmap unavailable, synthesizing full-download map"));
    QCOMPARE(downloader->rangeBytesServed, content.size());
    QCOMPARE(readFile(inCache("Kestova-0.2.0.exe")), content);
}

void UpdateDownloadTest::cachedMapWithoutCachedInstallerIsIgnored()
{
    const QByteArray content = makeContent(5 * kBlock, 5);
    QVERIFY(writeFile(inCache("last.blockmap"), blockMapJson(blockMapOf(content, kBlock))));
    offer("0.2.0", "Kestova-0.2.0.exe", content, true);
    QVERIFY(run().ok);
    QCOMPARE(downloader->rangeBytesServed, content.size());
    QCOMPARE(readFile(inCache("last.exe")), content);
}

void UpdateDownloadTest::corruptCacheIsRepairedByOneFullRetry()
{
    const QByteArray content = makeContent(4 * kBlock, 6);
    QByteArray corrupt = content;
    corrupt[kBlock + 3] = char(corrupt.at(kBlock + 3) ^ 1);
    // The cached map claims every block matches, so the first attempt downloads nothing.
    QVERIFY(writeFile(inCache("last.exe"), corrupt));
    QVERIFY(writeFile(inCache("last.blockmap"), blockMapJson(blockMapOf(content, kBlock))));
    offer("0.2.0", "Kestova-0.2.0.exe", content, true);
    testsupport::LogCapture log;

    QVERIFY(run().ok);
    QVERIFY(log.contains("update", "sha mismatch, retrying full download"));
    QCOMPARE(service->events.count("started"), 2);
    QCOMPARE(downloader->rangeBytesServed, content.size());
    QCOMPARE(readFile(inCache("Kestova-0.2.0.exe")), content);
    QCOMPARE(readFile(inCache("last.exe")), content);
    QCOMPARE(service->events.last(), QStringLiteral("install"));
}

void UpdateDownloadTest::secondDigestMismatchGivesUp()
{
    const QByteArray content = makeContent(2 * kBlock, 7);
    offer("0.2.0", "Kestova-0.2.0.exe", content, false);
    downloader->setFile(installerUrl("Kestova-0.2.0.exe"), makeContent(2 * kBlock, 8));
    testsupport::LogCapture log;

    Outcome outcome = run();
    QVERIFY(outcome.completed);
    QVERIFY(!outcome.ok);
    QCOMPARE(service->installCalls, 0);
    QCOMPARE(service->events.count("started"), 2);
    QCOMPARE(service->events.last(), QStringLiteral("failed: sha256 mismatch, cache cleared"));
    QVERIFY(log.contains("update", "sha mismatch after retry, giving up: sha256 mismatch, cache cleared"));
    QVERIFY(!QFile::exists(inCache("Kestova-0.2.0.exe")));

    // After a give-up the next attempt gets no second full download.
    service->events.clear();
    outcome = run();
    QVERIFY(!outcome.ok);
    QCOMPARE(service->events.count("started"), 1);
}

void UpdateDownloadTest::transportFailuresFail_data()
{
    QTest::addColumn<bool>("transportError");
    QTest::addColumn<QString>("reason");
    QTest::newRow("range failed") << true << "range download failed: host unreachable";
    QTest::newRow("short range") << false << "range size mismatch: expected 131072 got 131071";
}

void UpdateDownloadTest::transportFailuresFail()
{
    QFETCH(bool, transportError);
    QFETCH(QString, reason);
    const QByteArray content = makeContent(2 * kBlock, 9);
    offer("0.2.0", "Kestova-0.2.0.exe", content, false);
    downloader->setRangeHook([&](const FakeRawDownloader::RangeRequest &request, int) {
        FakeRawDownloader::RangeAnswer answer;
        if (transportError)
            answer = {false, {}, QStringLiteral("host unreachable")};
        else
            answer.data = content.mid(request.first, request.last - request.first);
        return std::optional(answer);
    });
    testsupport::LogCapture log;

    const Outcome outcome = run();
    QVERIFY(outcome.completed);
    QVERIFY(!outcome.ok);
    QCOMPARE(service->events.last(), QStringLiteral("failed: ") + reason);
    QVERIFY(log.contains("update", QStringLiteral("download failed: ") + reason));
    QCOMPARE(service->installCalls, 0);
    QVERIFY(!QFile::exists(inCache("Kestova-0.2.0.exe")));
}

void UpdateDownloadTest::installerNamedLikeTheCacheCopy()
{
    const QByteArray first = makeContent(3 * kBlock, 10);
    QVERIFY(writeFile(inCache("last.exe"), first));
    QVERIFY(writeFile(inCache("last.blockmap"), blockMapJson(blockMapOf(first, kBlock))));
    QByteArray second = first;
    second[2 * kBlock] = char(second.at(2 * kBlock) ^ 1);
    offer("0.2.0", "last.exe", second, true);

    QVERIFY(run().ok);
    QCOMPARE(downloader->rangeBytesServed, qint64(kBlock));
    QCOMPARE(readFile(inCache("last.exe")), second);
    QCOMPARE(readFile(inCache("last.blockmap")), blockMapJson(blockMapOf(second, kBlock)));
}

void UpdateDownloadTest::failedInstallCompletesWithFalse()
{
    const QByteArray content = makeContent(kBlock, 11);
    offer("0.2.0", "Kestova-0.2.0.exe", content, true);
    service->installResult = false;
    auto outcome = std::make_shared<Outcome>();
    service->downloadAndInstall([outcome](bool ok) {
        outcome->completed = true;
        outcome->ok = ok;
    });
    QTRY_VERIFY(outcome->completed);
    QVERIFY(!outcome->ok);
    QCOMPARE(service->installCalls, 1);
}

KESTOVA_TEST_MAIN(UpdateDownloadTest)
#include "test_update_download.moc"
