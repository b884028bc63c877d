#pragma once

#include <QString>

class QByteArray;

// The current version of each legal document; empty when unknown.
struct LegalVersions
{
    QString terms;
    QString privacy;
};

// Reads "/legal/version.json". Both strings are empty unless the bytes are a JSON object;
// a missing or non-string key leaves its version empty.
LegalVersions parseLegalVersions(const QByteArray &json);

// A version as written into an agreed-version tag: "%" becomes "%25" and "+" becomes
// "%2B", so that a version containing the separator stays one part. Any other character
// ("@" included, since a value is read from its part's first "@") is kept as it is, so
// a plain version is written unchanged.
QString escapeLegalVersion(const QString &version);

// Reads an agreed-version tag ("terms@<v>+privacy@<v>", parts in any order). Unknown
// names and parts without a name are skipped; a later part wins over an earlier one.
// "%25" and "%2B" in a value read back as "%" and "+"; any other "%" stays as it is.
LegalVersions parseLegalVersionTag(const QString &tag);
