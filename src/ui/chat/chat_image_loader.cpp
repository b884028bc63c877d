#include "ui/chat/chat_image_loader.h"

#include "net/i_raw_downloader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThreadPool>

#include <atomic>
#include <cmath>

struct ChatImageLoader::DiskState
{
    QString cacheDir;
    QMutex diskMutex;
    std::atomic<qint64> diskLimit{kDefaultDiskLimit};

    // The key's file, or empty when the key names no file (nothing left after sanitising).
    QString pathFor(const QString &key) const
    {
        const QString name = sanitizeCacheKey(key);
        if (name.isEmpty())
            return {};
        return cacheDir + QLatin1Char('/') + name;
    }

    QByteArray read(const QString &key)
    {
        const QString path = pathFor(key);
        if (path.isEmpty())
            return {};
        QMutexLocker lock(&diskMutex);
        QFile file(path);
        if (!file.exists() || !file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        // A hit counts as a use: eviction goes by modification time.
        file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
        return bytes;
    }

    void write(const QString &key, const QByteArray &bytes)
    {
        const QString path = pathFor(key);
        if (path.isEmpty())
            return;
        QMutexLocker lock(&diskMutex);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(bytes);
            file.close();
        }
        const QFileInfoList files =
            QDir(cacheDir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
        qint64 total = 0;
        for (const QFileInfo &info : files)
            total += info.size();
        const qint64 limit = diskLimit.load();
        for (const QFileInfo &info : files) {
            if (total <= limit)
                break;
            if (QFile::remove(info.absoluteFilePath()))
                total -= info.size();
        }
    }
};

namespace {

// Decodes with a size check first, so an oversized image fails instead of taking
// the machine's memory; scales down to the target, never up.
QImage decodeAndScaleImage(const QByteArray &bytes, QSize size, qreal ratio)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    if (full.isValid() && qint64(full.width()) * full.height() > ChatImageLoader::kMaxDecodedPixels)
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return {};
    const QSize target(qRound(size.width() * ratio), qRound(size.height() * ratio));
    if (target.isValid() && !target.isEmpty() && (image.width() > target.width() || image.height() > target.height()))
        image = image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// Runs `call` on the GUI thread. A pool task must not look at the loader itself: it
// may be deleted on the GUI thread at that very moment, so the task posts to the
// application object and the loader is checked there, on its own thread.
template<typename Call>
void postToGuiThread(Call call)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

} // namespace

ChatImageLoader::ChatImageLoader(IRawDownloader *downloader_, QObject *parent)
    : QObject(parent)
    , downloader(downloader_)
    , disk(std::make_shared<DiskState>())
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    disk->cacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/chat-media");
    QDir().mkpath(disk->cacheDir);
}

ChatImageLoader::~ChatImageLoader() = default;

QString ChatImageLoader::cacheDirectory() const
{
    return disk->cacheDir;
}

void ChatImageLoader::setCacheLimits(qint64 memoryBytes_, qint64 diskBytes)
{
    memoryLimit = memoryBytes_;
    disk->diskLimit.store(diskBytes);
}

QString ChatImageLoader::sanitizeCacheKey(const QString &key)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9@x_-]"));
    return QString(key).replace(unsafe, QStringLiteral("_"));
}

void ChatImageLoader::load(const QString &key, const QString &url, QSize size, qreal devicePixelRatio,
                           QObject *receiver, Callback callback)
{
    const auto hit = memoryCache.constFind(key);
    if (hit != memoryCache.constEnd()) {
        memoryOrder.removeOne(key);
        memoryOrder.append(key);
        const QPixmap pixmap = hit.value();
        callback(pixmap);
        return;
    }
    const bool first = !pending.contains(key);
    pending[key].append(PendingCallback{QPointer<QObject>(receiver), std::move(callback)});
    if (!first)
        return;

    std::shared_ptr<DiskState> state = disk;
    QPointer<ChatImageLoader> self(this);
    QThreadPool::globalInstance()->start([state, self, key, url, size, devicePixelRatio] {
        const QByteArray bytes = state->read(key);
        postToGuiThread([self, key, url, size, devicePixelRatio, bytes] {
            if (self)
                self->onDiskRead(key, url, size, devicePixelRatio, bytes);
        });
    });
}

void ChatImageLoader::onDiskRead(const QString &key, const QString &url, QSize size, qreal ratio,
                                 const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        startDecode(key, bytes, size, ratio, false);
    else
        fetchFromNetwork(key, url, size, ratio);
}

void ChatImageLoader::setClock(std::function<qint64()> function)
{
    clock = std::move(function);
}

void ChatImageLoader::fetchFromNetwork(const QString &key, const QString &url, QSize size, qreal ratio)
{
    if (url.isEmpty() || !downloader) {
        deliver(key, QPixmap());
        return;
    }
    const auto failed = failedUntil.constFind(url);
    if (failed != failedUntil.constEnd()) {
        if (clock() < *failed) {
            deliver(key, QPixmap());
            return;
        }
        failedUntil.erase(failed);
    }
    QPointer<ChatImageLoader> self(this);
    downloader->rawGet(
        url,
        [self, key, url, size, ratio](const HttpResponse &response) {
            if (!self)
                return;
            if (!response.isSuccess() || response.body.isEmpty()) {
                // Bounded: at most one entry per address that failed within the memory
                // time; older ones are dropped as new failures come in.
                if (self->failedUntil.size() > 4096) {
                    const qint64 now = self->clock();
                    for (auto it = self->failedUntil.begin(); it != self->failedUntil.end();)
                        it = it.value() <= now ? self->failedUntil.erase(it) : std::next(it);
                }
                self->failedUntil.insert(url, self->clock() + kFailureMemoryMs);
                self->deliver(key, QPixmap());
                return;
            }
            self->startDecode(key, response.body, size, ratio, true);
        },
        0);
}

void ChatImageLoader::startDecode(const QString &key, const QByteArray &bytes, QSize size, qreal ratio, bool store)
{
    std::shared_ptr<DiskState> state = disk;
    QPointer<ChatImageLoader> self(this);
    QThreadPool::globalInstance()->start([state, self, key, bytes, size, ratio, store] {
        if (store)
            state->write(key, bytes);
        const QImage image = decodeAndScaleImage(bytes, size, ratio);
        postToGuiThread([self, key, image, ratio] {
            if (self)
                self->onDecoded(key, image, ratio);
        });
    });
}

void ChatImageLoader::onDecoded(const QString &key, const QImage &image, qreal ratio)
{
    QPixmap pixmap;
    if (!image.isNull()) {
        pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(ratio);
        rememberPixmap(key, pixmap);
    }
    deliver(key, pixmap);
}

void ChatImageLoader::deliver(const QString &key, const QPixmap &pixmap)
{
    const QList<PendingCallback> waiters = pending.take(key);
    for (const PendingCallback &waiter : waiters) {
        if (waiter.receiver)
            waiter.callback(pixmap);
    }
}

void ChatImageLoader::rememberPixmap(const QString &key, const QPixmap &pixmap)
{
    if (memoryCache.contains(key))
        return;
    memoryCache.insert(key, pixmap);
    memoryOrder.append(key);
    memoryBytes += qint64(pixmap.width()) * pixmap.height() * 4;
    while (memoryBytes > memoryLimit && !memoryOrder.isEmpty()) {
        const QString oldest = memoryOrder.takeFirst();
        const QPixmap evicted = memoryCache.take(oldest);
        memoryBytes -= qint64(evicted.width()) * evicted.height() * 4;
    }
}
