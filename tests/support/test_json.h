#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cstdio>
#include <cstdlib>

namespace testsupport {

// The JSON object a test writes out as text. A payload that does not parse is a
// mistake in the test, not a case: it stops the program at once with the text.
inline QJsonObject json(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        std::fprintf(stderr, "bad test payload: %s\n", text.constData());
        std::abort();
    }
    return document.object();
}

inline QJsonObject json(const char *text)
{
    return json(QByteArray(text));
}

} // namespace testsupport
