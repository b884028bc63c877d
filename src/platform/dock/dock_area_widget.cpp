#include "platform/dock/dock_area_widget.h"

#include "platform/dock/dock_area_tab_bar.h"
#include "platform/dock/dock_area_title_bar.h"
#include "platform/dock/dock_container_widget.h"
#include "platform/dock/dock_splitter.h"
#include "platform/dock/dock_widget.h"
#include "platform/dock/dock_widget_tab.h"

#include <QBoxLayout>
#include <QStackedWidget>

namespace ads {

CDockAreaWidget::CDockAreaWidget(CDockManager *dockManager, CDockContainerWidget *owner)
    : QFrame(owner)
    , manager(dockManager)
    , container(owner)
{
    title = new CDockAreaTitleBar(this);
    stack = new QStackedWidget(this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(title);
    column->addWidget(stack, 1);
}

CDockAreaWidget::~CDockAreaWidget()
{
    for (CDockWidget *dock : std::as_const(docks))
        dock->area = nullptr;
}

CDockSplitter *CDockAreaWidget::parentSplitter() const
{
    return qobject_cast<CDockSplitter *>(parentWidget());
}

void CDockAreaWidget::insertDockWidget(int index, CDockWidget *dock, bool activate)
{
    if (!dock)
        return;
    if (CDockAreaWidget *previous = dock->area; previous && previous != this)
        previous->removeDockWidget(dock);
    if (docks.contains(dock))
        return;
    if (index < 0 || index > docks.size())
        index = int(docks.size());
    docks.insert(index, dock);
    dock->area = this;
    if (!dock->manager)
        dock->manager = manager;
    stack->insertWidget(index, dock);
    if (!dock->isClosed()) {
        title->tabBar()->insertTab(tabIndexFor(dock), dock->tabWidget());
        connect(
            dock->tabWidget(), &CDockWidgetTab::clicked, this, [this, dock] { setCurrentDockWidget(dock); },
            Qt::UniqueConnection);
        setVisible(true);
        if (activate || !current)
            setCurrentDockWidget(dock);
    }
    updateTitleBarVisibility();
    updateActiveTabs();
}

void CDockAreaWidget::removeDockWidget(CDockWidget *dock)
{
    const int index = int(docks.indexOf(dock));
    if (index < 0)
        return;
    disconnect(dock->tabWidget(), nullptr, this, nullptr);
    title->tabBar()->removeTab(dock->tabWidget(), dock);
    docks.removeAt(index);
    stack->removeWidget(dock);
    dock->area = nullptr;
    if (current == dock) {
        current = nullptr;
        pickCurrentAfterClose();
    }
    if (openDockWidgetsCount() == 0)
        hide();
    updateTitleBarVisibility();
    updateActiveTabs();
}

QList<CDockWidget *> CDockAreaWidget::openedDockWidgets() const
{
    QList<CDockWidget *> open;
    for (CDockWidget *dock : docks) {
        if (!dock->isClosed())
            open.append(dock);
    }
    return open;
}

int CDockAreaWidget::openDockWidgetsCount() const
{
    return int(openedDockWidgets().size());
}

CDockWidget *CDockAreaWidget::currentDockWidget() const
{
    return current;
}

int CDockAreaWidget::currentIndex() const
{
    return current ? int(docks.indexOf(current)) : -1;
}

void CDockAreaWidget::setCurrentDockWidget(CDockWidget *dock)
{
    if (!dock || dock->isClosed() || !docks.contains(dock) || current == dock)
        return;
    current = dock;
    stack->setCurrentWidget(dock);
    updateActiveTabs();
    emit currentChanged(int(docks.indexOf(dock)));
}

void CDockAreaWidget::setCurrentIndex(int index)
{
    if (index >= 0 && index < docks.size())
        setCurrentDockWidget(docks.at(index));
}

void CDockAreaWidget::setDockAreaFlag(eDockAreaFlag flag, bool on)
{
    flags.setFlag(flag, on);
    updateTitleBarVisibility();
}

void CDockAreaWidget::onDockToggled(CDockWidget *dock, bool open)
{
    if (open) {
        title->tabBar()->insertTab(tabIndexFor(dock), dock->tabWidget());
        connect(
            dock->tabWidget(), &CDockWidgetTab::clicked, this, [this, dock] { setCurrentDockWidget(dock); },
            Qt::UniqueConnection);
        setVisible(true);
        setCurrentDockWidget(dock);
    } else {
        title->tabBar()->removeTab(dock->tabWidget(), dock);
        if (current == dock) {
            current = nullptr;
            pickCurrentAfterClose();
        }
        if (openDockWidgetsCount() == 0)
            hide();
    }
    updateTitleBarVisibility();
    updateActiveTabs();
    if (container)
        container->updateSplitterVisibility();
}

int CDockAreaWidget::tabIndexFor(CDockWidget *dock) const
{
    int index = 0;
    for (CDockWidget *other : docks) {
        if (other == dock)
            break;
        if (!other->isClosed())
            ++index;
    }
    return index;
}

void CDockAreaWidget::updateTitleBarVisibility()
{
    const bool hideSingle = flags.testFlag(HideSingleWidgetTitleBar) && openDockWidgetsCount() <= 1;
    title->setVisible(!hideSingle);
}

void CDockAreaWidget::updateActiveTabs()
{
    for (CDockWidget *dock : std::as_const(docks))
        dock->tabWidget()->setActiveTab(dock == current);
}

void CDockAreaWidget::pickCurrentAfterClose()
{
    const QList<CDockWidget *> open = openedDockWidgets();
    if (open.isEmpty()) {
        emit currentChanged(-1);
        return;
    }
    setCurrentDockWidget(open.first());
}

} // namespace ads
