#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// A three-part token whose payload is `claims`; header and signature are dummies.
inline QString jwtWith(const QJsonObject &claims)
{
    const QByteArray payload = QJsonDocument(claims)
                                   .toJson(QJsonDocument::Compact)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return QStringLiteral("eyJhbGciOiJIUzI1NiJ9.") + QString::fromLatin1(payload) + QStringLiteral(".c2ln");
}
