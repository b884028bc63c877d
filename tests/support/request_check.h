#pragma once

#include "support/loopback_http_server.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace testsupport {

// What a recorded request must be. Unset parts are not checked.
struct ExpectedRequest
{
    QByteArray method;                            // "GET", "POST", ...
    QString path;                                 // compared without the query
    std::optional<QJsonObject> json;              // the body as a JSON object, in any key order
    std::optional<QByteArray> body;               // the body byte for byte
    QList<QPair<QByteArray, QByteArray>> headers; // each present with this value (name case-insensitive)
    QList<QByteArray> absentHeaders;              // each not sent at all
};

// Empty when `request` is as expected; otherwise one line per difference, for
//   QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
inline QString requestMismatch(const RecordedRequest &request, const ExpectedRequest &expected)
{
    QStringList problems;
    if (!expected.method.isEmpty() && request.method != expected.method)
        problems << QStringLiteral("method %1, expected %2")
                        .arg(QString::fromLatin1(request.method), QString::fromLatin1(expected.method));
    if (!expected.path.isEmpty() && request.path != expected.path)
        problems << QStringLiteral("path %1, expected %2").arg(request.path, expected.path);
    if (expected.json) {
        const QJsonDocument document = QJsonDocument::fromJson(request.body);
        if (!document.isObject() || document.object() != *expected.json)
            problems << QStringLiteral("body %1, expected %2")
                            .arg(QString::fromUtf8(request.body),
                                 QString::fromUtf8(QJsonDocument(*expected.json).toJson(QJsonDocument::Compact)));
    }
    if (expected.body && request.body != *expected.body)
        problems << QStringLiteral("body of %1 bytes differs from the expected %2 bytes")
                        .arg(request.body.size())
                        .arg(expected.body->size());
    for (const auto &[name, value] : expected.headers) {
        if (!request.hasHeader(name))
            problems << QStringLiteral("header %1 missing").arg(QString::fromLatin1(name));
        else if (request.header(name) != value)
            problems << QStringLiteral("header %1 is %2, expected %3")
                            .arg(QString::fromLatin1(name), QString::fromLatin1(request.header(name)),
                                 QString::fromLatin1(value));
    }
    for (const QByteArray &name : expected.absentHeaders) {
        if (request.hasHeader(name))
            problems << QStringLiteral("header %1 sent").arg(QString::fromLatin1(name));
    }
    return problems.join(QLatin1Char('\n'));
}

} // namespace testsupport
