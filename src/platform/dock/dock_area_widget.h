#pragma once

#include <QFlags>
#include <QFrame>
#include <QList>

class QStackedWidget;

namespace ads {

class CDockAreaTitleBar;
class CDockContainerWidget;
class CDockManager;
class CDockSplitter;
class CDockWidget;

// A group of dock widgets shown as tabs, one of them current. An area without open
// docks hides itself.
class CDockAreaWidget : public QFrame
{
    Q_OBJECT
public:
    enum eDockAreaFlag {
        HideSingleWidgetTitleBar = 0x0001, // no title bar while one dock is open
    };
    Q_DECLARE_FLAGS(DockAreaFlags, eDockAreaFlag)

    CDockAreaWidget(CDockManager *manager, CDockContainerWidget *container);
    ~CDockAreaWidget() override;

    CDockContainerWidget *dockContainer() const { return container; }
    CDockManager *dockManager() const { return manager; }
    CDockAreaTitleBar *titleBar() const { return title; }
    // The splitter that holds this area (null while it is in none).
    CDockSplitter *parentSplitter() const;

    // Adds the dock at `index` (-1: last); an open dock becomes current when `activate`.
    void insertDockWidget(int index, CDockWidget *dock, bool activate = true);
    void addDockWidget(CDockWidget *dock) { insertDockWidget(-1, dock); }
    void removeDockWidget(CDockWidget *dock);

    QList<CDockWidget *> dockWidgets() const { return docks; }
    QList<CDockWidget *> openedDockWidgets() const;
    int dockWidgetsCount() const { return int(docks.size()); }
    int openDockWidgetsCount() const;
    CDockWidget *currentDockWidget() const;
    int currentIndex() const;
    void setCurrentDockWidget(CDockWidget *dock);
    void setCurrentIndex(int index);

    void setDockAreaFlag(eDockAreaFlag flag, bool on);
    DockAreaFlags dockAreaFlags() const { return flags; }

signals:
    // The current dock changed; `index` is its position in dockWidgets() (-1: none).
    void currentChanged(int index);

private:
    friend class CDockWidget;

    // A dock of this area was opened or closed.
    void onDockToggled(CDockWidget *dock, bool open);
    int tabIndexFor(CDockWidget *dock) const;
    void updateTitleBarVisibility();
    void updateActiveTabs();
    void pickCurrentAfterClose();

    CDockManager *manager = nullptr;
    CDockContainerWidget *container = nullptr;
    CDockAreaTitleBar *title = nullptr;
    QStackedWidget *stack = nullptr;
    QList<CDockWidget *> docks;
    CDockWidget *current = nullptr;
    DockAreaFlags flags;
};

} // namespace ads

Q_DECLARE_OPERATORS_FOR_FLAGS(ads::CDockAreaWidget::DockAreaFlags)
