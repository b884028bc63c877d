#pragma once

#include <QWidget>

namespace ads {

class CDockContainerWidget;
class CDockManager;

// A top-level window holding docks taken out of the main window. Its box layout holds
// its dock container; its window title is the title of its current dock.
class CFloatingDockContainer : public QWidget
{
    Q_OBJECT
public:
    explicit CFloatingDockContainer(CDockManager *manager);
    ~CFloatingDockContainer() override;

    CDockContainerWidget *dockContainer() const { return container; }
    CDockManager *dockManager() const { return manager; }

private:
    void updateTitle();

    CDockManager *manager = nullptr;
    CDockContainerWidget *container = nullptr;
};

} // namespace ads
