#include "ui/connect/spinner_widget.h"

#include <QPainter>
#include <QPen>
#include <QTimer>

SpinnerWidget::SpinnerWidget(const QColor &color_, QWidget *parent)
    : QWidget(parent)
    , color(color_)
{
    setFixedSize(14, 14);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    timer = new QTimer(this);
    timer->setInterval(80);
    connect(timer, &QTimer::timeout, this, [this] {
        angle = (angle + 30) % 360;
        update();
    });
}

void SpinnerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QBrush(color), 2.0, Qt::SolidLine, Qt::RoundCap));
    // A 270-degree arc turning clockwise by one step per tick.
    painter.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -angle * 16, 270 * 16);
}
