#include "platform/dock/dock_area_tab_bar.h"
#include "platform/dock/dock_area_title_bar.h"
#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_manager.h"
#include "platform/dock/dock_splitter.h"
#include "platform/dock/dock_widget.h"
#include "platform/dock/dock_widget_tab.h"
#include "platform/dock/floating_dock_container.h"
#include "support/test_main.h"
#include "ui/chat/messages_tab.h"
#include "ui/frame/window_title_bar.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"

#include <QContextMenuEvent>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

using ads::CDockAreaWidget;
using ads::CDockWidget;

namespace {

QStringList titles(const QList<CDockWidget *> &docks)
{
    QStringList list;
    for (CDockWidget *dock : docks)
        list << dock->windowTitle();
    return list;
}

bool soleTab(CDockWidget *dock)
{
    return dock->tabWidget()->property("soleTab").toBool();
}

bool areaEmpty(CDockWidget *dock)
{
    return dock->dockAreaWidget()->titleBar()->property("areaEmpty").toBool();
}

// A panel's records listing these rooms (none: the empty panel).
blocks::BlockListData listOf(const QStringList &roomIds)
{
    blocks::BlockListData data;
    data.emptyText = QStringLiteral("无");
    if (roomIds.isEmpty())
        return data;
    blocks::BlockSection section;
    for (const QString &id : roomIds) {
        blocks::RoomBlockData room;
        room.roomId = id;
        room.title = id;
        section.rooms.append(room);
    }
    data.sections.append(section);
    data.hasContent = true;
    return data;
}

// Opens the tab menu of `dock` with a right click and returns its actions' texts and
// enabled states; triggers the first action when `trigger`.
QList<QPair<QString, bool>> tabMenuEntries(CDockWidget *dock, bool trigger = false)
{
    QList<QPair<QString, bool>> entries;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions())
            entries.append({action->text(), action->isEnabled()});
        if (trigger && !menu->actions().isEmpty())
            menu->actions().first()->trigger();
        menu->close();
    });
    QWidget *tab = dock->tabWidget();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), tab->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(tab, &event);
    return entries;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initialLayoutHasSevenDocksInTheirAreas()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.windowTitle(), QStringLiteral("Kestova"));
        QCOMPARE(window.size(), QSize(1200, 780));
        QCOMPARE(window.centralWidget(), static_cast<QWidget *>(window.dockManager()));

        QVERIFY(!ads::CDockManager::testConfigFlag(ads::CDockManager::DockAreaHasCloseButton));
        QVERIFY(!ads::CDockManager::testConfigFlag(ads::CDockManager::DockAreaHasUndockButton));
        QVERIFY(!ads::CDockManager::testConfigFlag(ads::CDockManager::DockAreaHasTabsMenuButton));
        QVERIFY(!ads::CDockManager::testConfigFlag(ads::CDockManager::ActiveTabHasCloseButton));
        QVERIFY(ads::CDockManager::testConfigFlag(ads::CDockManager::OpaqueSplitterResize));

        // Left column: four areas stacked in one vertical splitter.
        ads::CDockSplitter *left = window.currentRoomDock()->dockAreaWidget()->parentSplitter();
        QVERIFY(left);
        QCOMPARE(left->orientation(), Qt::Vertical);
        QCOMPARE(left->count(), 4);
        const QList<CDockWidget *> leftDocks{window.currentRoomDock(), window.myRoomDock(), window.myChannelDock(),
                                             window.controlDock()};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(left->widget(i), static_cast<QWidget *>(leftDocks.at(i)->dockAreaWidget()));

        // Right: chat and connection settings as tabs of one area, the latter current.
        CDockAreaWidget *right = window.chatDock()->dockAreaWidget();
        QCOMPARE(window.connectSettingsDock()->dockAreaWidget(), right);
        QCOMPARE(titles(right->dockWidgets()), (QStringList{"聊天", "连接设置"}));
        QCOMPARE(right->currentDockWidget(), window.connectSettingsDock());
        QVERIFY(window.connectSettingsDock()->tabWidget()->property("activeTab").toBool());
        QVERIFY(!window.chatDock()->tabWidget()->property("activeTab").toBool());

        ads::CDockSplitter *columns = right->parentSplitter();
        QCOMPARE(columns->orientation(), Qt::Horizontal);
        QCOMPARE(columns->widget(0), static_cast<QWidget *>(left));
        // A sixth of the width, unless the column's content needs more.
        const int leftWidth = qMax(200, left->minimumSizeHint().width());
        QCOMPARE(columns->sizes().at(0), leftWidth);
        QVERIFY(qAbs(columns->sizes().at(1) - (1200 - leftWidth)) <= columns->handleWidth());
        QCOMPARE(right->minimumWidth(), 420);

        // Status along the whole bottom, without a title bar.
        ads::CDockSplitter *root = window.dockManager()->rootSplitter();
        QCOMPARE(root->orientation(), Qt::Vertical);
        QCOMPARE(root->widget(0), static_cast<QWidget *>(columns));
        CDockAreaWidget *statusArea = window.statusDock()->dockAreaWidget();
        QCOMPARE(root->widget(1), static_cast<QWidget *>(statusArea));
        QVERIFY(statusArea->dockAreaFlags().testFlag(CDockAreaWidget::HideSingleWidgetTitleBar));
        QVERIFY(!statusArea->titleBar()->isVisible());
        QVERIFY(window.chatDock()->dockAreaWidget()->titleBar()->isVisible());

        QCOMPARE(window.controlDock()->widget(), static_cast<QWidget *>(window.controlPanel()));
        QCOMPARE(window.dockManager()->findChildren<CDockWidget *>().size(), 7);
        // The style sheet selects the docking classes by these names.
        QCOMPARE(QString::fromLatin1(window.chatDock()->tabWidget()->metaObject()->className()),
                 QStringLiteral("ads::CDockWidgetTab"));
        QVERIFY(window.dockManager()->styleSheet().contains("ads--CDockWidgetTab[soleTab=\"true\"]"));
    }

    void soleTabFollowsClosingAndReopening()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(soleTab(window.currentRoomDock()));
        QVERIFY(!soleTab(window.chatDock()));
        QVERIFY(!soleTab(window.connectSettingsDock()));

        window.connectSettingsDock()->toggleView(false);
        QTRY_VERIFY(soleTab(window.chatDock()));
        QCOMPARE(window.chatDock()->dockAreaWidget()->currentDockWidget(), window.chatDock());

        window.connectSettingsDock()->toggleView(true);
        QTRY_VERIFY(!soleTab(window.chatDock()));
        QVERIFY(!soleTab(window.connectSettingsDock()));

        // Docking a second dock into a left area makes both tabs non-sole.
        window.dockManager()->addDockWidgetTabToArea(window.myChannelDock(),
                                                     window.currentRoomDock()->dockAreaWidget());
        QTRY_VERIFY(!soleTab(window.currentRoomDock()));
        QVERIFY(!soleTab(window.myChannelDock()));
    }

    void areaEmptyFollowsTheCurrentView()
    {
        MainWindow window{MainWindowOptions{}};
        auto *rooms = new MyRoomPanel;
        auto *channels = new MyChannelPanel;
        window.setMyRoomPanel(rooms);
        window.setMyChannelPanel(channels);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Fed through their setters only: the title bars follow the panels' empty state.
        rooms->setBlocks(listOf({}));
        channels->setBlocks(listOf({}));
        QVERIFY(areaEmpty(window.myRoomDock()));
        QVERIFY(areaEmpty(window.myChannelDock()));
        rooms->setBlocks(listOf({"r1"}));
        QVERIFY(!areaEmpty(window.myRoomDock()));
        QVERIFY(areaEmpty(window.myChannelDock()));
        rooms->setBlocks(listOf({}));
        QVERIFY(areaEmpty(window.myRoomDock()));

        // Two panels in one area: the current one decides.
        window.dockManager()->addDockWidgetTabToArea(window.myChannelDock(), window.myRoomDock()->dockAreaWidget());
        rooms->setBlocks(listOf({"r1"}));
        window.myRoomDock()->setAsCurrentTab();
        QTRY_VERIFY(!areaEmpty(window.myRoomDock()));
        window.myChannelDock()->setAsCurrentTab();
        QTRY_VERIFY(areaEmpty(window.myChannelDock()));
        rooms->setBlocks(listOf({}));
        window.myRoomDock()->setAsCurrentTab();
        QTRY_VERIFY(areaEmpty(window.myRoomDock()));

        // A closed chat dock is not raised.
        window.chatDock()->toggleView(false);
        window.showChatDock();
        QCOMPARE(window.chatDock()->dockAreaWidget()->currentDockWidget(), window.connectSettingsDock());
    }

    void blankPanelRightClickOpensTheCreateMenu_data()
    {
        QTest::addColumn<int>("dock");
        QTest::addColumn<QString>("text");
        QTest::newRow("current room") << 0 << "创建临时房间";
        QTest::newRow("my rooms") << 1 << "创建持久房间";
        QTest::newRow("my channels") << 2 << "创建频道";
    }

    void blankPanelRightClickOpensTheCreateMenu()
    {
        QFETCH(int, dock);
        QFETCH(QString, text);
        MainWindow window{MainWindowOptions{}};
        blocks::BlockListPanel *panels[] = {new CurrentRoomPanel, new MyRoomPanel, new MyChannelPanel};
        window.setCurrentRoomPanel(panels[0]);
        window.setMyRoomPanel(panels[1]);
        window.setMyChannelPanel(panels[2]);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy temp(&window, &MainWindow::createTempRoomRequested);
        QSignalSpy persistent(&window, &MainWindow::createPersistentRoomRequested);
        QSignalSpy channel(&window, &MainWindow::createChannelRequested);

        QStringList entries;
        QTimer::singleShot(0, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *action : menu->actions())
                entries.append(action->text());
            if (!menu->actions().isEmpty())
                menu->actions().first()->trigger();
            menu->close();
        });
        emit panels[dock]->blankContextMenuRequested(panels[dock]->mapToGlobal(QPoint(5, 5)));
        QCOMPARE(entries, QStringList{text});
        QCOMPARE(temp.size(), dock == 0 ? 1 : 0);
        QCOMPARE(persistent.size(), dock == 1 ? 1 : 0);
        QCOMPARE(channel.size(), dock == 2 ? 1 : 0);
    }

    void tabMenus_data()
    {
        QTest::addColumn<int>("dock");
        QTest::addColumn<bool>("inRoom");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("current room, no room") << 0 << false << "创建临时房间" << true;
        QTest::newRow("current room, in a room") << 0 << true << "创建临时房间" << false;
        QTest::newRow("my rooms, in a room") << 1 << true << "创建持久房间" << true;
        QTest::newRow("my channels, no room") << 2 << false << "创建频道" << true;
    }

    void tabMenus()
    {
        QFETCH(int, dock);
        QFETCH(bool, inRoom);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setInRoom(inRoom);
        QSignalSpy temp(&window, &MainWindow::createTempRoomRequested);
        QSignalSpy persistent(&window, &MainWindow::createPersistentRoomRequested);
        QSignalSpy channel(&window, &MainWindow::createChannelRequested);
        CDockWidget *docks[] = {window.currentRoomDock(), window.myRoomDock(), window.myChannelDock()};

        const auto entries = tabMenuEntries(docks[dock], true);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().first, text);
        QCOMPARE(entries.first().second, enabled);
        const int emitted = enabled ? 1 : 0;
        QCOMPARE(temp.size(), dock == 0 ? emitted : 0);
        QCOMPARE(persistent.size(), dock == 1 ? emitted : 0);
        QCOMPARE(channel.size(), dock == 2 ? emitted : 0);
    }

    void theChatTabHasNoMenu()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(tabMenuEntries(window.chatDock()).isEmpty());
    }

    void stretchFactorsKeepControlAndStatusHeights()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget *control = window.controlDock()->dockAreaWidget();
        QWidget *status = window.statusDock()->dockAreaWidget();
        QWidget *rooms = window.myRoomDock()->dockAreaWidget();
        QWidget *chat = window.chatDock()->dockAreaWidget();
        QWidget *leftColumn = window.currentRoomDock()->dockAreaWidget()->parentSplitter();
        const int controlHeight = control->height();
        const int statusHeight = status->height();
        const int roomsHeight = rooms->height();
        const int leftWidth = leftColumn->width();
        const int chatWidth = chat->width();

        window.resize(1500, 980);
        QTRY_COMPARE(window.height(), 980);
        QTRY_VERIFY(rooms->height() > roomsHeight);
        QCOMPARE(control->height(), controlHeight);
        QCOMPARE(status->height(), statusHeight);
        QCOMPARE(leftColumn->width(), leftWidth);
        QCOMPARE(chat->width(), chatWidth + 300);
    }

    void controlPanelDeltaMovesTheSplitter()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget *control = window.controlDock()->dockAreaWidget();
        QWidget *channels = window.myChannelDock()->dockAreaWidget();
        const int controlHeight = control->height();
        const int channelsHeight = channels->height();
        emit window.controlPanel()->contentHeightDeltaRequested(30);
        QTRY_COMPARE(control->height(), controlHeight + 30);
        QCOMPARE(channels->height(), channelsHeight - 30);
    }

    void controlPanelVisibilityToggles()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy toggled(window.controlDock(), &CDockWidget::viewToggled);
        window.setControlPanelVisible(true);
        QCOMPARE(toggled.size(), 0);
        window.setControlPanelVisible(false);
        window.setControlPanelVisible(false);
        QCOMPARE(toggled.size(), 1);
        QVERIFY(window.controlDock()->isClosed());
        QTRY_VERIFY(!window.controlDock()->dockAreaWidget()->isVisible());
        window.setControlPanelVisible(true);
        window.setControlPanelVisible(true);
        QCOMPARE(toggled.size(), 2);
        QTRY_VERIFY(window.controlDock()->dockAreaWidget()->isVisible());
        // Shown again, its area shrinks to what the panel needs.
        CDockAreaWidget *area = window.controlDock()->dockAreaWidget();
        QTRY_VERIFY(area->height() <= area->minimumSizeHint().height());
    }

    void closeHidesToTheTray()
    {
        MainWindow window{MainWindowOptions{}};
        window.setTrayCheck([] { return true; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ads::CFloatingDockContainer *floating = window.dockManager()->floatDockWidget(window.myRoomDock());
        QVERIFY(floating && floating->isVisible());
        QCOMPARE(window.dockManager()->floatingWidgets(), QList<ads::CFloatingDockContainer *>{floating});
        QVERIFY(window.myRoomDock()->isFloating());

        QVERIFY(!window.close());
        QVERIFY(!window.isVisible());
        QVERIFY(!floating->isVisible());

        window.activateAll();
        QVERIFY(window.isVisible());
        QVERIFY(floating->isVisible());
    }

    void welcomeBackGoesWithTheWindow()
    {
        auto *window = new MainWindow(MainWindowOptions{false, true});
        window->show();
        QPointer<QMessageBox> box;
        QTRY_VERIFY((box = window->findChild<QMessageBox *>(QStringLiteral("welcomeBackBox"))) && box->isVisible());
        QCOMPARE(box->text(), QStringLiteral("您的账号注销申请已撤销，欢迎回来。"));
        // A sign-out while the box is open: the window goes and the box with it.
        delete window;
        QVERIFY(!box);
    }

    void closeQuitsWithoutTray()
    {
        MainWindow window{MainWindowOptions{}};
        window.setTrayCheck([] { return false; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool closed = false;
        QTimer::singleShot(0, &window, [&] { closed = window.close(); });
        // The event loop ends only when the close quits the application.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(closed);
    }

    void floatingContainerGetsATitleBar()
    {
        MainWindow window{MainWindowOptions{}};
        window.show();
        ads::CFloatingDockContainer *floating = window.dockManager()->floatDockWidget(window.myChannelDock());
        QCOMPARE(floating->windowTitle(), QStringLiteral("我的频道"));
        auto *bar = qobject_cast<WindowTitleBar *>(floating->layout()->itemAt(0)->widget());
        QVERIFY(bar);
        QCOMPARE(bar->title(), QStringLiteral("我的频道"));
        QVERIFY(floating->windowFlags().testFlag(Qt::FramelessWindowHint));
    }

    void menuBarEntries()
    {
        MainMenuBar bar;
        QStringList menus;
        for (QAction *action : bar.actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"连接", "房间", "频道", "好友", "账号", "设置", "帮助", "关于"}));
        QSignalSpy logout(&bar, &MainMenuBar::logoutRequested);
        QSignalSpy hotkeys(&bar, &MainMenuBar::hotkeySettingsRequested);
        const QList<QAction *> account = bar.actions().at(4)->menu()->actions();
        QCOMPARE(account.size(), 3);
        QVERIFY(account.at(1)->isSeparator());
        account.at(2)->trigger();
        bar.actions().at(5)->menu()->actions().at(1)->trigger();
        QCOMPARE(logout.size(), 1);
        QCOMPARE(hotkeys.size(), 1);
        QVERIFY(!bar.actions().at(0)->menu()->actions().first()->isEnabled());
        QCOMPARE(bar.actions().at(7)->menu()->actions().first()->text(), QStringLiteral("版本: 0.1.0"));
    }
};

KESTOVA_TEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
