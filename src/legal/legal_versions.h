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

// Reads an agreed-version tag ("terms@<v>+privacy@<v>", parts in any order). Unknown
// names and parts without a name are skipped; a later part wins over an earlier one.
LegalVersions parseLegalVersionTag(const QString &tag);
