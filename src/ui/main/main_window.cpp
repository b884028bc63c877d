#include "ui/main/main_window.h"

#include "platform/dock/dock_area_tab_bar.h"
#include "platform/dock/dock_area_title_bar.h"
#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_manager.h"
#include "platform/dock/dock_splitter.h"
#include "platform/dock/dock_widget.h"
#include "platform/dock/dock_widget_tab.h"
#include "platform/dock/floating_dock_container.h"
#include "theme/theme_palette.h"
#include "ui/chat/messages_tab.h"
#include "ui/frame/window_title_bar.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/block_list_panel.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cmath>

namespace {

// Hard-coded greys included: the splitter handles and the tab underlines are not themed.
const char *const kDockSheet = R"(
ads--CDockContainerWidget ads--CDockSplitter::handle {
    background: #d0d0d0;
}
ads--CDockAreaTitleBar {
    background: %2;
}
ads--CDockAreaTitleBar[areaEmpty="true"] {
    background: %3;
}
ads--CDockWidgetTab {
    background: transparent;
    border: none;
    border-bottom: 1px solid #e0e0e0;
    padding: 6px 16px 7px 16px;
    font-size: 13px;
}
ads--CDockWidgetTab[activeTab="true"] {
    background: transparent;
    border-bottom: 2px solid %1;
    padding-bottom: 6px;
}
ads--CDockWidgetTab[soleTab="true"] {
    border-bottom: 1px solid #e0e0e0;
    padding-bottom: 7px;
}
ads--CDockWidget {
    border: none;
}
)";

void repolish(QWidget *widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

QWidget *makePlaceholder(const char *name)
{
    auto *placeholder = new QWidget;
    placeholder->setObjectName(QLatin1String(name));
    return placeholder;
}

// Grows the dock's area by `delta` pixels at the expense of its neighbour in a vertical
// splitter (the one above it, or below when it is first), or grows a floating window.
void resizeDockAreaBy(ads::CDockWidget *dock, int delta)
{
    ads::CDockAreaWidget *area = dock ? dock->dockAreaWidget() : nullptr;
    if (!area || !area->isVisible())
        return;
    ads::CDockSplitter *splitter = area->parentSplitter();
    if (splitter && splitter->orientation() == Qt::Vertical && splitter->count() > 1) {
        QList<int> sizes = splitter->sizes();
        const int i = splitter->indexOf(area);
        const int neighbour = i == 0 ? i + 1 : i - 1;
        sizes[i] += delta;
        sizes[neighbour] -= delta;
        splitter->setSizes(sizes);
        return;
    }
    ads::CDockContainerWidget *container = area->dockContainer();
    if (container && container->isFloating()) {
        QWidget *floating = container->floatingWidget();
        floating->resize(floating->width(), floating->height() + delta);
    }
}

void bringForward(QWidget *window)
{
    window->show();
    if (window->windowState() & Qt::WindowMinimized)
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

} // namespace

MainWindow::MainWindow(const MainWindowOptions &options, QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Kestova"));
    resize(1200, 780);

    menuBar_ = new MainMenuBar(this);
    titleBar_ = new WindowTitleBar(menuBar_, this);
    titleBar_->setTitle(QStringLiteral("Kestova"));
    setMenuWidget(titleBar_);
    installFramelessAgent(this, titleBar_);

    // Areas and tabs carry no buttons of their own; splitters resize while dragged.
    ads::CDockManager::setConfigFlag(ads::CDockManager::DockAreaHasCloseButton, false);
    ads::CDockManager::setConfigFlag(ads::CDockManager::DockAreaHasUndockButton, false);
    ads::CDockManager::setConfigFlag(ads::CDockManager::DockAreaHasTabsMenuButton, false);
    ads::CDockManager::setConfigFlag(ads::CDockManager::ActiveTabHasCloseButton, false);
    ads::CDockManager::setConfigFlag(ads::CDockManager::OpaqueSplitterResize, true);

    dockManager_ = new ads::CDockManager(this);
    dockManager_->setColorSchemeMode(0);
    dockManager_->ensurePolished();
    dockManager_->setStyleSheet(dockManager_->styleSheet()
                                + QString::fromLatin1(kDockSheet)
                                      .arg(QLatin1String(ThemePalette::hex("primary")),
                                           QLatin1String(ThemePalette::hex("white")),
                                           QLatin1String(ThemePalette::hex("panelBg"))));

    connect(dockManager_, &ads::CDockManager::dockAreaCreated, this, [this](ads::CDockAreaWidget *area) {
        ads::CDockAreaTabBar *bar = area->titleBar()->tabBar();
        QWidget *tabs = bar->widget();
        tabs->installEventFilter(this);
        bar->viewport()->setAutoFillBackground(false);
        tabs->setAutoFillBackground(false);
        connect(area, &ads::CDockAreaWidget::currentChanged, this, &MainWindow::refreshAreaEmpty);
    });
    connect(dockManager_, &ads::CDockManager::floatingWidgetCreated, this, [](ads::CFloatingDockContainer *container) {
        auto *bar = new WindowTitleBar(nullptr, container);
        bar->setTitle(container->windowTitle());
        connect(container, &QWidget::windowTitleChanged, bar, &WindowTitleBar::setTitle);
        if (auto *box = qobject_cast<QBoxLayout *>(container->layout()))
            box->insertWidget(0, bar);
        installFramelessAgent(container, bar);
    });

    buildDocks();
    refreshSoleTabs();
    applyStretchFactors();
    refreshAreaEmpty();

    if (options.reactivated) {
        // Shown without a nested loop: the window may go away (a sign-out) while the box
        // is open, and then the box goes with it.
        QTimer::singleShot(0, this, [this] {
            auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("欢迎回来"),
                                        QStringLiteral("您的账号注销申请已撤销，欢迎回来。"), QMessageBox::Ok, this);
            box->setObjectName(QStringLiteral("welcomeBackBox"));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        });
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::buildDocks()
{
    using ads::CDockWidget;

    currentRoomDock_ = dockManager_->createDockWidget(QStringLiteral("当前房间"));
    currentRoomPanel_ = makePlaceholder("currentRoomPlaceholder");
    currentRoomDock_->setWidget(currentRoomPanel_, CDockWidget::AutoScrollArea);
    currentRoomDock_->setMinimumSizeHintMode(CDockWidget::MinimumSizeHintFromContent);
    ads::CDockAreaWidget *areaA = dockManager_->addDockWidget(ads::LeftDockWidgetArea, currentRoomDock_);
    currentRoomDock_->tabWidget()->installEventFilter(this);

    myRoomDock_ = dockManager_->createDockWidget(QStringLiteral("我的房间"));
    myRoomPanel_ = makePlaceholder("myRoomPlaceholder");
    myRoomDock_->setWidget(myRoomPanel_, CDockWidget::AutoScrollArea);
    myRoomDock_->setMinimumSizeHintMode(CDockWidget::MinimumSizeHintFromContent);
    ads::CDockAreaWidget *areaB = dockManager_->addDockWidget(ads::BottomDockWidgetArea, myRoomDock_, areaA);
    myRoomDock_->tabWidget()->installEventFilter(this);

    myChannelDock_ = dockManager_->createDockWidget(QStringLiteral("我的频道"));
    myChannelPanel_ = makePlaceholder("myChannelPlaceholder");
    myChannelDock_->setWidget(myChannelPanel_, CDockWidget::AutoScrollArea);
    myChannelDock_->setMinimumSizeHintMode(CDockWidget::MinimumSizeHintFromContent);
    ads::CDockAreaWidget *areaC = dockManager_->addDockWidget(ads::BottomDockWidgetArea, myChannelDock_, areaB);
    myChannelDock_->tabWidget()->installEventFilter(this);

    controlDock_ = dockManager_->createDockWidget(QStringLiteral("控制台"));
    controlPanel_ = new ControlPanel;
    controlDock_->setWidget(controlPanel_, CDockWidget::ForceNoScrollArea);
    controlDock_->setMinimumSizeHintMode(CDockWidget::MinimumSizeHintFromContent);
    dockManager_->addDockWidget(ads::BottomDockWidgetArea, controlDock_, areaC);
    connect(controlPanel_, &ControlPanel::contentHeightDeltaRequested, this,
            [this](int delta) { resizeDockAreaBy(controlDock_, delta); });

    chatDock_ = dockManager_->createDockWidget(QStringLiteral("聊天"));
    // The feeds scroll themselves; an outer scroll area would only fight them.
    messagesTab_ = new MessagesTab;
    chatDock_->setWidget(messagesTab_, CDockWidget::ForceNoScrollArea);
    ads::CDockAreaWidget *areaD = dockManager_->addDockWidget(ads::RightDockWidgetArea, chatDock_);

    connectSettingsDock_ = dockManager_->createDockWidget(QStringLiteral("连接设置"));
    connectSettingsTab_ = makePlaceholder("connectSettingsPlaceholder");
    connectSettingsDock_->setWidget(connectSettingsTab_, CDockWidget::ForceNoScrollArea);
    connectSettingsDock_->setMinimumSizeHintMode(CDockWidget::MinimumSizeHintFromContent);
    dockManager_->addDockWidgetTabToArea(connectSettingsDock_, areaD, -1);
    connectSettingsDock_->setAsCurrentTab();

    // The left column keeps its width when the window grows; the chat takes the rest.
    areaD->setMinimumWidth(420);
    if (ads::CDockSplitter *columns = areaD->parentSplitter()) {
        const int left = int(std::lround(width() / 6.0));
        columns->setStretchFactor(0, 0);
        columns->setStretchFactor(1, 1);
        columns->setSizes({left, width() - left});
    }

    statusDock_ = dockManager_->createDockWidget(QStringLiteral("状态"));
    statusBar_ = new MainStatusBar;
    statusDock_->setWidget(statusBar_, CDockWidget::ForceNoScrollArea);
    statusDock_->setMinimumSizeHintMode(CDockWidget::MinimumSizeHintFromContent);
    ads::CDockAreaWidget *statusArea = dockManager_->addDockWidget(ads::BottomDockWidgetArea, statusDock_);
    statusArea->setDockAreaFlag(ads::CDockAreaWidget::HideSingleWidgetTitleBar, true);
}

void MainWindow::setCurrentRoomPanel(QWidget *panel)
{
    currentRoomPanel_ = panel;
    currentRoomDock_->setWidget(panel, ads::CDockWidget::AutoScrollArea);
    connectRoomPanel(panel, &MainWindow::showCurrentRoomTabMenu);
    refreshAreaEmpty();
}

void MainWindow::setMyRoomPanel(QWidget *panel)
{
    myRoomPanel_ = panel;
    myRoomDock_->setWidget(panel, ads::CDockWidget::AutoScrollArea);
    connectRoomPanel(panel, &MainWindow::showMyRoomTabMenu);
    refreshAreaEmpty();
}

void MainWindow::setMyChannelPanel(QWidget *panel)
{
    myChannelPanel_ = panel;
    myChannelDock_->setWidget(panel, ads::CDockWidget::AutoScrollArea);
    connectRoomPanel(panel, &MainWindow::showMyChannelTabMenu);
    refreshAreaEmpty();
}

void MainWindow::setConnectSettingsTab(QWidget *tab)
{
    connectSettingsTab_ = tab;
    connectSettingsDock_->setWidget(tab, ads::CDockWidget::ForceNoScrollArea);
    refreshAreaEmpty();
}

void MainWindow::connectRoomPanel(QWidget *panel, void (MainWindow::*tabMenu)(const QPoint &))
{
    auto *blocks = qobject_cast<blocks::BlockListPanel *>(panel);
    if (blocks == nullptr)
        return;
    connect(blocks, &blocks::BlockListPanel::blankContextMenuRequested, this,
            [this, tabMenu](QPoint globalPos) { (this->*tabMenu)(globalPos); });
    connect(blocks, &blocks::BlockListPanel::emptyStateChanged, this, &MainWindow::refreshAreaEmpty);
}

void MainWindow::refreshPanelStates()
{
    refreshAreaEmpty();
}

void MainWindow::setInRoom(bool value)
{
    inRoom = value;
}

void MainWindow::setControlPanelVisible(bool visible)
{
    if (controlDock_->isClosed() != visible)
        return;
    controlDock_->toggleView(visible);
    if (!visible)
        return;
    QTimer::singleShot(0, this, [this] {
        ads::CDockAreaWidget *area = controlDock_->dockAreaWidget();
        if (!area || !area->isVisible())
            return;
        const int wanted = area->minimumSizeHint().height();
        if (wanted < area->height())
            resizeDockAreaBy(controlDock_, wanted - area->height());
    });
}

void MainWindow::showChatDock()
{
    if (chatDock_->isClosed())
        return;
    chatDock_->raise();
    chatDock_->setAsCurrentTab();
}

void MainWindow::activateAll()
{
    for (ads::CFloatingDockContainer *floating : dockManager_->floatingWidgets())
        bringForward(floating);
    bringForward(this);
}

void MainWindow::setTrayCheck(std::function<bool()> check)
{
    trayCheck = std::move(check);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const bool trayAvailable = trayCheck ? trayCheck() : QSystemTrayIcon::isSystemTrayAvailable();
    if (!trayAvailable) {
        event->accept();
        QCoreApplication::quit();
        return;
    }
    // The program keeps running in the tray; its show action presents the window again.
    for (ads::CFloatingDockContainer *floating : dockManager_->floatingWidgets())
        floating->hide();
    hide();
    event->ignore();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        const QPoint pos = static_cast<QContextMenuEvent *>(event)->globalPos();
        if (watched == currentRoomDock_->tabWidget()) {
            showCurrentRoomTabMenu(pos);
            return true;
        }
        if (watched == myRoomDock_->tabWidget()) {
            showMyRoomTabMenu(pos);
            return true;
        }
        if (watched == myChannelDock_->tabWidget()) {
            showMyChannelTabMenu(pos);
            return true;
        }
    }
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)
        scheduleDockRefresh();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::scheduleDockRefresh()
{
    // Tabs moved: the chrome follows once the move is complete.
    QTimer::singleShot(0, this, [this] {
        refreshSoleTabs();
        applyStretchFactors();
        refreshAreaEmpty();
    });
}

void MainWindow::showCurrentRoomTabMenu(const QPoint &globalPos)
{
    showTabMenu(currentRoomDock_, QStringLiteral("创建临时房间"), !inRoom, &MainWindow::createTempRoomRequested,
                globalPos);
}

void MainWindow::showMyRoomTabMenu(const QPoint &globalPos)
{
    showTabMenu(myRoomDock_, QStringLiteral("创建持久房间"), true, &MainWindow::createPersistentRoomRequested,
                globalPos);
}

void MainWindow::showMyChannelTabMenu(const QPoint &globalPos)
{
    showTabMenu(myChannelDock_, QStringLiteral("创建频道"), true, &MainWindow::createChannelRequested, globalPos);
}

void MainWindow::showTabMenu(ads::CDockWidget *dock, const QString &text, bool enabled, void (MainWindow::*signal)(),
                             const QPoint &globalPos)
{
    // The window may go away while the menu runs (a sign-out); the guard deletes the menu
    // only when its parent has not already done so.
    QPointer<QMenu> menu = new QMenu(dock->tabWidget());
    menu->setObjectName(QStringLiteral("dockTabMenu"));
    QAction *action = menu->addAction(text);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, signal);
    menu->exec(globalPos);
    delete menu.data();
}

QList<ads::CDockAreaWidget *> MainWindow::allDockAreas() const
{
    QList<ads::CDockAreaWidget *> areas = dockManager_->dockAreas();
    for (ads::CFloatingDockContainer *floating : dockManager_->floatingWidgets())
        areas += floating->dockContainer()->dockAreas();
    return areas;
}

void MainWindow::refreshSoleTabs()
{
    for (ads::CDockAreaWidget *area : allDockAreas()) {
        const QList<ads::CDockWidget *> open = area->openedDockWidgets();
        const bool sole = open.size() == 1;
        for (ads::CDockWidget *dock : open) {
            ads::CDockWidgetTab *tab = dock->tabWidget();
            if (tab->property("soleTab").toBool() == sole && tab->property("soleTab").isValid())
                continue;
            tab->setProperty("soleTab", sole);
            repolish(tab);
        }
    }
}

void MainWindow::refreshAreaEmpty()
{
    for (ads::CDockAreaWidget *area : allDockAreas()) {
        ads::CDockWidget *current = area->currentDockWidget();
        const bool empty = current && current->widget() && current->widget()->property("panelEmpty").toBool();
        ads::CDockAreaTitleBar *bar = area->titleBar();
        if (bar->property("areaEmpty").toBool() == empty && bar->property("areaEmpty").isValid())
            continue;
        bar->setProperty("areaEmpty", empty);
        repolish(bar);
    }
}

void MainWindow::applyStretchFactors()
{
    for (ads::CDockSplitter *splitter : dockManager_->findChildren<ads::CDockSplitter *>()) {
        if (splitter->orientation() != Qt::Vertical || splitter->count() == 0)
            continue;
        for (int i = 0; i < splitter->count(); ++i) {
            auto *area = qobject_cast<ads::CDockAreaWidget *>(splitter->widget(i));
            const QList<ads::CDockWidget *> open = area ? area->openedDockWidgets() : QList<ads::CDockWidget *>();
            const bool fixed = open.contains(controlDock_) || open.contains(statusDock_);
            splitter->setStretchFactor(i, fixed ? 0 : 1);
        }
    }
}
