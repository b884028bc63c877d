#include "ui/chat/chat_tab_bar.h"

#include "panel_probes.h"
#include "support/test_main.h"

#include <QContextMenuEvent>
#include <QPushButton>
#include <QMenu>
#include <QSignalSpy>

using panelstest::MenuProbe;

namespace {

QList<ChatTabBar::Tab> tabs(const QStringList &ids)
{
    QList<ChatTabBar::Tab> list;
    for (const QString &id : ids)
        list.append(ChatTabBar::Tab{id, QStringLiteral("房间 ") + id});
    return list;
}

// Counts paint events, so that a test can tell one repaint per hover change.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void sendContextMenu(QWidget *widget, QPoint local)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, local, widget->mapToGlobal(local));
    QApplication::sendEvent(widget, &event);
}

} // namespace

class ChatTabBarTest : public QObject
{
    Q_OBJECT
private slots:
    void setTabsChoosesTheCurrentTab_data()
    {
        QTest::addColumn<QString>("start");      // current id before, set through setTabs/clicks
        QTest::addColumn<QStringList>("before"); // tabs before
        QTest::addColumn<QStringList>("after");  // tabs given next
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("emitted");

        QTest::newRow("empty list, nothing current")
            << QString() << QStringList() << QStringList() << "__mixed__" << QStringList{"__mixed__"};
        QTest::newRow("first list picks its first room")
            << QString() << QStringList() << QStringList{"a", "b"} << "a" << QStringList{"a"};
        QTest::newRow("current room still listed")
            << "b" << QStringList{"a", "b"} << QStringList{"c", "b"} << "b" << QStringList();
        QTest::newRow("current room dropped")
            << "b" << QStringList{"a", "b"} << QStringList{"c", "a"} << "c" << QStringList{"c"};
        QTest::newRow("last room dropped")
            << "b" << QStringList{"a", "b"} << QStringList() << "__mixed__" << QStringList{"__mixed__"};
        QTest::newRow("merged feed stays current")
            << "__mixed__" << QStringList{"a"} << QStringList{"c"} << "__mixed__" << QStringList();
    }

    void setTabsChoosesTheCurrentTab()
    {
        QFETCH(QString, start);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QString, expected);
        QFETCH(QStringList, emitted);

        ChatTabBar bar;
        if (!before.isEmpty())
            bar.setTabs(tabs(before));
        if (!start.isEmpty())
            bar.setCurrentFeed(start);
        QCOMPARE(bar.currentId(), start.isEmpty() && !before.isEmpty() ? before.first() : start);

        QSignalSpy changed(&bar, &ChatTabBar::currentChanged);
        bar.setTabs(tabs(after));
        QCOMPARE(bar.currentId(), expected);
        QStringList got;
        for (const QList<QVariant> &args : changed)
            got << args.at(0).toString();
        QCOMPARE(got, emitted);
    }

    void clicksAndSetCurrentFeedSelect()
    {
        ChatTabBar bar;
        bar.resize(600, 32);
        bar.setTabs(tabs({"a", "b"}));
        QSignalSpy changed(&bar, &ChatTabBar::currentChanged);

        QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.roomTabRect(1).center());
        QCOMPARE(bar.currentId(), QStringLiteral("b"));
        QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.roomTabRect(1).center());  // already current
        QTest::mouseClick(&bar, Qt::RightButton, {}, bar.roomTabRect(0).center()); // not a selection
        QCOMPARE(changed.size(), 1);

        QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.mergedTabRect().topLeft()); // edges count
        QCOMPARE(bar.currentId(), QStringLiteral("__mixed__"));
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(bar.mergedTabRect().right() + 6, 16)); // gap
        QCOMPARE(bar.currentId(), QStringLiteral("__mixed__"));

        bar.setCurrentFeed(QStringLiteral("unknown"));
        QCOMPARE(bar.currentId(), QStringLiteral("__mixed__"));
        bar.setCurrentFeed(QStringLiteral("a"));
        QCOMPARE(changed.size(), 3);
        QCOMPARE(changed.last().at(0).toString(), QStringLiteral("a"));
    }

    void geometryFollowsTheFontAndOverflowIsCutOff()
    {
        ChatTabBar bar;
        bar.resize(240, 32);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QStringList ids;
        for (int i = 0; i < 12; ++i)
            ids << QString::number(i);
        bar.setTabs(tabs(ids));

        const QFontMetrics metrics(bar.font());
        const int merged = metrics.horizontalAdvance(QStringLiteral("默认"));
        QCOMPARE(bar.mergedTabRect(), QRect(8, 0, merged + 22, 32));
        QCOMPARE(bar.roomTabRect(0).x(), merged + 42);
        for (int i = 0; i < ids.size(); ++i) {
            const QRect r = bar.roomTabRect(i);
            QCOMPARE(r.width(), metrics.horizontalAdvance(QStringLiteral("房间 ") + ids.at(i)) + 22);
            if (i > 0)
                QCOMPARE(r.x(), bar.roomTabRect(i - 1).x() + bar.roomTabRect(i - 1).width() + 2);
        }
        // Nothing elides: the last tabs lie past the right edge, and the toggle stays put.
        QVERIFY(bar.roomTabRect(11).x() > bar.width());
        QCOMPARE(bar.roomTabRect(12), QRect());
        const QPushButton *toggle = bar.viewToggle();
        QCOMPARE(toggle->geometry().right() + 1, bar.width() - 8);
        QCOMPARE(toggle->y(), 5);
        QCOMPARE(toggle->height(), 22);

        bar.resize(700, 32);
        QCOMPARE(toggle->geometry().right() + 1, 700 - 8);
        bar.setViewToggleText(QStringLiteral("视图：帖子而且更长"));
        QCOMPARE(toggle->geometry().right() + 1, 700 - 8);
        QCOMPARE(toggle->height(), 22);
        QCOMPARE(bar.sizeHint(), QSize(200, 32));
        QCOMPARE(bar.height(), 32);
    }

    // Tabs that do not fit before the toggle are not drawn over it: an overflow button
    // appears and its menu reaches each of them.
    void tabsPastTheEdgeAreReachable()
    {
        ChatTabBar bar;
        bar.resize(320, 32);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QStringList ids;
        for (int i = 0; i < 12; ++i)
            ids << QString::number(i);
        bar.setTabs(tabs(ids));
        QPushButton *more = bar.overflowButton();
        QVERIFY(more->isVisible());
        QCOMPARE(more->geometry().right() + 6 + 1, bar.viewToggle()->x());
        const int shown = bar.shownTabCount();
        QVERIFY(shown > 0 && shown < 12);
        QVERIFY(bar.roomTabRect(shown - 1).right() < more->x());
        // A press where a hidden tab would lie selects nothing.
        QSignalSpy changed(&bar, &ChatTabBar::currentChanged);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(more->x() - 2, 16));
        QCOMPARE(changed.size(), 0);

        std::unique_ptr<QMenu> menu(bar.buildOverflowMenu());
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 12 - shown);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("房间 ") + ids.at(shown));
        menu->actions().last()->trigger();
        QCOMPARE(bar.currentId(), QStringLiteral("11"));
        QCOMPARE(changed.size(), 1);

        // Wide enough for every tab: no button, no menu.
        bar.resize(1600, 32);
        QVERIFY(!more->isVisible());
        QCOMPARE(bar.shownTabCount(), 12);
        QVERIFY(!bar.buildOverflowMenu());
    }

    void toggleButtonReportsClicks()
    {
        ChatTabBar bar;
        QSignalSpy toggled(&bar, &ChatTabBar::viewToggleRequested);
        QCOMPARE(bar.viewToggle()->text(), QStringLiteral("视图：平铺"));
        QTest::mouseClick(bar.viewToggle(), Qt::LeftButton);
        QCOMPARE(toggled.size(), 1);
        bar.setViewToggleEnabled(false);
        QTest::mouseClick(bar.viewToggle(), Qt::LeftButton);
        QCOMPARE(toggled.size(), 1);
    }

    void hoverRepaintsOncePerChange()
    {
        ChatTabBar bar;
        bar.resize(600, 32);
        bar.setTabs(tabs({"a", "b"}));
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QCoreApplication::processEvents();
        PaintCounter counter;
        bar.installEventFilter(&counter);

        const QPoint onMerged = bar.mergedTabRect().center();
        const QPoint onB = bar.roomTabRect(1).center();
        const QPoint nowhere(bar.roomTabRect(1).right() + 40, 16);
        int expected = 0;
        const auto moveTo = [&](QPoint pos, int hover, bool changes) {
            QTest::mouseMove(&bar, pos);
            QCOMPARE(bar.hoveredIndex(), hover);
            if (changes)
                ++expected;
            QTRY_COMPARE(counter.paints, expected);
            QCoreApplication::processEvents();
            QCOMPARE(counter.paints, expected);
        };
        moveTo(onMerged, -2, true);
        QCOMPARE(bar.cursor().shape(), Qt::PointingHandCursor);
        moveTo(onMerged + QPoint(1, 0), -2, false);
        moveTo(onB, 1, true);
        moveTo(nowhere, -1, true);
        QCOMPARE(bar.cursor().shape(), Qt::ArrowCursor);
        moveTo(onB, 1, true);

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&bar, &leave);
        QCOMPARE(bar.hoveredIndex(), -1);
        QTRY_COMPARE(counter.paints, expected + 1);
        QApplication::sendEvent(&bar, &leave); // nothing hovered: no repaint
        QCoreApplication::processEvents();
        QCOMPARE(counter.paints, expected + 1);
    }

    void mergedTabAsksForItsMenu()
    {
        ChatTabBar bar;
        bar.resize(600, 32);
        bar.setTabs(tabs({"a"}));
        QSignalSpy mixed(&bar, &ChatTabBar::mixedMenuRequested);
        MenuProbe probe;
        probe.arm();
        sendContextMenu(&bar, bar.mergedTabRect().center());
        MenuProbe::settle();
        QVERIFY(!probe.opened());
        QCOMPARE(mixed.size(), 1);
        QCOMPARE(mixed.at(0).at(0).toPoint(), bar.mapToGlobal(bar.mergedTabRect().center()));
    }

    void roomTabMenuFollowsThePredicate_data()
    {
        QTest::addColumn<int>("predicate"); // 0 none, 1 false, 2 true
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("no predicate") << 0 << QStringList{"(取消订阅)"};
        QTest::newRow("refused") << 1 << QStringList{"(取消订阅)"};
        QTest::newRow("allowed") << 2 << QStringList{"取消订阅"};
    }

    void roomTabMenuFollowsThePredicate()
    {
        QFETCH(int, predicate);
        QFETCH(QStringList, entries);
        ChatTabBar bar;
        bar.resize(600, 32);
        bar.setTabs(tabs({"a", "b"}));
        QStringList asked;
        if (predicate > 0) {
            bar.setCanUnsubscribePredicate([&asked, predicate](const QString &roomId) {
                asked << roomId;
                return predicate == 2;
            });
        }
        QSignalSpy unsubscribe(&bar, &ChatTabBar::unsubscribeRequested);
        MenuProbe probe;
        // The tabs change while the menu is open: the entry still names the clicked tab.
        probe.arm(QStringLiteral("取消订阅"), [&bar](QMenu *) { bar.setTabs(tabs({"c"})); });
        sendContextMenu(&bar, bar.roomTabRect(1).center());
        QVERIFY(probe.opened());
        QCOMPARE(probe.entries(), entries);
        QCOMPARE(asked, predicate > 0 ? QStringList{"b"} : QStringList());
        if (predicate == 2) {
            QCOMPARE(unsubscribe.size(), 1);
            QCOMPARE(unsubscribe.at(0).at(0).toString(), QStringLiteral("b"));
        } else {
            QCOMPARE(unsubscribe.size(), 0);
        }
    }
};

KESTOVA_TEST_MAIN(ChatTabBarTest)
#include "test_chat_tab_bar.moc"
