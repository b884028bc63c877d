#include "support/test_main.h"
#include "update/block_map.h"

using IntList = QList<int>;
Q_DECLARE_METATYPE(BlockMap)

class BlockMapTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void diff_data();
    void diff();
    void coalesce_data();
    void coalesce();
    void describesFile_data();
    void describesFile();
    void fullDownloadMapCoversTheFile();
};

namespace {

BlockMap map(int version, int blockSize, qint64 fileSize, const QStringList &blocks)
{
    BlockMap result;
    result.version = version;
    result.blockSize = blockSize;
    result.fileSize = fileSize;
    result.blocks = blocks;
    return result;
}

// "a-0": block strings from a letter per block.
QStringList blocks(const QString &letters)
{
    QStringList result;
    for (const QChar c : letters)
        result.append(c == QLatin1Char('_') ? QString() : QString(c));
    return result;
}

} // namespace

void BlockMapTest::parse_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<QString>("sha256");
    QTest::addColumn<QStringList>("blockList");

    QTest::newRow("complete") << QByteArray(
        R"({"version":1,"blockSize":4,"fileSize":10,"sha256":"ab","blocks":["x","y","z"]})")
                              << 1 << 4 << qint64(10) << "ab" << QStringList{"x", "y", "z"};
    QTest::newRow("fractional size truncates")
        << QByteArray(R"({"version":1,"blockSize":4,"fileSize":10.7,"blocks":[]})") << 1 << 4 << qint64(10) << ""
        << QStringList{};
    QTest::newRow("non-string block is empty")
        << QByteArray(R"({"version":2,"blockSize":4,"fileSize":8,"blocks":["x",5]})") << 2 << 4 << qint64(8) << ""
        << QStringList{"x", ""};
    QTest::newRow("text numbers are zero") << QByteArray(R"({"version":"1","blockSize":"4","fileSize":"8"})") << 0 << 0
                                           << qint64(0) << "" << QStringList{};
    QTest::newRow("absurd size is zero") << QByteArray(R"({"version":1,"blockSize":4,"fileSize":1e300})") << 1 << 4
                                         << qint64(0) << "" << QStringList{};
    QTest::newRow("array") << QByteArray("[1]") << 0 << 0 << qint64(0) << "" << QStringList{};
    QTest::newRow("no json") << QByteArray("blocks") << 0 << 0 << qint64(0) << "" << QStringList{};
}

void BlockMapTest::parse()
{
    QFETCH(QByteArray, json);
    const BlockMap parsed = parseBlockMap(json);
    QTEST(parsed.version, "version");
    QTEST(parsed.blockSize, "blockSize");
    QTEST(parsed.fileSize, "fileSize");
    QTEST(parsed.sha256, "sha256");
    QTEST(parsed.blocks, "blockList");
}

void BlockMapTest::diff_data()
{
    QTest::addColumn<BlockMap>("oldMap");
    QTest::addColumn<BlockMap>("newMap");
    QTest::addColumn<IntList>("changed");

    const BlockMap newMap = map(1, 4, 20, blocks("abcde"));
    QTest::newRow("identical") << map(1, 4, 20, blocks("abcde")) << newMap << IntList{};
    QTest::newRow("two changed") << map(1, 4, 20, blocks("aXcYe")) << newMap << IntList{1, 3};
    QTest::newRow("new map longer") << map(1, 4, 12, blocks("abc")) << newMap << IntList{3, 4};
    QTest::newRow("new map shorter") << map(1, 4, 20, blocks("abcde")) << map(1, 4, 8, blocks("ab")) << IntList{};
    QTest::newRow("empty old map") << BlockMap{} << newMap << IntList{0, 1, 2, 3, 4};
    QTest::newRow("old version 0") << map(0, 4, 20, blocks("abcde")) << newMap << IntList{0, 1, 2, 3, 4};
    QTest::newRow("old block size 0") << map(1, 0, 20, blocks("abcde")) << newMap << IntList{0, 1, 2, 3, 4};
    QTest::newRow("old file size 0") << map(1, 4, 0, blocks("abcde")) << newMap << IntList{0, 1, 2, 3, 4};
    QTest::newRow("old without blocks") << map(1, 4, 20, {}) << newMap << IntList{0, 1, 2, 3, 4};
    QTest::newRow("other block size") << map(1, 8, 20, blocks("abcde")) << newMap << IntList{0, 1, 2, 3, 4};
    QTest::newRow("empty strings never match")
        << map(1, 4, 20, blocks("a_c_e")) << map(1, 4, 20, blocks("a_c_e")) << IntList{1, 3};
}

void BlockMapTest::diff()
{
    QFETCH(BlockMap, oldMap);
    QFETCH(BlockMap, newMap);
    QTEST(diffBlocks(oldMap, newMap), "changed");
}

void BlockMapTest::coalesce_data()
{
    QTest::addColumn<IntList>("changed");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<qint64>("fileSize");
    // first, last, first block, block count for each range
    QTest::addColumn<QList<qint64>>("expected");

    IntList forty;
    for (int i = 0; i < 40; ++i)
        forty.append(i);
    const qint64 k = 65536;
    QTest::newRow("blocks 0 to 39 make three ranges")
        << forty << 65536 << 40 * k
        << QList<qint64>{0, 16 * k - 1, 0, 16, 16 * k, 32 * k - 1, 16, 16, 32 * k, 40 * k - 1, 32, 8};
    QTest::newRow("gap starts a new range")
        << IntList{3, 4, 7} << 65536 << 10 * k << QList<qint64>{3 * k, 5 * k - 1, 3, 2, 7 * k, 8 * k - 1, 7, 1};
    QTest::newRow("short last block ends at file end")
        << IntList{1, 2} << 10 << qint64(25) << QList<qint64>{10, 24, 1, 2};
    QTest::newRow("nothing changed") << IntList{} << 10 << qint64(25) << QList<qint64>{};
    QTest::newRow("seventeen in a row") << IntList{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16} << 1
                                        << qint64(17) << QList<qint64>{0, 15, 0, 16, 16, 16, 16, 1};
}

void BlockMapTest::coalesce()
{
    QFETCH(IntList, changed);
    QFETCH(int, blockSize);
    QFETCH(qint64, fileSize);
    QFETCH(QList<qint64>, expected);

    QList<qint64> flat;
    for (const BlockRange &range : coalesceBlockRanges(changed, blockSize, fileSize))
        flat << range.first << range.last << range.firstBlock << range.blockCount;
    QCOMPARE(flat, expected);
}

void BlockMapTest::describesFile_data()
{
    QTest::addColumn<BlockMap>("blockMap");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<bool>("describes");

    QTest::newRow("exact") << map(1, 4, 10, blocks("abc")) << qint64(10) << true;
    QTest::newRow("size of other file") << map(1, 4, 10, blocks("abc")) << qint64(11) << false;
    QTest::newRow("too few blocks") << map(1, 4, 10, blocks("ab")) << qint64(10) << false;
    QTest::newRow("too many blocks") << map(1, 4, 10, blocks("abcd")) << qint64(10) << false;
    QTest::newRow("block size 0") << map(1, 0, 10, blocks("abc")) << qint64(10) << false;
    QTest::newRow("negative block size") << map(1, -4, 10, blocks("abc")) << qint64(10) << false;
    QTest::newRow("version 0") << map(0, 4, 10, blocks("abc")) << qint64(10) << false;
    QTest::newRow("empty file") << map(1, 4, 0, {}) << qint64(0) << false;
}

void BlockMapTest::describesFile()
{
    QFETCH(BlockMap, blockMap);
    QFETCH(qint64, fileSize);
    QTEST(blockMapDescribesFile(blockMap, fileSize), "describes");
}

void BlockMapTest::fullDownloadMapCoversTheFile()
{
    const BlockMap full = fullDownloadBlockMap(3 * 65536 + 1);
    QCOMPARE(full.blockSize, 65536);
    QCOMPARE(full.blocks.size(), 4);
    QVERIFY(blockMapDescribesFile(full, 3 * 65536 + 1));
    // Nothing of an old map, however it looks, is reused for it.
    BlockMap old = full;
    QCOMPARE(diffBlocks(old, full), (IntList{0, 1, 2, 3}));
}

KESTOVA_TEST_MAIN(BlockMapTest)
#include "test_block_map.moc"
