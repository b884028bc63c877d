#pragma once

#include <QtGlobal>

class QColor;
class QPainter;
class QRect;

// Lines one device pixel thick at any scaling: their logical thickness is 1 divided by
// the painter device's pixel ratio (1 without a device). Drawn as filled rectangles,
// without antialiasing; the painter's state is left as it was.
void paintHairlineH(QPainter &painter, qreal y, qreal x1, qreal x2, const QColor &color);
void paintHairlineV(QPainter &painter, qreal x, qreal y1, qreal y2, const QColor &color);
// The four edges, each inside the rectangle.
void paintHairlineRect(QPainter &painter, const QRect &rect, const QColor &color);

// The logical thickness those painters use.
qreal hairlineThickness(const QPainter &painter);
