#include "platform/dock/floating_dock_container.h"

#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_container_widget.h"
#include "platform/dock/dock_manager.h"
#include "platform/dock/dock_widget.h"

#include <QBoxLayout>

namespace ads {

CFloatingDockContainer::CFloatingDockContainer(CDockManager *dockManager)
    : QWidget(nullptr, Qt::Window)
    , manager(dockManager)
{
    container = new CDockContainerWidget(dockManager, this);
    container->floating = this;
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(container);
    connect(dockManager, &CDockManager::dockAreaCreated, this, [this](CDockAreaWidget *area) {
        if (area->dockContainer() != container)
            return;
        connect(area, &CDockAreaWidget::currentChanged, this, &CFloatingDockContainer::updateTitle);
    });
}

CFloatingDockContainer::~CFloatingDockContainer() = default;

void CFloatingDockContainer::updateTitle()
{
    for (CDockAreaWidget *area : container->openedDockAreas()) {
        if (CDockWidget *dock = area->currentDockWidget()) {
            setWindowTitle(dock->windowTitle());
            return;
        }
    }
}

} // namespace ads
