#include "ui/widgets/section_divider.h"

#include "theme/hairline.h"
#include "theme/theme_palette.h"

#include <QFontMetricsF>
#include <QPainter>

SectionDivider::SectionDivider(const QString &caption, QWidget *parent)
    : QWidget(parent)
    , text(caption)
{
    setFixedHeight(18);
}

QSize SectionDivider::sizeHint() const
{
    return {120, 18};
}

void SectionDivider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QFont captionFont = font();
    captionFont.setPixelSize(10);
    captionFont.setWeight(QFont::Bold);
    painter.setFont(captionFont);
    painter.setPen(ThemePalette::color("textMuted"));
    painter.drawText(rect(), Qt::AlignCenter, text);

    const qreal advance = QFontMetricsF(captionFont).horizontalAdvance(text);
    const qreal w = width();
    const qreal left = (w - advance) * 0.5 - 8.0;
    if (left <= 4.0)
        return;
    const QColor line = ThemePalette::color("border");
    const qreal y = height() * 0.5;
    paintHairlineH(painter, y, 4.0, left, line);
    paintHairlineH(painter, y, (advance + w) * 0.5 + 8.0, w - 4.0, line);
}
