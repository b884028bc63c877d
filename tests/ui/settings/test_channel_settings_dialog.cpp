#include "ui/settings/channel_settings_dialog.h"

#include "settings_test_util.h"
#include "support/picture_check.h"
#include "support/test_main.h"
#include "theme/style_helpers.h"
#include "theme/theme_palette.h"
#include "ui/settings/room_delete_view.h"
#include "ui/settings/room_members_view.h"
#include "ui/settings/room_perms_view.h"
#include "ui/widgets/underline_tab_bar.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyleFactory>
#include <QTimer>

using settingstest::sampleMembers;
using settingstest::sampleRoles;

namespace {

QList<QSignalSpy *> spyAll(QObject *object)
{
    QList<QSignalSpy *> spies;
    const QMetaObject *meta = object->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            spies.append(new QSignalSpy(object, meta->method(i)));
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

ChannelBaseSettingsView::Values channel(const QString &code = {}, bool enabled = false)
{
    return {QStringLiteral("频道一"), QStringLiteral("简介"), code, enabled};
}

// Types into a field as the user does and leaves it.
void typeAndLeave(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    field->insert(text); // typed text, within the field's length limit
    emit field->editingFinished();
}

void answerNextBox(int key)
{
    QTimer::singleShot(0, [key] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            QTest::keyClick(box, Qt::Key(key));
    });
}

} // namespace

class ChannelSettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile sheet(QStringLiteral(":/minimal-theme.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
        qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    }

    void builtWithFourPagesAndTheChannelCatalogue()
    {
        ChannelSettingsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("频道设置"));
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.minimumWidth(), 516);
        UnderlineTabBar *tabs = dialog.tabBar();
        QCOMPARE(tabs->count(), 4);
        QStringList texts;
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tab(i).text;
        QCOMPARE(texts, QStringList({"设置", "成员", "权限", "删除频道"}));
        QVERIFY(tabs->tab(3).danger);
        QVERIFY(!tabs->tab(2).danger);
        QCOMPARE(dialog.pages()->currentWidget(), dialog.basePage());
        QCOMPARE(dialog.pages()->indexOf(dialog.deletePage()), 3);
        QVERIFY(dialog.deletePage()->confirmButton()->isEnabled());
        QCOMPARE(dialog.deletePage()->confirmButton()->text(), QStringLiteral("我确认，删除频道"));

        tabs->setCurrentIndex(2);
        QCOMPARE(dialog.pages()->currentWidget(), dialog.rolesPage());
        dialog.setRoles(sampleRoles());
        // The owner's entry shows the channel's owner note, not the room's.
        const QList<QLabel *> labels = dialog.rolesPage()->findChildren<QLabel *>();
        const bool channelNote = std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *l) {
            return l->text().contains(QStringLiteral("为频道主专属"));
        });
        const bool roomNote = std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *l) {
            return l->text().contains(QStringLiteral("为房主专属"));
        });
        QVERIFY(channelNote);
        QVERIFY(!roomNote);
    }

    void pagesFollowThePermissions()
    {
        ChannelSettingsDialog dialog;
        dialog.setRoles(sampleRoles());
        dialog.setMembers(sampleMembers());
        dialog.setChannel(channel(QStringLiteral("ABC123"), true));
        dialog.show();
        QListWidget *list = dialog.membersPage()->memberList();
        const auto assignEnabled = [&] {
            return list->itemWidget(list->item(0))->findChild<QPushButton *>()->isEnabled();
        };

        ChannelSettingsDialog::Permissions p;
        p.manageRoles = true;
        dialog.setPermissions(p);
        QVERIFY(!dialog.rolesPage()->newRoleButton()->isHidden());
        QVERIFY(!dialog.membersPage()->batchBar()->isHidden());
        QVERIFY(!assignEnabled());
        QVERIFY(!dialog.basePage()->nameField()->isEnabled());
        QVERIFY(!dialog.basePage()->descriptionField()->isEnabled());
        QVERIFY(!dialog.basePage()->switchButton()->isEnabled());

        p = {};
        p.changeName = p.manageCode = p.assignRoles = true;
        dialog.setPermissions(p);
        QVERIFY(dialog.rolesPage()->newRoleButton()->isHidden());
        QVERIFY(dialog.membersPage()->batchBar()->isHidden());
        QVERIFY(assignEnabled());
        QVERIFY(dialog.basePage()->nameField()->isEnabled());
        QVERIFY(!dialog.basePage()->descriptionField()->isEnabled());
        QVERIFY(dialog.basePage()->switchButton()->isEnabled());
    }

    void deletionFollowsItsRightAndLeavesOnce()
    {
        ChannelSettingsDialog dialog;
        QSignalSpy deleted(&dialog, &ChannelSettingsDialog::channelDeleteRequested);
        dialog.setDeleteEnabled(false);
        QVERIFY(!dialog.deletePage()->confirmButton()->isEnabled());
        dialog.setDeleteEnabled(true);
        answerNextBox(Qt::Key_Y);
        dialog.deletePage()->confirmButton()->click();
        QCOMPARE(deleted.size(), 1);
    }

    void settersEmitNothingAndPagesAreForwarded()
    {
        ChannelSettingsDialog dialog;
        const QList<QSignalSpy *> spies = spyAll(&dialog);
        QCOMPARE(spies.size(), 10);
        dialog.show();
        ChannelSettingsDialog::Permissions all{true, true, true, true, true};
        dialog.setPermissions(all);
        dialog.setChannel(channel(QStringLiteral("X1"), true));
        dialog.setRoles(sampleRoles());
        dialog.setMembers(sampleMembers());
        dialog.setDeleteEnabled(false);
        dialog.setChannel(channel());
        dialog.setPermissions({});
        QCOMPARE(total(spies), 0);

        emit dialog.membersPage()->memberRoleChanged(QStringLiteral("u1"), 20);
        emit dialog.membersPage()->memberRoleBatchReassignRequested(20, 30);
        emit dialog.rolesPage()->roleCreateRequested(QStringLiteral("新"));
        emit dialog.rolesPage()->roleRenameRequested(20, QStringLiteral("改"));
        emit dialog.rolesPage()->rolePermissionsSaved(20, {QStringLiteral("k")});
        emit dialog.rolesPage()->roleDeleteRequested(20);
        emit dialog.rolesPage()->rolesReordered({30, 20});
        emit dialog.basePage()->settingsSaved(QJsonObject{{QStringLiteral("name"), QStringLiteral("n")}});
        emit dialog.basePage()->codeToggleRequested(true);
        emit dialog.deletePage()->roomDeleteRequested();
        for (const QSignalSpy *spy : spies)
            QCOMPARE(spy->count(), 1);
        qDeleteAll(spies);
    }

    void nameAndDescriptionCommits()
    {
        ChannelBaseSettingsView view;
        view.setPermissions(true, true, true);
        view.setValues(channel());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy saved(&view, &ChannelBaseSettingsView::settingsSaved);

        typeAndLeave(view.nameField(), QStringLiteral("   "));
        typeAndLeave(view.nameField(), QStringLiteral(" 频道一 "));
        QCOMPARE(saved.size(), 0);
        typeAndLeave(view.nameField(), QStringLiteral("新名字"));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.at(0).at(0).toJsonObject(), QJsonObject({{QStringLiteral("name"), QStringLiteral("新名字")}}));
        emit view.nameField()->editingFinished(); // leaving again, even if the server refused
        QCOMPARE(saved.size(), 1);

        view.descriptionField()->clear();
        emit view.descriptionField()->editingFinished();
        QCOMPARE(saved.size(), 2);
        QCOMPARE(saved.at(1).at(0).toJsonObject(), QJsonObject({{QStringLiteral("description"), QString()}}));

        typeAndLeave(view.nameField(), QString(25, QLatin1Char('x')));
        QCOMPARE(saved.last().at(0).toJsonObject().value(QStringLiteral("name")).toString(),
                 QString(20, QLatin1Char('x')));
        QCOMPARE(view.nameField()->maxLength(), 20);
        QCOMPARE(view.descriptionField()->maxLength(), 200);
    }

    void refillSparesTheFieldBeingEdited()
    {
        ChannelBaseSettingsView view;
        view.setPermissions(true, true, true);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.activateWindow();
        view.nameField()->setFocus();
        QTRY_VERIFY(view.nameField()->hasFocus());
        view.nameField()->setText(QStringLiteral("typing"));
        view.setValues(channel());
        QCOMPARE(view.nameField()->text(), QStringLiteral("typing"));
        QCOMPARE(view.descriptionField()->text(), QStringLiteral("简介"));
        view.descriptionField()->setFocus();
        QTRY_VERIFY(!view.nameField()->hasFocus());
        ChannelBaseSettingsView::Values next = channel();
        next.name = QStringLiteral("服务器的名字");
        view.setValues(next);
        QCOMPARE(view.nameField()->text(), QStringLiteral("服务器的名字"));
    }

    void codeRow_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<bool>("copyShown");
        QTest::addColumn<QString>("switchText");
        QTest::newRow("no code") << QString() << true << "------"
                                 << "textMuted" << false << "生成并启用";
        QTest::newRow("paused") << "K9Z" << false << "K9Z"
                                << "textMuted" << true << "启用";
        QTest::newRow("active") << "K9Z" << true << "K9Z"
                                << "text" << true << "暂停";
    }

    void codeRow()
    {
        QFETCH(QString, code);
        QFETCH(bool, enabled);
        QFETCH(QString, label);
        QFETCH(QString, colour);
        QFETCH(bool, copyShown);
        QFETCH(QString, switchText);
        ChannelBaseSettingsView view;
        QVERIFY(view.nameField()->isEnabled());
        QVERIFY(!view.switchButton()->isEnabled());
        QCOMPARE(view.switchButton()->text(), QStringLiteral("生成并启用"));
        view.setPermissions(false, false, false);
        view.setValues(channel(code, enabled));
        QCOMPARE(view.codeLabel()->text(), label);
        QVERIFY(view.codeLabel()->styleSheet().contains(
            QStringLiteral("color:%1;").arg(QLatin1String(ThemePalette::hex(colour.toLatin1().constData())))));
        QCOMPARE(!view.copyButton()->isHidden(), copyShown);
        QCOMPARE(view.switchButton()->text(), switchText);
        QVERIFY(!view.switchButton()->isEnabled());

        // Without the right the switch is off, but an existing code still copies.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        view.copyButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), code.isEmpty() ? QStringLiteral("before") : code);

        view.setPermissions(false, false, true);
        QSignalSpy toggled(&view, &ChannelBaseSettingsView::codeToggleRequested);
        view.switchButton()->click();
        QCOMPARE(toggled.value(0), QVariantList({!enabled}));
        QCOMPARE(view.switchButton()->text(), switchText); // unchanged until the refill
    }

    void picture()
    {
        ChannelSettingsDialog dialog;
        dialog.setPermissions({true, true, true, true, true});
        dialog.setChannel(
            {QStringLiteral("周五桌游"), QStringLiteral("每周五晚上开黑"), QStringLiteral("QX7-42B"), true});
        dialog.setRoles(sampleRoles());
        dialog.setMembers(sampleMembers());
        dialog.resize(560, 600);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
        const char *files[] = {"/channel_settings_base.png", "/channel_settings_members.png",
                               "/channel_settings_roles.png", "/channel_settings_delete.png"};
        for (int tab = 0; tab < 4; ++tab) {
            dialog.tabBar()->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            const QImage image = dialog.grab().toImage();
            QVERIFY(!image.isNull());
            QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR) + QLatin1String(files[tab])));
            // The tabs and every part of the page shown are drawn.
            QList<const QWidget *> parts{dialog.tabBar()};
            parts += testsupport::shownChildren(dialog.pages()->currentWidget());
            const QStringList blank = testsupport::blankRegions(image, testsupport::regionsOf(&dialog, parts));
            QVERIFY2(blank.isEmpty(), qPrintable(QLatin1String(files[tab]) + QStringLiteral(": ")
                                                 + blank.join(QStringLiteral(", "))));
        }
    }
};

KESTOVA_TEST_MAIN(ChannelSettingsDialogTest)
#include "test_channel_settings_dialog.moc"
