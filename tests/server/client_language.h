#pragma once

#include <QRegularExpression>
#include <QString>

namespace servertest {

// Whether a text is written in the client's language (holds a CJK ideograph): the client
// shows the service's messages as they are, inside a Chinese interface.
inline bool isChinese(const QString &text)
{
    static const QRegularExpression ideograph(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    return ideograph.match(text).hasMatch();
}

} // namespace servertest
