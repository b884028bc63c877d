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

QSize MemberNameLabel::sizeHint() const
{
    return minimumSizeHint();
}

QSize MemberNameLabel::minimumSizeHint() const
{
    if (textFormat() != Qt::PlainText || wordWrap() || margin() != 0 || indent() > 0 || frameWidth() != 0)
        return QLabel::minimumSizeHint();
    ensurePolished();
    const QMargins margins = contentsMargins();
    if (hintValid && hintText == text() && hintFont == font() && hintMargins == margins)
        return hint.expandedTo(minimumSize());
    // A single line of plain text measures the same at every width, so the preferred and
    // the minimum size are one measurement (alignment flags as the label passes them).
    const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const int flags = int(QStyle::visualAlignment(direction, alignment())) & ~(Qt::AlignVCenter | Qt::AlignHCenter);
    const QRect bounds =
        fontMetrics().boundingRect(0, 0, 2000 - (margins.left() + margins.right()), 2000, flags, text());
    hint = QSize(bounds.width() + margins.left() + margins.right(), bounds.height() + margins.top() + margins.bottom());
    hintText = text();
    hintFont = font();
    hintMargins = margins;
    hintValid = true;
    return hint.expandedTo(minimumSize());
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
