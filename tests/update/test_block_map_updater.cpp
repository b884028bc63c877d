#include "fake_raw_downloader.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "update/block_map_updater.h"
#include "update_test_kit.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace updatetest;
using Reason = BlockMapUpdater::FinishReason;

namespace {

const QString kUrl = QStringLiteral("https://assets.test/core/new.exe");
constexpr int kBlock = 1024;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Old and new content of 21 blocks and a bit: blocks 3, 4 and 7 differ, and the new file has
// two blocks more than the old one.
struct DeltaPair
{
    QByteArray oldContent;
    QByteArray newContent;
};

DeltaPair deltaPair()
{
    DeltaPair pair;
    pair.oldContent = makeContent(20 * kBlock + 300, 7);
    pair.newContent = pair.oldContent;
    for (int block : {3, 4, 7})
        pair.newContent[block * kBlock + 5] = char(pair.newContent.at(block * kBlock + 5) ^ 0x5a);
    pair.newContent.append(makeContent(2 * kBlock - 300 + 17, 9));
    return pair;
}

} // namespace

class BlockMapUpdaterTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void deltaFetchesOnlyChangedRanges();
    void unchangedBlocksAreStillChecked_data();
    void unchangedBlocksAreStillChecked();
    void badRangeAnswersFail_data();
    void badRangeAnswersFail();
    void digestMismatchClearsTheCache();
    void digestComparisonIgnoresCase();
    void emptyDigestSkipsTheCheck();
    void unwritableOutputFails();
    void inconsistentMapIsRefused_data();
    void inconsistentMapIsRefused();
    void restartDropsTheEarlierRun();
    void cancelBeforeNextRangeReportsCancelled();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString oldPath() const { return dir->filePath(QStringLiteral("last.exe")); }
    QString outPath() const { return dir->filePath(QStringLiteral("new.exe")); }
};

void BlockMapUpdaterTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void BlockMapUpdaterTest::deltaFetchesOnlyChangedRanges()
{
    const DeltaPair pair = deltaPair();
    QVERIFY(writeFile(oldPath(), pair.oldContent));
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, pair.newContent);
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);
    QSignalSpy progress(&updater, &BlockMapUpdater::progress);
    testsupport::LogCapture log;

    updater.start(kUrl, blockMapOf(pair.oldContent, kBlock), blockMapOf(pair.newContent, kBlock), oldPath(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::Success);
    QCOMPARE(readFile(outPath()), pair.newContent);

    // Blocks 3-4, 7, and the last two blocks 20-21 (the old last block was short, so it changed too).
    QList<QPair<qint64, qint64>> asked;
    for (const auto &request : downloader.rangeRequests)
        asked.append({request.first, request.last});
    const qint64 size = pair.newContent.size();
    const QList<QPair<qint64, qint64>> expected{{3 * kBlock, 5 * kBlock - 1},
                                                {7 * kBlock, 8 * kBlock - 1},
                                                {20 * kBlock, size - 1}};
    QCOMPARE(asked, expected);
    const qint64 total = 3 * kBlock + (size - 20 * kBlock);
    QCOMPARE(downloader.rangeBytesServed, total);
    QCOMPARE(progress.first().at(0).toLongLong(), 0);
    QCOMPARE(progress.last().at(0).toLongLong(), total);
    QCOMPARE(progress.last().at(1).toLongLong(), total);
    QVERIFY(log.contains("update", "incremental download starting total_blocks=23 changed_blocks=6 "
                                   "range_requests=3"));
    QVERIFY(log.contains("update", "download completed and verified output_path="));
}

void BlockMapUpdaterTest::unchangedBlocksAreStillChecked_data()
{
    QTest::addColumn<bool>("corruptOldFile");
    QTest::addColumn<Reason>("reason");
    QTest::newRow("old file intact") << false << Reason::Success;
    QTest::newRow("old file corrupt") << true << Reason::ShaFailureRetryable;
}

void BlockMapUpdaterTest::unchangedBlocksAreStillChecked()
{
    QFETCH(bool, corruptOldFile);
    QFETCH(Reason, reason);
    const QByteArray content = makeContent(5 * kBlock + 10, 3);
    QByteArray onDisk = content;
    if (corruptOldFile)
        onDisk[2 * kBlock] = char(onDisk.at(2 * kBlock) ^ 1);
    QVERIFY(writeFile(oldPath(), onDisk));
    FakeRawDownloader downloader;
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);

    const BlockMap map = blockMapOf(content, kBlock);
    updater.start(kUrl, map, map, oldPath(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), reason);
    QVERIFY(downloader.rangeRequests.isEmpty());
    if (reason == Reason::Success)
        QCOMPARE(readFile(outPath()), content);
    else
        QVERIFY(!QFile::exists(outPath()));
}

void BlockMapUpdaterTest::badRangeAnswersFail_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("detail");
    QTest::newRow("one byte short") << 0 << "range size mismatch: expected 2048 got 2047";
    QTest::newRow("range ignored, whole file")
        << 1 << QString("range size mismatch: expected 2048 got %1").arg(8 * kBlock);
    QTest::newRow("transport error") << 2 << "range download failed: connection refused";
}

void BlockMapUpdaterTest::badRangeAnswersFail()
{
    QFETCH(int, kind);
    QFETCH(QString, detail);
    const QByteArray oldContent = makeContent(8 * kBlock, 1);
    QByteArray newContent = oldContent;
    newContent[2 * kBlock] = char(newContent.at(2 * kBlock) ^ 1);
    newContent[3 * kBlock] = char(newContent.at(3 * kBlock) ^ 1);
    QVERIFY(writeFile(oldPath(), oldContent));

    FakeRawDownloader downloader;
    downloader.setFile(kUrl, newContent);
    downloader.setRangeHook([&](const FakeRawDownloader::RangeRequest &request, int) {
        FakeRawDownloader::RangeAnswer answer;
        if (kind == 0)
            answer.data = newContent.mid(request.first, request.last - request.first);
        else if (kind == 1)
            answer.data = newContent;
        else
            answer = {false, {}, QStringLiteral("connection refused")};
        return std::optional(answer);
    });
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);

    updater.start(kUrl, blockMapOf(oldContent, kBlock), blockMapOf(newContent, kBlock), oldPath(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::NetworkError);
    QCOMPARE(finished.at(0).at(1).toString(), detail);
    QVERIFY(!QFile::exists(outPath()));
    QCOMPARE(readFile(oldPath()), oldContent);
    QTest::qWait(20);
    QCOMPARE(finished.size(), 1);
}

void BlockMapUpdaterTest::digestMismatchClearsTheCache()
{
    const QByteArray content = makeContent(4 * kBlock, 5);
    QVERIFY(writeFile(oldPath(), content));
    const QString lastMap = dir->filePath(QStringLiteral("last.blockmap"));
    QVERIFY(writeFile(lastMap, blockMapJson(blockMapOf(content, kBlock))));
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, makeContent(4 * kBlock, 6));
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);
    testsupport::LogCapture log;

    BlockMap newMap = blockMapOf(content, kBlock);
    newMap.blocks[1] = QStringLiteral("changed");
    updater.start(kUrl, blockMapOf(content, kBlock), newMap, oldPath(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::ShaFailureRetryable);
    QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("sha256 mismatch, cache cleared"));
    QVERIFY(!QFile::exists(outPath()));
    QVERIFY(!QFile::exists(oldPath()));
    QVERIFY(!QFile::exists(lastMap));
    QVERIFY(log.contains("update", "sha256 verify failed, cache cleared, requesting full retry"));
}

void BlockMapUpdaterTest::digestComparisonIgnoresCase()
{
    const QByteArray content = makeContent(3 * kBlock + 1, 8);
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, content);
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);

    BlockMap map = blockMapOf(content, kBlock);
    map.sha256 = map.sha256.toUpper();
    updater.start(kUrl, BlockMap{}, map, QString(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::Success);
    QCOMPARE(readFile(outPath()), content);
}

void BlockMapUpdaterTest::emptyDigestSkipsTheCheck()
{
    const QByteArray served = makeContent(2 * kBlock, 11);
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, served);
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);

    BlockMap map = blockMapOf(makeContent(2 * kBlock, 12), kBlock);
    map.sha256.clear();
    updater.start(kUrl, BlockMap{}, map, QString(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::Success);
    QCOMPARE(readFile(outPath()), served);
}

void BlockMapUpdaterTest::unwritableOutputFails()
{
    const QByteArray content = makeContent(kBlock, 4);
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, content);
    // A plain file where the output's folder should be: nothing can be created below it.
    const QString blocker = dir->filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, "x"));
    const QString output = blocker + QStringLiteral("/sub/new.exe");
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);

    updater.start(kUrl, BlockMap{}, blockMapOf(content, kBlock), QString(), output);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::NetworkError);
    QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("write output file failed: ") + output);
}

void BlockMapUpdaterTest::inconsistentMapIsRefused_data()
{
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<int>("blockCount");
    QTest::newRow("blocks cover more than the file") << qint64(2 * kBlock) << 100000;
    QTest::newRow("blocks cover less than the file") << qint64(100 * kBlock) << 2;
    QTest::newRow("beyond the largest installer") << qint64(600) * 1024 * 1024 << 600 * 1024;
}

void BlockMapUpdaterTest::inconsistentMapIsRefused()
{
    QFETCH(qint64, fileSize);
    QFETCH(int, blockCount);
    BlockMap map;
    map.version = 1;
    map.blockSize = kBlock;
    map.fileSize = fileSize;
    for (int i = 0; i < blockCount; ++i)
        map.blocks.append(QStringLiteral("b"));
    FakeRawDownloader downloader;
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);

    updater.start(kUrl, BlockMap{}, map, QString(), outPath());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::NetworkError);
    QVERIFY(downloader.rangeRequests.isEmpty());
    QVERIFY(!QFile::exists(outPath()));
}

void BlockMapUpdaterTest::restartDropsTheEarlierRun()
{
    const QByteArray first = makeContent(3 * kBlock, 21);
    const QByteArray second = makeContent(3 * kBlock, 22);
    const QString secondUrl = kUrl + QStringLiteral("2");
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, first);
    downloader.setFile(secondUrl, second);
    downloader.setHoldRanges(true);
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);
    QSignalSpy progress(&updater, &BlockMapUpdater::progress);

    updater.start(kUrl, BlockMap{}, blockMapOf(first, kBlock), QString(), outPath());
    QTRY_COMPARE(downloader.rangeRequests.size(), 1);
    updater.start(secondUrl, BlockMap{}, blockMapOf(second, kBlock), QString(), outPath());
    downloader.setHoldRanges(false);
    downloader.releaseHeld(); // the first run's answer arrives late and must be ignored

    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::Success);
    QCOMPARE(readFile(outPath()), second);
    QCOMPARE(downloader.rangeBytesServed, second.size());
    QCOMPARE(downloader.rangeRequests.last().url, secondUrl);
    for (const QList<QVariant> &report : std::as_const(progress))
        QVERIFY(report.at(0).toLongLong() == 0 || report.at(0).toLongLong() == second.size());
    QTest::qWait(20);
    QCOMPARE(finished.size(), 1);
}

void BlockMapUpdaterTest::cancelBeforeNextRangeReportsCancelled()
{
    // Two separate ranges (blocks 0 and 2), cancelled once the first has arrived.
    const QByteArray oldContent = makeContent(3 * kBlock, 31);
    QByteArray newContent = oldContent;
    newContent[0] = char(newContent.at(0) ^ 1);
    newContent[2 * kBlock] = char(newContent.at(2 * kBlock) ^ 1);
    QVERIFY(writeFile(oldPath(), oldContent));
    FakeRawDownloader downloader;
    downloader.setFile(kUrl, newContent);
    BlockMapUpdater updater(&downloader);
    QSignalSpy finished(&updater, &BlockMapUpdater::finished);
    connect(&updater, &BlockMapUpdater::progress, &updater, [&updater](qint64 done, qint64) {
        if (done > 0)
            updater.cancel();
    });

    updater.start(kUrl, blockMapOf(oldContent, kBlock), blockMapOf(newContent, kBlock), oldPath(), outPath());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<Reason>(), Reason::Cancelled);
    QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("download cancelled"));
    QCOMPARE(downloader.rangeRequests.size(), 1);
    QVERIFY(!QFile::exists(outPath()));
}

KESTOVA_TEST_MAIN(BlockMapUpdaterTest)
#include "test_block_map_updater.moc"
