#include "update/update_manifest.h"

#include "build_config.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QStringList>

#include <sodium.h>

#include <cmath>

namespace {

constexpr int kSignatureSize = 64;
constexpr int kPublicKeySize = 32;

bool isHexDigest(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool lower = c >= QLatin1Char('a') && c <= QLatin1Char('f');
        const bool upper = c >= QLatin1Char('A') && c <= QLatin1Char('F');
        if (!digit && !lower && !upper)
            return false;
    }
    return true;
}

// The name is used both in the feed's URL and as a file in the update cache, so it must stay
// a plain name inside that folder and must not replace the cached block map of the last build.
bool isPlainFileName(const QString &name)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_-][A-Za-z0-9._-]*")));
    return pattern.match(name).hasMatch() && name != QLatin1String("last.blockmap");
}

qint64 truncatedSize(double value)
{
    // Anything outside the accepted range is refused anyway; keep the conversion defined.
    if (!std::isfinite(value) || value < 0 || value > double(kMaxInstallerSize) + 1)
        return 0;
    return qint64(value);
}

} // namespace

UpdateManifest parseUpdateManifest(const QByteArray &manifest)
{
    if (manifest.isEmpty())
        return {};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(manifest, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject object = document.object();

    const QString version = object.value(QLatin1String("version")).toString();
    const QString fileName = object.value(QLatin1String("fileName")).toString();
    const qint64 fileSize = truncatedSize(object.value(QLatin1String("fileSize")).toDouble());
    const QString sha256 = object.value(QLatin1String("sha256")).toString();

    // Anchored at the very end: a trailing line feed is no part of a version.
    static const QRegularExpression versionPattern(
        QRegularExpression::anchoredPattern(QStringLiteral("\\d+(\\.\\d+){0,3}")));
    if (version.isEmpty() || !versionPattern.match(version).hasMatch())
        return {};
    if (!isPlainFileName(fileName))
        return {};
    if (fileSize < 1 || fileSize > kMaxInstallerSize)
        return {};
    if (!isHexDigest(sha256))
        return {};

    UpdateManifest result;
    result.valid = true;
    result.version = version;
    result.fileName = fileName;
    result.fileSize = fileSize;
    result.sha256 = sha256;
    return result;
}

int compareVersions(const QString &a, const QString &b)
{
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        // toInt gives 0 for a part that does not convert.
        const int l = i < left.size() ? left.at(i).toInt(nullptr, 10) : 0;
        const int r = i < right.size() ? right.at(i).toInt(nullptr, 10) : 0;
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

bool verifyManifestSignature(const QByteArray &manifest, const QByteArray &signature, const QByteArray &publicKey)
{
    if (signature.size() != kSignatureSize || manifest.isEmpty() || publicKey.size() != kPublicKeySize)
        return false;
    if (sodium_init() < 0)
        return false;

    const qsizetype domainSize = qsizetype(sizeof(kManifestSignatureDomain)) - 1;
    QByteArray message;
    message.reserve(domainSize + manifest.size());
    message.append(kManifestSignatureDomain, domainSize);
    message.append(manifest);

    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                       reinterpret_cast<const unsigned char *>(message.constData()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char *>(publicKey.constData()))
           == 0;
}

bool verifyManifestSignature(const QByteArray &manifest, const QByteArray &signature)
{
    return verifyManifestSignature(manifest, signature, compiledUpdatePublicKey());
}

QByteArray compiledUpdatePublicKey()
{
    static const QByteArray key = QByteArray::fromHex(QByteArray(buildconfig::kUpdatePublicKeyHex));
    return key;
}
