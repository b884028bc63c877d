#include "platform/dock/dock_container_widget.h"

#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_manager.h"
#include "platform/dock/dock_splitter.h"
#include "platform/dock/dock_widget.h"

#include <QBoxLayout>

#include <algorithm>

namespace ads {

bool isExplicitlyHidden(const QWidget *widget)
{
    return widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

CDockContainerWidget::CDockContainerWidget(CDockManager *dockManager, QWidget *parent)
    : QFrame(parent)
    , manager(dockManager)
{
    root = new CDockSplitter(Qt::Horizontal, this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(root);
}

CDockContainerWidget::~CDockContainerWidget() = default;

CDockAreaWidget *CDockContainerWidget::addDockWidget(DockWidgetArea area, CDockWidget *dock,
                                                     CDockAreaWidget *targetArea, int index)
{
    if (!dock)
        return nullptr;
    if (area == CenterDockWidgetArea) {
        if (!targetArea) {
            const QList<CDockAreaWidget *> areas = dockAreas();
            targetArea = areas.isEmpty() ? nullptr : areas.last();
        }
        if (targetArea) {
            targetArea->insertDockWidget(index, dock);
            return targetArea;
        }
        area = LeftDockWidgetArea;
    }

    CDockAreaWidget *created = newArea();
    const Qt::Orientation orientation =
        (area == LeftDockWidgetArea || area == RightDockWidgetArea) ? Qt::Horizontal : Qt::Vertical;
    const bool append = area == RightDockWidgetArea || area == BottomDockWidgetArea;
    if (targetArea && targetArea->parentSplitter())
        insertBeside(targetArea, created, orientation, append);
    else
        insertIntoRoot(created, orientation, append);
    if (manager)
        emit manager->dockAreaCreated(created);
    created->insertDockWidget(0, dock);
    updateSplitterVisibility();
    return created;
}

CDockAreaWidget *CDockContainerWidget::newArea()
{
    return new CDockAreaWidget(manager, this);
}

void CDockContainerWidget::insertIntoRoot(CDockAreaWidget *area, Qt::Orientation orientation, bool append)
{
    if (root->count() <= 1)
        root->setOrientation(orientation);
    if (root->orientation() == orientation) {
        if (append)
            root->addWidget(area);
        else
            root->insertWidget(0, area);
        return;
    }
    // The old root becomes one item of a new root of the other orientation.
    auto *newRoot = new CDockSplitter(orientation, this);
    // The layout hands back the item that held the old root; it is ours to delete.
    delete layout()->replaceWidget(root, newRoot);
    CDockSplitter *oldRoot = root;
    root = newRoot;
    if (append) {
        newRoot->addWidget(oldRoot);
        newRoot->addWidget(area);
    } else {
        newRoot->addWidget(area);
        newRoot->addWidget(oldRoot);
    }
    oldRoot->show();
}

void CDockContainerWidget::insertBeside(CDockAreaWidget *target, CDockAreaWidget *area, Qt::Orientation orientation,
                                        bool append)
{
    CDockSplitter *splitter = target->parentSplitter();
    const int at = splitter->indexOf(target);
    if (splitter->count() <= 1)
        splitter->setOrientation(orientation);
    if (splitter->orientation() == orientation) {
        splitter->insertWidget(append ? at + 1 : at, area);
        return;
    }
    const QList<int> sizes = splitter->sizes();
    auto *nested = new CDockSplitter(orientation);
    splitter->insertWidget(at, nested);
    nested->addWidget(target);
    nested->insertWidget(append ? 1 : 0, area);
    splitter->setSizes(sizes);
    target->show();
}

QList<CDockAreaWidget *> CDockContainerWidget::dockAreas() const
{
    QList<CDockAreaWidget *> areas;
    for (CDockAreaWidget *area : root->findChildren<CDockAreaWidget *>()) {
        if (area->dockContainer() == this)
            areas.append(area);
    }
    return areas;
}

QList<CDockAreaWidget *> CDockContainerWidget::openedDockAreas() const
{
    QList<CDockAreaWidget *> areas = dockAreas();
    areas.erase(std::remove_if(areas.begin(), areas.end(),
                               [](CDockAreaWidget *area) { return area->openDockWidgetsCount() == 0; }),
                areas.end());
    return areas;
}

namespace {

// Returns whether the splitter keeps anything visible, deepest splitters first.
bool refreshSplitter(CDockSplitter *splitter)
{
    bool anyVisible = false;
    for (int i = 0; i < splitter->count(); ++i) {
        QWidget *item = splitter->widget(i);
        if (auto *nested = qobject_cast<CDockSplitter *>(item)) {
            const bool visible = refreshSplitter(nested);
            if (visible && isExplicitlyHidden(nested))
                nested->show();
            else if (!visible && !isExplicitlyHidden(nested))
                nested->hide();
            anyVisible = anyVisible || visible;
        } else if (!isExplicitlyHidden(item)) {
            anyVisible = true;
        }
    }
    return anyVisible;
}

} // namespace

void CDockContainerWidget::updateSplitterVisibility()
{
    refreshSplitter(root);
}

} // namespace ads
