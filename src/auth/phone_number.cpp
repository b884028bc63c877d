#include "auth/phone_number.h"

#include <QRegularExpression>

bool isValidPhoneNumber(const QString &number)
{
    // Anchored to the whole subject: "$" alone would also accept a trailing newline.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("1[3-9]\\d{9}")));
    return pattern.match(number).hasMatch();
}
