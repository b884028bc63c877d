#pragma once

#include <QString>

class QFont;

namespace blocks {

// The style sheet of a status dot label: idle, speaking and blocked colours for 1, 2
// and 3; transparent (the dot still takes its place) for anything else.
QString dotStyle(int state);

// The height of every header and member row for the panel's font.
int rowHeightFor(const QFont &font);

} // namespace blocks

class QWidget;

namespace blocks {

// Sets the widget's own style sheet unless it already holds exactly that text: every
// set re-polishes the widget, which a panel rebuilt once per loop turn cannot afford.
void applyStyle(QWidget *widget, const QString &sheet);

} // namespace blocks
