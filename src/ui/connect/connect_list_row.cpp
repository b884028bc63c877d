#include "ui/connect/connect_list_row.h"

#include "theme/theme_palette.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QMouseEvent>

ConnectListRow::ConnectListRow(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(40);
    setStyleSheet(QStringLiteral("background:transparent;"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(10);
}

void ConnectListRow::setHovered(bool hovered)
{
    setStyleSheet(hovered ? QStringLiteral("background:%1;").arg(QLatin1String(ThemePalette::hex("fillHover")))
                          : QStringLiteral("background:transparent;"));
}

void ConnectListRow::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    setHovered(true);
}

void ConnectListRow::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    setHovered(false);
}

void ConnectListRow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && action)
        action();
}
