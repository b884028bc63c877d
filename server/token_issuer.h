#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace localservice {

// What a verified access token says.
struct AccessClaims
{
    QString userId;
    QString signInId;
    qint64 expiresAtSec = 0;
};

// Makes and checks the service's secrets. Access tokens are JWTs (HS256 over a random
// secret) whose payload carries "sub", "sid" (the sign-in), "iat", "exp" and a random
// "jti"; refresh tokens and codes are drawn from libsodium's generator. Tokens are kept
// only as digests and compared in constant time. GUI thread only.
class TokenIssuer
{
public:
    // With a fresh random secret.
    TokenIssuer();

    QByteArray secret() const { return key; }
    // A secret of the right size kept from an earlier run; anything else is ignored.
    bool setSecret(const QByteArray &secret);

    QString issueAccessToken(const QString &userId, const QString &signInId, qint64 nowSec, int ttlSec) const;
    // The claims of a token that this issuer signed and that has not expired at `nowSec`.
    std::optional<AccessClaims> verifyAccessToken(const QString &token, qint64 nowSec) const;

    // `bytes` random bytes, base64url without padding.
    static QString randomToken(int bytes = 32);
    // `digits` random decimal digits.
    static QString randomDigits(int digits);
    // The digest under which a token is kept (32 bytes).
    static QByteArray digestOf(const QString &token);
    // Constant-time comparison; arrays of different sizes are different.
    static bool sameBytes(const QByteArray &a, const QByteArray &b);

private:
    QByteArray key;
};

} // namespace localservice
