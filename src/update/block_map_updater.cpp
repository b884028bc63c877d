#include "update/block_map_updater.h"

#include "net/i_raw_downloader.h"
#include "update/update_log.h"
#include "update/update_manifest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <cstring>

namespace {

using FinishReason = BlockMapUpdater::FinishReason;
using LiveFlag = std::shared_ptr<std::atomic_bool>;

constexpr qint64 kHashReadSize = 65536;

// Runs fn on the GUI thread, unless the run it belongs to has ended by then.
template<typename Fn>
void postToGui(const LiveFlag &live, Fn fn)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [live, fn = std::move(fn)]() mutable {
            if (live->load())
                fn();
        },
        Qt::QueuedConnection);
}

// Pool thread: the new image with every reusable block of the old file copied in.
QByteArray reuseBlocks(const BlockMap &oldMap, const BlockMap &newMap, const QString &oldFilePath,
                       const QList<int> &changedBlocks)
{
    QByteArray image(newMap.fileSize, '\0');
    if (oldFilePath.isEmpty() || !QFileInfo::exists(oldFilePath))
        return image;
    if (oldMap.version < 1 || oldMap.blockSize < 1 || oldMap.fileSize < 1 || oldMap.blocks.isEmpty())
        return image;
    QFile oldFile(oldFilePath);
    if (!oldFile.open(QIODevice::ReadOnly))
        return image;

    const QSet<int> changed(changedBlocks.cbegin(), changedBlocks.cend());
    const qint64 blockSize = newMap.blockSize;
    for (int i = 0; i < newMap.blocks.size() && i < oldMap.blocks.size(); ++i) {
        if (changed.contains(i) || newMap.blocks.at(i).isEmpty() || oldMap.blocks.at(i) != newMap.blocks.at(i))
            continue;
        const qint64 position = qint64(i) * blockSize;
        const qint64 length = std::min({blockSize, oldMap.fileSize - position, newMap.fileSize - position});
        if (length <= 0 || !oldFile.seek(position))
            continue;
        const QByteArray block = oldFile.read(length);
        std::memcpy(image.data() + position, block.constData(), size_t(block.size()));
    }
    return image;
}

QString fileSha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(kHashReadSize);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
            return {};
        hash.addData(chunk);
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

BlockMapUpdater::BlockMapUpdater(IRawDownloader *downloader_, QObject *parent)
    : QObject(parent)
    , downloader(downloader_)
    , live(std::make_shared<std::atomic_bool>(false))
{}

BlockMapUpdater::~BlockMapUpdater()
{
    endRun();
}

void BlockMapUpdater::start(const QString &fileUrl, const BlockMap &oldFileMap, const BlockMap &newFileMap,
                            const QString &oldPath, const QString &outPath)
{
    endRun();

    url = fileUrl;
    oldMap = oldFileMap;
    newMap = newFileMap;
    oldFilePath = oldPath;
    outputPath = outPath;
    cancelled = false;

    live = std::make_shared<std::atomic_bool>(true);
    image.clear();
    changedBlocks.clear();
    ranges.clear();
    bytesTotal = 0;
    bytesDownloaded = 0;
    rangeIndex = 0;

    // The map decides how much memory is taken and where ranges land: it must describe
    // exactly the file it claims, within the largest installer accepted.
    if (newMap.fileSize > kMaxInstallerSize || !blockMapDescribesFile(newMap, newMap.fileSize)) {
        qCWarning(lcUpdate) << "block map refused file_size=" << newMap.fileSize << "block_size=" << newMap.blockSize
                            << "blocks=" << newMap.blocks.size();
        live->store(false);
        emit finished(FinishReason::NetworkError, QStringLiteral("invalid block map"));
        return;
    }

    changedBlocks = diffBlocks(oldMap, newMap);
    ranges = coalesceBlockRanges(changedBlocks, newMap.blockSize, newMap.fileSize);
    for (const BlockRange &range : std::as_const(ranges))
        bytesTotal += range.last - range.first + 1;

    qCInfo(lcUpdate).nospace() << "incremental download starting total_blocks=" << newMap.blocks.size()
                               << " changed_blocks=" << changedBlocks.size() << " range_requests=" << ranges.size()
                               << " download_bytes=" << bytesTotal << " file_size=" << newMap.fileSize;
    emit progress(0, bytesTotal);

    // Even with nothing to download the file is assembled from the old one and checked:
    // an unchanged block list proves nothing about the bytes on disk.
    const LiveFlag runLive = live;
    QThreadPool::globalInstance()->start(
        [this, runLive, oldMap = oldMap, newMap = newMap, oldPath = oldFilePath, changed = changedBlocks] {
            QByteArray built = reuseBlocks(oldMap, newMap, oldPath, changed);
            postToGui(runLive, [this, built = std::move(built)]() mutable {
                image = std::move(built);
                downloadNextRange();
            });
        });
}

void BlockMapUpdater::cancel()
{
    endRun();
}

void BlockMapUpdater::endRun()
{
    cancelled = true;
    live->store(false);
    currentRequest.cancel();
    currentRequest = {};
}

void BlockMapUpdater::downloadNextRange()
{
    if (cancelled) {
        emit finished(FinishReason::Cancelled, QStringLiteral("download cancelled"));
        return;
    }
    if (rangeIndex >= ranges.size()) {
        writeAndVerify();
        return;
    }
    const BlockRange range = ranges.at(rangeIndex);
    const LiveFlag runLive = live;
    currentRequest = downloader->rangeGet(
        url, range.first, range.last,
        [this, runLive, range](bool ok, const QByteArray &data, const QString &error) {
            if (runLive->load())
                onRangeReply(range, ok, data, error);
        },
        0);
}

void BlockMapUpdater::onRangeReply(const BlockRange &range, bool ok, const QByteArray &data, const QString &error)
{
    currentRequest = {};
    if (!ok) {
        emit finished(FinishReason::NetworkError, QStringLiteral("range download failed: %1").arg(error));
        return;
    }
    const qint64 expected = range.last - range.first + 1;
    if (data.size() != expected) {
        emit finished(FinishReason::NetworkError,
                      QStringLiteral("range size mismatch: expected %1 got %2").arg(expected).arg(data.size()));
        return;
    }
    std::memcpy(image.data() + range.first, data.constData(), size_t(expected));
    bytesDownloaded += expected;
    emit progress(bytesDownloaded, bytesTotal);
    ++rangeIndex;

    // The next request starts after this callback has returned. A step left over from an
    // ended run must not act on a newer one; a cancelled run still reports Cancelled.
    const LiveFlag runLive = live;
    QTimer::singleShot(0, this, [this, runLive] {
        if (runLive == live)
            downloadNextRange();
    });
}

void BlockMapUpdater::writeAndVerify()
{
    image.resize(newMap.fileSize);
    QDir().mkpath(QFileInfo(outputPath).absolutePath());

    const LiveFlag runLive = live;
    QThreadPool::globalInstance()->start([this, runLive, outPath = outputPath, expected = newMap.sha256,
                                          oldPath = oldFilePath, built = std::move(image)]() mutable {
        QSaveFile output(outPath);
        const bool written =
            output.open(QIODevice::WriteOnly) && output.write(built) == built.size() && output.commit();
        built = QByteArray();
        if (!written) {
            postToGui(runLive, [this, outPath] {
                emit finished(FinishReason::NetworkError, QStringLiteral("write output file failed: %1").arg(outPath));
            });
            return;
        }

        if (!expected.isEmpty() && fileSha256(outPath).compare(expected, Qt::CaseInsensitive) != 0) {
            QFile::remove(outPath);
            if (!oldPath.isEmpty()) {
                QFile::remove(oldPath);
                QFile::remove(QFileInfo(oldPath).dir().filePath(QStringLiteral("last.blockmap")));
            }
            qCWarning(lcUpdate) << "sha256 verify failed, cache cleared, requesting full retry";
            postToGui(runLive, [this] {
                emit finished(FinishReason::ShaFailureRetryable, QStringLiteral("sha256 mismatch, cache cleared"));
            });
            return;
        }

        qCInfo(lcUpdate).nospace().noquote() << "download completed and verified output_path=" << outPath;
        postToGui(runLive, [this] { emit finished(FinishReason::Success, QString()); });
    });
}
