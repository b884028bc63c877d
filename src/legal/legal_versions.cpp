#include "legal/legal_versions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

LegalVersions parseLegalVersions(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return {};
    const QJsonObject object = doc.object();
    // toString() yields an empty string for a missing or non-string value.
    return {object.value(QLatin1String("terms")).toString(), object.value(QLatin1String("privacy")).toString()};
}

LegalVersions parseLegalVersionTag(const QString &tag)
{
    LegalVersions versions;
    const QStringList parts = tag.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const qsizetype at = part.indexOf(QLatin1Char('@'));
        if (at < 1)
            continue;
        const QString name = part.left(at);
        const QString value = part.mid(at + 1);
        if (name == QLatin1String("terms"))
            versions.terms = value;
        else if (name == QLatin1String("privacy"))
            versions.privacy = value;
    }
    return versions;
}
