#pragma once

#include "net/raw_request_handle.h"
#include "update/block_map.h"

#include <QObject>

#include <atomic>
#include <memory>

class IRawDownloader;

// Builds a new file from the unchanged blocks of an old file and ranged downloads of the
// changed ones, writes it and checks its SHA-256. Lives on the GUI thread; reading the old
// file and writing and checking the new one run on the global thread pool.
class BlockMapUpdater : public QObject
{
    Q_OBJECT
public:
    enum class FinishReason { Success = 0, NetworkError = 1, ShaFailureRetryable = 2, Cancelled = 3 };
    Q_ENUM(FinishReason)

    BlockMapUpdater(IRawDownloader *downloader, QObject *parent = nullptr);
    ~BlockMapUpdater() override;

    // GUI thread. Ends any earlier run and starts a new one; its outcome is one `finished`.
    void start(const QString &url, const BlockMap &oldMap, const BlockMap &newMap, const QString &oldFilePath,
               const QString &outputPath);
    // GUI thread. Ends the current run; nothing of it acts any more.
    void cancel();

signals:
    void progress(qint64 bytesDownloaded, qint64 bytesTotal);
    void finished(BlockMapUpdater::FinishReason reason, const QString &detail);

private:
    void downloadNextRange();
    void writeAndVerify();
    void onRangeReply(const BlockRange &range, bool ok, const QByteArray &data, const QString &error);
    void endRun();

    IRawDownloader *downloader;
    QString url;
    BlockMap oldMap;
    BlockMap newMap;
    QString oldFilePath;
    QString outputPath;
    QList<int> changedBlocks;
    QList<BlockRange> ranges;
    int rangeIndex = 0;
    QByteArray image;
    qint64 bytesTotal = 0;
    qint64 bytesDownloaded = 0;
    bool cancelled = false;
    RawRequestHandle currentRequest;
    std::shared_ptr<std::atomic_bool> live;
};
