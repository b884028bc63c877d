#include "ui/panels/block_list_panel.h"
#include "ui/panels/block_style.h"
#include "ui/panels/channel_block.h"
#include "ui/panels/member_row.h"
#include "ui/panels/room_block.h"
#include "ui/widgets/section_divider.h"

#include "panel_probes.h"
#include "support/test_main.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleHints>

using namespace blocks;
using panelstest::sendMouse;

namespace {

RoomBlockData room(const QString &id, bool draggable = true, QStringList memberIds = {})
{
    RoomBlockData d;
    d.roomId = id;
    d.title = QStringLiteral("Room ") + id;
    d.draggable = draggable;
    for (const QString &m : memberIds)
        d.members.append({m, QStringLiteral("member ") + m, false, {1}});
    d.memberCount = int(d.members.size());
    d.expanded = !memberIds.isEmpty();
    return d;
}

BlockListData list(QList<BlockSection> sections, const QString &emptyText = QStringLiteral("无房间"))
{
    BlockListData d;
    d.sections = sections;
    d.emptyText = emptyText;
    d.hasContent = !sections.isEmpty();
    return d;
}

BlockSection section(const QString &caption, QList<RoomBlockData> rooms, QList<ChannelBlockData> channels = {})
{
    return {caption, rooms, channels};
}

ChannelBlockData channel(const QString &id, QList<RoomBlockData> rooms, bool reorderable = true)
{
    ChannelBlockData d;
    d.channelId = id;
    d.name = QStringLiteral("Channel ") + id;
    d.expanded = true;
    d.roomsReorderable = reorderable;
    for (RoomBlockData &r : rooms)
        r.draggable = false;
    d.rooms = rooms;
    return d;
}

// The ids of the blocks in the content layout, top to bottom ("|" for a divider, "-"
// for a row separator, "empty:" and the text for the placeholder).
QStringList layoutOrder(const BlockListPanel &panel)
{
    QStringList out;
    QLayout *layout = panel.contentWidget()->layout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *w = layout->itemAt(i)->widget();
        if (!w)
            continue;
        if (auto *block = qobject_cast<RoomBlock *>(w))
            out << block->data().roomId;
        else if (auto *channelBlock = qobject_cast<ChannelBlock *>(w))
            out << channelBlock->data().channelId;
        else if (auto *divider = qobject_cast<SectionDivider *>(w))
            out << QStringLiteral("|") + divider->caption();
        else if (auto *label = qobject_cast<QLabel *>(w))
            out << QStringLiteral("empty:") + label->text();
        else
            out << QStringLiteral("-");
    }
    return out;
}

QList<QWidget *> layoutWidgets(const BlockListPanel &panel)
{
    QList<QWidget *> out;
    QLayout *layout = panel.contentWidget()->layout();
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget *w = layout->itemAt(i)->widget())
            out << w;
    return out;
}

void settleLayout(BlockListPanel &panel)
{
    panel.contentWidget()->layout()->activate();
    QCoreApplication::processEvents();
}

QStringList ids(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *id : list)
        out << QString::fromUtf8(id);
    return out;
}

// Presses on a header, moves with the left button to a point of another widget and
// releases there, the way a drag reaches the panel (the pressed header keeps the mouse).
void drag(QWidget *header, QWidget *over, QPoint overPoint)
{
    const QPoint start(20, header->height() / 2);
    sendMouse(header, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    const QPoint target = header->mapFromGlobal(over->mapToGlobal(overPoint));
    sendMouse(header, QEvent::MouseMove, target, Qt::NoButton, Qt::LeftButton);
    sendMouse(header, QEvent::MouseMove, target + QPoint(0, 1), Qt::NoButton, Qt::LeftButton);
    sendMouse(header, QEvent::MouseButtonRelease, target + QPoint(0, 1), Qt::LeftButton, Qt::NoButton);
}

} // namespace

class BlockListPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void startsEmpty();
    void emptyStateOnlyOnChange();
    void sectionsDividersSeparatorsAndPlaceholder();
    void rebuildReusesBlocks();
    void structureChangeKeepsCachedBlocksAndDropsGone();
    void savedOrder_data();
    void savedOrder();
    void setOrderAppendsMissingIds();
    void repeatedIdShownOnce();
    void clickSelectsRoomOnce();
    void dragStartsAtSummedDistance();
    void dragReorders_data();
    void dragReorders();
    void dragAbandonedWithoutButton();
    void rowDragInsideChannel();
    void rowDragOverFoldedChannelDoesNothing();
    void rightClickHits_data();
    void rightClickHits();
    void rebuildUnderOpenMenuIsSafe();
    void doubleClickReachesPanel();
};

void BlockListPanelTest::startsEmpty()
{
    BlockListPanel panel;
    QCOMPARE(panel.property("panelEmpty").toBool(), true);
    QCOMPARE(panel.objectName(), QStringLiteral("blockListPanel"));
    QVERIFY(panel.minimumSizeHint().width() >= 260);
    QVERIFY(panel.minimumSizeHint().height() >= 120);
    // No data and no empty text: nothing but the stretch.
    QVERIFY(layoutOrder(panel).isEmpty());
}

void BlockListPanelTest::emptyStateOnlyOnChange()
{
    BlockListPanel panel;
    QSignalSpy spy(&panel, &BlockListPanel::emptyStateChanged);
    const BlockListData d = list({section({}, {room(QStringLiteral("r1"))})});
    panel.setBlocks(d);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    QCOMPARE(panel.property("panelEmpty").toBool(), false);
    panel.setBlocks(d);
    QCOMPARE(spy.count(), 1);
    panel.setBlocks(list({}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), true);
    // A section whose items are all missing counts as nothing shown.
    panel.setBlocks(list({section(QStringLiteral("临时房间"), {})}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(layoutOrder(panel), QStringList{QStringLiteral("empty:无房间")});
}

void BlockListPanelTest::sectionsDividersSeparatorsAndPlaceholder()
{
    BlockListPanel panel;
    BlockListData d =
        list({section(QStringLiteral("临时房间"), {room(QStringLiteral("t1")), room(QStringLiteral("t2"))}),
              section(QStringLiteral("持久房间"), {room(QStringLiteral("p1"))})});
    panel.setBlocks(d);
    QCOMPARE(layoutOrder(panel), ids({"|临时房间", "t1", "t2", "|持久房间", "p1"}));

    d.rowSeparators = true;
    d.sections[0].caption.clear();
    panel.setBlocks(d);
    QCOMPARE(layoutOrder(panel), ids({"t1", "-", "t2", "|持久房间", "p1"}));
    const QWidget *separator = layoutWidgets(panel).at(1);
    QCOMPARE(separator->property("role").toString(), QStringLiteral("rowSeparator"));
    QCOMPARE(separator->maximumHeight(), 1);

    panel.setBlocks(list({}, QStringLiteral("无当前房间")));
    QCOMPARE(layoutOrder(panel), QStringList{QStringLiteral("empty:无当前房间")});
    QCOMPARE(layoutWidgets(panel).at(0)->property("role").toString(), QStringLiteral("placeholder"));
}

void BlockListPanelTest::rebuildReusesBlocks()
{
    BlockListPanel panel;
    BlockListData d = list({section(QStringLiteral("临时房间"),
                                    {room(QStringLiteral("r1"), true, {QStringLiteral("a"), QStringLiteral("b")}),
                                     room(QStringLiteral("r2"))})});
    d.rowSeparators = true;
    panel.setBlocks(d);
    const QList<QWidget *> before = layoutWidgets(panel);
    const QList<MemberRow *> rows = panel.roomBlock(QStringLiteral("r1"))->memberRows();

    // Titles, members' states, dots and tags change: the layout is kept, the blocks update.
    d.sections[0].rooms[0].title = QStringLiteral("renamed");
    d.sections[0].rooms[0].members[1].indicators = {2};
    d.sections[0].rooms[1].statusDot = 2;
    d.sections[0].rooms[1].tags = QStringList{QStringLiteral("父房")};
    panel.setBlocks(d);
    QCOMPARE(layoutWidgets(panel), before);
    QCOMPARE(panel.roomBlock(QStringLiteral("r1"))->memberRows(), rows);
    QCOMPARE(panel.roomBlock(QStringLiteral("r1"))->titleLabel()->text(), QStringLiteral("renamed (2)"));
    QCOMPARE(rows.at(1)->dotLabels().at(0)->state(), 2);

    // A member joins: the layout is kept, the room keeps its rows and adds one.
    d.sections[0].rooms[0].members.append({QStringLiteral("c"), QStringLiteral("c"), false, {1}});
    panel.setBlocks(d);
    QCOMPARE(layoutWidgets(panel), before);
    QCOMPARE(panel.roomBlock(QStringLiteral("r1"))->memberRows().size(), 3);
    QCOMPARE(panel.roomBlock(QStringLiteral("r1"))->memberRows().mid(0, 2), rows);
}

void BlockListPanelTest::structureChangeKeepsCachedBlocksAndDropsGone()
{
    BlockListPanel panel;
    BlockListData d = list({section({}, {room(QStringLiteral("r1")), room(QStringLiteral("r2"))})});
    panel.setBlocks(d);
    RoomBlock *r1 = panel.roomBlock(QStringLiteral("r1"));
    QPointer<RoomBlock> r2 = panel.roomBlock(QStringLiteral("r2"));
    r1->foldButton()->click();
    QVERIFY(r1->isExpanded());

    d.sections[0].rooms = {room(QStringLiteral("r3")), room(QStringLiteral("r1"))};
    panel.setBlocks(d);
    QVERIFY(r2.isNull());
    QCOMPARE(panel.roomBlock(QStringLiteral("r1")), r1);
    // The user's fold choice lives as long as the block.
    QVERIFY(r1->isExpanded());
    QCOMPARE(layoutOrder(panel), ids({"r1", "r3"}));
}

void BlockListPanelTest::savedOrder_data()
{
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("orderAfter");
    // Data: section A holds x (fixed), a, b; section B holds c and channel k.
    QTest::newRow("no saved order") << QStringList{} << ids({"x", "a", "b", "c", "k"}) << ids({"a", "b", "c", "k"});
    QTest::newRow("saved order wins") << ids({"k", "b", "c", "a"}) << ids({"x", "b", "a", "k", "c"})
                                      << ids({"k", "b", "c", "a"});
    QTest::newRow("unknown ids kept, not shown")
        << ids({"gone", "b", "old", "a"}) << ids({"x", "b", "a", "c", "k"}) << ids({"gone", "b", "old", "a", "c", "k"});
    QTest::newRow("missing ids appended in data order")
        << ids({"c"}) << ids({"x", "a", "b", "c", "k"}) << ids({"c", "a", "b", "k"});
    QTest::newRow("fixed id in saved order stays first")
        << ids({"b", "x", "a"}) << ids({"x", "b", "a", "c", "k"}) << ids({"b", "x", "a", "c", "k"});
}

void BlockListPanelTest::savedOrder()
{
    QFETCH(QStringList, saved);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, orderAfter);
    BlockListPanel panel;
    panel.setOrder(saved);
    ChannelBlockData k = channel(QStringLiteral("k"), {room(QStringLiteral("kr"))});
    k.draggable = true;
    panel.setBlocks(
        list({section({}, {room(QStringLiteral("a")), room(QStringLiteral("x"), false), room(QStringLiteral("b"))}),
              section({}, {room(QStringLiteral("c"))}, {k})}));
    QStringList blocksShown = layoutOrder(panel);
    QCOMPARE(blocksShown, shown);
    QCOMPARE(panel.savedOrder(), orderAfter);
}

void BlockListPanelTest::setOrderAppendsMissingIds()
{
    BlockListPanel panel;
    panel.setBlocks(
        list({section({}, {room(QStringLiteral("a")), room(QStringLiteral("b")), room(QStringLiteral("c"))})}));
    QSignalSpy orderSpy(&panel, &BlockListPanel::orderChanged);
    panel.setOrder(ids({"c", "zz"}));
    QCOMPARE(panel.savedOrder(), ids({"c", "zz", "a", "b"}));
    QCOMPARE(layoutOrder(panel), ids({"c", "a", "b"}));
    // Installing an order is not a user's reorder.
    QCOMPARE(orderSpy.count(), 0);
}

void BlockListPanelTest::repeatedIdShownOnce()
{
    BlockListPanel panel;
    panel.setOrder(ids({"a", "b", "a"}));
    panel.setBlocks(list({section({}, {room(QStringLiteral("a")), room(QStringLiteral("b"))}),
                          section({}, {room(QStringLiteral("a"))})}));
    QCOMPARE(layoutOrder(panel), ids({"a", "b"}));
}

void BlockListPanelTest::clickSelectsRoomOnce()
{
    BlockListPanel panel;
    panel.setBlocks(list({section({}, {room(QStringLiteral("r1"), true, {QStringLiteral("m1")})})}));
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    QSignalSpy selected(&panel, &BlockListPanel::roomSelected);
    QSignalSpy order(&panel, &BlockListPanel::orderChanged);
    RoomBlock *block = panel.roomBlock(QStringLiteral("r1"));

    // The click lands on the title label and travels up through the header.
    QTest::mouseClick(block->titleLabel(), Qt::LeftButton);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("r1"));
    QCOMPARE(order.count(), 0);

    // A member row or empty space selects nothing.
    QTest::mouseClick(block->memberRows().at(0)->nameLabel(), Qt::LeftButton);
    QTest::mouseClick(panel.contentWidget(), Qt::LeftButton, {}, QPoint(10, panel.contentWidget()->height() - 5));
    QCOMPARE(selected.count(), 1);
}

void BlockListPanelTest::dragStartsAtSummedDistance()
{
    BlockListPanel panel;
    panel.setBlocks(list({section({}, {room(QStringLiteral("a")), room(QStringLiteral("b"))})}));
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    const int previous = QApplication::startDragDistance();
    QApplication::setStartDragDistance(5);
    QWidget *header = panel.roomBlock(QStringLiteral("a"))->header();
    sendMouse(header, QEvent::MouseButtonPress, QPoint(20, 5), Qt::LeftButton, Qt::LeftButton);
    sendMouse(header, QEvent::MouseMove, QPoint(22, 6), Qt::NoButton, Qt::LeftButton);
    QVERIFY(panel.dropIndicatorWidget()->isHidden());
    sendMouse(header, QEvent::MouseMove, QPoint(23, 7), Qt::NoButton, Qt::LeftButton);
    QVERIFY(!panel.dropIndicatorWidget()->isHidden());
    QSignalSpy selected(&panel, &BlockListPanel::roomSelected);
    sendMouse(header, QEvent::MouseButtonRelease, QPoint(23, 7), Qt::LeftButton, Qt::NoButton);
    // A finished drag is no click, and dropping a block on its own place changes nothing.
    QCOMPARE(selected.count(), 0);
    QVERIFY(panel.dropIndicatorWidget()->isHidden());
    QApplication::setStartDragDistance(previous);
}

void BlockListPanelTest::dragReorders_data()
{
    QTest::addColumn<QString>("dragged");
    QTest::addColumn<QString>("over");              // the block whose header the drop lands on
    QTest::addColumn<bool>("upperHalf");            // above that block's centre, else at the list's end
    QTest::addColumn<QStringList>("expectedOrder"); // empty: no orderChanged
    // Section 1: fixed f, then a, b, c; section 2: d. The saved order also holds "z".
    QTest::newRow("down before c") << "a"
                                   << "c" << true << ids({"b", "a", "c", "z", "d"});
    QTest::newRow("up before a") << "c"
                                 << "a" << true << ids({"c", "a", "b", "z", "d"});
    QTest::newRow("own place") << "b"
                               << "b" << true << QStringList{};
    QTest::newRow("just below itself") << "b"
                                       << "c" << true << QStringList{};
    QTest::newRow("below the last block") << "a"
                                          << "" << false << ids({"b", "c", "a", "z", "d"});
    QTest::newRow("never above the fixed head") << "b"
                                                << "f" << true << ids({"b", "a", "c", "z", "d"});
}

void BlockListPanelTest::dragReorders()
{
    QFETCH(QString, dragged);
    QFETCH(QString, over);
    QFETCH(bool, upperHalf);
    QFETCH(QStringList, expectedOrder);
    BlockListPanel panel;
    panel.setOrder(ids({"a", "b", "c", "z", "d"}));
    panel.setBlocks(list({section({}, {room(QStringLiteral("a")), room(QStringLiteral("b")),
                                       room(QStringLiteral("f"), false), room(QStringLiteral("c"))}),
                          section(QStringLiteral("二"), {room(QStringLiteral("d"))})}));
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    QCOMPARE(layoutOrder(panel), ids({"f", "a", "b", "c", "|二", "d"}));
    const QList<QWidget *> before = layoutWidgets(panel);

    QSignalSpy orderSpy(&panel, &BlockListPanel::orderChanged);
    QSignalSpy selected(&panel, &BlockListPanel::roomSelected);
    QWidget *header = panel.roomBlock(dragged)->header();
    if (upperHalf) {
        drag(header, panel.roomBlock(over)->header(), QPoint(20, 1));
    } else {
        // Below the last block of the section but above the next section's divider.
        RoomBlock *last = panel.roomBlock(QStringLiteral("c"));
        drag(header, last, QPoint(20, last->height() - 1));
    }
    QCOMPARE(selected.count(), 0);
    if (expectedOrder.isEmpty()) {
        QCOMPARE(orderSpy.count(), 0);
        QCOMPARE(layoutWidgets(panel), before);
    } else {
        QCOMPARE(orderSpy.count(), 1);
        QCOMPARE(orderSpy.at(0).at(0).toStringList(), expectedOrder);
        QCOMPARE(panel.savedOrder(), expectedOrder);
        QStringList shown = expectedOrder;
        shown.removeAll(QStringLiteral("z"));
        shown.removeAll(QStringLiteral("d"));
        QCOMPARE(layoutOrder(panel), QStringList{QStringLiteral("f")} + shown + ids({"|二", "d"}));
    }
    QVERIFY(panel.dropIndicatorWidget()->isHidden());
}

void BlockListPanelTest::dragAbandonedWithoutButton()
{
    BlockListPanel panel;
    panel.setBlocks(list({section({}, {room(QStringLiteral("a")), room(QStringLiteral("b"))})}));
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    QWidget *header = panel.roomBlock(QStringLiteral("a"))->header();
    QWidget *target = panel.roomBlock(QStringLiteral("b"))->header();
    const QPoint below = header->mapFromGlobal(target->mapToGlobal(QPoint(10, target->height() - 1)));
    sendMouse(header, QEvent::MouseButtonPress, QPoint(20, 5), Qt::LeftButton, Qt::LeftButton);
    sendMouse(header, QEvent::MouseMove, below, Qt::NoButton, Qt::LeftButton);
    QVERIFY(!panel.dropIndicatorWidget()->isHidden());
    // The button came up outside the window: the next move without it ends the drag. (The
    // application passes buttonless moves on only to rows that track the mouse, so the
    // move goes to the filter itself.)
    QMouseEvent buttonless(QEvent::MouseMove, QPointF(below), QPointF(header->mapToGlobal(below)), Qt::NoButton,
                           Qt::NoButton, Qt::NoModifier);
    QVERIFY(!panel.eventFilter(header, &buttonless));
    QVERIFY(panel.dropIndicatorWidget()->isHidden());
    QSignalSpy orderSpy(&panel, &BlockListPanel::orderChanged);
    sendMouse(header, QEvent::MouseButtonRelease, below, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(orderSpy.count(), 0);
}

void BlockListPanelTest::rowDragInsideChannel()
{
    BlockListPanel panel;
    const BlockListData d =
        list({section({}, {},
                      {channel(QStringLiteral("k"), {room(QStringLiteral("r1")), room(QStringLiteral("r2")),
                                                     room(QStringLiteral("r3"))})})});
    panel.setBlocks(d);
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    ChannelBlock *block = panel.channelBlock(QStringLiteral("k"));
    const auto rows = block->roomBlocks();
    QSignalSpy roomOrder(&panel, &BlockListPanel::roomOrderChanged);
    QSignalSpy order(&panel, &BlockListPanel::orderChanged);

    drag(rows.at(1).second->header(), rows.at(0).second->header(), QPoint(10, 1));
    QCOMPARE(roomOrder.count(), 1);
    QCOMPARE(roomOrder.at(0).at(0).toString(), QStringLiteral("k"));
    QCOMPARE(roomOrder.at(0).at(1).toStringList(), ids({"r2", "r1", "r3"}));
    QCOMPARE(order.count(), 0);
    // The panel waits for the new order to come back through the data.
    QCOMPARE(block->roomBlocks(), rows);

    drag(rows.at(0).second->header(), rows.at(2).second->header(), QPoint(10, rows.at(2).second->height() - 1));
    QCOMPARE(roomOrder.count(), 2);
    QCOMPARE(roomOrder.at(1).at(1).toStringList(), ids({"r2", "r3", "r1"}));

    // Dropping a row on its own place emits nothing.
    drag(rows.at(1).second->header(), rows.at(1).second->header(), QPoint(10, 1));
    QCOMPARE(roomOrder.count(), 2);
}

void BlockListPanelTest::rowDragOverFoldedChannelDoesNothing()
{
    BlockListPanel panel;
    panel.setBlocks(list(
        {section({}, {}, {channel(QStringLiteral("k"), {room(QStringLiteral("r1")), room(QStringLiteral("r2"))})})}));
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    ChannelBlock *block = panel.channelBlock(QStringLiteral("k"));
    QWidget *second = block->roomBlocks().at(1).second->header();
    QWidget *first = block->roomBlocks().at(0).second->header();
    QSignalSpy roomOrder(&panel, &BlockListPanel::roomOrderChanged);
    sendMouse(second, QEvent::MouseButtonPress, QPoint(20, 5), Qt::LeftButton, Qt::LeftButton);
    block->foldButton()->click();
    sendMouse(second, QEvent::MouseMove, second->mapFromGlobal(first->mapToGlobal(QPoint(10, 1))), Qt::NoButton,
              Qt::LeftButton);
    QVERIFY(panel.dropIndicatorWidget()->isHidden());
    sendMouse(second, QEvent::MouseButtonRelease, QPoint(10, 1), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(roomOrder.count(), 0);
}

void BlockListPanelTest::rightClickHits_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QString>("id");
    QTest::newRow("room title") << "roomTitle"
                                << "room"
                                << "r1";
    QTest::newRow("room header") << "roomHeader"
                                 << "room"
                                 << "r1";
    QTest::newRow("room fold button") << "roomFold"
                                      << "room"
                                      << "r1";
    QTest::newRow("room tag") << "roomTag"
                              << "room"
                              << "r1";
    QTest::newRow("member name") << "memberName"
                                 << "member"
                                 << "m1";
    QTest::newRow("member dot") << "memberDot"
                                << "member"
                                << "m1";
    QTest::newRow("channel header") << "channelName"
                                    << "channel"
                                    << "k";
    QTest::newRow("room in channel") << "nestedTitle"
                                     << "room"
                                     << "kr";
    QTest::newRow("member of room in channel") << "nestedMember"
                                               << "member"
                                               << "km";
    QTest::newRow("section divider") << "divider"
                                     << "blank"
                                     << "";
    QTest::newRow("empty space") << "space"
                                 << "blank"
                                 << "";
}

void BlockListPanelTest::rightClickHits()
{
    QFETCH(QString, target);
    QFETCH(QString, signal);
    QFETCH(QString, id);
    BlockListPanel panel;
    RoomBlockData r1 = room(QStringLiteral("r1"), true, {QStringLiteral("m1")});
    r1.tags = QStringList{QStringLiteral("父房")};
    panel.setBlocks(
        list({section(QStringLiteral("房间"), {r1}),
              section({}, {},
                      {channel(QStringLiteral("k"), {room(QStringLiteral("kr"), false, {QStringLiteral("km")})})})}));
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);

    RoomBlock *block = panel.roomBlock(QStringLiteral("r1"));
    ChannelBlock *channelBlock = panel.channelBlock(QStringLiteral("k"));
    RoomBlock *nested = channelBlock->roomBlocks().at(0).second;
    QWidget *widget = nullptr;
    QPoint point(3, 3);
    if (target == QLatin1String("roomTitle"))
        widget = block->titleLabel();
    else if (target == QLatin1String("roomHeader"))
        widget = block->header(), point = QPoint(11, 3); // between the fold button and the tags
    else if (target == QLatin1String("roomFold"))
        widget = block->foldButton();
    else if (target == QLatin1String("roomTag"))
        widget = block->tagLabels().at(0);
    else if (target == QLatin1String("memberName"))
        widget = block->memberRows().at(0)->nameLabel();
    else if (target == QLatin1String("memberDot"))
        widget = block->memberRows().at(0)->dotLabels().at(0);
    else if (target == QLatin1String("channelName"))
        widget = channelBlock->nameLabel();
    else if (target == QLatin1String("nestedTitle"))
        widget = nested->titleLabel();
    else if (target == QLatin1String("nestedMember"))
        widget = nested->memberRows().at(0)->nameLabel();
    else if (target == QLatin1String("divider"))
        widget = layoutWidgets(panel).at(0);
    else
        widget = panel.contentWidget(), point = QPoint(10, panel.contentWidget()->height() - 5);
    QVERIFY(widget);
    QCOMPARE(QApplication::widgetAt(widget->mapToGlobal(point)), widget);

    QSignalSpy room(&panel, &BlockListPanel::roomMenuRequested);
    QSignalSpy member(&panel, &BlockListPanel::memberMenuRequested);
    QSignalSpy channel(&panel, &BlockListPanel::channelMenuRequested);
    QSignalSpy blank(&panel, &BlockListPanel::blankContextMenuRequested);
    QSignalSpy selected(&panel, &BlockListPanel::roomSelected);
    QTest::mouseClick(widget, Qt::RightButton, {}, point);
    QCOMPARE(room.count() + member.count() + channel.count() + blank.count(), 1);
    QSignalSpy *hit = signal == QLatin1String("room")      ? &room
                      : signal == QLatin1String("member")  ? &member
                      : signal == QLatin1String("channel") ? &channel
                                                           : &blank;
    QCOMPARE(hit->count(), 1);
    const QList<QVariant> args = hit->at(0);
    if (hit != &blank)
        QCOMPARE(args.at(0).toString(), id);
    QCOMPARE(args.last().toPoint(), widget->mapToGlobal(point));
    QCOMPARE(selected.count(), 0);
}

void BlockListPanelTest::rebuildUnderOpenMenuIsSafe()
{
    BlockListPanel panel;
    const BlockListData full =
        list({section({}, {room(QStringLiteral("r1"), true, {QStringLiteral("m1")}), room(QStringLiteral("r2"))})});
    panel.setBlocks(full);
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    QPointer<RoomBlock> block = panel.roomBlock(QStringLiteral("r1"));
    QPointer<MemberRow> row = block->memberRows().at(0);
    int menus = 0;
    // While "the menu" is open, the room disappears from the data.
    connect(&panel, &BlockListPanel::memberMenuRequested, &panel, [&] {
        ++menus;
        panel.setBlocks(list({section({}, {room(QStringLiteral("r2"))})}));
    });
    QTest::mouseClick(row->nameLabel(), Qt::RightButton, {}, QPoint(3, 3));
    QCOMPARE(menus, 1);
    QVERIFY(row.isNull());
    QVERIFY(block.isNull());
    QCOMPARE(layoutOrder(panel), ids({"r2"}));
}

void BlockListPanelTest::doubleClickReachesPanel()
{
    BlockListPanel panel;
    panel.setBlocks(list(
        {section({}, {room(QStringLiteral("r1"))}, {channel(QStringLiteral("k"), {room(QStringLiteral("kr"))})})}));
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settleLayout(panel);
    QSignalSpy spy(&panel, &BlockListPanel::roomDoubleClicked);
    QTest::mouseDClick(panel.roomBlock(QStringLiteral("r1"))->titleLabel(), Qt::LeftButton);
    QTest::mouseDClick(panel.channelBlock(QStringLiteral("k"))->roomBlocks().at(0).second->titleLabel(),
                       Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("r1"));
    QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("kr"));
}

KESTOVA_TEST_MAIN(BlockListPanelTest)
#include "test_block_list_panel.moc"
