#pragma once

#include <QLabel>

class QColor;

namespace blocks {

// A member's status dot: the "●" glyph, centred, in an 8-pixel font and the colour of its
// state (idle, speaking, blocked for 1, 2, 3; nothing for any other value, while the dot
// still takes its place). It paints that colour itself instead of carrying a style sheet,
// so that a change of state costs one repaint and no re-polish against the application
// style sheet, even when every member of a big room changes at once.
class DotLabel : public QLabel
{
    Q_OBJECT
public:
    explicit DotLabel(QWidget *parent);

    // Repaints only when the state differs from the one shown.
    void setState(int state);
    int state() const { return dotState; }

    // The colour a state is drawn in; transparent for anything but 1, 2 and 3.
    static QColor colourFor(int state);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int dotState = 0;
};

} // namespace blocks
