#include "platform/dock/dock_manager.h"

#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_splitter.h"
#include "platform/dock/dock_widget.h"
#include "platform/dock/floating_dock_container.h"

#include <QMainWindow>

namespace ads {

namespace {

CDockManager::ConfigFlags &globalFlags()
{
    static CDockManager::ConfigFlags flags = CDockManager::ActiveTabHasCloseButton
                                             | CDockManager::DockAreaHasCloseButton | CDockManager::OpaqueSplitterResize
                                             | CDockManager::DockAreaHasUndockButton
                                             | CDockManager::DockAreaHasTabsMenuButton;
    return flags;
}

} // namespace

void CDockManager::setConfigFlag(eConfigFlag flag, bool on)
{
    globalFlags().setFlag(flag, on);
}

bool CDockManager::testConfigFlag(eConfigFlag flag)
{
    return globalFlags().testFlag(flag);
}

CDockManager::ConfigFlags CDockManager::configFlags()
{
    return globalFlags();
}

void CDockManager::setConfigFlags(ConfigFlags flags)
{
    globalFlags() = flags;
}

CDockManager::CDockManager(QWidget *parent)
    : CDockContainerWidget(nullptr, parent)
{
    setDockManager(this);
    rootSplitter()->setOpaqueResize(testConfigFlag(OpaqueSplitterResize));
    if (auto *window = qobject_cast<QMainWindow *>(parent))
        window->setCentralWidget(this);
}

CDockManager::~CDockManager()
{
    for (const QPointer<CFloatingDockContainer> &container : std::as_const(floatings))
        delete container.data();
}

CDockWidget *CDockManager::createDockWidget(const QString &title, QWidget *parent)
{
    auto *dock = new CDockWidget(title, parent);
    dock->manager = this;
    return dock;
}

CDockAreaWidget *CDockManager::addDockWidget(DockWidgetArea area, CDockWidget *dock, CDockAreaWidget *targetArea,
                                             int index)
{
    CDockContainerWidget *container = targetArea ? targetArea->dockContainer() : this;
    CDockAreaWidget *result = container->CDockContainerWidget::addDockWidget(area, dock, targetArea, index);
    const bool opaque = testConfigFlag(OpaqueSplitterResize);
    for (CDockSplitter *splitter : container->findChildren<CDockSplitter *>())
        splitter->setOpaqueResize(opaque);
    container->rootSplitter()->setOpaqueResize(opaque);
    return result;
}

CDockAreaWidget *CDockManager::addDockWidgetTabToArea(CDockWidget *dock, CDockAreaWidget *targetArea, int index)
{
    if (!targetArea)
        return addDockWidget(CenterDockWidgetArea, dock, nullptr, index);
    targetArea->insertDockWidget(index, dock);
    return targetArea;
}

QList<CFloatingDockContainer *> CDockManager::floatingWidgets() const
{
    QList<CFloatingDockContainer *> list;
    for (const QPointer<CFloatingDockContainer> &container : floatings) {
        if (container)
            list.append(container.data());
    }
    return list;
}

CFloatingDockContainer *CDockManager::floatDockWidget(CDockWidget *dock)
{
    if (!dock)
        return nullptr;
    const QSize size = dock->size();
    CDockAreaWidget *oldArea = dock->dockAreaWidget();
    if (oldArea)
        oldArea->removeDockWidget(dock);
    if (oldArea && oldArea->dockContainer())
        oldArea->dockContainer()->updateSplitterVisibility();

    auto *container = new CFloatingDockContainer(this);
    floatings.append(container);
    container->dockContainer()->addDockWidget(CenterDockWidgetArea, dock);
    emit floatingWidgetCreated(container);
    container->resize(size.expandedTo(QSize(240, 160)));
    container->show();
    return container;
}

} // namespace ads
