#include "json_body.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace localservice {

namespace {

const QString kMalformedCode = QStringLiteral("request.malformed_json");
const QString kMalformedMessage = QStringLiteral("请求内容必须是一个 JSON 对象");

} // namespace

std::optional<QJsonObject> jsonObject(const QByteArray &raw)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(raw, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<QJsonObject> objectBody(const ApiRequest &request)
{
    if (request.body.trimmed().isEmpty())
        return QJsonObject{};
    return jsonObject(request.body);
}

ApiReply malformed()
{
    return ApiReply::error(400, kMalformedCode, kMalformedMessage);
}

bool isWholeNumber(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == double(qint64(value.toDouble()));
}

std::optional<QList<qint64>> wholeNumberList(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<qint64> numbers;
    for (const QJsonValue &number : value.toArray()) {
        if (!isWholeNumber(number))
            return std::nullopt;
        numbers << qint64(number.toDouble());
    }
    return numbers;
}

JsonBody::JsonBody(const QByteArray &raw)
{
    const std::optional<QJsonObject> parsed = jsonObject(raw);
    if (!parsed) {
        fail(kMalformedCode, kMalformedMessage);
        return;
    }
    object = *parsed;
}

ApiReply JsonBody::errorReply() const
{
    return ApiReply::error(400, problemCode, problemMessage);
}

bool JsonBody::has(const char *key) const
{
    const QJsonValue value = object.value(QLatin1String(key));
    return !value.isUndefined() && !value.isNull();
}

QString JsonBody::requiredString(const char *key, int maxChars)
{
    if (!ok())
        return {};
    if (!has(key)) {
        fail(QStringLiteral("request.field_missing"), QStringLiteral("缺少字段 \"%1\"").arg(QLatin1String(key)));
        return {};
    }
    return optionalString(key, maxChars).value_or(QString());
}

std::optional<QString> JsonBody::optionalString(const char *key, int maxChars)
{
    if (!ok() || !has(key))
        return std::nullopt;
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) {
        fail(QStringLiteral("request.field_type"), QStringLiteral("字段 \"%1\" 须为文字").arg(QLatin1String(key)));
        return std::nullopt;
    }
    const QString text = value.toString();
    if (text.size() > maxChars) {
        fail(QStringLiteral("request.field_too_long"),
             QStringLiteral("字段 \"%1\" 超过 %2 个字").arg(QLatin1String(key)).arg(maxChars));
        return std::nullopt;
    }
    return text;
}

QStringList JsonBody::requiredStringArray(const char *key, int maxItems, int maxChars)
{
    if (!ok())
        return {};
    if (!has(key)) {
        fail(QStringLiteral("request.field_missing"), QStringLiteral("缺少字段 \"%1\"").arg(QLatin1String(key)));
        return {};
    }
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isArray()) {
        fail(QStringLiteral("request.field_type"), QStringLiteral("字段 \"%1\" 须为文字列表").arg(QLatin1String(key)));
        return {};
    }
    const QJsonArray array = value.toArray();
    if (array.size() > maxItems) {
        fail(QStringLiteral("request.field_too_long"),
             QStringLiteral("字段 \"%1\" 超过 %2 项").arg(QLatin1String(key)).arg(maxItems));
        return {};
    }
    QStringList result;
    result.reserve(array.size());
    for (const QJsonValue &item : array) {
        if (!item.isString()) {
            fail(QStringLiteral("request.field_type"),
                 QStringLiteral("字段 \"%1\" 须为文字列表").arg(QLatin1String(key)));
            return {};
        }
        if (item.toString().size() > maxChars) {
            fail(QStringLiteral("request.field_too_long"),
                 QStringLiteral("字段 \"%1\" 中有一项超过 %2 个字").arg(QLatin1String(key)).arg(maxChars));
            return {};
        }
        result << item.toString();
    }
    return result;
}

void JsonBody::refuse(const char *key, const QString &why)
{
    if (ok())
        fail(QStringLiteral("request.field_invalid"), QStringLiteral("字段 \"%1\" %2").arg(QLatin1String(key), why));
}

void JsonBody::fail(const QString &code, const QString &message)
{
    if (!ok())
        return;
    problemCode = code;
    problemMessage = message;
}

} // namespace localservice
