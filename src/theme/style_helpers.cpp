#include "theme/style_helpers.h"

#include "theme/theme_palette.h"
#include "theme/ui_log.h"

#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QVariant>
#include <QWidget>

namespace {

void warnUnknownPlaceholders(const QString &text)
{
    static const QRegularExpression leftover(QStringLiteral("@([A-Za-z][A-Za-z0-9_]*)@"));
    static QMutex mutex;
    static QSet<QString> reported;
    for (auto it = leftover.globalMatch(text); it.hasNext();) {
        const QString name = it.next().captured(1);
        const QMutexLocker lock(&mutex);
        if (reported.contains(name))
            continue;
        reported.insert(name);
        qCWarning(lcUi) << "unknown theme placeholder"
                        << "name=" << name;
    }
}

} // namespace

namespace style {

QString resolveTheme(const QString &sheet)
{
    QString out = sheet;
    if (!out.contains(QLatin1Char('@')))
        return out;
    const auto &hexes = ThemePalette::instance().hexes();
    for (auto it = hexes.cbegin(); it != hexes.cend(); ++it) {
        const QString placeholder = QLatin1Char('@') + QString::fromLatin1(it.key()) + QLatin1Char('@');
        out.replace(placeholder, QString::fromLatin1(it.value()), Qt::CaseSensitive);
    }
    if (out.contains(QLatin1Char('@')))
        warnUnknownPlaceholders(out);
    return out;
}

void setStyleProperty(QWidget *widget, const char *name, const char *value)
{
    if (!widget || !name)
        return;
    const bool remove = !value || *value == '\0';
    const QVariant next = remove ? QVariant() : QVariant(QString::fromLatin1(value));
    widget->setProperty(name, next);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

} // namespace style
