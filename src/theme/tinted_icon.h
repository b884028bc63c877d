#pragma once

#include <QIcon>

class QColor;
class QString;

// A single-colour icon from an SVG: the drawing's alpha in the normal colour and, for
// disabled buttons, in the disabled colour; pre-rendered at pixel ratios 1, 1.25, 1.5
// and 2 so moving between screens needs no re-rendering.
QIcon makeTintedIcon(const QString &svgPath, const QColor &normal, const QColor &disabled, int logicalSize);
