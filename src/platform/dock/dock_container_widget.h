#pragma once

#include "platform/dock/ads_globals.h"

#include <QFrame>
#include <QList>

namespace ads {

class CDockAreaWidget;
class CDockManager;
class CDockSplitter;
class CDockWidget;
class CFloatingDockContainer;

// Holds dock areas in nested splitters under one root splitter. The dock manager is the
// main container; each floating window holds one more.
class CDockContainerWidget : public QFrame
{
    Q_OBJECT
public:
    CDockContainerWidget(CDockManager *manager, QWidget *parent = nullptr);
    ~CDockContainerWidget() override;

    // Puts the dock into a new area on side `area` of `targetArea` (of the whole container
    // when null), or, for the centre, as a tab of `targetArea` at `index` (-1: last).
    // Returns the area that holds the dock.
    CDockAreaWidget *addDockWidget(DockWidgetArea area, CDockWidget *dock, CDockAreaWidget *targetArea = nullptr,
                                   int index = -1);

    QList<CDockAreaWidget *> dockAreas() const;
    QList<CDockAreaWidget *> openedDockAreas() const;
    CDockSplitter *rootSplitter() const { return root; }
    CDockManager *dockManager() const { return manager; }

    bool isFloating() const { return floating != nullptr; }
    CFloatingDockContainer *floatingWidget() const { return floating; }

    // Hides the splitters whose items are all hidden and shows the others.
    void updateSplitterVisibility();

protected:
    // The manager is itself a container; it passes itself here once constructed.
    void setDockManager(CDockManager *dockManager) { manager = dockManager; }

private:
    friend class CFloatingDockContainer;

    CDockAreaWidget *newArea();
    void insertIntoRoot(CDockAreaWidget *area, Qt::Orientation orientation, bool append);
    void insertBeside(CDockAreaWidget *target, CDockAreaWidget *area, Qt::Orientation orientation, bool append);

    CDockManager *manager = nullptr;
    CDockSplitter *root = nullptr;
    CFloatingDockContainer *floating = nullptr;
};

// True when the widget was hidden on purpose (a widget never shown yet is not).
bool isExplicitlyHidden(const QWidget *widget);

} // namespace ads
