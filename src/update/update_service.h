#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class BlockMapUpdater;
class IRawDownloader;
struct HttpResponse;

// Owns the self-update: judges the signed manifest of the update feed, builds the newer
// installer by block map in the update cache, and starts it. GUI thread only.
// How a downloaded manifest was judged.
enum class ManifestVerdict {
    UpToDate = 0,
    UpdateAvailable = 1, // the pending update now describes it
    Refused = 2,
};

class UpdateService : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(bool ok)>;

    explicit UpdateService(IRawDownloader *downloader, QObject *parent = nullptr);
    ~UpdateService() override;

    // Judges the manifest and its detached signature, as downloaded.
    ManifestVerdict evaluateManifest(const QByteArray &manifest, const QByteArray &signature);

    // Downloads, verifies and caches the pending update, then installs it. The completion is
    // called with false on any failure; on success the application quits instead.
    void downloadAndInstall(Completion completion);

    // The update cache folder (created if needed).
    QString ensureCacheDir() const;

public slots:
    // Writes the update lock and starts the installer; true when it started (the application
    // then quits 200 ms later).
    virtual bool install();
    // Whether the signature is valid for the domain-prefixed manifest under the compiled-in key.
    virtual bool verifySignature(const QByteArray &manifest, const QByteArray &signature);

signals:
    void downloadStarted();
    void downloadProgress(int percent);
    void finished();
    void failed(const QString &reason);

private:
    void beginDownload(Completion completion);
    void onBlockMapReply(const HttpResponse &response, const Completion &completion);
    void refreshCache(const QByteArray &blockMapBody, const Completion &completion);

    IRawDownloader *downloader;
    QString pendingVersion;
    QString pendingFileName;
    qint64 pendingFileSize = 0;
    QString pendingSha256;
    QString installerPath;
    bool shaRetried = false;
    BlockMapUpdater *updater = nullptr;
};

// A new service over the downloader, without parent.
std::unique_ptr<UpdateService> makeUpdateService(IRawDownloader *downloader);
