#include "ui/panels/dot_label.h"

#include "theme/theme_palette.h"

#include <QColor>
#include <QPainter>

namespace blocks {

DotLabel::DotLabel(QWidget *parent)
    : QLabel(QStringLiteral("\u25CF"), parent)
{
    setAlignment(Qt::AlignCenter);
}

void DotLabel::setState(int state)
{
    if (state == dotState)
        return;
    const bool wasVisible = colourFor(dotState).alpha() != 0;
    dotState = state;
    if (wasVisible || colourFor(dotState).alpha() != 0)
        update();
}

QColor DotLabel::colourFor(int state)
{
    const char *token = nullptr;
    switch (state) {
        case 1: token = "statusIdle"; break;
        case 2: token = "success"; break;
        case 3: token = "danger"; break;
        default: return QColor(Qt::transparent);
    }
    // From the hex form, exactly as a style sheet gives the colour.
    return QColor(QLatin1String(ThemePalette::hex(token)));
}

void DotLabel::paintEvent(QPaintEvent *)
{
    const QColor colour = colourFor(dotState);
    if (colour.alpha() == 0)
        return;
    // Drawn as a label draws its text, with the dot's own size in place of the one the
    // application style sheet gives every label.
    QPainter painter(this);
    QFont dotFont = font();
    dotFont.setPixelSize(8);
    painter.setFont(dotFont);
    painter.setPen(colour);
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextForceLeftToRight, text());
}

} // namespace blocks
