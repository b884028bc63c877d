#include "ui/widgets/segmented_control.h"

#include "theme/hairline.h"
#include "theme/theme_palette.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

SegmentedControl::SegmentedControl(QWidget *parent)
    : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(29);
}

void SegmentedControl::addSegment(const QString &label, const QString &value, const QColor &accent)
{
    items.append(Segment{label, value, accent});
    if (current < 0)
        current = 0;
    relayout();
    updateGeometry();
    update();
}

QString SegmentedControl::value() const
{
    return current >= 0 && current < items.size() ? items.at(current).value : QString();
}

void SegmentedControl::setValue(const QString &value)
{
    for (int i = 0; i < items.size(); ++i) {
        if (items.at(i).value != value)
            continue;
        if (i != current) {
            current = i;
            update();
        }
        return;
    }
}

QSize SegmentedControl::sizeHint() const
{
    if (items.isEmpty())
        return {0, 29};
    return {items.last().x + items.last().width, 29};
}

void SegmentedControl::relayout()
{
    const QFontMetrics metrics(font());
    int x = 0;
    for (Segment &segment : items) {
        segment.x = x;
        segment.width = metrics.horizontalAdvance(segment.label) + 30;
        x += segment.width;
    }
}

void SegmentedControl::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int px = int(event->position().x());
    for (int i = 0; i < items.size(); ++i) {
        const Segment &segment = items.at(i);
        if (px < segment.x || px >= segment.x + segment.width)
            continue;
        if (i != current) {
            current = i;
            update();
            emit valueChanged(segment.value);
        }
        return;
    }
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const bool enabled = isEnabled();
    const auto segmentRect = [&](int i) {
        const int left = items.at(i).x;
        const int right = i + 1 < items.size() ? items.at(i + 1).x : width();
        return QRect(left, 0, right - left, height());
    };

    for (int i = 0; i < items.size(); ++i) {
        QColor fill;
        if (i == current) {
            const QColor accent = items.at(i).accent;
            fill =
                !enabled ? ThemePalette::color("border") : (accent.isValid() ? accent : ThemePalette::color("primary"));
        } else {
            fill = ThemePalette::color(enabled ? "white" : "overlayBg");
        }
        painter.fillRect(segmentRect(i), fill);
    }

    const QColor border = ThemePalette::color("border");
    paintHairlineRect(painter, rect(), border);
    for (int i = 1; i < items.size(); ++i)
        paintHairlineV(painter, items.at(i).x, 0, height(), border);

    for (int i = 0; i < items.size(); ++i) {
        const bool selected = i == current;
        QFont labelFont = font();
        labelFont.setWeight(selected ? QFont::Bold : QFont::Normal);
        painter.setFont(labelFont);
        painter.setPen(ThemePalette::color(selected ? "onPrimary" : (enabled ? "textSub" : "textFaint")));
        painter.drawText(segmentRect(i), Qt::AlignCenter, items.at(i).label);
    }
}
