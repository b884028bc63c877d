#include "realtime/events/event_json.h"

#include <QJsonValue>
#include <QLatin1StringView>
#include <QVariant>

namespace {

QJsonValue valueOf(const QJsonObject &payload, const char *key)
{
    return payload.value(QLatin1StringView(key));
}

// Outside this range a double has no 64-bit counterpart; converting it would be
// undefined, so such a number reads as the default instead.
constexpr double kInt64Lowest = -9223372036854775808.0;
constexpr double kInt64End = 9223372036854775808.0;

} // namespace

QString eventText(const QJsonObject &payload, const char *key)
{
    return valueOf(payload, key).toString();
}

std::optional<QString> eventRequiredText(const QJsonObject &payload, const char *key)
{
    QString text = eventText(payload, key);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

qint64 eventInt64(const QJsonObject &payload, const char *key)
{
    const QVariant variant = valueOf(payload, key).toVariant();
    if (variant.typeId() == QMetaType::Double) {
        const double number = variant.toDouble();
        if (!(number >= kInt64Lowest && number < kInt64End))
            return 0;
    }
    return variant.toLongLong();
}

int eventInt(const QJsonObject &payload, const char *key)
{
    return valueOf(payload, key).toInt(0);
}

bool eventBool(const QJsonObject &payload, const char *key)
{
    return valueOf(payload, key).toBool(false);
}

std::optional<bool> eventOptionalBool(const QJsonObject &payload, const char *key)
{
    const QJsonValue value = valueOf(payload, key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value.toBool(false);
}

std::optional<QString> eventOptionalText(const QJsonObject &payload, const char *key)
{
    const QJsonValue value = valueOf(payload, key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value.toString();
}

QJsonArray eventArray(const QJsonObject &payload, const char *key)
{
    return valueOf(payload, key).toArray();
}

QJsonObject eventObject(const QJsonObject &payload, const char *key)
{
    return valueOf(payload, key).toObject();
}

QStringList parseStringList(const QJsonArray &array)
{
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue &element : array)
        list.append(element.toString());
    return list;
}

QStringList parseUserIdList(const QJsonArray &array)
{
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue &element : array)
        list.append(element.toObject().value(QLatin1StringView("userId")).toString());
    return list;
}
