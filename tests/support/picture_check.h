#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class QImage;
class QWidget;

namespace testsupport {

// One part of a saved picture that must show something: a name for the failure message and
// the rectangle in the logical coordinates of the widget the picture was grabbed from.
struct PictureRegion
{
    QString name;
    QRect rect;
};

// The region `widget` covers in a grab of `root` (it may be `root` itself), named by its
// object name or, without one, its class; an empty rectangle when it is hidden or not
// inside `root`.
PictureRegion regionOf(const QWidget *root, const QWidget *widget, const QString &name = {});

// The part of `widget` that shows through `viewport` (a scroll area's), as a region of a grab
// of `root`; an empty rectangle when none of it is in view.
PictureRegion regionThrough(const QWidget *root, const QWidget *viewport, const QWidget *widget,
                            const QString &name);

// The regions of `widgets` in a grab of `root`.
QList<PictureRegion> regionsOf(const QWidget *root, const QList<const QWidget *> &widgets);

// The visible direct child widgets of `container` that have a size.
QList<const QWidget *> shownChildren(const QWidget *container);

// The names of the regions of `image` (a grab taken at any device pixel ratio) that show
// nothing: empty, outside the picture, or one flat colour with too few pixels of anything
// else to be a letter, an edge or an icon. Empty when every region holds a drawing.
QStringList blankRegions(const QImage &image, const QList<PictureRegion> &regions);

} // namespace testsupport
