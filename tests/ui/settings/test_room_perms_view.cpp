#include "ui/settings/room_perms_view.h"

#include "settings_test_util.h"
#include "support/test_main.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>

using namespace settingstest;

namespace {

QStringList railTexts(RoomPermsView &view)
{
    QStringList texts;
    for (int i = 0; i < view.roleList()->count(); ++i)
        texts.append(view.roleList()->item(i)->text());
    return texts;
}

// The grid's old widgets are deleted later; let that happen before looking.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QCheckBox *boxFor(RoomPermsView &view, const QString &label)
{
    settle();
    for (QCheckBox *box : view.gridWidget()->findChildren<QCheckBox *>()) {
        if (box->text() == label)
            return box;
    }
    return nullptr;
}

QStringList gridLabels(RoomPermsView &view)
{
    settle();
    QStringList texts;
    for (QLabel *label : view.gridWidget()->findChildren<QLabel *>())
        texts.append(label->text());
    return texts;
}

// Answers the next text input dialog: types the text and accepts, or cancels.
void answerNextInput(const QString &text, bool accept, QString *startText)
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *startText = dialog->textValue();
        dialog->setTextValue(text);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
}

} // namespace

class RoomPermsViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ownerOnlyList();
    void railWithoutManageRight();
    void railWithManageRight();
    void roomCatalogueGrid();
    void nonEditableRoleIsReadOnly();
    void togglesSendTheWholeSet();
    void selectionFallsBackWhenTheRoleGoes();
    void rename_data();
    void rename();
    void createAndDelete();
    void reorderReportsOnlyEditableRoles();
    void channelCatalogue();

private:
    RoomPermsView *view = nullptr;
    QList<QSignalSpy *> spies;
    int emittedTotal() const;
};

void RoomPermsViewTest::init()
{
    view = new RoomPermsView;
    spies = {new QSignalSpy(view, &RoomPermsView::roleCreateRequested),
             new QSignalSpy(view, &RoomPermsView::roleRenameRequested),
             new QSignalSpy(view, &RoomPermsView::rolePermissionsSaved),
             new QSignalSpy(view, &RoomPermsView::roleDeleteRequested),
             new QSignalSpy(view, &RoomPermsView::rolesReordered)};
    view->resize(560, 600);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
}

void RoomPermsViewTest::cleanup()
{
    qDeleteAll(spies);
    spies.clear();
    delete view;
    view = nullptr;
}

int RoomPermsViewTest::emittedTotal() const
{
    int total = 0;
    for (const QSignalSpy *spy : spies)
        total += int(spy->count());
    return total;
}

void RoomPermsViewTest::ownerOnlyList()
{
    view->setCanManage(true);
    view->setRoles({role(-1, QStringLiteral("阿明"), 1, false)});
    QCOMPARE(view->roleList()->count(), 0);
    QCOMPARE(view->ownerNameLabel()->text(), QStringLiteral("阿明"));
    QCOMPARE(view->titleLabel()->text(), QString());
    QCOMPARE(view->countLabel()->text(), QString());
    QVERIFY((settle(), view->gridWidget()->findChildren<QCheckBox *>()).isEmpty());
    QVERIFY(!view->renameButton()->isVisible());
    QVERIFY(!view->deleteButton()->isVisible());
    view->setRoles({});
    QCOMPARE(view->ownerNameLabel()->text(), QStringLiteral("房主"));
    QCOMPARE(emittedTotal(), 0);
}

void RoomPermsViewTest::railWithoutManageRight()
{
    view->setRoles(sampleRoles());
    QCOMPARE(railTexts(*view), (QStringList{QStringLiteral("管理员   (1)"), QStringLiteral("主持   (2)"),
                                            QStringLiteral("成员  · 默认   (3)")}));
    QCOMPARE(view->roleList()->dragDropMode(), QAbstractItemView::NoDragDrop);
    QVERIFY(!view->newRoleButton()->isVisible());
    QCOMPARE(view->selectedRoleId(), 10);
    view->roleList()->setCurrentRow(1);
    QCOMPARE(view->selectedRoleId(), 20);
    QVERIFY(!view->renameButton()->isVisible());
    for (QCheckBox *box : (settle(), view->gridWidget()->findChildren<QCheckBox *>()))
        QVERIFY(!box->isEnabled());
    QCOMPARE(emittedTotal(), 0);
}

void RoomPermsViewTest::railWithManageRight()
{
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    QCOMPARE(railTexts(*view), (QStringList{QStringLiteral("管理员   (1)"), QStringLiteral("⠿  主持   (2)"),
                                            QStringLiteral("⠿  成员  · 默认   (3)")}));
    QCOMPARE(view->roleList()->dragDropMode(), QAbstractItemView::InternalMove);
    QVERIFY(view->newRoleButton()->isVisible());
    QVERIFY(!(view->roleList()->item(0)->flags() & Qt::ItemIsDragEnabled));
    QVERIFY(view->roleList()->item(0)->flags() & Qt::ItemIsSelectable);
    QVERIFY(view->roleList()->item(1)->flags() & Qt::ItemIsDragEnabled);
    QCOMPARE(view->roleList()->item(1)->data(Qt::UserRole + 2).toBool(), true);
    QCOMPARE(view->roleList()->item(1)->data(Qt::UserRole + 1).toLongLong(), 20);
    QCOMPARE(emittedTotal(), 0);
}

void RoomPermsViewTest::roomCatalogueGrid()
{
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    view->roleList()->setCurrentRow(2);
    QCOMPARE(view->titleLabel()->text(), QStringLiteral("成员 · 权限"));
    QCOMPARE(view->countLabel()->text(), QStringLiteral("3 人"));
    QVERIFY(view->renameButton()->isVisible());
    QCOMPARE((settle(), view->gridWidget()->findChildren<QCheckBox *>()).size(), 34);
    const QStringList labels = gridLabels(*view);
    QVERIFY(labels.contains(QStringLiteral("能力 (4)")));
    QVERIFY(labels.contains(QStringLiteral("子房间管理 (3)")));
    QVERIFY(labels.contains(QStringLiteral("转让房主 / 解散房间 / 删除房间 为房主专属，不可分配给身份")));
    QVERIFY(boxFor(*view, QStringLiteral("语音聊天"))->isChecked());
    QVERIFY(boxFor(*view, QStringLiteral("文字聊天"))->isChecked());
    QVERIFY(!boxFor(*view, QStringLiteral("邀人进房"))->isChecked());
    QCOMPARE(emittedTotal(), 0); // building the grid emits nothing
}

void RoomPermsViewTest::nonEditableRoleIsReadOnly()
{
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    view->roleList()->setCurrentRow(0);
    QCOMPARE(view->titleLabel()->text(), QStringLiteral("管理员 · 权限"));
    QVERIFY(boxFor(*view, QStringLiteral("踢出房间"))->isChecked());
    QVERIFY(!boxFor(*view, QStringLiteral("踢出房间"))->isEnabled());
    QVERIFY(!view->renameButton()->isVisible());
    QVERIFY(!view->deleteButton()->isVisible());
}

void RoomPermsViewTest::togglesSendTheWholeSet()
{
    QList<RoleEntry> roles = sampleRoles();
    roles[2].permKeys.append(QStringLiteral("core.room.future_key")); // not in the catalogue
    view->setCanManage(true);
    view->setRoles(roles);
    view->roleList()->setCurrentRow(1);
    auto *saved = spies.at(2);
    QTest::mouseClick(boxFor(*view, QStringLiteral("邀人进房")), Qt::LeftButton);
    QTest::mouseClick(boxFor(*view, QStringLiteral("语音聊天")), Qt::LeftButton);
    QCOMPARE(saved->count(), 2);
    QCOMPARE(saved->at(0).at(0).toLongLong(), 20);
    const QStringList first = saved->at(0).at(1).toStringList();
    const QStringList second = saved->at(1).at(1).toStringList();
    QCOMPARE(QSet<QString>(first.cbegin(), first.cend()),
             (QSet<QString>{QStringLiteral("core.room.speak"), QStringLiteral("core.room.future_key"),
                            QStringLiteral("core.room.invite_members")}));
    QCOMPARE(QSet<QString>(second.cbegin(), second.cend()),
             (QSet<QString>{QStringLiteral("core.room.future_key"), QStringLiteral("core.room.invite_members")}));
    QCOMPARE(emittedTotal(), 2);

    // Refills before the server answers, equal or changed elsewhere, keep the toggles.
    view->setRoles(roles);
    QList<RoleEntry> elsewhere = roles;
    elsewhere[1].memberCount += 3;
    elsewhere[3].name = QStringLiteral("新名");
    view->setRoles(elsewhere);
    QCOMPARE(view->selectedRoleId(), 20);
    QVERIFY(!boxFor(*view, QStringLiteral("语音聊天"))->isChecked());
    QVERIFY(boxFor(*view, QStringLiteral("邀人进房"))->isChecked());
    QCOMPARE(emittedTotal(), 2);

    // The answer changes the role's keys: from then on the server's set shows.
    QList<RoleEntry> answered = elsewhere;
    answered[2].permKeys = {QStringLiteral("core.room.speak")};
    view->setRoles(answered);
    QVERIFY(boxFor(*view, QStringLiteral("语音聊天"))->isChecked());
    QVERIFY(!boxFor(*view, QStringLiteral("邀人进房"))->isChecked());
    QCOMPARE(emittedTotal(), 2);
}

void RoomPermsViewTest::selectionFallsBackWhenTheRoleGoes()
{
    view->setRoles(sampleRoles());
    view->roleList()->setCurrentRow(2);
    QCOMPARE(view->selectedRoleId(), 30);
    QList<RoleEntry> fewer = sampleRoles();
    fewer.removeLast();
    view->setRoles(fewer);
    QCOMPARE(view->roleList()->currentRow(), 0);
    QCOMPARE(view->selectedRoleId(), 10);
    QCOMPARE(view->titleLabel()->text(), QStringLiteral("管理员 · 权限"));
}

void RoomPermsViewTest::rename_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("emitted");
    QTest::newRow("new name, trimmed") << "  主持人 " << true << 1;
    QTest::newRow("same name") << "主持" << true << 0;
    QTest::newRow("blanks only") << "   " << true << 0;
    QTest::newRow("cancelled") << "别的" << false << 0;
}

void RoomPermsViewTest::rename()
{
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(int, emitted);
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    view->roleList()->setCurrentRow(1);
    QString start;
    answerNextInput(typed, accept, &start);
    QTest::mouseClick(view->renameButton(), Qt::LeftButton);
    QCOMPARE(start, QStringLiteral("主持"));
    auto *renamed = spies.at(1);
    QCOMPARE(renamed->count(), emitted);
    if (emitted) {
        QCOMPARE(renamed->at(0).at(0).toLongLong(), 20);
        QCOMPARE(renamed->at(0).at(1).toString(), QStringLiteral("主持人"));
    }
    QCOMPARE(emittedTotal(), emitted);
}

void RoomPermsViewTest::createAndDelete()
{
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    QString start;
    answerNextInput(QStringLiteral("  "), true, &start);
    QTest::mouseClick(view->newRoleButton(), Qt::LeftButton);
    QCOMPARE(emittedTotal(), 0);
    answerNextInput(QStringLiteral(" 嘉宾 "), true, &start);
    QTest::mouseClick(view->newRoleButton(), Qt::LeftButton);
    QCOMPARE(start, QString());
    QCOMPARE(spies.at(0)->count(), 1);
    QCOMPARE(spies.at(0)->at(0).at(0).toString(), QStringLiteral("嘉宾"));
    QCOMPARE(view->roleList()->count(), 3); // the rail waits for the refill

    view->roleList()->setCurrentRow(2);
    QTest::mouseClick(view->deleteButton(), Qt::LeftButton);
    QCOMPARE(spies.at(3)->count(), 1);
    QCOMPARE(spies.at(3)->at(0).at(0).toLongLong(), 30);
    QCOMPARE(emittedTotal(), 2);
}

void RoomPermsViewTest::reorderReportsOnlyEditableRoles()
{
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    // Drop the default role above the administrator.
    QVERIFY(view->roleList()->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
    auto *reordered = spies.at(4);
    QCOMPARE(reordered->count(), 1);
    QCOMPARE(reordered->at(0).at(0).value<QList<qint64>>(), (QList<qint64>{30, 20}));
    QCOMPARE(emittedTotal(), 1);
}

void RoomPermsViewTest::channelCatalogue()
{
    view->setCanManage(true);
    view->setRoles(sampleRoles());
    view->roleList()->setCurrentRow(1);
    view->setCatalog(kChannelPermissionGroups, kChannelPermissionGroupCount, kChannelOwnerOnlyPermissions,
                     kChannelOwnerOnlyPermissionCount, QString::fromUtf8(kChannelOwnerNote));
    QCOMPARE(view->selectedRoleId(), 20);
    const QStringList labels = gridLabels(*view);
    QVERIFY(labels.contains(QStringLiteral("成员管理 (2)")));
    QVERIFY(labels.contains(QStringLiteral("身份管理 (2)")));
    QVERIFY(labels.contains(QStringLiteral("频道管理 (7)")));
    QVERIFY(labels.contains(QStringLiteral("转让频道主 / 解散频道 为频道主专属，不可分配给身份")));
    QCOMPARE((settle(), view->gridWidget()->findChildren<QCheckBox *>()).size(), 11);
    QCOMPARE(emittedTotal(), 0);
}

KESTOVA_TEST_MAIN(RoomPermsViewTest)
#include "test_room_perms_view.moc"
