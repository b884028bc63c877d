#include "asset_host.h"

#include "api_router.h"
#include "api_types.h"
#include "service_log.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <sodium.h>

namespace localservice {

namespace {

// The client checks the signature over this prefix followed by the manifest's bytes.
constexpr char kManifestSignatureDomain[] = "kestova/update-manifest/v1\n";

QByteArray resource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QByteArray AssetHost::readSigningSeed(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    static const QRegularExpression hex(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-fA-F]{64}")));
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!hex.match(line).hasMatch()) {
            *error = QStringLiteral("%1: the key line is not 64 hex digits").arg(path);
            return {};
        }
        return QByteArray::fromHex(line.toLatin1());
    }
    *error = QStringLiteral("%1 holds no key line").arg(path);
    return {};
}

AssetHost::AssetHost(const QByteArray &seed, const QString &clientVersion)
{
    installerName = QStringLiteral("kestova-setup-%1.exe").arg(clientVersion);
    installerBytes = QByteArrayLiteral("This local service has no installer; it names the running version only.\n");
    const QJsonObject object{
        {QStringLiteral("version"), clientVersion},
        {QStringLiteral("fileName"), installerName},
        {QStringLiteral("fileSize"), double(installerBytes.size())},
        {QStringLiteral("sha256"),
         QString::fromLatin1(QCryptographicHash::hash(installerBytes, QCryptographicHash::Sha256).toHex())},
    };
    manifest = QJsonDocument(object).toJson(QJsonDocument::Compact);

    legalFiles.insert(QStringLiteral("version.json"),
                      QJsonDocument(QJsonObject{{QStringLiteral("terms"), terms}, {QStringLiteral("privacy"), privacy}})
                          .toJson(QJsonDocument::Compact));
    legalFiles.insert(QStringLiteral("terms-%1.md").arg(terms),
                      resource(QStringLiteral(":/localservice/assets/legal/terms.md")));
    legalFiles.insert(QStringLiteral("privacy-%1.md").arg(privacy),
                      resource(QStringLiteral(":/localservice/assets/legal/privacy.md")));

    if (seed.size() != int(crypto_sign_SEEDBYTES) || sodium_init() < 0) {
        qCWarning(lcServiceAssets) << "update feed not signed: the signing seed must be 32 bytes";
        return;
    }
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(publicKey, secretKey, reinterpret_cast<const unsigned char *>(seed.constData()));
    const QByteArray message = QByteArray(kManifestSignatureDomain) + manifest;
    QByteArray sig(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char *>(sig.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(message.constData()),
                         static_cast<unsigned long long>(message.size()), secretKey);
    sodium_memzero(secretKey, sizeof secretKey);
    signature = sig;
    signingPublicKey = QByteArray(reinterpret_cast<const char *>(publicKey), sizeof publicKey);
    qCInfo(lcServiceAssets).noquote().nospace()
        << "update feed signed version=" << clientVersion << " public_key=" << signingPublicKey.toHex();
}

void AssetHost::addRoutes(ApiRouter &router) const
{
    using Access = ApiRouter::Access;
    router.add("GET", QStringLiteral("/core/{}"), Access::Public, [this](const ApiRequest &r) { return core(r); });
    router.add("GET", QStringLiteral("/legal/{}"), Access::Public, [this](const ApiRequest &r) { return legal(r); });
}

ApiReply AssetHost::core(const ApiRequest &request) const
{
    const QString &name = request.captures.at(0);
    if (name == QLatin1String("latest.json") && valid())
        return ApiReply::bytes(200, manifest, "application/json");
    if (name == QLatin1String("latest.json.sig") && valid())
        return ApiReply::bytes(200, signature, "application/octet-stream");
    if (name == installerName)
        return installer(request);
    return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个文件"));
}

ApiReply AssetHost::installer(const ApiRequest &request) const
{
    const QByteArray range = request.header("Range");
    if (range.isEmpty())
        return ApiReply::bytes(200, installerBytes, "application/octet-stream");
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("bytes=(\\d{1,18})-(\\d{1,18})")));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(range));
    const qint64 size = installerBytes.size();
    const qint64 first = match.hasMatch() ? match.captured(1).toLongLong() : -1;
    qint64 last = match.hasMatch() ? match.captured(2).toLongLong() : -1;
    if (first < 0 || last < first || first >= size) {
        ApiReply reply =
            ApiReply::error(416, QStringLiteral("range_not_satisfiable"), QStringLiteral("请求的范围无效"));
        reply.headers.append({"Content-Range", "bytes */" + QByteArray::number(size)});
        return reply;
    }
    last = std::min(last, size - 1);
    ApiReply reply = ApiReply::bytes(206, installerBytes.mid(first, last - first + 1), "application/octet-stream");
    reply.headers.append({"Content-Range", QStringLiteral("bytes %1-%2/%3").arg(first).arg(last).arg(size).toLatin1()});
    return reply;
}

ApiReply AssetHost::legal(const ApiRequest &request) const
{
    const auto it = legalFiles.constFind(request.captures.at(0));
    if (it == legalFiles.constEnd())
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这个文件"));
    const QByteArray type =
        it.key().endsWith(QLatin1String(".json")) ? "application/json" : "text/markdown; charset=utf-8";
    return ApiReply::bytes(200, it.value(), type);
}

} // namespace localservice
