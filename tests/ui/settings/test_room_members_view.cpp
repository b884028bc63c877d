#include "ui/settings/room_members_view.h"

#include "settings_test_util.h"
#include "support/test_main.h"
#include "theme/theme_palette.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

using namespace settingstest;

namespace {

// The display names of the shown rows, top to bottom.
QStringList shownNames(RoomMembersView &view)
{
    QStringList names;
    QListWidget *list = view.memberList();
    for (int i = 0; i < list->count(); ++i)
        names.append(list->itemWidget(list->item(i))->findChildren<QLabel *>().at(1)->text());
    return names;
}

QPushButton *roleButtonOf(RoomMembersView &view, int row)
{
    QListWidget *list = view.memberList();
    return list->itemWidget(list->item(row))->findChild<QPushButton *>();
}

} // namespace

class RoomMembersViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void settersEmitNothing();
    void rowsKeepTheGivenOrder();
    void filterSegmentsOfferNoOwner();
    void search_data();
    void search();
    void filterFallsBackWhenItsRoleGoes();
    void roleButtons();
    void roleMenu();
    void roleMenuSurvivesARefill();
    void refillUpdatesRowsInPlace();
    void batchBar();

private:
    RoomMembersView *view = nullptr;
    QSignalSpy *changed = nullptr;
    QSignalSpy *batch = nullptr;
};

void RoomMembersViewTest::init()
{
    view = new RoomMembersView;
    changed = new QSignalSpy(view, &RoomMembersView::memberRoleChanged);
    batch = new QSignalSpy(view, &RoomMembersView::memberRoleBatchReassignRequested);
    view->resize(520, 500);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
}

void RoomMembersViewTest::cleanup()
{
    delete changed;
    delete batch;
    delete view;
    view = nullptr;
}

void RoomMembersViewTest::settersEmitNothing()
{
    view->setEditRights(true, true);
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    view->setEditRights(false, false);
    view->setRoles({});
    QCOMPARE(changed->count() + batch->count(), 0);
    // With no roles the buttons name the role by id.
    QCOMPARE(roleButtonOf(*view, 0)->text(), QStringLiteral("#30  ▾"));
    QCOMPARE(segmentLabels(view->filterControl()), QStringList{QStringLiteral("全部 7")});
}

void RoomMembersViewTest::rowsKeepTheGivenOrder()
{
    // The caller sorts by user id in code-unit order: upper case before lower case.
    view->setMembers(sampleMembers());
    QCOMPARE(shownNames(*view),
             (QStringList{QStringLiteral("Zed"), QStringLiteral("阿明"), QStringLiteral("Bob"), QStringLiteral("carol"),
                          QStringLiteral("🐱猫"), QString(), QStringLiteral("Dan")}));
    QListWidget *list = view->memberList();
    QCOMPARE(list->itemWidget(list->item(4))->findChildren<QLabel *>().at(0)->text(), QStringLiteral("🐱"));
    QCOMPARE(list->itemWidget(list->item(5))->findChildren<QLabel *>().at(0)->text(), QStringLiteral("?"));
}

void RoomMembersViewTest::filterSegmentsOfferNoOwner()
{
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    QCOMPARE(segmentLabels(view->filterControl()), (QStringList{QStringLiteral("全部 7"), QStringLiteral("管理员 1"),
                                                                QStringLiteral("主持 2"), QStringLiteral("成员 3")}));
    QVERIFY(clickSegment(view->filterControl(), QStringLiteral("20")));
    QCOMPARE(view->roleFilter(), QStringLiteral("20"));
    QCOMPARE(shownNames(*view), (QStringList{QStringLiteral("carol"), QStringLiteral("🐱猫")}));
    QCOMPARE(changed->count() + batch->count(), 0);
}

void RoomMembersViewTest::search_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("blanks trimmed") << "  bob " << QStringList{QStringLiteral("Bob")};
    QTest::newRow("display name ignores case") << "CAROL" << QStringList{QStringLiteral("carol")};
    QTest::newRow("username respects case") << "Carol_" << QStringList{QStringLiteral("carol")};
    QTest::newRow("username case differs") << "bobBY" << QStringList{};
    QTest::newRow("user id is not searched") << "u2" << QStringList{};
    QTest::newRow("cjk") << "明" << QStringList{QStringLiteral("阿明")};
}

void RoomMembersViewTest::search()
{
    QFETCH(QString, needle);
    QFETCH(QStringList, names);
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    view->searchField()->setText(needle);
    QCOMPARE(shownNames(*view), names);
    view->setMembers(sampleMembers()); // the search survives a refill
    QCOMPARE(shownNames(*view), names);
}

void RoomMembersViewTest::filterFallsBackWhenItsRoleGoes()
{
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    QVERIFY(clickSegment(view->filterControl(), QStringLiteral("10")));
    QCOMPARE(shownNames(*view).size(), 1);
    QList<RoleEntry> fewer = sampleRoles();
    fewer.removeAt(1);
    view->setRoles(fewer);
    QCOMPARE(view->roleFilter(), QStringLiteral("all"));
    QCOMPARE(view->filterControl()->value(), QStringLiteral("all"));
    QCOMPARE(shownNames(*view).size(), 7);
}

void RoomMembersViewTest::roleButtons()
{
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    // The owner row has a tag, no button.
    QListWidget *list = view->memberList();
    QVERIFY(!roleButtonOf(*view, 1));
    QStringList ownerTexts;
    for (QLabel *label : list->itemWidget(list->item(1))->findChildren<QLabel *>())
        ownerTexts.append(label->text());
    QVERIFY(ownerTexts.contains(QStringLiteral("房主")));

    QCOMPARE(roleButtonOf(*view, 2)->text(), QStringLiteral("管理员  ▾"));
    QVERIFY(!roleButtonOf(*view, 2)->isEnabled());
    // Only members of the first visible role are highlighted.
    QVERIFY(roleButtonOf(*view, 2)->styleSheet().contains(QLatin1String(ThemePalette::hex("primary"))));
    QVERIFY(!roleButtonOf(*view, 0)->styleSheet().contains(QLatin1String(ThemePalette::hex("primary"))));
    view->setEditRights(true, false);
    QVERIFY(roleButtonOf(*view, 2)->isEnabled());
}

void RoomMembersViewTest::roleMenu()
{
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    view->setEditRights(true, false);
    QPushButton *button = roleButtonOf(*view, 2); // Bob, role 10, which the viewer may not edit

    QStringList texts;
    QList<bool> enabled;
    QList<bool> checked;
    int pick = -1;
    auto inspectAndPick = [&] {
        QTimer::singleShot(0, [&] {
            auto *menu = view->findChild<QMenu *>();
            QVERIFY(menu);
            texts.clear();
            enabled.clear();
            checked.clear();
            for (QAction *action : menu->actions()) {
                texts.append(action->text());
                enabled.append(action->isEnabled());
                checked.append(action->isChecked());
            }
            if (pick >= 0)
                menu->actions().at(pick)->trigger();
            menu->close();
        });
    };

    pick = 0; // the current role: nothing
    inspectAndPick();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(texts, (QStringList{QStringLiteral("管理员"), QStringLiteral("主持"), QStringLiteral("成员 · 默认")}));
    QCOMPARE(enabled, (QList<bool>{false, true, true}));
    QCOMPARE(checked, (QList<bool>{true, false, false}));
    QCOMPARE(changed->count(), 0);

    pick = 2;
    inspectAndPick();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(changed->count(), 1);
    QCOMPARE(changed->at(0).at(0).toString(), QStringLiteral("u2"));
    QCOMPARE(changed->at(0).at(1).toLongLong(), 30);
    // The row waits for the refill.
    QCOMPARE(roleButtonOf(*view, 2)->text(), QStringLiteral("管理员  ▾"));
}

void RoomMembersViewTest::roleMenuSurvivesARefill()
{
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    view->setEditRights(true, false);
    QPushButton *button = roleButtonOf(*view, 3); // carol, role 20
    QPointer<QMenu> seen;
    bool stillOpen = false;
    QTimer::singleShot(0, this, [&] {
        seen = view->findChild<QMenu *>();
        QVERIFY(seen);
        // While the menu runs, the owner refills: carol's row changes, roles change.
        QList<MemberEntry> members = sampleMembers();
        members[3].displayName = QStringLiteral("Carol");
        view->setMembers(members);
        QList<RoleEntry> roles = sampleRoles();
        roles[1].memberCount = 9;
        view->setRoles(roles);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        stillOpen = seen && seen->isVisible();
        if (seen) {
            seen->actions().at(2)->trigger(); // 成员
            seen->close();
        }
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(stillOpen);
    QCOMPARE(changed->count(), 1);
    QCOMPARE(changed->at(0).at(0).toString(), QStringLiteral("u3"));
    QCOMPARE(changed->at(0).at(1).toLongLong(), 30);
    QCOMPARE(shownNames(*view).at(3), QStringLiteral("Carol"));
    QTRY_VERIFY(!seen); // the menu is cleaned up afterwards
}

void RoomMembersViewTest::refillUpdatesRowsInPlace()
{
    QList<MemberEntry> members;
    for (int i = 0; i < 60; ++i)
        members.append(member(QStringLiteral("u%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("n%1").arg(i),
                              QString(), 30));
    view->setRoles(sampleRoles());
    view->setMembers(members);
    view->setEditRights(true, true);
    QListWidget *list = view->memberList();
    QCOMPARE(list->count(), 60);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    const int scrolled = list->verticalScrollBar()->value();
    QVERIFY(scrolled > 0);
    QList<QWidget *> before;
    for (int i = 0; i < list->count(); ++i)
        before.append(list->itemWidget(list->item(i)));

    // The same records again: nothing is touched.
    view->setMembers(members);
    view->setRoles(sampleRoles());
    view->setEditRights(true, true);
    for (int i = 0; i < list->count(); ++i)
        QCOMPARE(list->itemWidget(list->item(i)), before.at(i));

    // One name changes, one member leaves, one arrives: only those rows are new.
    members[10].displayName = QStringLiteral("renamed");
    members.removeAt(20);
    members.append(member(QStringLiteral("u99"), QStringLiteral("late"), QString(), 30));
    view->setMembers(members);
    QCOMPARE(list->count(), 60);
    QCOMPARE(list->verticalScrollBar()->value(), scrolled);
    QCOMPARE(shownNames(*view).at(10), QStringLiteral("renamed"));
    QCOMPARE(shownNames(*view).at(59), QStringLiteral("late"));
    QVERIFY(list->itemWidget(list->item(10)) != before.at(10));
    for (int i : {0, 9, 11, 19})
        QCOMPARE(list->itemWidget(list->item(i)), before.at(i));
    for (int i = 20; i < 59; ++i)
        QCOMPARE(list->itemWidget(list->item(i)), before.at(i + 1));
    QStringList expected;
    for (const MemberEntry &m : std::as_const(members))
        expected.append(m.displayName);
    QCOMPARE(shownNames(*view), expected);
}

void RoomMembersViewTest::batchBar()
{
    view->setRoles(sampleRoles());
    view->setMembers(sampleMembers());
    QVERIFY(!view->batchBar()->isVisible());
    view->setEditRights(false, true);
    QVERIFY(view->batchBar()->isVisible());

    // Candidates: the editable visible roles only.
    QCOMPARE(view->sourceBox()->count(), 2);
    QCOMPARE(view->sourceBox()->currentText(), QStringLiteral("主持"));
    QCOMPARE(view->targetBox()->count(), 1);
    QCOMPARE(view->targetBox()->currentText(), QStringLiteral("成员"));
    QCOMPARE(view->applyButton()->text(), QStringLiteral("执行 (2 人)"));
    QVERIFY(view->applyButton()->isEnabled());

    view->sourceBox()->setCurrentIndex(1);
    emit view->sourceBox()->activated(1);
    QCOMPARE(view->targetBox()->currentText(), QStringLiteral("主持"));
    QCOMPARE(view->applyButton()->text(), QStringLiteral("执行 (3 人)"));
    QTest::mouseClick(view->applyButton(), Qt::LeftButton);
    QCOMPARE(batch->count(), 1);
    QCOMPARE(batch->at(0).at(0).toLongLong(), 30);
    QCOMPARE(batch->at(0).at(1).toLongLong(), 20);

    // The source survives a refill; a source of zero members disables the button.
    QList<RoleEntry> roles = sampleRoles();
    roles[3].memberCount = 0;
    view->setRoles(roles);
    QCOMPARE(view->sourceBox()->currentText(), QStringLiteral("成员"));
    QCOMPARE(view->applyButton()->text(), QStringLiteral("执行 (0 人)"));
    QVERIFY(!view->applyButton()->isEnabled());

    // One editable role: no target.
    roles[2].editable = false;
    view->setRoles(roles);
    QCOMPARE(view->targetBox()->count(), 0);
    QVERIFY(!view->applyButton()->isEnabled());
    QCOMPARE(changed->count(), 0);
    QCOMPARE(batch->count(), 1);
}

KESTOVA_TEST_MAIN(RoomMembersViewTest)
#include "test_room_members_view.moc"
