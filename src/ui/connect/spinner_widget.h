#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

// A small turning arc shown in a button while its request runs. GUI thread.
class SpinnerWidget : public QWidget
{
    Q_OBJECT
public:
    SpinnerWidget(const QColor &color, QWidget *parent = nullptr);

    QTimer *ticker() const { return timer; }
    int currentAngle() const { return angle; }
    void setAngle(int degrees) { angle = degrees; }
    const QColor &arcColor() const { return color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor color;
    QTimer *timer = nullptr;
    int angle = 0;
};
