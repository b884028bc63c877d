#include "update/block_map.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// Sizes beyond this are nonsense for an installer; refusing them keeps later arithmetic defined.
constexpr double kLargestReadableSize = 4611686018427387904.0; // 2^62

bool usableForReuse(const BlockMap &map)
{
    return map.version >= 1 && map.blockSize >= 1 && map.fileSize >= 1 && !map.blocks.isEmpty();
}

} // namespace

BlockMap parseBlockMap(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return {};
    const QJsonObject object = document.object();

    BlockMap map;
    map.version = object.value(QLatin1String("version")).toInt();
    map.blockSize = object.value(QLatin1String("blockSize")).toInt();
    const double size = object.value(QLatin1String("fileSize")).toDouble();
    if (std::isfinite(size) && std::fabs(size) < kLargestReadableSize)
        map.fileSize = qint64(size);
    map.sha256 = object.value(QLatin1String("sha256")).toString();
    const QJsonArray blocks = object.value(QLatin1String("blocks")).toArray();
    map.blocks.reserve(blocks.size());
    for (const QJsonValue &block : blocks)
        map.blocks.append(block.toString());
    return map;
}

QList<int> diffBlocks(const BlockMap &oldMap, const BlockMap &newMap)
{
    const bool reuse = usableForReuse(oldMap) && oldMap.blockSize == newMap.blockSize;
    QList<int> changed;
    for (int i = 0; i < newMap.blocks.size(); ++i) {
        const QString &block = newMap.blocks.at(i);
        if (!reuse || i >= oldMap.blocks.size() || block.isEmpty() || oldMap.blocks.at(i) != block)
            changed.append(i);
    }
    return changed;
}

QList<BlockRange> coalesceBlockRanges(const QList<int> &changedBlocks, int blockSize, qint64 fileSize)
{
    QList<BlockRange> ranges;
    qsizetype i = 0;
    while (i < changedBlocks.size()) {
        const int a = changedBlocks.at(i);
        int b = a;
        ++i;
        while (i < changedBlocks.size() && changedBlocks.at(i) == b + 1 && b - a + 1 < kMaxBlocksPerRange) {
            b = changedBlocks.at(i);
            ++i;
        }
        BlockRange range;
        range.first = qint64(a) * blockSize;
        range.last = std::min(qint64(b + 1) * blockSize, fileSize) - 1;
        range.firstBlock = a;
        range.blockCount = b - a + 1;
        ranges.append(range);
    }
    return ranges;
}

bool blockMapDescribesFile(const BlockMap &map, qint64 fileSize)
{
    if (map.version < 1 || map.blockSize < 1 || fileSize < 1 || map.fileSize != fileSize)
        return false;
    return map.blocks.size() == (fileSize + map.blockSize - 1) / map.blockSize;
}

BlockMap fullDownloadBlockMap(qint64 fileSize)
{
    BlockMap map;
    map.version = 1;
    map.blockSize = kFullDownloadBlockSize;
    map.fileSize = fileSize;
    const qint64 count = (fileSize + kFullDownloadBlockSize - 1) / kFullDownloadBlockSize;
    for (qint64 i = 0; i < count; ++i)
        map.blocks.append(QString());
    return map;
}
