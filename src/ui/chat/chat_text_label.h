#pragma once

#include <QLabel>

// A word-wrapped rich-text label for message bodies whose size answers are cheap. QLabel
// lays its whole document out again for every size question (twice, as it puts its own
// width back afterwards), and a layout pass asks several: its size hint tries up to three
// widths and its minimum size hint two more. A feed row asks for its height at one width,
// so here the height per width is kept until the text or the font changes, and the size
// hints are made from it (or from one line) rather than from widths the row is never given.
//
// Word wrap, margins and indent are set before the label is first measured. GUI thread only.
class ChatTextLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ChatTextLabel(QWidget *parent = nullptr);

    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    int hintWidth() const;
    void forget() const;

    struct Measured
    {
        int width = -1;
        int height = -1;
    };
    static constexpr int kKept = 3;
    mutable QString measuredText;
    mutable Measured measured[kKept];
    mutable int nextSlot = 0;
    mutable int lastSlot = -1;
};
