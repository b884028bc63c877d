#pragma once

#include "update/block_map.h"
#include "update/update_service.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace updatetest {

// A throwaway Ed25519 key pair for signing manifests in tests.
struct SigningKey
{
    QByteArray publicKey;
    QByteArray secretKey;

    static SigningKey generate();
    static SigningKey fromSeed(const QByteArray &seed);
    // Detached signature over exactly these bytes.
    QByteArray sign(const QByteArray &message) const;
    // Detached signature over the domain string followed by the manifest, as the publisher signs.
    QByteArray signManifest(const QByteArray &manifest) const;
};

// Manifest JSON with the given fields.
QByteArray manifestJson(const QString &version, const QString &fileName, qint64 fileSize, const QString &sha256);

QString sha256Hex(const QByteArray &bytes);

// Deterministic pseudo-random content.
QByteArray makeContent(qint64 size, quint32 seed);

// The block map of content, with one digest per block, as the publisher's tool writes it.
BlockMap blockMapOf(const QByteArray &content, int blockSize);
QByteArray blockMapJson(const BlockMap &map);

// Where the service fetches the installer of this name and its block map.
QString installerUrl(const QString &fileName);
QString blockMapUrl(const QString &fileName);

// The service's update cache folder, and a way to empty it between cases.
QString cacheDir();
void clearCache();

// An UpdateService that checks signatures against a test key and, unless told otherwise,
// records installs instead of starting anything.
class TestUpdateService : public UpdateService
{
    Q_OBJECT
public:
    TestUpdateService(IRawDownloader *downloader, const QByteArray &publicKey, bool realInstall = false);

    bool install() override;
    bool verifySignature(const QByteArray &manifest, const QByteArray &signature) override;

    int verifyCalls = 0;
    int installCalls = 0;
    bool installResult = false;
    // Every signal and install, in order: "started", "progress N", "finished", "failed: R", "install".
    QStringList events;

private:
    QByteArray publicKey;
    bool realInstall;
};

} // namespace updatetest
