#include "support/picture_check.h"

#include <QHash>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace testsupport {

namespace {

// Differences a renderer's anti-aliasing or a gradient can make are not a drawing.
constexpr int kChannelTolerance = 24;
// A region counts as drawn when at least this share of its pixels (and at least a few)
// differ from its most common colour: a short label in a wide box is enough.
constexpr double kDrawnShare = 0.002;
constexpr int kDrawnMinimum = 6;

bool differs(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) > kChannelTolerance || std::abs(qGreen(a) - qGreen(b)) > kChannelTolerance
           || std::abs(qBlue(a) - qBlue(b)) > kChannelTolerance;
}

} // namespace

PictureRegion regionOf(const QWidget *root, const QWidget *widget, const QString &name)
{
    PictureRegion region;
    region.name = !name.isEmpty()                   ? name
                  : !widget->objectName().isEmpty() ? widget->objectName()
                                                    : QString::fromLatin1(widget->metaObject()->className());
    const bool inside = widget == root || root->isAncestorOf(widget);
    if (inside && widget->isVisibleTo(root) && widget->isVisible())
        region.rect = QRect(widget->mapTo(root, QPoint(0, 0)), widget->size()).intersected(root->rect());
    return region;
}

PictureRegion regionThrough(const QWidget *root, const QWidget *viewport, const QWidget *widget,
                            const QString &name)
{
    PictureRegion region{name, {}};
    const QRect inViewport = QRect(widget->mapTo(viewport, QPoint()), widget->size()).intersected(viewport->rect());
    if (!inViewport.isEmpty())
        region.rect = QRect(viewport->mapTo(root, inViewport.topLeft()), inViewport.size());
    return region;
}

QList<PictureRegion> regionsOf(const QWidget *root, const QList<const QWidget *> &widgets)
{
    QList<PictureRegion> regions;
    for (const QWidget *widget : widgets)
        regions.append(regionOf(root, widget));
    return regions;
}

QList<const QWidget *> shownChildren(const QWidget *container)
{
    QList<const QWidget *> children;
    for (const QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && !child->isWindow() && !child->size().isEmpty())
            children.append(child);
    }
    return children;
}

QStringList blankRegions(const QImage &image, const QList<PictureRegion> &regions)
{
    QStringList blank;
    const QImage picture = image.convertToFormat(QImage::Format_RGB32);
    const qreal ratio = image.devicePixelRatio();
    for (const PictureRegion &region : regions) {
        const QRect pixels = QRect(QPoint(qRound(region.rect.x() * ratio), qRound(region.rect.y() * ratio)),
                                   QSize(qRound(region.rect.width() * ratio), qRound(region.rect.height() * ratio)))
                                 .intersected(picture.rect());
        if (region.rect.isEmpty() || pixels.isEmpty()) {
            blank.append(region.name + QStringLiteral(" (not in the picture)"));
            continue;
        }
        QHash<QRgb, int> counts;
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
            for (int x = pixels.left(); x <= pixels.right(); ++x)
                ++counts[line[x] | 0xff000000u];
        }
        QRgb background = 0;
        int most = -1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                background = it.key();
            }
        }
        int drawn = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (differs(it.key(), background))
                drawn += it.value();
        }
        const int needed = std::max(kDrawnMinimum, int(kDrawnShare * double(pixels.width()) * pixels.height()));
        if (drawn < needed)
            blank.append(QStringLiteral("%1 (%2 of %3 pixels drawn)").arg(region.name).arg(drawn).arg(needed));
    }
    return blank;
}

} // namespace testsupport
