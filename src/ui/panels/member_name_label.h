#pragma once

#include <QLabel>

namespace blocks {

// A member's name, shown verbatim (a name is never read as markup), in the colour every
// label has or, for a member whose connection dropped, in the faint colour. The faint
// colour is painted here instead of coming from a style sheet of the label's own, so that
// a member dropping or coming back costs one repaint and no re-polish against the
// application style sheet.
class MemberNameLabel : public QLabel
{
    Q_OBJECT
public:
    explicit MemberNameLabel(QWidget *parent);

    // Repaints only when the value differs from the one shown.
    void setFaint(bool faint);
    bool isFaint() const { return faintText; }

    // The same sizes a plain-text label gives, measured once per text and font: the label
    // measures a changed text three times, and a room where many names change at once
    // (members dropping) spends its layout on those measurements.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool faintText = false;
    mutable bool hintValid = false;
    mutable QString hintText;
    mutable QFont hintFont;
    mutable QMargins hintMargins;
    mutable QSize hint;
};

} // namespace blocks
