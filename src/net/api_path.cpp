#include "net/api_path.h"

#include <QUrl>
#include <QVector>

QString apiPath(const QString &pattern, std::initializer_list<QString> segments)
{
    QVector<QString> encoded;
    encoded.reserve(int(segments.size()));
    for (const QString &segment : segments) {
        // "." and ".." would be read as dot segments and move the path.
        if (segment == QLatin1String(".") || segment == QLatin1String(".."))
            encoded.append(QString(segment).replace(QLatin1Char('.'), QLatin1String("%2E")));
        else
            encoded.append(QString::fromLatin1(QUrl::toPercentEncoding(segment)));
    }

    // One left-to-right pass: a placeholder is read only from the pattern, never
    // from text that an argument put in.
    QString path;
    path.reserve(pattern.size() + 32);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('%') && i + 1 < pattern.size() && pattern.at(i + 1).isDigit()) {
            qsizetype j = i + 1;
            int index = 0;
            while (j < pattern.size() && pattern.at(j).isDigit()) {
                index = index * 10 + pattern.at(j).digitValue();
                ++j;
            }
            if (index >= 1 && index <= encoded.size()) {
                path += encoded.at(index - 1);
                i = j - 1;
                continue;
            }
        }
        path += c;
    }
    return path;
}
