#include "theme/tinted_icon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

#include <cmath>

QIcon makeTintedIcon(const QString &svgPath, const QColor &normal, const QColor &disabled, int logicalSize)
{
    QSvgRenderer renderer(svgPath);
    QIcon icon;
    for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
        const int pixels = int(std::lround(logicalSize * ratio));
        QPixmap rendered(pixels, pixels);
        rendered.fill(Qt::transparent);
        {
            QPainter painter(&rendered);
            renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        }
        for (const auto &[mode, tint] : {std::pair{QIcon::Normal, normal}, std::pair{QIcon::Disabled, disabled}}) {
            QPixmap copy = rendered.copy();
            {
                QPainter painter(&copy);
                painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
                painter.fillRect(copy.rect(), tint);
            }
            copy.setDevicePixelRatio(ratio);
            icon.addPixmap(copy, mode, QIcon::Off);
        }
    }
    return icon;
}
