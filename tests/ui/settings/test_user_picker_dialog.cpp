#include "ui/settings/user_picker_dialog.h"

#include "support/test_main.h"
#include "ui/widgets/underline_tab_bar.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>

namespace {

PickEntry entry(const QString &userId, const QString &name, bool picked = false,
                const QString &roleName = QStringLiteral("成员"))
{
    return PickEntry{userId, name, QStringLiteral("user_") + userId, roleName, picked};
}

QList<PickEntry> sample()
{
    return {entry(QStringLiteral("AbC123"), QStringLiteral("阿明")),
            entry(QStringLiteral("u2"), QStringLiteral("Zoe"), true),
            entry(QStringLiteral("u3"), QStringLiteral("zorro"), false, QStringLiteral("主持"))};
}

QPushButton *rowButton(const RoomMemberPickView &view, int row)
{
    QListWidget *list = view.listWidget();
    return list->itemWidget(list->item(row))->findChild<QPushButton *>();
}

QStringList shownIds(const RoomMemberPickView &view)
{
    QStringList ids;
    for (int i = 0; i < view.listWidget()->count(); ++i) {
        if (!view.listWidget()->item(i)->isHidden())
            ids << view.members().at(i).userId;
    }
    return ids;
}

QStringList visibleTabs(const UnderlineTabBar *bar)
{
    QStringList out;
    for (int i = 0; i < bar->count(); ++i) {
        if (bar->tab(i).visible)
            out << bar->tab(i).text;
    }
    return out;
}

} // namespace

class UserPickerDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowNameHintAndTheRightButton()
    {
        RoomMemberPickView view;
        view.setMembers(sample());
        QListWidget *list = view.listWidget();
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->selectionMode(), QAbstractItemView::NoSelection);
        QCOMPARE(list->focusPolicy(), Qt::NoFocus);
        QCOMPARE(list->item(0)->sizeHint().height(), 38);
        const QList<QLabel *> labels = list->itemWidget(list->item(2))->findChildren<QLabel *>();
        QCOMPARE(labels.at(0)->text(), QStringLiteral("zorro"));
        QCOMPARE(labels.at(1)->text(), QStringLiteral("user_u3 · 主持"));
        QCOMPARE(rowButton(view, 0)->text(), QStringLiteral("添加"));
        QCOMPARE(rowButton(view, 0)->property("variant").toString(), QStringLiteral("outline"));
        QCOMPARE(rowButton(view, 1)->text(), QStringLiteral("移除"));
        QCOMPARE(rowButton(view, 1)->property("variant").toString(), QStringLiteral("linkDanger"));
    }

    void filter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("empty") << QString() << QStringList({"AbC123", "u2", "u3"});
        QTest::newRow("blanks only") << QStringLiteral("   ") << QStringList({"AbC123", "u2", "u3"});
        QTest::newRow("name, other case") << QStringLiteral("ZO") << QStringList({"u2", "u3"});
        QTest::newRow("id part, other case, padded") << QStringLiteral(" abc1 ") << QStringList({"AbC123"});
        QTest::newRow("username is not searched") << QStringLiteral("user_") << QStringList();
        QTest::newRow("role is not searched") << QStringLiteral("主持") << QStringList();
        QTest::newRow("no match") << QStringLiteral("nobody") << QStringList();
    }

    void filter()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        RoomMemberPickView view;
        view.setFilter(text); // before the entries: applies to the rows built later
        view.setMembers(sample());
        QCOMPARE(shownIds(view), shown);
        // Hidden rows keep their place.
        QCOMPARE(view.listWidget()->count(), 3);
    }

    void aClickAsksOnceUntilTheNextRefill()
    {
        RoomMemberPickView view;
        view.setMembers(sample());
        QSignalSpy added(&view, &RoomMemberPickView::addRequested);
        QSignalSpy removed(&view, &RoomMemberPickView::removeRequested);

        QTest::mouseClick(rowButton(view, 0), Qt::LeftButton);
        QTest::mouseClick(rowButton(view, 0), Qt::LeftButton); // disabled: no second request
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.at(0).at(0).toString(), QStringLiteral("AbC123"));
        QVERIFY(!rowButton(view, 0)->isEnabled());
        QVERIFY(rowButton(view, 1)->isEnabled());
        QVERIFY(rowButton(view, 2)->isEnabled());
        QCOMPARE(rowButton(view, 0)->text(), QStringLiteral("添加")); // the view changes nothing itself

        QTest::mouseClick(rowButton(view, 1), Qt::LeftButton);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("u2"));

        QList<PickEntry> next = sample();
        next[0].picked = true;
        view.setMembers(next);
        QCOMPARE(rowButton(view, 0)->text(), QStringLiteral("移除"));
        QVERIFY(rowButton(view, 0)->isEnabled());
        QCOMPARE(added.size() + removed.size(), 2); // refills emit nothing
    }

    void neverFilledShowsTheFriendsNotice()
    {
        UserPickerDialog dialog;
        QCOMPARE(dialog.size(), QSize(440, 500));
        QCOMPARE(dialog.minimumSize(), QSize(440, 500));
        QCOMPARE(visibleTabs(dialog.tabBar()), QStringList({"好友", "历史通话记录"}));
        QCOMPARE(dialog.tabBar()->currentIndex(), 1);
        QCOMPARE(dialog.pages()->currentIndex(), 1);
        auto *notice = qobject_cast<QLabel *>(dialog.pages()->currentWidget());
        QCOMPARE(notice->text(), QStringLiteral("好友功能暂未接入"));
        QCOMPARE(notice->property("role").toString(), QStringLiteral("placeholder"));
        QCOMPARE(dialog.searchField()->placeholderText(), QStringLiteral("搜索昵称 / ID"));
        dialog.tabBar()->setCurrentIndex(2);
        QCOMPARE(qobject_cast<QLabel *>(dialog.pages()->currentWidget())->text(), QStringLiteral("历史通话记录待接入"));
    }

    void firstFillSelectsTheMembersLaterFillsKeepTheTab()
    {
        UserPickerDialog dialog;
        dialog.setRoomMembers({});
        QCOMPARE(dialog.tabBar()->tab(0).text, QStringLiteral("房间成员 (0)"));
        QCOMPARE(visibleTabs(dialog.tabBar()).size(), 3);
        QCOMPARE(dialog.tabBar()->currentIndex(), 0);
        QCOMPARE(dialog.pages()->currentIndex(), 0);

        dialog.tabBar()->setCurrentIndex(2);
        dialog.setRoomMembers(sample());
        QCOMPARE(dialog.tabBar()->tab(0).text, QStringLiteral("房间成员 (3)"));
        QCOMPARE(dialog.tabBar()->currentIndex(), 2);
        QCOMPARE(dialog.pages()->currentIndex(), 2);
    }

    void searchFiltersFromAnyTabAndSurvivesRefills()
    {
        UserPickerDialog dialog;
        dialog.setRoomMembers(sample());
        dialog.tabBar()->setCurrentIndex(1);
        QTest::keyClicks(dialog.searchField(), QStringLiteral("zo"));
        dialog.tabBar()->setCurrentIndex(0);
        QCOMPARE(shownIds(*dialog.memberView()), QStringList({"u2", "u3"}));
        dialog.setRoomMembers(sample());
        QCOMPARE(shownIds(*dialog.memberView()), QStringList({"u2", "u3"}));
    }

    void requestsLeaveThroughTheDialog()
    {
        UserPickerDialog dialog;
        dialog.setRoomMembers(sample());
        QSignalSpy added(&dialog, &UserPickerDialog::addRequested);
        QSignalSpy removed(&dialog, &UserPickerDialog::removeRequested);
        QTest::mouseClick(rowButton(*dialog.memberView(), 2), Qt::LeftButton);
        QTest::mouseClick(rowButton(*dialog.memberView(), 1), Qt::LeftButton);
        QCOMPARE(added.value(0), QVariantList({QStringLiteral("u3")}));
        QCOMPARE(removed.value(0), QVariantList({QStringLiteral("u2")}));
    }
};

KESTOVA_TEST_MAIN(UserPickerDialogTest)
#include "test_user_picker_dialog.moc"
