#include "ui/panels/block_list_panel.h"
#include "ui/panels/channel_block.h"
#include "ui/panels/member_list.h"
#include "ui/panels/member_row.h"
#include "ui/panels/room_block.h"

#include "support/test_main.h"

#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>

using namespace blocks;

namespace {

constexpr int kMembers = 2000;

QString memberId(int i)
{
    return QStringLiteral("m%1").arg(i);
}

MemberRowData memberData(const QString &id)
{
    return {id, QStringLiteral("member ") + id, false, {1}};
}

QList<MemberRowData> members(int count)
{
    QList<MemberRowData> list;
    for (int i = 0; i < count; ++i)
        list.append(memberData(memberId(i)));
    return list;
}

RoomBlockData bigRoom(QList<MemberRowData> list)
{
    RoomBlockData d;
    d.roomId = QStringLiteral("big");
    d.title = QStringLiteral("Big");
    d.draggable = false;
    d.expanded = true;
    d.members = list;
    d.memberCount = int(list.size());
    return d;
}

// The big room alone, or nested in a channel with a small room above it.
BlockListData panelData(const QList<MemberRowData> &list, bool nested)
{
    BlockListData d;
    d.hasContent = true;
    if (nested) {
        ChannelBlockData channel;
        channel.channelId = QStringLiteral("k");
        channel.name = QStringLiteral("Channel");
        channel.expanded = true;
        RoomBlockData small = bigRoom({memberData(QStringLiteral("s1"))});
        small.roomId = QStringLiteral("small");
        channel.rooms = {small, bigRoom(list)};
        d.sections = {{QString(), {}, {channel}}};
    } else {
        d.sections = {{QString(), {bigRoom(list)}, {}}};
    }
    return d;
}

RoomBlock *bigBlock(const BlockListPanel &panel)
{
    if (RoomBlock *block = panel.roomBlock(QStringLiteral("big")))
        return block;
    const ChannelBlock *channel = panel.channelBlock(QStringLiteral("k"));
    return channel ? channel->roomBlocks().value(1).second : nullptr;
}

void settle(BlockListPanel &panel)
{
    panel.contentWidget()->layout()->activate();
    QCoreApplication::processEvents();
}

// The member ids of the rows that exist, in order.
QStringList rowIds(const RoomBlock *block)
{
    QStringList ids;
    for (const MemberRow *row : block->memberRows())
        ids << row->data().userId;
    return ids;
}

// Every member whose row lies in the panel's viewport has a shown row, at its place, with
// its record; the rows stay few, however many members the room has.
void verifyRowsCoverView(const BlockListPanel &panel, const RoomBlock *block, const QList<MemberRowData> &list)
{
    const MemberList *memberList = block->memberList();
    const int pitch = memberList->rowPitch();
    const QList<MemberRow *> &rows = block->memberRows();
    const int first = memberList->firstRow();
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const MemberRow *row = rows.at(k);
        const qsizetype index = first + k;
        QVERIFY(index < list.size());
        QCOMPARE(row->data(), list.at(index));
        QCOMPARE(row->property("vcMemberId").toString(), list.at(index).userId);
        QCOMPARE(row->y(), int(index) * pitch);
        QVERIFY(row->isVisible());
    }
    const int top = memberList->mapTo(panel.viewport(), QPoint(0, 0)).y();
    const int firstVisible = std::max(0, -top / pitch);
    const int lastVisible = std::min(int(list.size()) - 1, (panel.viewport()->height() - top) / pitch);
    if (firstVisible <= lastVisible) {
        QVERIFY2(first <= firstVisible,
                 qPrintable(QStringLiteral("first row %1, first visible %2").arg(first).arg(firstVisible)));
        QVERIFY2(first + rows.size() > lastVisible,
                 qPrintable(
                     QStringLiteral("rows end at %1, last visible %2").arg(first + rows.size()).arg(lastVisible)));
    }
    const int viewRows = panel.viewport()->height() / pitch + 2;
    QVERIFY(rows.size() <= viewRows + 2 * MemberList::kOverscanRows);
    // No row is left over beside the ones listed.
    QCOMPARE(memberList->findChildren<MemberRow *>().size(), rows.size());
}

// The member row under a point of the viewport, found the way a click finds it.
QString memberAt(const BlockListPanel &panel, QPoint viewportPoint)
{
    for (QWidget *w = panel.viewport()->childAt(viewportPoint); w; w = w->parentWidget())
        if (w->property("vcMemberId").isValid())
            return w->property("vcMemberId").toString();
    return {};
}

} // namespace

// A room of thousands of members keeps row widgets only near the viewport of its panel.
class MemberListTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowTheView_data();
    void rowsFollowTheView();
    void membersKeepTheirRowsAcrossChanges();
    void foldedRoomWaitsForTheView();
    void roomFoldedFromTheStartShowsRowsWhenUnfolded();
    void listFilledBeforeShowHasItsFirstRows();
};

void MemberListTest::rowsFollowTheView_data()
{
    QTest::addColumn<bool>("nested");
    QTest::newRow("room block") << false;
    QTest::newRow("room nested in a channel") << true;
}

void MemberListTest::rowsFollowTheView()
{
    QFETCH(bool, nested);
    const QList<MemberRowData> list = members(kMembers);
    BlockListPanel panel;
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.setBlocks(panelData(list, nested));
    settle(panel);
    RoomBlock *block = bigBlock(panel);
    QVERIFY(block);
    const int pitch = block->memberList()->rowPitch();

    // The block is as tall as all its rows, while only a screenful of them exists.
    QCOMPARE(block->memberList()->height(), kMembers * pitch - 2);
    verifyRowsCoverView(panel, block, list);
    QCOMPARE(block->memberList()->firstRow(), 0);

    // Paging down with the keyboard, then jumping to the middle and to the end.
    QScrollBar *bar = panel.verticalScrollBar();
    for (int page = 0; page < 5; ++page) {
        const int before = bar->value();
        QTest::keyClick(&panel, Qt::Key_PageDown);
        QVERIFY(bar->value() > before);
        verifyRowsCoverView(panel, block, list);
    }
    for (const int value : {bar->maximum() / 2, bar->maximum(), bar->maximum() / 3}) {
        bar->setValue(value);
        verifyRowsCoverView(panel, block, list);
    }
    bar->setValue(bar->maximum());
    QCOMPARE(block->memberRows().constLast()->data().userId, memberId(kMembers - 1));

    // A right-click in the middle of the view reaches the member drawn there.
    bar->setValue(bar->maximum() / 2);
    const int listTop = block->memberList()->mapTo(panel.viewport(), QPoint(0, 0)).y();
    const int index = (panel.viewport()->height() / 2 - listTop) / pitch;
    const QPoint point(60, listTop + index * pitch + pitch / 2);
    const QString expected = memberAt(panel, point);
    QCOMPARE(expected, memberId(index));
    QSignalSpy menu(&panel, &BlockListPanel::memberMenuRequested);
    QWidget *target = panel.viewport()->childAt(point);
    QTest::mouseClick(target, Qt::RightButton, {}, target->mapFrom(panel.viewport(), point));
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).toString(), expected);

    // A taller panel shows more rows at once.
    panel.resize(300, 700);
    QCoreApplication::processEvents();
    verifyRowsCoverView(panel, block, list);
}

// Scrolled into the middle of the room: members who stay keep their row widgets, whatever
// joins or leaves above them; a member who leaves loses its row at once.
void MemberListTest::membersKeepTheirRowsAcrossChanges()
{
    QList<MemberRowData> list = members(kMembers);
    BlockListPanel panel;
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.setBlocks(panelData(list, false));
    settle(panel);
    panel.verticalScrollBar()->setValue(panel.verticalScrollBar()->maximum() / 2);
    RoomBlock *block = bigBlock(panel);
    verifyRowsCoverView(panel, block, list);

    QHash<QString, MemberRow *> before;
    for (MemberRow *row : block->memberRows())
        before.insert(row->data().userId, row);
    const int middle = block->memberList()->firstRow() + int(block->memberRows().size()) / 2;
    const QString leaving = memberId(middle);
    const QPointer<MemberRow> leavingRow = before.value(leaving);
    QVERIFY(leavingRow);

    // Someone above the view leaves, someone above it joins, one in view leaves, one in
    // view joins, and one in view changes state.
    list.removeAt(3);
    list.insert(0, memberData(QStringLiteral("new-top")));
    list.removeAt(middle);
    list.insert(middle + 2, memberData(QStringLiteral("new-middle")));
    list[middle + 4].indicators = {2};
    panel.setBlocks(panelData(list, false));
    QVERIFY(leavingRow.isNull());
    for (MemberRow *row : block->memberRows()) {
        const QString id = row->data().userId;
        if (before.contains(id))
            QCOMPARE(row, before.value(id));
    }
    QVERIFY(rowIds(block).contains(QStringLiteral("new-middle")));
    settle(panel);
    verifyRowsCoverView(panel, block, list);
}

void MemberListTest::foldedRoomWaitsForTheView()
{
    const QList<MemberRowData> list = members(kMembers);
    BlockListPanel panel;
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.setBlocks(panelData(list, false));
    settle(panel);
    RoomBlock *block = bigBlock(panel);

    block->foldButton()->click();
    settle(panel);
    QVERIFY(block->memberContainer()->isHidden());
    QCOMPARE(block->height(), block->header()->height());
    QCOMPARE(panel.verticalScrollBar()->maximum(), 0);

    // Unfolded and scrolled: the rows are where the view is.
    block->foldButton()->click();
    settle(panel);
    QVERIFY(!block->memberContainer()->isHidden());
    panel.verticalScrollBar()->setValue(panel.verticalScrollBar()->maximum() / 4);
    verifyRowsCoverView(panel, block, list);
}

// A room the builder proposes folded, in a shown panel: the rows made while it is folded
// appear with it when the user unfolds it.
void MemberListTest::roomFoldedFromTheStartShowsRowsWhenUnfolded()
{
    const QList<MemberRowData> list = members(kMembers);
    BlockListPanel panel;
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    BlockListData d = panelData(list, false);
    d.sections[0].rooms[0].expanded = false;
    panel.setBlocks(d);
    settle(panel);
    RoomBlock *block = bigBlock(panel);
    QVERIFY(block->memberContainer()->isHidden());
    QVERIFY(!block->memberRows().isEmpty());
    for (const MemberRow *row : block->memberRows())
        QVERIFY(!row->isVisible());

    block->foldButton()->click();
    settle(panel);
    verifyRowsCoverView(panel, block, list);
}

// A panel filled before it is shown makes rows for the first members only, and covers the
// view once it is shown.
void MemberListTest::listFilledBeforeShowHasItsFirstRows()
{
    const QList<MemberRowData> list = members(kMembers);
    BlockListPanel panel;
    panel.resize(300, 400);
    panel.setBlocks(panelData(list, false));
    RoomBlock *block = bigBlock(panel);
    QCOMPARE(block->memberRows().size(), MemberList::kUnplacedRows);
    QCOMPARE(rowIds(block).constFirst(), memberId(0));

    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    settle(panel);
    verifyRowsCoverView(panel, block, list);
}

KESTOVA_TEST_MAIN(MemberListTest)
#include "test_member_list.moc"
