#include "platform/dock/dock_widget.h"

#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_container_widget.h"
#include "platform/dock/dock_manager.h"
#include "platform/dock/dock_widget_tab.h"
#include "platform/dock/floating_dock_container.h"

#include <QAbstractScrollArea>
#include <QBoxLayout>
#include <QScrollArea>

namespace ads {

CDockWidget::CDockWidget(const QString &title, QWidget *parent)
    : QFrame(parent)
{
    setWindowTitle(title);
    setObjectName(title);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    tab = new CDockWidgetTab(this);
    tab->setText(title);
    tab->hide();
}

CDockWidget::~CDockWidget()
{
    if (area)
        area->removeDockWidget(this);
    // The tab lives in the area's tab bar while the dock is open.
    delete tab.data();
}

CDockWidgetTab *CDockWidget::tabWidget() const
{
    return tab.data();
}

void CDockWidget::setWidget(QWidget *widget, eInsertMode insertMode)
{
    if (holder) {
        layout()->removeWidget(holder);
        delete holder;
        holder = nullptr;
        content = nullptr;
    }
    content = widget;
    if (!widget)
        return;
    const bool scrolls = qobject_cast<QAbstractScrollArea *>(widget) != nullptr;
    const bool wrap = insertMode == ForceScrollArea || (insertMode == AutoScrollArea && !scrolls);
    if (wrap) {
        auto *scroll = new QScrollArea(this);
        scroll->setObjectName(QStringLiteral("dockWidgetScrollArea"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(widget);
        holder = scroll;
    } else {
        widget->setParent(this);
        holder = widget;
    }
    layout()->addWidget(holder);
    holder->show();
}

void CDockWidget::setMinimumSizeHintMode(eMinimumSizeHintMode mode)
{
    sizeHintMode = mode;
    updateGeometry();
}

QSize CDockWidget::minimumSizeHint() const
{
    if (sizeHintMode == MinimumSizeHintFromContent && content)
        return content->minimumSizeHint();
    return QSize(60, 40);
}

CDockContainerWidget *CDockWidget::dockContainer() const
{
    return area ? area->dockContainer() : nullptr;
}

bool CDockWidget::isFloating() const
{
    CDockContainerWidget *container = dockContainer();
    return container && container->isFloating();
}

void CDockWidget::toggleView(bool open)
{
    if (closed == !open)
        return;
    closed = !open;
    if (area)
        area->onDockToggled(this, open);
    emit viewToggled(open);
}

void CDockWidget::setAsCurrentTab()
{
    if (area && !closed)
        area->setCurrentDockWidget(this);
}

void CDockWidget::raise()
{
    if (closed)
        return;
    setAsCurrentTab();
    if (CDockContainerWidget *container = dockContainer()) {
        if (QWidget *top = container->window()) {
            top->raise();
        }
    }
}

void CDockWidget::setFloating()
{
    if (!manager || isFloating())
        return;
    manager->floatDockWidget(this);
}

} // namespace ads
