#include "platform/frameless/frameless_agent.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

FramelessAgent::FramelessAgent(QWidget *window_)
    : QObject(window_)
{}

void FramelessAgent::setup(QWidget *target)
{
    window = target;
    if (!window)
        return;
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    window->setAttribute(Qt::WA_Hover, true); // hover events drive the resize cursors
    window->installEventFilter(this);
}

void FramelessAgent::setTitleBar(QWidget *bar)
{
    if (titleBar)
        titleBar->removeEventFilter(this);
    titleBar = bar;
    if (titleBar)
        titleBar->installEventFilter(this);
}

void FramelessAgent::setHitTestVisible(QWidget *widget, bool visible)
{
    if (!widget)
        return;
    if (visible)
        clickable.insert(widget);
    else
        clickable.remove(widget);
}

void FramelessAgent::setSystemButton(SystemButton role, QAbstractButton *button)
{
    switch (role) {
        case Minimize: minimizeButton = button; break;
        case Maximize: maximizeButton = button; break;
        case Close: closeButton = button; break;
    }
    setHitTestVisible(button, true);
}

QAbstractButton *FramelessAgent::systemButton(SystemButton role) const
{
    switch (role) {
        case Minimize: return minimizeButton;
        case Maximize: return maximizeButton;
        case Close: return closeButton;
    }
    return nullptr;
}

bool FramelessAgent::isClickable(const QPoint &titleBarPos) const
{
    for (QWidget *w = titleBar->childAt(titleBarPos); w && w != titleBar; w = w->parentWidget())
        if (clickable.contains(w))
            return true;
    return false;
}

Qt::Edges FramelessAgent::edgesAt(const QPoint &pos) const
{
    Qt::Edges edges;
    if (!window || window->isMaximized() || window->isFullScreen())
        return edges;
    if (pos.x() < kResizeBand)
        edges |= Qt::LeftEdge;
    if (pos.x() >= window->width() - kResizeBand)
        edges |= Qt::RightEdge;
    if (pos.y() < kResizeBand)
        edges |= Qt::TopEdge;
    if (pos.y() >= window->height() - kResizeBand)
        edges |= Qt::BottomEdge;
    return edges;
}

bool FramelessAgent::onWindowEvent(QEvent *event)
{
    switch (event->type()) {
        case QEvent::HoverMove: {
            const Qt::Edges edges = edgesAt(static_cast<QHoverEvent *>(event)->position().toPoint());
            if ((edges & (Qt::LeftEdge | Qt::TopEdge)) == (Qt::LeftEdge | Qt::TopEdge)
                || (edges & (Qt::RightEdge | Qt::BottomEdge)) == (Qt::RightEdge | Qt::BottomEdge))
                window->setCursor(Qt::SizeFDiagCursor);
            else if ((edges & (Qt::RightEdge | Qt::TopEdge)) == (Qt::RightEdge | Qt::TopEdge)
                     || (edges & (Qt::LeftEdge | Qt::BottomEdge)) == (Qt::LeftEdge | Qt::BottomEdge))
                window->setCursor(Qt::SizeBDiagCursor);
            else if (edges & (Qt::LeftEdge | Qt::RightEdge))
                window->setCursor(Qt::SizeHorCursor);
            else if (edges & (Qt::TopEdge | Qt::BottomEdge))
                window->setCursor(Qt::SizeVerCursor);
            else
                window->unsetCursor();
            return false;
        }
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton)
                return false;
            const Qt::Edges edges = edgesAt(mouse->position().toPoint());
            if (!edges)
                return false;
            emit systemResizeRequested(edges);
            if (QWindow *handle = window->windowHandle())
                handle->startSystemResize(edges);
            return true;
        }
        default: return false;
    }
}

bool FramelessAgent::onTitleBarEvent(QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton || isClickable(mouse->position().toPoint()) || !window)
        return false;
    // A press inside the resize band of the window belongs to the resize.
    if (edgesAt(titleBar->mapTo(window, mouse->position().toPoint())))
        return false;
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (window->isMaximized())
            window->showNormal();
        else
            window->showMaximized();
        return true;
    }
    emit systemMoveRequested();
    if (QWindow *handle = window->windowHandle())
        handle->startSystemMove();
    return true;
}

bool FramelessAgent::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && onWindowEvent(event))
        return true;
    if (watched == titleBar && onTitleBarEvent(event))
        return true;
    return QObject::eventFilter(watched, event);
}
