#include "ui/widgets/hint_tip.h"

#include "theme/theme_palette.h"

#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <algorithm>

HintTip::HintTip(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(16, 16);
    setCursor(Qt::WhatsThisCursor);
}

HintTip::~HintTip()
{
    delete popup;
}

void HintTip::setText(const QString &text)
{
    hint = text;
}

QSize HintTip::sizeHint() const
{
    return {16, 16};
}

void HintTip::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    hovered = true;
    update();
    if (!hint.isEmpty())
        showPopup();
}

void HintTip::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    hovered = false;
    update();
    if (popup)
        popup->hide();
}

void HintTip::showPopup()
{
    if (!popup) {
        popup = new QLabel(nullptr, Qt::ToolTip);
        popup->setWordWrap(true);
        popup->setMaximumWidth(220);
        popup->setProperty("role", QStringLiteral("hintPopup"));
    }
    popup->setText(hint);
    popup->adjustSize();

    const int popupWidth = popup->width();
    const int popupHeight = popup->height();
    QPoint p = mapToGlobal(QPoint(width() / 2 - popupWidth / 2, -popupHeight - 6));
    if (const QScreen *shown = screen()) {
        const QRect g = shown->availableGeometry();
        p.setX(std::max(g.left(), std::min(g.left() + g.width() - popupWidth, p.x())));
        if (p.y() < g.top())
            p.setY(mapToGlobal(QPoint(0, height() + 6)).y());
    }
    popup->move(p);
    popup->show();
}

void HintTip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor c = ThemePalette::color(hovered ? "primary" : "textMuted");

    painter.setPen(QPen(c, 1.3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(1, 1, 14, 14));

    painter.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8, 4.2), QPointF(8, 9.3));

    painter.setPen(Qt::NoPen);
    painter.setBrush(c);
    painter.drawEllipse(QPointF(8, 11.7), 0.95, 0.95);
}
