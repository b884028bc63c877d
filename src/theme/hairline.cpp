#include "theme/hairline.h"

#include <QPaintDevice>
#include <QPainter>

namespace {

void fillHairline(QPainter &painter, const QRectF &rect, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, color);
    painter.restore();
}

} // namespace

qreal hairlineThickness(const QPainter &painter)
{
    const QPaintDevice *device = painter.device();
    if (!device)
        return 1.0;
    const qreal ratio = device->devicePixelRatioF();
    return ratio > 0.0 ? 1.0 / ratio : 1.0;
}

void paintHairlineH(QPainter &painter, qreal y, qreal x1, qreal x2, const QColor &color)
{
    fillHairline(painter, QRectF(x1, y, x2 - x1, hairlineThickness(painter)), color);
}

void paintHairlineV(QPainter &painter, qreal x, qreal y1, qreal y2, const QColor &color)
{
    fillHairline(painter, QRectF(x, y1, hairlineThickness(painter), y2 - y1), color);
}

void paintHairlineRect(QPainter &painter, const QRect &rect, const QColor &color)
{
    const qreal t = hairlineThickness(painter);
    const qreal x = rect.x();
    const qreal y = rect.y();
    const qreal w = rect.width();
    const qreal h = rect.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRectF(x, y, w, t), color);
    painter.fillRect(QRectF(x, y + h - t, w, t), color);
    painter.fillRect(QRectF(x, y, t, h), color);
    painter.fillRect(QRectF(x + w - t, y, t, h), color);
    painter.restore();
}
