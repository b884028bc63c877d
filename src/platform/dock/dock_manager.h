#pragma once

#include "platform/dock/dock_container_widget.h"

#include <QFlags>
#include <QList>
#include <QPointer>

namespace ads {

class CDockAreaWidget;
class CDockWidget;
class CFloatingDockContainer;

// The main dock container and the factory of dock widgets. Made with a main window as
// parent, it becomes that window's central widget.
class CDockManager : public CDockContainerWidget
{
    Q_OBJECT
public:
    enum eConfigFlag {
        ActiveTabHasCloseButton = 0x0001,
        DockAreaHasCloseButton = 0x0002,
        OpaqueSplitterResize = 0x0008,
        DockAreaHasUndockButton = 0x4000,
        DockAreaHasTabsMenuButton = 0x8000,
    };
    Q_DECLARE_FLAGS(ConfigFlags, eConfigFlag)

    // The flags apply to managers created afterwards.
    static void setConfigFlag(eConfigFlag flag, bool on = true);
    static bool testConfigFlag(eConfigFlag flag);
    static ConfigFlags configFlags();
    static void setConfigFlags(ConfigFlags flags);

    explicit CDockManager(QWidget *parent = nullptr);
    ~CDockManager() override;

    CDockWidget *createDockWidget(const QString &title, QWidget *parent = nullptr);
    CDockAreaWidget *addDockWidget(DockWidgetArea area, CDockWidget *dock, CDockAreaWidget *targetArea = nullptr,
                                   int index = -1);
    CDockAreaWidget *addDockWidgetTabToArea(CDockWidget *dock, CDockAreaWidget *targetArea, int index = -1);

    QList<CFloatingDockContainer *> floatingWidgets() const;
    // Moves the dock into a new floating window.
    CFloatingDockContainer *floatDockWidget(CDockWidget *dock);

    // Only the first mode (0) is known; it keeps the colours of the style sheet.
    void setColorSchemeMode(int mode) { schemeMode = mode; }
    int colorSchemeMode() const { return schemeMode; }

signals:
    void dockAreaCreated(ads::CDockAreaWidget *area);
    void floatingWidgetCreated(ads::CFloatingDockContainer *container);

private:
    QList<QPointer<CFloatingDockContainer>> floatings;
    int schemeMode = 0;
};

} // namespace ads

Q_DECLARE_OPERATORS_FOR_FLAGS(ads::CDockManager::ConfigFlags)
