#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace localservice {

class ApiRouter;
struct ApiRequest;
struct ApiReply;

// The asset host's files: the update feed ("/core/latest.json", its ".sig" and the
// installer it names) and the legal files ("/legal/version.json" and
// "/legal/<terms|privacy>-<version>.md"). The manifest is built and signed once, at
// construction, and names the given client version, so a client of that version finds
// itself up to date. GUI thread only.
class AssetHost
{
public:
    // Reads the 32-byte Ed25519 seed from a key file: comment lines start with '#', the
    // first other line holds 64 hex digits. Empty (and the reason) when that fails.
    static QByteArray readSigningSeed(const QString &path, QString *error);

    // `seed` must be 32 bytes; `valid()` tells whether signing worked.
    AssetHost(const QByteArray &seed, const QString &clientVersion);

    bool valid() const { return !signature.isEmpty(); }
    QString termsVersion() const { return terms; }
    QString privacyVersion() const { return privacy; }
    QByteArray manifestBytes() const { return manifest; }
    QByteArray signatureBytes() const { return signature; }
    QByteArray publicKey() const { return signingPublicKey; }

    void addRoutes(ApiRouter &router) const;

private:
    ApiReply core(const ApiRequest &request) const;
    ApiReply legal(const ApiRequest &request) const;
    ApiReply installer(const ApiRequest &request) const;

    QString terms = QStringLiteral("local-1");
    QString privacy = QStringLiteral("local-1");
    QString installerName;
    QByteArray installerBytes;
    QByteArray manifest;
    QByteArray signature;
    QByteArray signingPublicKey;
    QHash<QString, QByteArray> legalFiles; // by file name
};

} // namespace localservice
