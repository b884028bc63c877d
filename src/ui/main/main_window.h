#pragma once

#include <QList>
#include <QMainWindow>

#include <functional>

class ControlPanel;
class MainMenuBar;
class MainStatusBar;
class MessagesTab;
class WindowTitleBar;
struct MainWindowOptions;

namespace ads {
class CDockAreaWidget;
class CDockManager;
class CDockWidget;
} // namespace ads

// The window of a signed-in user: a frameless main window whose title bar holds the menu
// bar, and seven docks (current room, my rooms, my channels and the control panel in the
// left column, chat and the connection settings as tabs on the right, the status bar
// along the bottom). The window arranges the docks and keeps their chrome in step, offers
// the "create" menus on three dock tabs and hides to the tray on close; the wiring joins
// its views to the services. The chat dock holds the window's own messages tab; the room,
// channel and connection views are given to it through their setters, and until then
// their docks hold empty placeholders. GUI thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(const MainWindowOptions &options, QWidget *parent = nullptr);
    ~MainWindow() override;

    void setInRoom(bool inRoom);
    bool isInRoom() const { return inRoom; }
    void setControlPanelVisible(bool visible);
    // Raises the chat dock and makes it its area's current tab, unless it is closed.
    void showChatDock();
    // Brings every floating dock container and then the window to the front.
    void activateAll();

    MainMenuBar *mainMenuBar() const { return menuBar_; }
    WindowTitleBar *titleBar() const { return titleBar_; }
    MainStatusBar *statusBar() const { return statusBar_; }
    ads::CDockManager *dockManager() const { return dockManager_; }
    ads::CDockWidget *controlDock() const { return controlDock_; }
    ads::CDockWidget *statusDock() const { return statusDock_; }
    ads::CDockWidget *currentRoomDock() const { return currentRoomDock_; }
    ads::CDockWidget *myRoomDock() const { return myRoomDock_; }
    ads::CDockWidget *myChannelDock() const { return myChannelDock_; }
    ads::CDockWidget *chatDock() const { return chatDock_; }
    ads::CDockWidget *connectSettingsDock() const { return connectSettingsDock_; }
    ControlPanel *controlPanel() const { return controlPanel_; }

    // The chat dock's messages tab, made with the window (the wiring drives it and its
    // request banners).
    MessagesTab *messagesTab() const { return messagesTab_; }

    // The views of the room panels and the connection tab. Each setter puts the view into
    // its dock (the window takes ownership; the previous view is deleted).
    QWidget *currentRoomPanel() const { return currentRoomPanel_; }
    QWidget *myRoomPanel() const { return myRoomPanel_; }
    QWidget *myChannelPanel() const { return myChannelPanel_; }
    QWidget *connectSettingsTab() const { return connectSettingsTab_; }
    void setCurrentRoomPanel(QWidget *panel);
    void setMyRoomPanel(QWidget *panel);
    void setMyChannelPanel(QWidget *panel);
    void setConnectSettingsTab(QWidget *tab);

    // Replaces the system's answer to "is there a tray?" (tests).
    void setTrayCheck(std::function<bool()> check);

    // Reads the "panelEmpty" state of the current views again (for views that change it).
    void refreshPanelStates();

signals:
    void createTempRoomRequested();
    void createPersistentRoomRequested();
    void createChannelRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showCurrentRoomTabMenu(const QPoint &globalPos);
    void showMyRoomTabMenu(const QPoint &globalPos);
    void showMyChannelTabMenu(const QPoint &globalPos);
    void showTabMenu(ads::CDockWidget *dock, const QString &text, bool enabled, void (MainWindow::*signal)(),
                     const QPoint &globalPos);
    void buildDocks();
    void refreshSoleTabs();
    void refreshAreaEmpty();
    // A room panel's right click on its blank part opens its dock's create menu, and its
    // empty state reaches the dock's title bar.
    void connectRoomPanel(QWidget *panel, void (MainWindow::*tabMenu)(const QPoint &));
    void applyStretchFactors();
    void scheduleDockRefresh();
    QList<ads::CDockAreaWidget *> allDockAreas() const;

    MainMenuBar *menuBar_ = nullptr;
    WindowTitleBar *titleBar_ = nullptr;
    MainStatusBar *statusBar_ = nullptr;
    ads::CDockManager *dockManager_ = nullptr;
    ads::CDockWidget *controlDock_ = nullptr;
    ads::CDockWidget *statusDock_ = nullptr;
    ads::CDockWidget *currentRoomDock_ = nullptr;
    ads::CDockWidget *myRoomDock_ = nullptr;
    ads::CDockWidget *myChannelDock_ = nullptr;
    bool inRoom = false;
    ControlPanel *controlPanel_ = nullptr;
    QWidget *currentRoomPanel_ = nullptr;
    QWidget *myRoomPanel_ = nullptr;
    QWidget *myChannelPanel_ = nullptr;
    MessagesTab *messagesTab_ = nullptr;
    ads::CDockWidget *chatDock_ = nullptr;
    QWidget *connectSettingsTab_ = nullptr;
    ads::CDockWidget *connectSettingsDock_ = nullptr;
    std::function<bool()> trayCheck;
};
