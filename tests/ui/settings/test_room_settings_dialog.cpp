#include "ui/settings/room_settings_dialog.h"

#include "settings_test_util.h"
#include "support/picture_check.h"
#include "support/test_main.h"
#include "theme/style_helpers.h"
#include "ui/settings/room_delete_view.h"
#include "ui/settings/room_members_view.h"
#include "ui/settings/room_perms_view.h"
#include "ui/widgets/underline_tab_bar.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaMethod>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyleFactory>

using namespace settingstest;

namespace {

RoomBaseSettingsView::Values values(bool persistent, const QString &accessMode = QStringLiteral("public"))
{
    RoomBaseSettingsView::Values v;
    v.name = QStringLiteral("周五开黑");
    v.isPersistent = persistent;
    v.roomCode = persistent ? QStringLiteral("482913") : QString();
    v.roomCodeEnabled = persistent;
    v.accessMode = accessMode;
    return v;
}

QString prefStatus(RoomSettingsDialog &dialog)
{
    for (QLabel *label : dialog.prefList()->findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("生效中") || label->text() == QStringLiteral("未生效"))
            return label->text();
    }
    return {};
}

// Spies on every signal the dialog declares itself.
QList<QSignalSpy *> spyAll(RoomSettingsDialog *dialog)
{
    QList<QSignalSpy *> spies;
    const QMetaObject *meta = dialog->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            spies.append(new QSignalSpy(dialog, meta->method(i)));
    }
    return spies;
}

int total(const QList<QSignalSpy *> &spies)
{
    int sum = 0;
    for (const QSignalSpy *spy : spies)
        sum += int(spy->count());
    return sum;
}

} // namespace

class RoomSettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowedAndEmbedded();
    void settersEmitNothing();
    void deletePageAppearsOnceForPersistentRooms();
    void deleteEnabledBeforeThePageExists();
    void prefStatusFollowsTheShownAccessMode();
    void permissionsReachTheirPages();
    void forwardsPageSignals();
    void picture();
};

void RoomSettingsDialogTest::initTestCase()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
}

void RoomSettingsDialogTest::windowedAndEmbedded()
{
    RoomSettingsDialog windowed;
    QCOMPARE(windowed.windowTitle(), QStringLiteral("房间设置"));
    QVERIFY(windowed.isModal());
    QVERIFY(windowed.footer());
    QCOMPARE(windowed.minimumWidth(), 516);
    QCOMPARE(windowed.tabBar()->count(), 4);
    QStringList tabs;
    for (int i = 0; i < windowed.tabBar()->count(); ++i)
        tabs.append(windowed.tabBar()->tab(i).text);
    QCOMPARE(tabs, (QStringList{QStringLiteral("设置"), QStringLiteral("偏好组"), QStringLiteral("成员"),
                                QStringLiteral("权限")}));
    QCOMPARE(windowed.pages()->count(), 4);

    QWidget host;
    auto *embedded = new RoomSettingsDialog(&host, true);
    QVERIFY(!embedded->footer());
    QVERIFY(!embedded->isModal());
    QVERIFY(!embedded->isWindow());
    QCOMPARE(embedded->windowTitle(), QString());
    QSignalSpy saved(embedded, &RoomSettingsDialog::settingsSaved);
    RoomSettingsDialog::Permissions p;
    p.changeAccessMode = true;
    embedded->setPermissions(p);
    host.show();
    QVERIFY(clickSegment(embedded->basePage()->accessModeControl(), QStringLiteral("pref_only")));
    QCOMPARE(saved.count(), 1);
}

void RoomSettingsDialogTest::settersEmitNothing()
{
    RoomSettingsDialog dialog;
    const QList<QSignalSpy *> spies = spyAll(&dialog);
    QCOMPARE(spies.size(), 15);
    RoomSettingsDialog::Permissions all;
    all.changeName = all.changeBitrate = all.changeAccessMode = all.toggleRequireApproval = true;
    all.toggleCodeDirectEntry = all.managePref = all.manageRoomCode = all.manageModule = true;
    all.toggleAllowSubroomAttach = all.toggleAllowSubroomBroadcast = all.toggleAllowSubroomChat = true;
    all.assignRoles = all.manageRoles = all.configTagSystem = true;
    dialog.show();
    dialog.setPermissions(all);
    dialog.setSettings(values(true, QStringLiteral("invite_only")));
    dialog.setDefaultName(QStringLiteral("默认"));
    dialog.setRoles(sampleRoles());
    dialog.setMembers(sampleMembers());
    dialog.setPrefMembers({{QStringLiteral("u1"), QStringLiteral("阿明"), QStringLiteral("aming")}});
    dialog.setDeleteEnabled(false);
    dialog.setTagSystemEnabled(true);
    dialog.setSettings(values(false));
    dialog.setPermissions({});
    QCOMPARE(total(spies), 0);
    qDeleteAll(spies);
}

void RoomSettingsDialogTest::deletePageAppearsOnceForPersistentRooms()
{
    RoomSettingsDialog dialog;
    dialog.setSettings(values(false));
    QCOMPARE(dialog.tabBar()->count(), 4);
    QVERIFY(!dialog.deletePage());
    dialog.setSettings(values(true));
    QCOMPARE(dialog.tabBar()->count(), 5);
    QCOMPARE(dialog.pages()->count(), 5);
    QCOMPARE(dialog.tabBar()->tab(4).text, QStringLiteral("删除房间"));
    QVERIFY(dialog.tabBar()->tab(4).danger);
    QCOMPARE(dialog.pages()->widget(4), dialog.deletePage());
    RoomDeleteView *page = dialog.deletePage();
    dialog.setSettings(values(true));
    dialog.setSettings(values(false));
    QCOMPARE(dialog.tabBar()->count(), 5);
    QCOMPARE(dialog.deletePage(), page);

    dialog.tabBar()->setCurrentIndex(4);
    QCOMPARE(dialog.pages()->currentIndex(), 4);
}

void RoomSettingsDialogTest::deleteEnabledBeforeThePageExists()
{
    RoomSettingsDialog dialog;
    dialog.setDeleteEnabled(false);
    dialog.setSettings(values(true));
    QVERIFY(!dialog.deletePage()->confirmButton()->isEnabled());
    dialog.setDeleteEnabled(true);
    QVERIFY(dialog.deletePage()->confirmButton()->isEnabled());
}

void RoomSettingsDialogTest::prefStatusFollowsTheShownAccessMode()
{
    RoomSettingsDialog dialog;
    QCOMPARE(prefStatus(dialog), QStringLiteral("生效中"));
    dialog.setSettings(values(false, QStringLiteral("invite_only")));
    QCOMPARE(prefStatus(dialog), QStringLiteral("未生效"));
    dialog.setSettings(values(false, QStringLiteral("pref_only")));
    QCOMPARE(prefStatus(dialog), QStringLiteral("生效中"));
    dialog.setSettings(values(false, QStringLiteral("nonsense"))); // no segment: as it was
    QCOMPARE(prefStatus(dialog), QStringLiteral("生效中"));

    RoomSettingsDialog::Permissions p;
    p.changeAccessMode = true;
    dialog.setPermissions(p);
    dialog.show();
    QSignalSpy saved(&dialog, &RoomSettingsDialog::settingsSaved);
    QVERIFY(clickSegment(dialog.basePage()->accessModeControl(), QStringLiteral("invite_only")));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(prefStatus(dialog), QStringLiteral("未生效")); // before any new values
}

void RoomSettingsDialogTest::permissionsReachTheirPages()
{
    RoomSettingsDialog dialog;
    dialog.setRoles(sampleRoles());
    dialog.setMembers(sampleMembers());
    dialog.show();
    RoomSettingsDialog::Permissions p;
    p.manageRoles = true;
    dialog.setPermissions(p);
    QVERIFY(!dialog.rolesPage()->newRoleButton()->isHidden());
    QVERIFY(!dialog.membersPage()->batchBar()->isHidden());
    QListWidget *list = dialog.membersPage()->memberList();
    QVERIFY(!list->itemWidget(list->item(0))->findChild<QPushButton *>()->isEnabled());
    QVERIFY(!dialog.prefList()->isEditable());
    QVERIFY(!dialog.basePage()->nameField()->isEnabled());

    p = {};
    p.assignRoles = true;
    p.managePref = true;
    p.changeName = true;
    dialog.setPermissions(p);
    QVERIFY(dialog.rolesPage()->newRoleButton()->isHidden());
    QVERIFY(dialog.membersPage()->batchBar()->isHidden());
    QVERIFY(list->itemWidget(list->item(0))->findChild<QPushButton *>()->isEnabled());
    QVERIFY(dialog.prefList()->isEditable());
    QVERIFY(dialog.basePage()->nameField()->isEnabled());
}

void RoomSettingsDialogTest::forwardsPageSignals()
{
    RoomSettingsDialog dialog;
    const QList<QSignalSpy *> spies = spyAll(&dialog);
    RoomSettingsDialog::Permissions p;
    p.manageRoles = true;
    p.assignRoles = true;
    dialog.setPermissions(p);
    dialog.setRoles(sampleRoles());
    dialog.show();
    QSignalSpy batch(&dialog, &RoomSettingsDialog::memberRoleBatchReassignRequested);
    QSignalSpy reordered(&dialog, &RoomSettingsDialog::rolesReordered);
    QSignalSpy deleted(&dialog, &RoomSettingsDialog::roleDeleteRequested);

    QList<MemberEntry> members = sampleMembers();
    dialog.setMembers(members);
    QTest::mouseClick(dialog.membersPage()->applyButton(), Qt::LeftButton);
    QCOMPARE(batch.count(), 1);
    QVERIFY(dialog.rolesPage()->roleList()->model()->moveRow(QModelIndex(), 2, QModelIndex(), 1));
    QCOMPARE(reordered.count(), 1);
    QCOMPARE(reordered.at(0).at(0).value<QList<qint64>>(), (QList<qint64>{30, 20}));
    dialog.rolesPage()->roleList()->setCurrentRow(2);
    QTest::mouseClick(dialog.rolesPage()->deleteButton(), Qt::LeftButton);
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(total(spies), 3);
    qDeleteAll(spies);
}

void RoomSettingsDialogTest::picture()
{
    RoomSettingsDialog dialog;
    RoomSettingsDialog::Permissions all;
    all.changeName = all.changeBitrate = all.changeAccessMode = all.toggleRequireApproval = true;
    all.toggleCodeDirectEntry = all.managePref = all.manageRoomCode = true;
    all.toggleAllowSubroomAttach = all.toggleAllowSubroomBroadcast = all.toggleAllowSubroomChat = true;
    all.assignRoles = all.manageRoles = all.configTagSystem = true;
    dialog.setPermissions(all);
    RoomBaseSettingsView::Values v = values(true, QStringLiteral("pref_only"));
    v.requireApproval = true;
    dialog.setSettings(v);
    dialog.setTagSystemEnabled(true);
    dialog.setRoles(sampleRoles());
    dialog.setMembers(sampleMembers());
    dialog.setPrefMembers({{QStringLiteral("u1"), QStringLiteral("阿明"), QStringLiteral("aming")},
                           {QStringLiteral("u9"), QStringLiteral("Zoe"), QStringLiteral("zoe")}});
    dialog.resize(560, 640);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    const struct
    {
        int tab;
        const char *file;
    } shots[] = {{0, "/room_settings_base.png"},
                 {1, "/room_settings_pref.png"},
                 {2, "/room_settings_members.png"},
                 {3, "/room_settings_roles.png"},
                 {4, "/room_settings_delete.png"}};
    for (const auto &shot : shots) {
        dialog.tabBar()->setCurrentIndex(shot.tab);
        if (shot.tab == 3)
            dialog.rolesPage()->roleList()->setCurrentRow(1);
        // Rebuilt rows are shown and laid out by queued events.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        const QImage image = dialog.grab().toImage();
        QVERIFY(!image.isNull());
        QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR) + QLatin1String(shot.file)));
        // The tabs, every part of the page shown and the footer are drawn.
        QList<const QWidget *> parts{dialog.tabBar(), dialog.footer()};
        parts += testsupport::shownChildren(dialog.pages()->currentWidget());
        const QStringList blank = testsupport::blankRegions(image, testsupport::regionsOf(&dialog, parts));
        QVERIFY2(blank.isEmpty(), qPrintable(QLatin1String(shot.file) + QStringLiteral(": ")
                                             + blank.join(QStringLiteral(", "))));
    }
}

KESTOVA_TEST_MAIN(RoomSettingsDialogTest)
#include "test_room_settings_dialog.moc"
