#pragma once

#include <QByteArray>
#include <QString>

// The parsed "latest.json" of the update feed. An invalid record carries empty strings and 0.
struct UpdateManifest
{
    bool valid = false;
    QString version;
    QString fileName;
    qint64 fileSize = 0;
    QString sha256;
};

// Largest installer the client accepts (500 MiB).
inline constexpr qint64 kMaxInstallerSize = 524288000;

// Parses and validates the manifest bytes; only a record that passes every rule is valid.
UpdateManifest parseUpdateManifest(const QByteArray &manifest);

// Compares two dot-separated versions component by component (missing or non-numeric
// components count as 0): negative when a is lower, 0 when equal, positive when higher.
int compareVersions(const QString &a, const QString &b);

// True only for a 64-byte Ed25519 signature over the domain string followed by the
// manifest bytes, made with the key whose public half is compiled into the client.
bool verifyManifestSignature(const QByteArray &manifest, const QByteArray &signature);

// The same check against the given 32-byte public key.
bool verifyManifestSignature(const QByteArray &manifest, const QByteArray &signature, const QByteArray &publicKey);

// The 32-byte public key compiled into the client.
QByteArray compiledUpdatePublicKey();

// What precedes the manifest bytes in the signed message.
inline constexpr char kManifestSignatureDomain[] = "kestova/update-manifest/v1\n";
