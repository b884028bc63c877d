#include "token_issuer.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <sodium.h>

namespace localservice {

namespace {

constexpr QByteArray::Base64Options kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    randombytes_buf(bytes.data(), size_t(bytes.size()));
    return bytes;
}

QByteArray macOf(const QByteArray &key, const QByteArray &message)
{
    QByteArray mac(crypto_auth_hmacsha256_BYTES, Qt::Uninitialized);
    crypto_auth_hmacsha256(reinterpret_cast<unsigned char *>(mac.data()),
                           reinterpret_cast<const unsigned char *>(message.constData()),
                           static_cast<unsigned long long>(message.size()),
                           reinterpret_cast<const unsigned char *>(key.constData()));
    return mac;
}

} // namespace

TokenIssuer::TokenIssuer()
{
    sodiumReady();
    key = randomBytes(crypto_auth_hmacsha256_KEYBYTES);
}

bool TokenIssuer::setSecret(const QByteArray &secret)
{
    if (secret.size() != int(crypto_auth_hmacsha256_KEYBYTES))
        return false;
    key = secret;
    return true;
}

QString TokenIssuer::issueAccessToken(const QString &userId, const QString &signInId, qint64 nowSec, int ttlSec) const
{
    const QByteArray header = QByteArrayLiteral(R"({"alg":"HS256","typ":"JWT"})").toBase64(kBase64Url);
    const QJsonObject claims{
        {QStringLiteral("sub"), userId},          {QStringLiteral("sid"), signInId},
        {QStringLiteral("iat"), double(nowSec)},  {QStringLiteral("exp"), double(nowSec + ttlSec)},
        {QStringLiteral("jti"), randomToken(16)},
    };
    const QByteArray payload = QJsonDocument(claims).toJson(QJsonDocument::Compact).toBase64(kBase64Url);
    const QByteArray signingInput = header + '.' + payload;
    return QString::fromLatin1(signingInput + '.' + macOf(key, signingInput).toBase64(kBase64Url));
}

std::optional<AccessClaims> TokenIssuer::verifyAccessToken(const QString &token, qint64 nowSec) const
{
    if (token.size() > 4096)
        return std::nullopt;
    const QByteArray bytes = token.toLatin1();
    const QList<QByteArray> parts = bytes.split('.');
    if (parts.size() != 3)
        return std::nullopt;
    const auto mac = QByteArray::fromBase64Encoding(parts.at(2), kBase64Url | QByteArray::AbortOnBase64DecodingErrors);
    if (!mac || mac.decoded.size() != int(crypto_auth_hmacsha256_BYTES))
        return std::nullopt;
    const QByteArray signingInput = parts.at(0) + '.' + parts.at(1);
    if (crypto_auth_hmacsha256_verify(reinterpret_cast<const unsigned char *>(mac.decoded.constData()),
                                      reinterpret_cast<const unsigned char *>(signingInput.constData()),
                                      static_cast<unsigned long long>(signingInput.size()),
                                      reinterpret_cast<const unsigned char *>(key.constData()))
        != 0)
        return std::nullopt;
    const auto payload =
        QByteArray::fromBase64Encoding(parts.at(1), kBase64Url | QByteArray::AbortOnBase64DecodingErrors);
    if (!payload)
        return std::nullopt;
    const QJsonObject claims = QJsonDocument::fromJson(payload.decoded).object();
    AccessClaims result;
    result.userId = claims.value(QLatin1String("sub")).toString();
    result.signInId = claims.value(QLatin1String("sid")).toString();
    result.expiresAtSec = qint64(claims.value(QLatin1String("exp")).toDouble());
    if (result.userId.isEmpty() || result.signInId.isEmpty() || result.expiresAtSec <= nowSec)
        return std::nullopt;
    return result;
}

QString TokenIssuer::randomToken(int bytes)
{
    sodiumReady();
    return QString::fromLatin1(randomBytes(bytes).toBase64(kBase64Url));
}

QString TokenIssuer::randomDigits(int digits)
{
    sodiumReady();
    QString text;
    for (int i = 0; i < digits; ++i)
        text += QLatin1Char(char('0' + randombytes_uniform(10)));
    return text;
}

QByteArray TokenIssuer::digestOf(const QString &token)
{
    sodiumReady();
    const QByteArray bytes = token.toUtf8();
    QByteArray digest(crypto_generichash_BYTES, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(digest.data()), size_t(digest.size()),
                       reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()), nullptr, 0);
    return digest;
}

bool TokenIssuer::sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    return sodium_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

} // namespace localservice
