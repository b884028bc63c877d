#include "update/update_service.h"

#include "build_config.h"
#include "net/i_raw_downloader.h"
#include "net/server_addresses.h"
#include "storage/data_root.h"
#include "update/block_map.h"
#include "update/block_map_updater.h"
#include "update/update_lock.h"
#include "update/update_log.h"
#include "update/update_manifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QThreadPool>
#include <QTimer>

namespace {

constexpr int kQuitDelayMs = 200;
constexpr qint64 kCopyChunkSize = 1 << 20;

QString lastInstallerName()
{
    return QStringLiteral("last.exe");
}

QString lastBlockMapName()
{
    return QStringLiteral("last.blockmap");
}

// Replaces `target` with a copy of `source` in one step: the old target stays until the
// complete copy exists.
bool replaceWithCopy(const QString &source, const QString &target)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return false;
    QSaveFile output(target);
    if (!output.open(QIODevice::WriteOnly))
        return false;
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(kCopyChunkSize);
        if (chunk.isEmpty() || output.write(chunk) != chunk.size()) {
            output.cancelWriting();
            return false;
        }
    }
    return output.commit();
}

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

UpdateService::UpdateService(IRawDownloader *downloader_, QObject *parent)
    : QObject(parent)
    , downloader(downloader_)
{}

UpdateService::~UpdateService() = default;

ManifestVerdict UpdateService::evaluateManifest(const QByteArray &manifest, const QByteArray &signature)
{
    if (manifest.isEmpty() || signature.isEmpty()) {
        qCWarning(lcUpdate) << "latest.json or sig empty, refusing update";
        return ManifestVerdict::Refused;
    }
    // An unsigned manifest is never parsed.
    if (!verifySignature(manifest, signature)) {
        qCWarning(lcUpdate) << "latest.json signature INVALID, refusing update";
        return ManifestVerdict::Refused;
    }
    qCInfo(lcUpdate) << "latest.json signature verified";

    const UpdateManifest parsed = parseUpdateManifest(manifest);
    if (!parsed.valid) {
        qCWarning(lcUpdate) << "latest.json parse/validation failed";
        return ManifestVerdict::Refused;
    }

    const QString current = QString::fromLatin1(buildconfig::kClientVersion);
    if (compareVersions(current, parsed.version) < 0) {
        pendingVersion = parsed.version;
        pendingFileName = parsed.fileName;
        pendingFileSize = parsed.fileSize;
        pendingSha256 = parsed.sha256;
        qCInfo(lcUpdate).nospace().noquote() << "new version available version=" << parsed.version;
        return ManifestVerdict::UpdateAvailable;
    }
    qCInfo(lcUpdate).nospace().noquote() << "client up to date current=" << current;
    return ManifestVerdict::UpToDate;
}

bool UpdateService::verifySignature(const QByteArray &manifest, const QByteArray &signature)
{
    return verifyManifestSignature(manifest, signature);
}

void UpdateService::downloadAndInstall(Completion completion)
{
    beginDownload([this, completion](bool ok) {
        if (ok && install())
            return;
        if (completion)
            completion(false);
    });
}

QString UpdateService::ensureCacheDir() const
{
    const QString path = QDir(dataRoot()).filePath(QStringLiteral("update-cache/%1").arg(QStringLiteral("core")));
    QDir().mkpath(path);
    return path;
}

void UpdateService::beginDownload(Completion completion)
{
    if (pendingFileName.isEmpty()) {
        emit failed(QStringLiteral("no pending file"));
        completion(false);
        return;
    }
    qCInfo(lcUpdate).nospace().noquote() << "begin download version=" << pendingVersion << " file=" << pendingFileName
                                         << " size=" << pendingFileSize;
    emit downloadStarted();

    const QString blockMapUrl =
        QStringLiteral("%1/%2/%3.blockmap").arg(serveraddress::assetBaseUrl(), QStringLiteral("core"), pendingFileName);
    QPointer<UpdateService> self(this);
    downloader->rawGet(
        blockMapUrl,
        [self, completion](const HttpResponse &response) {
            if (self)
                self->onBlockMapReply(response, completion);
        },
        0);
}

void UpdateService::onBlockMapReply(const HttpResponse &response, const Completion &completion)
{
    const bool received = response.isSuccess() && !response.body.isEmpty();

    // The block map is not signed: it is trusted only to describe a file of the signed size,
    // so that it can never direct a read or write beyond it.
    BlockMap newMap;
    if (received)
        newMap = parseBlockMap(response.body);
    const bool usable = received && blockMapDescribesFile(newMap, pendingFileSize);
    if (!usable) {
        qCInfo(lcUpdate) << "blockmap unavailable, synthesizing full-download map";
        newMap = fullDownloadBlockMap(pendingFileSize);
    }
    // The signed manifest, not the block map, decides the digest.
    newMap.sha256 = pendingSha256;
    const QByteArray blockMapBody = usable ? response.body : QByteArray();

    const QDir cacheDir(ensureCacheDir());
    const QString oldFile = cacheDir.filePath(lastInstallerName());
    BlockMap oldMap;
    if (QFileInfo::exists(oldFile)) {
        QFile oldMapFile(cacheDir.filePath(lastBlockMapName()));
        if (oldMapFile.open(QIODevice::ReadOnly))
            oldMap = parseBlockMap(oldMapFile.readAll());
    }
    installerPath = cacheDir.filePath(pendingFileName);

    if (updater) {
        // The earlier run's outcome belongs to an attempt that is over.
        disconnect(updater, nullptr, this, nullptr);
        updater->cancel();
        updater->deleteLater();
    }
    updater = new BlockMapUpdater(downloader, this);
    connect(updater, &BlockMapUpdater::progress, this,
            [this](qint64 done, qint64 total) { emit downloadProgress(total > 0 ? int(done * 100 / total) : 0); });
    connect(updater, &BlockMapUpdater::finished, this,
            [this, completion, blockMapBody](BlockMapUpdater::FinishReason reason, const QString &detail) {
                switch (reason) {
                    case BlockMapUpdater::FinishReason::Success:
                        shaRetried = false;
                        refreshCache(blockMapBody, completion);
                        return;
                    case BlockMapUpdater::FinishReason::ShaFailureRetryable:
                        if (shaRetried) {
                            qCWarning(lcUpdate).noquote() << "sha mismatch after retry, giving up:" << detail;
                            emit failed(detail);
                            completion(false);
                            return;
                        }
                        shaRetried = true;
                        qCWarning(lcUpdate) << "sha mismatch, retrying full download";
                        // The updater has cleared the cached old file, so this attempt fetches every block.
                        beginDownload(completion);
                        return;
                    case BlockMapUpdater::FinishReason::NetworkError:
                    case BlockMapUpdater::FinishReason::Cancelled:
                        qCWarning(lcUpdate).noquote() << "download failed:" << detail;
                        emit failed(detail);
                        completion(false);
                        return;
                }
            });

    const QString installerUrl =
        QStringLiteral("%1/%2/%3").arg(serveraddress::assetBaseUrl(), QStringLiteral("core"), pendingFileName);
    updater->start(installerUrl, oldMap, newMap, oldFile, installerPath);
}

void UpdateService::refreshCache(const QByteArray &blockMapBody, const Completion &completion)
{
    const QDir cacheDir(ensureCacheDir());
    const QString lastMap = cacheDir.filePath(lastBlockMapName());
    const QString lastExe = cacheDir.filePath(lastInstallerName());
    const QString installer = installerPath;
    QPointer<UpdateService> self(this);

    QThreadPool::globalInstance()->start([self, lastMap, lastExe, installer, blockMapBody, completion] {
        // "last.exe" and "last.blockmap" must keep describing each other: the next update
        // reuses blocks of the one by the digests of the other.
        const bool copied = lastExe == installer || replaceWithCopy(installer, lastExe);
        if (!copied) {
            qCWarning(lcUpdate).noquote() << "cache refresh failed, keeping previous installer path=" << lastExe;
        } else if (blockMapBody.isEmpty() || !writeWhole(lastMap, blockMapBody)) {
            // No map of the new installer is at hand: drop the one of the replaced file.
            QFile::remove(lastMap);
        }

        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, completion] {
                if (!self)
                    return;
                emit self->downloadProgress(100);
                emit self->finished();
                completion(true);
            },
            Qt::QueuedConnection);
    });
}

bool UpdateService::install()
{
    if (installerPath.isEmpty() || !QFileInfo::exists(installerPath)) {
        qCWarning(lcUpdate).noquote() << "install file missing:" << installerPath;
        return false;
    }
    if (!writeUpdateLock())
        return false;

    QFile::setPermissions(installerPath,
                          QFile::permissions(installerPath) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    const QStringList arguments{QStringLiteral("/SILENT"), QStringLiteral("/NORESTART"),
                                QStringLiteral("/CLOSEAPPLICATIONS")};
    if (QProcess::startDetached(installerPath, arguments)) {
        qCInfo(lcUpdate) << "installer launched, app quitting in 200ms";
        QTimer::singleShot(kQuitDelayMs, QCoreApplication::instance(), &QCoreApplication::quit);
        return true;
    }
    QFile::remove(updateLockPath());
    qCWarning(lcUpdate).noquote() << "installer start failed:" << installerPath;
    return false;
}

std::unique_ptr<UpdateService> makeUpdateService(IRawDownloader *downloader)
{
    return std::make_unique<UpdateService>(downloader);
}
