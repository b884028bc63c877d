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

namespace {

QString unescapeLegalVersion(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == QLatin1Char('%') && i + 2 < value.size() && value.at(i + 1) == QLatin1Char('2')) {
            const QChar code = value.at(i + 2).toUpper();
            if (code == QLatin1Char('5') || code == QLatin1Char('B')) {
                result.append(code == QLatin1Char('5') ? QLatin1Char('%') : QLatin1Char('+'));
                i += 2;
                continue;
            }
        }
        result.append(value.at(i));
    }
    return result;
}

} // namespace

QString escapeLegalVersion(const QString &version)
{
    QString result = version;
    // "%" first, so that the "%" of an escaped "+" is not escaped again.
    result.replace(QLatin1Char('%'), QLatin1String("%25"));
    result.replace(QLatin1Char('+'), QLatin1String("%2B"));
    return result;
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
        const QString value = unescapeLegalVersion(part.mid(at + 1));
        if (name == QLatin1String("terms"))
            versions.terms = value;
        else if (name == QLatin1String("privacy"))
            versions.privacy = value;
    }
    return versions;
}
