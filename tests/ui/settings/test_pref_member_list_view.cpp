#include "ui/settings/pref_member_list_view.h"

#include "support/test_main.h"

#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QPushButton>
#include <QSignalSpy>

namespace {

QList<PrefMemberEntry> twoMembers()
{
    return {{QStringLiteral("u9"), QStringLiteral("Zoe"), QStringLiteral("zoe")},
            {QStringLiteral("u1"), QStringLiteral("阿明"), QString()}};
}

QList<QPushButton *> removeButtons(PrefMemberListView &view)
{
    QList<QPushButton *> buttons;
    for (QPushButton *button : view.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("移除"))
            buttons.append(button);
    }
    return buttons;
}

QLabel *headerOf(PrefMemberListView &view)
{
    for (QLabel *label : view.findChildren<QLabel *>()) {
        if (label->text().contains(QStringLiteral(" · ")))
            return label;
    }
    return nullptr;
}

QPushButton *addButtonOf(PrefMemberListView &view)
{
    for (QPushButton *button : view.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("＋ 添加成员"))
            return button;
    }
    return nullptr;
}

} // namespace

class PrefMemberListViewTest : public QObject
{
    Q_OBJECT

private slots:
    void initialBadge_data();
    void initialBadge();
    void newViewIsEmpty();
    void editableFlagAddsButtonsWithoutEmitting();
    void removeCarriesTheUserIdAndKeepsTheRow();
    void equalRefillKeepsTheRows();
    void statusAndHint();
};

void PrefMemberListViewTest::initialBadge_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("badge");
    QTest::newRow("latin, case kept") << "alice"
                                      << "a";
    QTest::newRow("upper case") << "Bob"
                                << "B";
    QTest::newRow("cjk") << "阿明"
                         << "阿";
    QTest::newRow("emoji keeps its surrogate pair") << "🐱猫"
                                                    << "🐱";
    QTest::newRow("empty") << ""
                           << "?";
    QTest::newRow("leading blank") << " x"
                                   << " ";
    QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) << QString(QChar(0xD83D));
}

void PrefMemberListViewTest::initialBadge()
{
    QFETCH(QString, name);
    QFETCH(QString, badge);
    QWidget parent;
    QLabel *label = makeInitialBadge(name, &parent);
    QCOMPARE(label->parent(), &parent);
    QCOMPARE(label->text(), badge);
    QCOMPARE(label->size(), QSize(26, 26));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
}

void PrefMemberListViewTest::newViewIsEmpty()
{
    PrefMemberListView view;
    view.show();
    QCOMPARE(headerOf(view)->text(), QStringLiteral("当前偏好组 · 0 人"));
    QVERIFY(!addButtonOf(view)->isVisible());
    QCOMPARE(view.findChild<QListWidget *>()->count(), 0);
    for (QLabel *label : view.findChildren<QLabel *>()) {
        if (label != headerOf(view))
            QVERIFY(!label->isVisible());
    }
}

void PrefMemberListViewTest::editableFlagAddsButtonsWithoutEmitting()
{
    PrefMemberListView view;
    QSignalSpy added(&view, &PrefMemberListView::addRequested);
    QSignalSpy removed(&view, &PrefMemberListView::removeRequested);
    view.show();
    view.setMembers(twoMembers());
    QCOMPARE(headerOf(view)->text(), QStringLiteral("当前偏好组 · 2 人"));
    QVERIFY(removeButtons(view).isEmpty());
    QVERIFY(!addButtonOf(view)->isVisible());

    view.setEditable(true);
    QCOMPARE(removeButtons(view).size(), 2);
    QVERIFY(addButtonOf(view)->isVisible());
    view.setGroup(QStringLiteral("好友"), QString());
    view.setStatus(QStringLiteral("生效中"), true);
    QCOMPARE(headerOf(view)->text(), QStringLiteral("好友 · 2 人"));
    QCOMPARE(added.count() + removed.count(), 0);

    // Rows in the order received.
    auto *list = view.findChild<QListWidget *>();
    QCOMPARE(list->count(), 2);
    const QList<QLabel *> firstRow = list->itemWidget(list->item(0))->findChildren<QLabel *>();
    QCOMPARE(firstRow.at(0)->text(), QStringLiteral("Z"));
    QCOMPARE(firstRow.at(1)->text(), QStringLiteral("Zoe"));

    QTest::mouseClick(addButtonOf(view), Qt::LeftButton);
    QCOMPARE(added.count(), 1);
    QCOMPARE(removed.count(), 0);
}

void PrefMemberListViewTest::removeCarriesTheUserIdAndKeepsTheRow()
{
    PrefMemberListView view;
    view.setEditable(true);
    view.setMembers(twoMembers());
    view.show();
    QSignalSpy removed(&view, &PrefMemberListView::removeRequested);
    auto *list = view.findChild<QListWidget *>();
    auto *button = list->itemWidget(list->item(1))->findChild<QPushButton *>();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("u1"));
    QCOMPARE(list->count(), 2);
    QCOMPARE(view.members().size(), 2);
}

void PrefMemberListViewTest::equalRefillKeepsTheRows()
{
    PrefMemberListView view;
    view.setEditable(true);
    QList<PrefMemberEntry> members;
    for (int i = 0; i < 40; ++i)
        members.append({QStringLiteral("u%1").arg(i), QStringLiteral("n%1").arg(i), QString()});
    view.setMembers(members);
    view.resize(300, 200);
    view.show();
    auto *list = view.findChild<QListWidget *>();
    list->scrollToBottom();
    const int scrolled = list->verticalScrollBar()->value();
    QVERIFY(scrolled > 0);
    QWidget *first = list->itemWidget(list->item(0));
    view.setMembers(members);
    QCOMPARE(list->itemWidget(list->item(0)), first);
    QCOMPARE(list->verticalScrollBar()->value(), scrolled);
    members[0].displayName = QStringLiteral("renamed");
    view.setMembers(members);
    QCOMPARE(list->itemWidget(list->item(0))->findChildren<QLabel *>().at(1)->text(), QStringLiteral("renamed"));
}

void PrefMemberListViewTest::statusAndHint()
{
    PrefMemberListView view;
    view.show();
    view.setGroup(QStringLiteral("当前偏好组"), QStringLiteral("提示"));
    QLabel *hint = nullptr;
    QLabel *status = nullptr;
    for (QLabel *label : view.findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("提示"))
            hint = label;
    }
    QVERIFY(hint && hint->isVisible());
    view.setStatus(QStringLiteral("未生效"), false);
    for (QLabel *label : view.findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("未生效"))
            status = label;
    }
    QVERIFY(status && status->isVisible());
    view.setGroup(QStringLiteral("当前偏好组"), QString());
    QVERIFY(!hint->isVisible());
    view.setMembers({});
    QVERIFY(status->isVisible());
}

KESTOVA_TEST_MAIN(PrefMemberListViewTest)
#include "test_pref_member_list_view.moc"
