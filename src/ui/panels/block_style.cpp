#include "ui/panels/block_style.h"

#include "theme/theme_palette.h"

#include <QFont>
#include <QFontMetrics>

namespace blocks {

QString dotStyle(int state)
{
    const char *token = nullptr;
    switch (state) {
        case 1: token = "statusIdle"; break;
        case 2: token = "success"; break;
        case 3: token = "danger"; break;
        default: return QStringLiteral("color: transparent; font-size: 8px;");
    }
    return QStringLiteral("color: %1; font-size: 8px;").arg(QLatin1String(ThemePalette::hex(token)));
}

int rowHeightFor(const QFont &font)
{
    QFont rowFont(font);
    rowFont.setPixelSize(13);
    const int height = QFontMetrics(rowFont).height();
    return height < 18 ? 24 : height + 6;
}

} // namespace blocks

#include <QWidget>

namespace blocks {

void applyStyle(QWidget *widget, const QString &sheet)
{
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

} // namespace blocks
