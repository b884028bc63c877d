#include "ui/panels/channel_block.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/dot_label.h"
#include "ui/panels/member_list.h"
#include "ui/panels/member_row.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/panels/room_block.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QStyleFactory>

using namespace blocks;

namespace {

MemberRowData member(const QString &id, const QString &name, QList<int> indicators, bool disconnected = false)
{
    return {id, disconnected ? name + QStringLiteral(" (掉线)") : name, disconnected, indicators};
}

RoomBlockData room(const QString &id, const QString &title, QList<MemberRowData> members)
{
    RoomBlockData d;
    d.roomId = id;
    d.title = title;
    d.members = members;
    d.memberCount = int(members.size());
    d.statusDot = 1;
    return d;
}

BlockListData currentRoom()
{
    RoomBlockData parent = room(QStringLiteral("p"), QStringLiteral("大厅"),
                                {member(QStringLiteral("u1"), QStringLiteral("林一"), {2}),
                                 member(QStringLiteral("u2"), QStringLiteral("Mika"), {1})});
    parent.tags = QStringList{QStringLiteral("父房")};
    parent.statusDot = 2;
    parent.draggable = false;
    parent.expanded = true;
    RoomBlockData active = room(QStringLiteral("s"), QStringLiteral("小组讨论"),
                                {member(QStringLiteral("me"), QStringLiteral("我"), {1, 2}),
                                 member(QStringLiteral("u3"), QStringLiteral("周三"), {3, 1}),
                                 member(QStringLiteral("u4"), QStringLiteral("Alex"), {1, 3}),
                                 member(QStringLiteral("u5"), QStringLiteral("王五"), {1, 1}, true)});
    active.tags = QStringList{QStringLiteral("子房")};
    active.bold = true;
    active.statusDot = 2;
    active.expanded = true;
    RoomBlockData sibling = room(QStringLiteral("s2"), QStringLiteral("安静区"),
                                 {member(QStringLiteral("u6"), QStringLiteral("赵六"), {3, 1})});
    sibling.tags = QStringList{QStringLiteral("子房")};
    sibling.statusDot = 3;
    sibling.expanded = true;
    BlockListData d;
    d.sections = {{QString(), {parent, active, sibling}, {}}};
    d.emptyText = QStringLiteral("无当前房间");
    d.hasContent = true;
    d.rowSeparators = true;
    return d;
}

BlockListData myRooms()
{
    RoomBlockData temp = room(QStringLiteral("s"), QStringLiteral("小组讨论"),
                              {member(QStringLiteral("me"), QStringLiteral("我"), {2}),
                               member(QStringLiteral("u3"), QStringLiteral("周三"), {1})});
    temp.bold = true;
    temp.expanded = true;
    RoomBlockData keep = room(QStringLiteral("k1"), QStringLiteral("周末开黑"), {});
    keep.statusDot = 0;
    RoomBlockData keep2 =
        room(QStringLiteral("k2"), QStringLiteral("读书会"), {member(QStringLiteral("u8"), QStringLiteral("Bo"), {1})});
    keep2.tags = QStringList{QStringLiteral("父房")};
    BlockListData d;
    d.sections = {{QStringLiteral("临时房间"), {temp}, {}}, {QStringLiteral("持久房间"), {keep, keep2}, {}}};
    d.emptyText = QStringLiteral("无房间");
    d.hasContent = true;
    return d;
}

BlockListData myChannels()
{
    ChannelBlockData c;
    c.channelId = QStringLiteral("c1");
    c.name = QStringLiteral("桌游社");
    c.expanded = true;
    c.roomsReorderable = true;
    RoomBlockData a = room(QStringLiteral("c1r1"), QStringLiteral("一号桌"),
                           {member(QStringLiteral("u9"), QStringLiteral("Kai"), {2})});
    a.draggable = false;
    a.expanded = true;
    RoomBlockData b = room(QStringLiteral("c1r2"), QStringLiteral("二号桌"), {});
    b.draggable = false;
    b.statusDot = 0;
    c.rooms = {a, b};
    ChannelBlockData loading;
    loading.channelId = QStringLiteral("c2");
    loading.name = QStringLiteral("加载中…");
    BlockListData d;
    d.sections = {{QString(), {}, {c, loading}}};
    d.emptyText = QStringLiteral("无频道");
    d.hasContent = true;
    return d;
}

void useApplicationStyleSheet()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
}

// Pixels of the image inside the rectangle that differ from the colour.
int pixelsOtherThan(const QImage &image, const QRect &rect, QRgb colour)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixel(x, y) != colour;
    return count;
}

} // namespace

// Shows the three room panels with sample records, with the application style sheet,
// checks a few colours and saves the picture for a person to look at.
class PanelsPictureTest : public QObject
{
    Q_OBJECT

private slots:
    void picture();
    void bigRoomScrolled();
};

void PanelsPictureTest::picture()
{
    useApplicationStyleSheet();

    QWidget page;
    page.setAttribute(Qt::WA_StyledBackground);
    page.setObjectName(QStringLiteral("page"));
    page.setStyleSheet(style::resolveTheme(QStringLiteral("#page { background: @border@; }")));
    auto *row = new QHBoxLayout(&page);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(1);
    auto *current = new CurrentRoomPanel(&page);
    auto *rooms = new MyRoomPanel(&page);
    auto *channels = new MyChannelPanel(&page);
    auto *empty = new MyRoomPanel(&page);
    row->addWidget(current);
    row->addWidget(rooms);
    row->addWidget(channels);
    row->addWidget(empty);
    current->setBlocks(currentRoom());
    current->setOutputClosed(true);
    rooms->setBlocks(myRooms());
    channels->setBlocks(myChannels());
    BlockListData none;
    none.emptyText = QStringLiteral("无房间");
    empty->setBlocks(none);
    empty->setMinimumWidth(140);
    empty->setMaximumWidth(140);

    page.resize(980, 340);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const QImage image = page.grab().toImage();
    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/room_panels.png")));

    // The banner lies flush with the bottom edge of the current-room panel.
    QLabel *banner = current->outputBanner();
    QVERIFY(banner->isVisible());
    QCOMPARE(banner->geometry().bottom(), current->height() - 1);
    // A speaking member's dot is drawn in the speaking colour.
    const MemberRow *me = current->roomBlock(QStringLiteral("s"))->memberRows().at(0);
    const QLabel *speakingDot = me->dotLabels().at(1);
    int speakingPixels = 0;
    for (int y = 0; y < speakingDot->height(); ++y)
        for (int x = 0; x < speakingDot->width(); ++x)
            speakingPixels +=
                image.pixel(speakingDot->mapTo(&page, QPoint(x, y))) == ThemePalette::color("success").rgb();
    QVERIFY(speakingPixels > 4);
    // A filled panel is white, an empty one shows the panel background.
    const QPoint filledCorner = current->mapTo(&page, QPoint(current->width() - 3, 3));
    QCOMPARE(image.pixel(filledCorner), ThemePalette::color("white").rgb());
    const QPoint emptyCorner = empty->mapTo(&page, QPoint(3, 3));
    QCOMPARE(image.pixel(emptyCorner), ThemePalette::color("panelBg").rgb());
}

// A room of 5,000 members scrolled into its middle: every member row in view is drawn,
// with its name and its dot, although only the rows near the view exist.
void PanelsPictureTest::bigRoomScrolled()
{
    useApplicationStyleSheet();
    RoomBlockData big;
    big.roomId = QStringLiteral("big");
    big.title = QStringLiteral("大房间");
    big.statusDot = 2;
    big.draggable = false;
    big.expanded = true;
    for (int i = 0; i < 5000; ++i)
        big.members.append(
            member(QStringLiteral("u%1").arg(i), QStringLiteral("成员 %1").arg(i), {i % 7 == 0 ? 2 : 1}, i % 11 == 0));
    big.memberCount = int(big.members.size());
    BlockListData d;
    d.sections = {{QString(), {big}, {}}};
    d.emptyText = QStringLiteral("无当前房间");
    d.hasContent = true;
    d.rowSeparators = true;

    CurrentRoomPanel panel;
    panel.resize(300, 420);
    panel.setBlocks(d);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.verticalScrollBar()->setValue(panel.verticalScrollBar()->maximum() / 2);
    QCoreApplication::processEvents();
    const QImage image = panel.grab().toImage();
    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/room_panels_big_room.png")));

    const QRgb white = ThemePalette::color("white").rgb();
    const QRect view = panel.viewport()->geometry();
    int rowsInView = 0;
    for (const MemberRow *row : panel.roomBlock(QStringLiteral("big"))->memberRows()) {
        const QRect name(row->nameLabel()->mapTo(&panel, QPoint(0, 0)), row->nameLabel()->size());
        const QRect dot(row->dotLabels().at(0)->mapTo(&panel, QPoint(0, 0)), row->dotLabels().at(0)->size());
        if (!view.contains(name) || !view.contains(dot))
            continue;
        ++rowsInView;
        QVERIFY2(pixelsOtherThan(image, name, white) > 10, qPrintable(row->data().userId));
        const QRgb dotColour = DotLabel::colourFor(row->data().indicators.at(0)).rgb();
        int dotPixels = 0;
        for (int y = dot.top(); y <= dot.bottom(); ++y)
            for (int x = dot.left(); x <= dot.right(); ++x)
                dotPixels += image.pixel(x, y) == dotColour;
        QVERIFY2(dotPixels > 4, qPrintable(row->data().userId));
    }
    // Nearly the whole view is member rows.
    QVERIFY(rowsInView >= view.height() / panel.roomBlock(QStringLiteral("big"))->memberList()->rowPitch() - 2);
}

KESTOVA_TEST_MAIN(PanelsPictureTest)
#include "test_panels_picture.moc"
