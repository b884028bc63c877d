#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// A 16 x 16 circled exclamation mark that shows its text in a popup while the pointer
// rests on it: centred above the badge, or below it near the top of the screen.
class HintTip : public QWidget
{
    Q_OBJECT
public:
    explicit HintTip(QWidget *parent = nullptr);
    ~HintTip() override;

    // Takes effect at the next hover; an open popup keeps its text.
    void setText(const QString &text);
    QString text() const { return hint; }

    // The popup, null until the first hover over a non-empty text.
    QLabel *popupLabel() const { return popup; }
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void showPopup();

    QString hint;
    QLabel *popup = nullptr; // top-level, owned here
    bool hovered = false;
};
