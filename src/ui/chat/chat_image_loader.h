#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class IRawDownloader;
class QImage;

// Thumbnails of chat image attachments, from a memory cache of decoded pixmaps,
// a disk cache of downloaded files ("chat-media" under the cache location), or the
// network, in that order. Loads of one key share one disk read, download and decode.
//
// Threads: every public function and every callback runs on the GUI thread. Disk
// access, decoding and scaling run on the global thread pool; their results come
// back as queued calls. The disk state the pool tasks use is shared with them, so a
// task that outlives the loader still finds its mutex and folder.
class ChatImageLoader : public QObject
{
    Q_OBJECT
public:
    using Callback = std::function<void(const QPixmap &)>;

    static constexpr qint64 kDefaultMemoryLimit = 64LL * 1024 * 1024;
    static constexpr qint64 kDefaultDiskLimit = 256LL * 1024 * 1024;
    // Images larger than this many pixels are refused before decoding: a crafted
    // file must not hold gigabytes of memory or minutes of work.
    static constexpr qint64 kMaxDecodedPixels = 64LL * 1024 * 1024;

    ChatImageLoader(IRawDownloader *downloader, QObject *parent = nullptr);
    ~ChatImageLoader() override;

    // `size` is the logical display size, `devicePixelRatio` that of the requesting
    // widget. The callback gets the pixmap, or a null one when the image cannot be
    // had: at once on a memory hit, otherwise later and only while `receiver` lives.
    void load(const QString &key, const QString &url, QSize size, qreal devicePixelRatio, QObject *receiver,
              Callback callback);

    QString cacheDirectory() const;
    // Tests use small limits instead of hundreds of megabytes of images.
    void setCacheLimits(qint64 memoryBytes, qint64 diskBytes);

    // How long a failed download is remembered: loads of its address within that time
    // get a null pixmap without asking the network again (a feed builds its rows again
    // whenever they scroll back into view).
    static constexpr qint64 kFailureMemoryMs = 60 * 1000;
    // Milliseconds since the epoch; tests move it instead of waiting.
    void setClock(std::function<qint64()> clock);

    // The key's file name in the disk cache: every character but [A-Za-z0-9@x_-] becomes "_".
    static QString sanitizeCacheKey(const QString &key);

private:
    struct PendingCallback
    {
        QPointer<QObject> receiver;
        Callback callback;
    };
    struct DiskState;

    void onDiskRead(const QString &key, const QString &url, QSize size, qreal ratio, const QByteArray &bytes);
    void fetchFromNetwork(const QString &key, const QString &url, QSize size, qreal ratio);
    void startDecode(const QString &key, const QByteArray &bytes, QSize size, qreal ratio, bool store);
    void onDecoded(const QString &key, const QImage &image, qreal ratio);
    void deliver(const QString &key, const QPixmap &pixmap);
    void rememberPixmap(const QString &key, const QPixmap &pixmap);

    IRawDownloader *downloader = nullptr;
    QHash<QString, QPixmap> memoryCache;
    QList<QString> memoryOrder;
    qint64 memoryBytes = 0;
    qint64 memoryLimit = kDefaultMemoryLimit;
    QHash<QString, QList<PendingCallback>> pending;
    QHash<QString, qint64> failedUntil; // by address; entries go when they expire
    std::shared_ptr<DiskState> disk;
    std::function<qint64()> clock;
};
