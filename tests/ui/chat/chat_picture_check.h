#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

namespace chattest {

// How many pixels of `area` (in the widget's logical coordinates) differ clearly from the
// area's own background, taken at its top-right corner: a row whose text, avatar or frame
// was painted has many, a row left blank has none.
inline int inkedPixels(const QImage &image, const QRect &area)
{
    const qreal ratio = image.devicePixelRatio();
    const QRect pixels = QRect(area.topLeft() * ratio, area.size() * ratio).intersected(image.rect());
    if (pixels.isEmpty())
        return 0;
    const QColor background = image.pixelColor(pixels.right(), pixels.top());
    int inked = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - background.red()) + qAbs(c.green() - background.green())
                    + qAbs(c.blue() - background.blue())
                > 60)
                ++inked;
        }
    }
    return inked;
}

// The part of `row` inside `viewport`, in the coordinates of `top` (the grabbed widget).
inline QRect visiblePart(QWidget *row, QWidget *viewport, QWidget *top)
{
    const QRect inViewport = QRect(row->mapTo(viewport, QPoint()), row->size()).intersected(viewport->rect());
    if (inViewport.isEmpty())
        return {};
    return QRect(viewport->mapTo(top, inViewport.topLeft()), inViewport.size());
}

} // namespace chattest
