#include "ui/panels/member_name_label.h"

#include "theme/theme_palette.h"

#include <QPainter>
#include <QStyle>

namespace blocks {

MemberNameLabel::MemberNameLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void MemberNameLabel::setFaint(bool faint)
{
    if (faint == faintText)
        return;
    faintText = faint;
    update();
}

void MemberNameLabel::paintEvent(QPaintEvent *event)
{
    if (!faintText) {
        QLabel::paintEvent(event);
        return;
    }
    // What a plain-text label without frame, margin or indent draws, in the faint colour.
    QPainter painter(this);
    QPalette shown = palette();
    // From the hex form, exactly as a style sheet gives the colour.
    shown.setColor(foregroundRole(), QColor(QLatin1String(ThemePalette::hex("textFaint"))));
    const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const int flags = int(QStyle::visualAlignment(direction, alignment()))
                      | (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
    style()->drawItemText(&painter, contentsRect(), flags, shown, isEnabled(), text(), foregroundRole());
}

} // namespace blocks
