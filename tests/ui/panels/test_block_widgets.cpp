#include "ui/panels/block_style.h"
#include "ui/panels/channel_block.h"
#include "ui/panels/member_row.h"
#include "ui/panels/room_block.h"

#include "theme/theme_palette.h"

#include "panel_probes.h"
#include "support/test_main.h"

#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>

using namespace blocks;

namespace {

// Counts the style changes a widget goes through (each setStyleSheet sends one).
class StyleChangeCounter : public QObject
{
public:
    explicit StyleChangeCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange)
            ++count;
        return false;
    }
};

MemberRowData member(const QString &id, QList<int> indicators = {1}, bool disconnected = false)
{
    return {id, QStringLiteral("name-") + id, disconnected, indicators};
}

RoomBlockData room(const QString &id, QList<MemberRowData> members = {})
{
    RoomBlockData d;
    d.roomId = id;
    d.title = QStringLiteral("Room ") + id;
    d.memberCount = int(members.size());
    d.members = members;
    return d;
}

QStringList rowIds(const RoomBlock &block)
{
    QStringList ids;
    for (const MemberRow *row : block.memberRows())
        ids << row->property("vcMemberId").toString();
    return ids;
}

} // namespace

class BlockWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void dotStyle_data();
    void dotStyle();
    void rowHeightFollowsFont();
    void memberRowShowsRecord();
    void memberRowEqualRecordTouchesNothing();
    void memberRowIndicatorColumn();
    void roomHeader();
    void roomTitleShownAsTyped();
    void roomFoldFollowsUserUntilProposalChanges();
    void roomExpandedWithoutMembers();
    void roomMemberRowsReusedOrRecreated();
    void roomTitleDoubleClick();
    void channelHeaderAndRows();
    void channelRowDragNeedsTwoRooms();
    void channelFoldAndDoubleClick();
};

void BlockWidgetsTest::dotStyle_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("expected");
    const auto colour = [](const char *token) {
        return QStringLiteral("color: %1; font-size: 8px;").arg(QLatin1String(ThemePalette::hex(token)));
    };
    const QString transparent = QStringLiteral("color: transparent; font-size: 8px;");
    QTest::newRow("idle") << 1 << colour("statusIdle");
    QTest::newRow("speaking") << 2 << colour("success");
    QTest::newRow("blocked") << 3 << colour("danger");
    QTest::newRow("zero") << 0 << transparent;
    QTest::newRow("four") << 4 << transparent;
    QTest::newRow("negative") << -1 << transparent;
}

void BlockWidgetsTest::dotStyle()
{
    QFETCH(int, state);
    QFETCH(QString, expected);
    QCOMPARE(blocks::dotStyle(state), expected);
}

void BlockWidgetsTest::rowHeightFollowsFont()
{
    QFont font;
    font.setPixelSize(13);
    const int height = QFontMetrics(font).height();
    QCOMPARE(rowHeightFor(font), height < 18 ? 24 : height + 6);
    // The font's own size does not matter: the row is measured at 13 pixels.
    QFont large;
    large.setPixelSize(40);
    QCOMPARE(rowHeightFor(large), rowHeightFor(font));
    QVERIFY(rowHeightFor(font) >= 24);
}

void BlockWidgetsTest::memberRowShowsRecord()
{
    MemberRow row(24, nullptr);
    QCOMPARE(row.property("vcRow").toBool(), true);
    QVERIFY(!row.property("vcMemberId").isValid());
    row.setData(member(QStringLiteral("u1"), {2}, true));
    QCOMPARE(row.property("vcMemberId").toString(), QStringLiteral("u1"));
    QCOMPARE(row.nameLabel()->text(), QStringLiteral("name-u1"));
    QCOMPARE(row.nameLabel()->styleSheet(),
             QStringLiteral("color: %1; font-size: 13px;").arg(QLatin1String(ThemePalette::hex("textFaint"))));
    QCOMPARE(row.dotLabels().size(), 1);
    QCOMPARE(row.dotLabels().at(0)->text(), QStringLiteral("\u25CF"));
    QCOMPARE(row.dotLabels().at(0)->styleSheet(), blocks::dotStyle(2));

    MemberRowData back = member(QStringLiteral("u1"), {1});
    row.setData(back);
    QCOMPARE(row.nameLabel()->styleSheet(),
             QStringLiteral("color: %1; font-size: 13px;").arg(QLatin1String(ThemePalette::hex("text"))));
    QCOMPARE(row.dotLabels().at(0)->styleSheet(), blocks::dotStyle(1));
}

void BlockWidgetsTest::memberRowEqualRecordTouchesNothing()
{
    MemberRow row(24, nullptr);
    const MemberRowData d = member(QStringLiteral("u1"), {1, 3});
    row.setData(d);
    const QWidget *column = row.indicatorColumn();
    StyleChangeCounter nameChanges(row.nameLabel());
    StyleChangeCounter dotChanges(row.dotLabels().at(1));
    row.setData(d);
    QCOMPARE(row.indicatorColumn(), column);
    QCOMPARE(nameChanges.count, 0);
    QCOMPARE(dotChanges.count, 0);

    // Same number of dots: the column stays and only the changed dot is restyled.
    MemberRowData speaking = d;
    speaking.indicators = {2, 3};
    row.setData(speaking);
    QCOMPARE(row.indicatorColumn(), column);
    QCOMPARE(dotChanges.count, 0);
    QCOMPARE(row.dotLabels().at(0)->styleSheet(), blocks::dotStyle(2));
}

void BlockWidgetsTest::memberRowIndicatorColumn()
{
    QWidget holder;
    auto *layout = new QVBoxLayout(&holder);
    auto *row = new MemberRow(24, &holder);
    layout->addWidget(row);
    holder.resize(200, 40);
    holder.show();

    row->setData(member(QStringLiteral("u1"), {1, 2}));
    QCOMPARE(row->dotLabels().size(), 2);
    QCOMPARE(row->dotLabels().at(0)->height(), 10); // half of 24 - 4
    QCOMPARE(row->indicatorColumn()->width(), 12);
    QCOMPARE(row->layout()->indexOf(row->indicatorColumn()), 0);

    row->setData(member(QStringLiteral("u1"), {3}));
    QCOMPARE(row->dotLabels().size(), 1);
    QCOMPARE(row->dotLabels().at(0)->maximumHeight(), 20); // the full 24 - 4
    QCOMPARE(row->dotLabels().at(0)->styleSheet(), blocks::dotStyle(3));

    // An unknown state still takes its place, transparent.
    row->setData(member(QStringLiteral("u1"), {4}));
    QCOMPARE(row->dotLabels().size(), 1);
    QCOMPARE(row->dotLabels().at(0)->styleSheet(), blocks::dotStyle(0));

    row->setData(member(QStringLiteral("u1"), {}));
    QVERIFY(!row->indicatorColumn());
    QVERIFY(row->dotLabels().isEmpty());
    row->layout()->activate();
    QCOMPARE(row->nameLabel()->x(), 14);
}

void BlockWidgetsTest::roomHeader()
{
    RoomBlock block(24, nullptr, nullptr);
    RoomBlockData d = room(QStringLiteral("r1"));
    block.setData(d);
    QCOMPARE(block.header()->property("vcRow").toBool(), true);
    QCOMPARE(block.header()->property("hoverable").toBool(), true);
    QCOMPARE(block.header()->property("vcRoomId").toString(), QStringLiteral("r1"));
    QCOMPARE(block.header()->property("vcDraggable").toBool(), true);
    QCOMPARE(block.foldButton()->property("role").toString(), QStringLiteral("fold"));
    QCOMPARE(block.foldButton()->text(), QStringLiteral("+"));
    QVERIFY(block.dotLabel()->isHidden());
    QVERIFY(block.tagContainer()->isHidden());
    QCOMPARE(block.titleLabel()->styleSheet(),
             QStringLiteral("color: %1; font-size: 13px;").arg(QLatin1String(ThemePalette::hex("text"))));

    d.tags = QStringList{QStringLiteral("父房"), QStringLiteral("子房")};
    d.statusDot = 2;
    d.bold = true;
    d.draggable = false;
    block.setData(d);
    QVERIFY(!block.dotLabel()->isHidden());
    QCOMPARE(block.dotLabel()->styleSheet(), blocks::dotStyle(2));
    QVERIFY(!block.tagContainer()->isHidden());
    QCOMPARE(block.tagLabels().size(), 2);
    QCOMPARE(block.tagLabels().at(1)->text(), QStringLiteral("子房"));
    QCOMPARE(block.tagLabels().at(0)->styleSheet(),
             QStringLiteral("border: 1px solid %1; color: %1; font-size: 10px; padding: 0px 3px;")
                 .arg(QLatin1String(ThemePalette::hex("textFaint"))));
    QVERIFY(block.titleLabel()->styleSheet().endsWith(QStringLiteral(" font-weight: bold;")));
    QCOMPARE(block.header()->property("vcDraggable").toBool(), false);

    // The same tags keep their labels; an equal record restyles nothing.
    const QLabel *firstTag = block.tagLabels().at(0);
    StyleChangeCounter titleChanges(block.titleLabel());
    StyleChangeCounter dotChanges(block.dotLabel());
    block.setData(d);
    QCOMPARE(block.tagLabels().at(0), firstTag);
    QCOMPARE(titleChanges.count, 0);
    QCOMPARE(dotChanges.count, 0);
    d.title = QStringLiteral("Renamed");
    block.setData(d);
    QCOMPARE(block.tagLabels().at(0), firstTag);
    QCOMPARE(titleChanges.count, 0);

    d.statusDot = 0;
    d.tags.clear();
    block.setData(d);
    QVERIFY(block.dotLabel()->isHidden());
    QVERIFY(block.tagContainer()->isHidden());
    QVERIFY(block.tagLabels().isEmpty());
}

void BlockWidgetsTest::roomTitleShownAsTyped()
{
    RoomBlock block(24, nullptr, nullptr);
    RoomBlockData d = room(QStringLiteral("r1"), {member(QStringLiteral("a")), member(QStringLiteral("b"))});
    d.title = QStringLiteral("%1 and %2");
    block.setData(d);
    QCOMPARE(block.titleLabel()->text(), QStringLiteral("%1 and %2 (2)"));
}

void BlockWidgetsTest::roomFoldFollowsUserUntilProposalChanges()
{
    RoomBlock block(24, nullptr, nullptr);
    RoomBlockData d = room(QStringLiteral("r1"), {member(QStringLiteral("a"))});
    block.setData(d);
    QVERIFY(!block.isExpanded());
    QVERIFY(block.memberContainer()->isHidden());

    block.foldButton()->click();
    QVERIFY(block.isExpanded());
    QCOMPARE(block.foldButton()->text(), QStringLiteral("-"));
    QVERIFY(!block.memberContainer()->isHidden());

    // The builder keeps proposing "folded": the user's choice holds across updates.
    for (int i = 0; i < 3; ++i) {
        d.title = QStringLiteral("t%1").arg(i);
        block.setData(d);
        QVERIFY(block.isExpanded());
    }
    // The proposal changes to open and back: the block follows the builder again.
    d.expanded = true;
    block.setData(d);
    QVERIFY(block.isExpanded());
    d.expanded = false;
    block.setData(d);
    QVERIFY(!block.isExpanded());
    QCOMPARE(block.foldButton()->text(), QStringLiteral("+"));
    QVERIFY(block.memberContainer()->isHidden());

    // A proposed open block folded by the user stays folded while the proposal holds.
    d.expanded = true;
    block.setData(d);
    block.foldButton()->click();
    block.setData(d);
    QVERIFY(!block.isExpanded());
}

void BlockWidgetsTest::roomExpandedWithoutMembers()
{
    RoomBlock block(24, nullptr, nullptr);
    RoomBlockData d = room(QStringLiteral("r1"));
    d.expanded = true;
    block.setData(d);
    QCOMPARE(block.foldButton()->text(), QStringLiteral("-"));
    QVERIFY(block.memberContainer()->isHidden());
    d.members = {member(QStringLiteral("a"))};
    block.setData(d);
    QVERIFY(!block.memberContainer()->isHidden());
}

void BlockWidgetsTest::roomMemberRowsReusedOrRecreated()
{
    QObject target;
    RoomBlock block(24, &target, nullptr);
    RoomBlockData d = room(QStringLiteral("r1"), {member(QStringLiteral("a")), member(QStringLiteral("b"))});
    block.setData(d);
    QCOMPARE(rowIds(block), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    const QList<MemberRow *> before = block.memberRows();

    // Same ids: the rows update in place.
    d.members[1].indicators = {2};
    d.members[1].name = QStringLiteral("B!");
    block.setData(d);
    QCOMPARE(block.memberRows(), before);
    QCOMPARE(block.memberRows().at(1)->nameLabel()->text(), QStringLiteral("B!"));
    QCOMPARE(block.memberRows().at(1)->dotLabels().at(0)->styleSheet(), blocks::dotStyle(2));

    // Same ids in another order: every row is recreated.
    QPointer<MemberRow> oldFirst = before.at(0);
    d.members = {d.members.at(1), d.members.at(0)};
    block.setData(d);
    QVERIFY(oldFirst.isNull());
    QCOMPARE(rowIds(block), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
    QCOMPARE(block.memberRows().at(0)->nameLabel()->text(), QStringLiteral("B!"));
}

void BlockWidgetsTest::roomTitleDoubleClick()
{
    RoomBlock block(24, nullptr, nullptr);
    block.setData(room(QStringLiteral("r7")));
    block.resize(200, 30);
    block.show();
    QSignalSpy spy(&block, &RoomBlock::titleDoubleClicked);
    QTest::mouseDClick(block.titleLabel(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("r7"));
    QTest::mouseDClick(block.header(), Qt::RightButton);
    QCOMPARE(spy.count(), 1);
}

void BlockWidgetsTest::channelHeaderAndRows()
{
    QObject target;
    ChannelBlock block(24, &target, nullptr);
    ChannelBlockData d;
    d.channelId = QStringLiteral("c1");
    d.name = QStringLiteral("频道");
    d.rooms = {room(QStringLiteral("r1")), room(QStringLiteral("r2"))};
    block.setData(d);
    QCOMPARE(block.header()->property("vcChannelId").toString(), QStringLiteral("c1"));
    QCOMPARE(block.header()->property("vcRoomId").toString(), QStringLiteral("c1"));
    QCOMPARE(block.header()->property("vcDraggable").toBool(), true);
    QCOMPARE(block.nameLabel()->text(), QStringLiteral("频道"));
    QCOMPARE(block.roomBlocks().size(), 2);
    QCOMPARE(block.roomBlocks().at(1).first, QStringLiteral("r2"));
    QVERIFY(!block.roomsVisible());

    // Same room ids: nested blocks are updated in place; other ids: recreated.
    RoomBlock *second = block.roomBlocks().at(1).second;
    d.rooms[1].title = QStringLiteral("renamed");
    block.setData(d);
    QCOMPARE(block.roomBlocks().at(1).second, second);
    QCOMPARE(second->titleLabel()->text(), QStringLiteral("renamed (0)"));
    QPointer<RoomBlock> guard(second);
    d.rooms.append(room(QStringLiteral("r3")));
    block.setData(d);
    QVERIFY(guard.isNull());
    QCOMPARE(block.roomBlocks().size(), 3);
}

void BlockWidgetsTest::channelRowDragNeedsTwoRooms()
{
    ChannelBlock block(24, nullptr, nullptr);
    ChannelBlockData d;
    d.channelId = QStringLiteral("c1");
    d.roomsReorderable = true;
    d.rooms = {room(QStringLiteral("r1"))};
    block.setData(d);
    QFrame *onlyHeader = block.roomBlocks().at(0).second->header();
    QCOMPARE(onlyHeader->property("vcRowDrag").toBool(), false);
    QCOMPARE(onlyHeader->property("vcRowChannel").toString(), QStringLiteral("c1"));

    d.rooms.append(room(QStringLiteral("r2")));
    block.setData(d);
    for (const auto &nested : block.roomBlocks())
        QCOMPARE(nested.second->header()->property("vcRowDrag").toBool(), true);

    d.roomsReorderable = false;
    block.setData(d);
    for (const auto &nested : block.roomBlocks())
        QCOMPARE(nested.second->header()->property("vcRowDrag").toBool(), false);
}

void BlockWidgetsTest::channelFoldAndDoubleClick()
{
    ChannelBlock block(24, nullptr, nullptr);
    ChannelBlockData d;
    d.channelId = QStringLiteral("c1");
    d.expanded = true;
    d.rooms = {room(QStringLiteral("r1"))};
    block.setData(d);
    QVERIFY(block.roomsVisible());
    block.foldButton()->click();
    QVERIFY(!block.roomsVisible());
    block.setData(d);
    QVERIFY(!block.roomsVisible());
    d.expanded = false;
    block.setData(d);
    d.expanded = true;
    block.setData(d);
    QVERIFY(block.roomsVisible());

    block.resize(200, 80);
    block.show();
    QSignalSpy spy(&block, &ChannelBlock::roomTitleDoubleClicked);
    QTest::mouseDClick(block.roomBlocks().at(0).second->titleLabel(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("r1"));
    // The channel's own header has no double-click of its own.
    QTest::mouseDClick(block.nameLabel(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

KESTOVA_TEST_MAIN(BlockWidgetsTest)
#include "test_block_widgets.moc"
