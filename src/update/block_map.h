#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The block map of one installer file. Block i covers the bytes from i × blockSize up to
// the smaller of (i + 1) × blockSize and fileSize. Block strings are opaque digests that
// are only compared between two maps.
struct BlockMap
{
    int version = 0;
    int blockSize = 0;
    qint64 fileSize = 0;
    QString sha256;
    QStringList blocks;
};

// One ranged request: bytes first to last (inclusive), covering blockCount blocks from firstBlock.
struct BlockRange
{
    qint64 first = 0;
    qint64 last = 0;
    int firstBlock = 0;
    int blockCount = 0;
};

// Block size of a map made up for a full download.
inline constexpr int kFullDownloadBlockSize = 65536;
// Most blocks one ranged request covers.
inline constexpr int kMaxBlocksPerRange = 16;

// Reads block-map JSON; text that is no JSON object gives an empty map (all zero, no blocks).
BlockMap parseBlockMap(const QByteArray &bytes);

// Ascending indices of the new map's blocks that the old map cannot supply. An empty block
// string matches nothing, so it is always downloaded.
QList<int> diffBlocks(const BlockMap &oldMap, const BlockMap &newMap);

// Consecutive changed blocks share a range of at most kMaxBlocksPerRange blocks; a gap starts
// a new range. The last range ends at fileSize - 1.
QList<BlockRange> coalesceBlockRanges(const QList<int> &changedBlocks, int blockSize, qint64 fileSize);

// True when the map describes a file of exactly fileSize bytes: usable version, a block size
// of at least 1 and one block string for every started block.
bool blockMapDescribesFile(const BlockMap &map, qint64 fileSize);

// A map for a file of fileSize bytes whose every block must be downloaded.
BlockMap fullDownloadBlockMap(qint64 fileSize);
