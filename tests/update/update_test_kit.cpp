#include "update_test_kit.h"

#include "build_config.h"
#include "storage/data_root.h"
#include "update/update_manifest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <sodium.h>

namespace updatetest {

SigningKey SigningKey::generate()
{
    QByteArray seed(crypto_sign_SEEDBYTES, '\0');
    randombytes_buf(seed.data(), size_t(seed.size()));
    return fromSeed(seed);
}

SigningKey SigningKey::fromSeed(const QByteArray &seed)
{
    if (sodium_init() < 0)
        qFatal("libsodium did not initialise");
    SigningKey key;
    key.publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    key.secretKey.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char *>(key.publicKey.data()),
                             reinterpret_cast<unsigned char *>(key.secretKey.data()),
                             reinterpret_cast<const unsigned char *>(seed.constData()));
    return key;
}

QByteArray SigningKey::sign(const QByteArray &message) const
{
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char *>(secretKey.constData()));
    return signature;
}

QByteArray SigningKey::signManifest(const QByteArray &manifest) const
{
    return sign(QByteArray(kManifestSignatureDomain) + manifest);
}

QByteArray manifestJson(const QString &version, const QString &fileName, qint64 fileSize, const QString &sha256)
{
    QJsonObject object;
    object.insert(QStringLiteral("version"), version);
    object.insert(QStringLiteral("fileName"), fileName);
    object.insert(QStringLiteral("fileSize"), fileSize);
    object.insert(QStringLiteral("sha256"), sha256);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray makeContent(qint64 size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray content(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        content[i] = char(generator.bounded(256));
    return content;
}

BlockMap blockMapOf(const QByteArray &content, int blockSize)
{
    BlockMap map;
    map.version = 1;
    map.blockSize = blockSize;
    map.fileSize = content.size();
    map.sha256 = sha256Hex(content);
    for (qint64 position = 0; position < content.size(); position += blockSize)
        map.blocks.append(sha256Hex(content.mid(position, blockSize)));
    return map;
}

QByteArray blockMapJson(const BlockMap &map)
{
    QJsonObject object;
    object.insert(QStringLiteral("version"), map.version);
    object.insert(QStringLiteral("blockSize"), map.blockSize);
    object.insert(QStringLiteral("fileSize"), map.fileSize);
    object.insert(QStringLiteral("sha256"), map.sha256);
    object.insert(QStringLiteral("blocks"), QJsonArray::fromStringList(map.blocks));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString installerUrl(const QString &fileName)
{
    return QString::fromLatin1(buildconfig::kAssetBaseUrl) + QStringLiteral("/core/") + fileName;
}

QString blockMapUrl(const QString &fileName)
{
    return installerUrl(fileName) + QStringLiteral(".blockmap");
}

QString cacheDir()
{
    return QDir(dataRoot()).filePath(QStringLiteral("update-cache/core"));
}

void clearCache()
{
    QDir(cacheDir()).removeRecursively();
}

TestUpdateService::TestUpdateService(IRawDownloader *downloader_, const QByteArray &key, bool real)
    : UpdateService(downloader_)
    , publicKey(key)
    , realInstall(real)
{
    connect(this, &UpdateService::downloadStarted, this, [this] { events.append(QStringLiteral("started")); });
    connect(this, &UpdateService::downloadProgress, this,
            [this](int percent) { events.append(QStringLiteral("progress %1").arg(percent)); });
    connect(this, &UpdateService::finished, this, [this] { events.append(QStringLiteral("finished")); });
    connect(this, &UpdateService::failed, this,
            [this](const QString &reason) { events.append(QStringLiteral("failed: ") + reason); });
}

bool TestUpdateService::install()
{
    ++installCalls;
    events.append(QStringLiteral("install"));
    return realInstall ? UpdateService::install() : installResult;
}

bool TestUpdateService::verifySignature(const QByteArray &manifest, const QByteArray &signature)
{
    ++verifyCalls;
    return verifyManifestSignature(manifest, signature, publicKey);
}

} // namespace updatetest
