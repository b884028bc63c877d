#include "ui/panels/block_style.h"
#include "ui/panels/channel_block.h"
#include "ui/panels/dot_label.h"
#include "ui/panels/member_row.h"
#include "ui/panels/room_block.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include "panel_probes.h"
#include "support/test_main.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>

#include <algorithm>

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

// The member ids in the order the member layout places the rows.
QStringList layoutIds(const RoomBlock &block)
{
    QStringList ids;
    const QLayout *layout = block.memberContainer()->layout();
    for (int i = 0; i < layout->count(); ++i)
        ids << layout->itemAt(i)->widget()->property("vcMemberId").toString();
    return ids;
}

QList<MemberRowData> memberList(const QString &ids)
{
    QList<MemberRowData> list;
    for (const QChar id : ids)
        list << member(QString(id));
    return list;
}

QImage drawn(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    widget->render(&image);
    return image;
}

// Counts the events a target is sent through the rows it watches.
class EventCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::User)
            ++count;
        return false;
    }
};

} // namespace

class BlockWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void dotStyle_data();
    void dotStyle();
    void dotDrawnAsStyledLabel_data();
    void dotDrawnAsStyledLabel();
    void nameDrawnAsStyledLabel_data();
    void nameDrawnAsStyledLabel();
    void nameMeasuredAsLabel_data();
    void nameMeasuredAsLabel();
    void rowHeightFollowsFont();
    void memberRowShowsRecord();
    void memberRowEqualRecordTouchesNothing();
    void memberRowIndicatorColumn();
    void roomHeader();
    void roomTitleShownAsTyped();
    void roomFoldFollowsUserUntilProposalChanges();
    void roomExpandedWithoutMembers();
    void roomMemberRowsReusedOrRecreated();
    void roomMemberRowsKeptById_data();
    void roomMemberRowsKeptById();
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

void BlockWidgetsTest::dotDrawnAsStyledLabel_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("token");
    QTest::newRow("idle") << 1 << QByteArray("statusIdle");
    QTest::newRow("speaking") << 2 << QByteArray("success");
    QTest::newRow("blocked") << 3 << QByteArray("danger");
    QTest::newRow("zero") << 0 << QByteArray();
    QTest::newRow("four") << 4 << QByteArray();
    QTest::newRow("negative") << -1 << QByteArray();
}

// A painted dot shows, pixel for pixel, what a label styled with dotStyle shows under the
// application style sheet.
void BlockWidgetsTest::dotDrawnAsStyledLabel()
{
    QFETCH(int, state);
    QFETCH(QByteArray, token);
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    const auto restore = qScopeGuard([] { qApp->setStyleSheet(QString()); });

    QLabel styled(QStringLiteral("\u25CF"));
    styled.setAlignment(Qt::AlignCenter);
    styled.setStyleSheet(blocks::dotStyle(state));
    DotLabel painted(nullptr);
    painted.setState(state);
    QCOMPARE(painted.state(), state);
    QCOMPARE(painted.text(), styled.text());
    for (const QSize size : {QSize(12, 20), QSize(12, 10)}) {
        styled.setFixedSize(size);
        painted.setFixedSize(size);
        const QImage image = drawn(&painted);
        QCOMPARE(image, drawn(&styled));
        // The corner shows the background; a transparent dot leaves every pixel so.
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                coloured += image.pixel(x, y) != image.pixel(0, 0);
        if (token.isEmpty()) {
            QCOMPARE(coloured, 0);
            QCOMPARE(DotLabel::colourFor(state).alpha(), 0);
        } else {
            QVERIFY(coloured > 4);
            QCOMPARE(DotLabel::colourFor(state), QColor(QLatin1String(ThemePalette::hex(token.constData()))));
        }
    }
}

void BlockWidgetsTest::nameDrawnAsStyledLabel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("faint");
    QTest::newRow("connected") << QStringLiteral("成员 7") << false;
    QTest::newRow("dropped") << QStringLiteral("成员 7 (掉线)") << true;
    QTest::newRow("latin, dropped") << QStringLiteral("Alex (掉线)") << true;
    QTest::newRow("right to left, dropped") << QStringLiteral("\u05E9\u05DC\u05D5\u05DD") << true;
    QTest::newRow("markup, connected") << QStringLiteral("<b>x</b> &amp;") << false;
    QTest::newRow("markup, dropped") << QStringLiteral("<b>x</b> &amp;") << true;
}

// A member's name shows, pixel for pixel, what a plain-text label styled in the text or the
// faint colour at 13 pixels shows under the application style sheet; markup in a name is
// shown as typed.
void BlockWidgetsTest::nameDrawnAsStyledLabel()
{
    QFETCH(QString, name);
    QFETCH(bool, faint);
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    const auto restore = qScopeGuard([] { qApp->setStyleSheet(QString()); });

    QLabel styled(name);
    styled.setTextFormat(Qt::PlainText);
    styled.setStyleSheet(QStringLiteral("color: %1; font-size: 13px;")
                             .arg(QLatin1String(ThemePalette::hex(faint ? "textFaint" : "text"))));
    MemberRow row(24, nullptr);
    row.setData({QStringLiteral("u1"), name, faint, {}});
    MemberNameLabel *shown = row.nameLabel();
    QCOMPARE(shown->isFaint(), faint);
    QCOMPARE(shown->text(), name);
    shown->setFixedSize(160, 24);
    styled.setFixedSize(160, 24);
    const QImage image = drawn(shown);
    QCOMPARE(image, drawn(&styled));
    const QColor colour(QLatin1String(ThemePalette::hex(faint ? "textFaint" : "text")));
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            coloured += image.pixel(x, y) == colour.rgb();
    QVERIFY(coloured > 4);
}

void BlockWidgetsTest::nameMeasuredAsLabel_data()
{
    QTest::addColumn<bool>("withSheet");
    QTest::addColumn<QStringList>("texts");
    const QStringList texts{QStringLiteral("成员 7"),
                            QStringLiteral("成员 7 (掉线)"),
                            QString(),
                            QStringLiteral("Alex"),
                            QStringLiteral("\u05E9\u05DC\u05D5\u05DD abc"),
                            QStringLiteral("two\nlines"),
                            QStringLiteral(
                                "a very long name that is wider than any panel would ever be, 很长很长的名字")};
    QTest::newRow("application style sheet") << true << texts;
    QTest::newRow("no style sheet") << false << texts;
}

// A name's sizes, measured once per text, are the sizes a plain-text label gives, also
// after its text, its font or its margins change.
void BlockWidgetsTest::nameMeasuredAsLabel()
{
    QFETCH(bool, withSheet);
    QFETCH(QStringList, texts);
    if (withSheet) {
        QFile sheet(QStringLiteral(":/minimal-theme.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    }
    const auto restore = qScopeGuard([] { qApp->setStyleSheet(QString()); });

    MemberNameLabel name(nullptr);
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    const auto same = [&] {
        QCOMPARE(name.sizeHint(), plain.sizeHint());
        QCOMPARE(name.minimumSizeHint(), plain.minimumSizeHint());
    };
    for (const QString &text : std::as_const(texts)) {
        name.setText(text);
        plain.setText(text);
        same();
    }
    QFont large = name.font();
    large.setPixelSize(27);
    name.setFont(large);
    plain.setFont(large);
    same();
    name.setContentsMargins(3, 1, 5, 2);
    plain.setContentsMargins(3, 1, 5, 2);
    same();
    name.setMinimumWidth(900);
    plain.setMinimumWidth(900);
    same();
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
    QVERIFY(row.nameLabel()->isFaint());
    QCOMPARE(row.dotLabels().size(), 1);
    QCOMPARE(row.dotLabels().at(0)->text(), QStringLiteral("\u25CF"));
    QCOMPARE(row.dotLabels().at(0)->state(), 2);

    MemberRowData back = member(QStringLiteral("u1"), {1});
    row.setData(back);
    QVERIFY(!row.nameLabel()->isFaint());
    QCOMPARE(row.dotLabels().at(0)->state(), 1);
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

    // Same number of dots: the column stays and only the changed dot changes, without a
    // style change (a re-polish) of its own.
    StyleChangeCounter firstDotChanges(row.dotLabels().at(0));
    MemberRowData speaking = d;
    speaking.indicators = {2, 3};
    row.setData(speaking);
    QCOMPARE(row.indicatorColumn(), column);
    QCOMPARE(dotChanges.count, 0);
    QCOMPARE(firstDotChanges.count, 0);
    QCOMPARE(row.dotLabels().at(0)->state(), 2);
    QCOMPARE(row.dotLabels().at(1)->state(), 3);
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
    QCOMPARE(row->dotLabels().at(0)->state(), 3);

    // An unknown state still takes its place, transparent.
    row->setData(member(QStringLiteral("u1"), {4}));
    QCOMPARE(row->dotLabels().size(), 1);
    QCOMPARE(DotLabel::colourFor(row->dotLabels().at(0)->state()).alpha(), 0);

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
    QCOMPARE(block.memberRows().at(1)->dotLabels().at(0)->state(), 2);

    // Same ids in another order: the rows are kept and moved.
    d.members = {d.members.at(1), d.members.at(0)};
    block.setData(d);
    QCOMPARE(block.memberRows(), (QList<MemberRow *>{before.at(1), before.at(0)}));
    QCOMPARE(rowIds(block), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
    QCOMPARE(layoutIds(block), rowIds(block));
    QCOMPARE(block.memberRows().at(0)->nameLabel()->text(), QStringLiteral("B!"));
}

void BlockWidgetsTest::roomMemberRowsKeptById_data()
{
    // Member ids are single letters; "kept" lists the ids whose rows must be the same widgets.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("kept");
    QTest::newRow("join at the end") << "abcd"
                                     << "abcde"
                                     << "abcd";
    QTest::newRow("join at the start") << "abcd"
                                       << "xabcd"
                                       << "abcd";
    QTest::newRow("join in the middle") << "abcd"
                                        << "abxcd"
                                        << "abcd";
    QTest::newRow("leave at the start") << "abcd"
                                        << "bcd"
                                        << "bcd";
    QTest::newRow("leave in the middle") << "abcd"
                                         << "abd"
                                         << "abd";
    QTest::newRow("leave at the end") << "abcd"
                                      << "abc"
                                      << "abc";
    QTest::newRow("one moves up") << "abcd"
                                  << "dabc"
                                  << "abcd";
    QTest::newRow("reversed") << "abcd"
                              << "dcba"
                              << "abcd";
    QTest::newRow("join, leave and move") << "abcd"
                                          << "dxba"
                                          << "abd";
    QTest::newRow("all replaced") << "abcd"
                                  << "wxyz"
                                  << "";
    QTest::newRow("all leave") << "abcd"
                               << ""
                               << "";
    QTest::newRow("first members") << ""
                                   << "abc"
                                   << "";
    QTest::newRow("repeated id") << "abca"
                                 << "ab"
                                 << "ab";
}

// A changed member list keeps every staying member's row, moves it into place, deletes the
// rows of those who left and makes rows only for those who joined.
void BlockWidgetsTest::roomMemberRowsKeptById()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, kept);
    EventCounter target;
    QWidget holder;
    auto *holderLayout = new QVBoxLayout(&holder);
    auto *block = new RoomBlock(24, &target, &holder);
    holderLayout->addWidget(block);
    RoomBlockData d = room(QStringLiteral("r1"), memberList(before));
    d.expanded = true;
    block->setData(d);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));

    QHash<QString, MemberRow *> oldRows;
    QList<QPointer<MemberRow>> guards;
    for (MemberRow *row : block->memberRows()) {
        if (!oldRows.contains(row->data().userId))
            oldRows.insert(row->data().userId, row);
        guards << row;
    }
    d.members = memberList(after);
    d.memberCount = int(d.members.size());
    block->setData(d);

    QStringList expected;
    for (const QChar id : after)
        expected << QString(id);
    QCOMPARE(rowIds(*block), expected);
    QCOMPARE(layoutIds(*block), expected);
    QCOMPARE(block->memberContainer()->findChildren<MemberRow *>().size(), expected.size());
    int survivors = 0;
    for (const QPointer<MemberRow> &guard : std::as_const(guards))
        survivors += !guard.isNull();
    QCOMPARE(survivors, kept.size());
    for (MemberRow *row : block->memberRows()) {
        const QString id = row->data().userId;
        QCOMPARE(row == oldRows.value(id), kept.contains(id));
        QCOMPARE(row->nameLabel()->text(), QStringLiteral("name-") + id);
        // Every row, new or kept, reports to the panel and is shown in its place.
        const int seen = target.count;
        QEvent probe(QEvent::User);
        QCoreApplication::sendEvent(row, &probe);
        QCOMPARE(target.count, seen + 1);
    }
    QTRY_VERIFY(std::all_of(block->memberRows().cbegin(), block->memberRows().cend(),
                            [](const MemberRow *row) { return row->isVisible(); }));
    block->memberContainer()->layout()->activate();
    for (qsizetype i = 1; i < block->memberRows().size(); ++i)
        QVERIFY(block->memberRows().at(i)->y() > block->memberRows().at(i - 1)->y());
    QCOMPARE(block->memberContainer()->isVisible(), !expected.isEmpty());
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
