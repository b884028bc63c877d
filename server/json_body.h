#pragma once

#include "api_types.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace localservice {

// The bytes read as one JSON object, or nothing when they are not one (an empty body neither).
std::optional<QJsonObject> jsonObject(const QByteArray &raw);
// The request's body as one JSON object (an empty body reads as {}), or nothing when it is not one.
std::optional<QJsonObject> objectBody(const ApiRequest &request);
// 400 for a body that is not one JSON object.
ApiReply malformed();
bool isWholeNumber(const QJsonValue &value);
// An array of whole numbers, or nothing.
std::optional<QList<qint64>> wholeNumberList(const QJsonValue &value);

// Reads a request body that must be one JSON object, field by field, checking each
// field's type and size. The first problem is kept and every later read returns an
// empty value, so a handler reads all its fields, then asks `ok()` once and changes
// nothing unless every field passed:
//
//   JsonBody body(request.body);
//   const QString phone = body.requiredString("phone", 32);
//   if (!body.ok())
//       return body.errorReply();
class JsonBody
{
public:
    explicit JsonBody(const QByteArray &raw);

    bool ok() const { return problemCode.isEmpty(); }
    // 400 with the code and message of the first problem.
    ApiReply errorReply() const;

    bool has(const char *key) const;
    // A string of at most `maxChars` characters; missing or of another type is a problem.
    QString requiredString(const char *key, int maxChars);
    // Absent (or null) gives nullopt; present it must be a string of at most `maxChars`.
    std::optional<QString> optionalString(const char *key, int maxChars);
    // An array of at most `maxItems` strings, each of at most `maxChars` characters.
    QStringList requiredStringArray(const char *key, int maxItems, int maxChars);

    // Marks a field as refused by the handler's own rule (e.g. a pattern).
    void refuse(const char *key, const QString &why);

private:
    void fail(const QString &code, const QString &message);

    QJsonObject object;
    QString problemCode;
    QString problemMessage;
};

} // namespace localservice
