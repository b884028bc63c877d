#include "ui/settings/room_base_settings_view.h"

#include "settings_test_util.h"
#include "support/test_main.h"
#include "theme/theme_palette.h"

#include <QComboBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using settingstest::clickSegment;

namespace {

RoomBaseSettingsView::Permissions allRights()
{
    RoomBaseSettingsView::Permissions p;
    p.changeName = p.changeBitrate = p.changeAccessMode = p.toggleRequireApproval = p.toggleCodeDirectEntry = true;
    p.manageRoomCode = p.manageModule = p.toggleAllowSubroomAttach = p.toggleAllowSubroomBroadcast = true;
    p.toggleAllowSubroomChat = p.configTagSystem = true;
    return p;
}

RoomBaseSettingsView::Values persistentValues()
{
    RoomBaseSettingsView::Values v;
    v.name = QStringLiteral("大厅");
    v.isPersistent = true;
    v.roomCode = QStringLiteral("123456");
    v.roomCodeEnabled = true;
    return v;
}

} // namespace

class RoomBaseSettingsViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsDisabledWithPlaceholders();
    void settersEmitNothing();
    void choiceClickEmitsOnlyThatChange_data();
    void choiceClickEmitsOnlyThatChange();
    void refusedChangeIsUndoneByTheNextRefill();
    void nameCommitOnClickElsewhere_data();
    void nameCommitOnClickElsewhere();
    void focusedNameFieldKeepsItsText();
    void bitrateChoice();
    void roomCodeRow_data();
    void roomCodeRow();
    void roomCodeSwitchAsksForTheOtherState();
    void accessHint_data();
    void accessHint();
    void tagSystemToggle();
    void defaultNameIsOnlyAPlaceholder();

private:
    RoomBaseSettingsView *view = nullptr;
    QList<QSignalSpy *> spies;
    QSignalSpy *saved = nullptr;
    int emittedTotal() const;
};

void RoomBaseSettingsViewTest::init()
{
    view = new RoomBaseSettingsView;
    saved = new QSignalSpy(view, &RoomBaseSettingsView::settingsSaved);
    spies = {saved, new QSignalSpy(view, &RoomBaseSettingsView::roomCodeToggleRequested),
             new QSignalSpy(view, &RoomBaseSettingsView::moduleSelectRequested),
             new QSignalSpy(view, &RoomBaseSettingsView::moduleDetachRequested),
             new QSignalSpy(view, &RoomBaseSettingsView::tagSystemToggleRequested)};
    view->resize(520, 600);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
}

void RoomBaseSettingsViewTest::cleanup()
{
    qDeleteAll(spies);
    spies.clear();
    delete view;
    view = nullptr;
}

int RoomBaseSettingsViewTest::emittedTotal() const
{
    int total = 0;
    for (const QSignalSpy *spy : spies)
        total += int(spy->count());
    return total;
}

void RoomBaseSettingsViewTest::startsDisabledWithPlaceholders()
{
    QVERIFY(!view->nameField()->isEnabled());
    QVERIFY(!view->bitrateBox()->isEnabled());
    QVERIFY(!view->accessModeControl()->isEnabled());
    QVERIFY(!view->tagSystemControl()->isEnabled());
    QCOMPARE(view->roomCodeLabel()->text(), QStringLiteral("------"));
    QCOMPARE(view->roomCodeSwitchButton()->text(), QStringLiteral("禁用"));
    QVERIFY(!view->roomCodeSwitchButton()->isEnabled());
    QCOMPARE(view->moduleLabel()->text(), QStringLiteral("未挂载"));
    QVERIFY(!view->moduleSelectButton()->isEnabled());
    QCOMPARE(view->bitrateBox()->count(), 6);
    QCOMPARE(view->bitrateBox()->itemData(3).toInt(), 64000);
    QCOMPARE(view->bitrateBox()->currentText(), QStringLiteral("64 kbps"));
}

void RoomBaseSettingsViewTest::settersEmitNothing()
{
    RoomBaseSettingsView::Values v = persistentValues();
    v.bitrate = 128000;
    v.accessMode = QStringLiteral("invite_only");
    v.requireApproval = true;
    v.codeDirectEntry = false;
    v.allowSubroom = QStringLiteral("reject");
    v.allowSubroomBroadcast = false;
    v.allowSubroomChat = false;
    view->setPermissions(allRights());
    view->setValues(v);
    view->setDefaultName(QStringLiteral("默认房名"));
    view->setTagSystemEnabled(true);
    view->setTagSystemEnabled(false);
    view->setValues(RoomBaseSettingsView::Values{});
    view->setPermissions(RoomBaseSettingsView::Permissions{});
    QCOMPARE(emittedTotal(), 0);
    // The refill took effect all the same.
    QCOMPARE(view->accessModeControl()->value(), QStringLiteral("public"));
    QCOMPARE(view->subroomAttachControl()->value(), QStringLiteral("ask"));
}

void RoomBaseSettingsViewTest::choiceClickEmitsOnlyThatChange_data()
{
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("segment");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("invite only") << 0 << "invite_only"
                                 << "accessMode" << QJsonValue(QStringLiteral("invite_only"));
    QTest::newRow("pref only") << 0 << "pref_only"
                               << "accessMode" << QJsonValue(QStringLiteral("pref_only"));
    QTest::newRow("approval on") << 1 << "true"
                                 << "requireApproval" << QJsonValue(true);
    QTest::newRow("direct entry off") << 2 << "false"
                                      << "codeDirectEntry" << QJsonValue(false);
    QTest::newRow("sub-room reject") << 3 << "reject"
                                     << "allowSubroom" << QJsonValue(QStringLiteral("reject"));
    QTest::newRow("broadcast off") << 4 << "false"
                                   << "allowSubroomBroadcast" << QJsonValue(false);
    QTest::newRow("chat off") << 5 << "false"
                              << "allowSubroomChat" << QJsonValue(false);
}

void RoomBaseSettingsViewTest::choiceClickEmitsOnlyThatChange()
{
    QFETCH(int, control);
    QFETCH(QString, segment);
    QFETCH(QString, key);
    QFETCH(QJsonValue, expected);
    view->setPermissions(allRights());
    view->setValues(persistentValues());
    SegmentedControl *controls[] = {view->accessModeControl(),       view->approvalControl(),
                                    view->directEntryControl(),      view->subroomAttachControl(),
                                    view->subroomBroadcastControl(), view->subroomChatControl()};
    SegmentedControl *target = controls[control];

    // The selected segment again: nothing.
    QVERIFY(clickSegment(target, target->value()));
    QCOMPARE(emittedTotal(), 0);

    QVERIFY(clickSegment(target, segment));
    QCOMPARE(emittedTotal(), 1);
    QCOMPARE(saved->count(), 1);
    const QJsonObject updates = saved->at(0).at(0).toJsonObject();
    QCOMPARE(updates.keys(), QStringList{key});
    QCOMPARE(updates.value(key), expected);
    QCOMPARE(updates.value(key).type(), expected.type());
    // The control shows the click until the owner refills the page.
    QCOMPARE(target->value(), segment);
}

void RoomBaseSettingsViewTest::refusedChangeIsUndoneByTheNextRefill()
{
    view->setPermissions(allRights());
    view->setValues(persistentValues());
    QVERIFY(clickSegment(view->accessModeControl(), QStringLiteral("invite_only")));
    QVERIFY(clickSegment(view->subroomChatControl(), QStringLiteral("false")));
    QCOMPARE(saved->count(), 2);
    QCOMPARE(view->currentAccessMode(), QStringLiteral("invite_only"));

    view->setValues(persistentValues()); // the server refused: same values again
    QCOMPARE(view->accessModeControl()->value(), QStringLiteral("public"));
    QCOMPARE(view->subroomChatControl()->value(), QStringLiteral("true"));
    QCOMPARE(view->accessHintLabel()->text(), QStringLiteral("能加入 = 所有人，可申请 = 无，不可加入 = 无"));
    QCOMPARE(saved->count(), 2);
}

void RoomBaseSettingsViewTest::nameCommitOnClickElsewhere_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("emits");
    QTest::addColumn<QString>("sent");
    QTest::newRow("new name with blanks") << "  新名字 " << true << "新名字";
    QTest::newRow("unchanged") << "大厅" << false << "";
    QTest::newRow("unchanged but padded") << " 大厅  " << false << "";
    QTest::newRow("cleared") << "" << true << "";
}

void RoomBaseSettingsViewTest::nameCommitOnClickElsewhere()
{
    QFETCH(QString, typed);
    QFETCH(bool, emits);
    QFETCH(QString, sent);
    view->setPermissions(allRights());
    view->setValues(persistentValues());
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    view->nameField()->setFocus();
    QVERIFY(view->nameField()->hasFocus());
    view->nameField()->selectAll();
    if (typed.isEmpty())
        QTest::keyClick(view->nameField(), Qt::Key_Backspace);
    else
        view->nameField()->insert(typed); // typing, without key events for each character
    QCOMPARE(saved->count(), 0);

    // A press anywhere else in the application ends the edit.
    QTest::mouseClick(view->moduleLabel(), Qt::LeftButton);
    QVERIFY(!view->nameField()->hasFocus());
    QCOMPARE(saved->count(), emits ? 1 : 0);
    if (emits)
        QCOMPARE(saved->at(0).at(0).toJsonObject(), QJsonObject({{QStringLiteral("name"), sent}}));
    QCOMPARE(emittedTotal(), saved->count());
}

void RoomBaseSettingsViewTest::focusedNameFieldKeepsItsText()
{
    view->setPermissions(allRights());
    view->setValues(persistentValues());
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    view->nameField()->setFocus();
    QTest::keyClicks(view->nameField(), QStringLiteral("X"));
    const QString typing = view->nameField()->text();

    RoomBaseSettingsView::Values other = persistentValues();
    other.name = QStringLiteral("别处改名");
    view->setValues(other);
    QCOMPARE(view->nameField()->text(), typing);

    view->nameField()->clearFocus(); // ends the edit: the typed text goes out
    QCOMPARE(saved->count(), 1);
    view->setValues(other);
    QCOMPARE(view->nameField()->text(), QStringLiteral("别处改名"));
    QCOMPARE(saved->count(), 1);
}

void RoomBaseSettingsViewTest::bitrateChoice()
{
    view->setPermissions(allRights());
    view->setValues(persistentValues());
    QComboBox *box = view->bitrateBox();

    box->setCurrentIndex(3);
    emit box->activated(3); // 64 kbps, the current bitrate
    QCOMPARE(saved->count(), 0);

    box->setCurrentIndex(4);
    emit box->activated(4);
    QCOMPARE(saved->count(), 1);
    const QJsonValue bitrate = saved->at(0).at(0).toJsonObject().value(QStringLiteral("bitrate"));
    QVERIFY(bitrate.isDouble());
    QCOMPARE(bitrate.toInt(), 128000);

    // A bitrate that no item carries leaves the box where it is.
    RoomBaseSettingsView::Values odd = persistentValues();
    odd.bitrate = 48000;
    view->setValues(odd);
    QCOMPARE(box->currentIndex(), 4);
    QCOMPARE(saved->count(), 1);
}

void RoomBaseSettingsViewTest::roomCodeRow_data()
{
    QTest::addColumn<bool>("persistent");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("right");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<bool>("copyVisible");
    QTest::addColumn<QString>("switchText");
    QTest::addColumn<bool>("switchEnabled");
    QTest::newRow("temporary room, all rights") << false << "123456" << true << true << "------"
                                                << "textMuted" << false << "禁用" << false;
    QTest::newRow("persistent, no code") << true << "" << true << true << "------"
                                         << "textMuted" << false << "启用" << true;
    QTest::newRow("persistent, code off") << true << "123456" << false << true << "123456"
                                          << "textMuted" << true << "启用" << true;
    QTest::newRow("persistent, code on") << true << "123456" << true << true << "123456"
                                         << "text" << true << "暂停" << true;
    QTest::newRow("persistent, code on, no right") << true << "123456" << true << false << "123456"
                                                   << "text" << true << "暂停" << false;
}

void RoomBaseSettingsViewTest::roomCodeRow()
{
    QFETCH(bool, persistent);
    QFETCH(QString, code);
    QFETCH(bool, enabled);
    QFETCH(bool, right);
    QFETCH(QString, label);
    QFETCH(QString, colour);
    QFETCH(bool, copyVisible);
    QFETCH(QString, switchText);
    QFETCH(bool, switchEnabled);
    RoomBaseSettingsView::Permissions rights = allRights();
    rights.manageRoomCode = right;
    view->setPermissions(rights);
    RoomBaseSettingsView::Values v;
    v.isPersistent = persistent;
    v.roomCode = code;
    v.roomCodeEnabled = enabled;
    view->setValues(v);
    QCOMPARE(view->roomCodeLabel()->text(), label);
    QCOMPARE(view->roomCodeLabel()->styleSheet(),
             QStringLiteral("color:%1;").arg(QLatin1String(ThemePalette::hex(colour.toLatin1().constData()))));
    QCOMPARE(view->copyButton()->isVisible(), copyVisible);
    QCOMPARE(view->roomCodeSwitchButton()->text(), switchText);
    QCOMPARE(view->roomCodeSwitchButton()->isEnabled(), switchEnabled);
}

void RoomBaseSettingsViewTest::roomCodeSwitchAsksForTheOtherState()
{
    view->setPermissions(allRights());
    RoomBaseSettingsView::Values v = persistentValues();
    v.roomCodeEnabled = false;
    view->setValues(v);
    QSignalSpy toggled(view, &RoomBaseSettingsView::roomCodeToggleRequested);
    QTest::mouseClick(view->roomCodeSwitchButton(), Qt::LeftButton);
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.at(0).at(0).toBool(), true);
    // Still the stored state: the page waits for the refill.
    QCOMPARE(view->roomCodeSwitchButton()->text(), QStringLiteral("启用"));
}

void RoomBaseSettingsViewTest::accessHint_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("approval");
    QTest::addColumn<QString>("text");
    QTest::newRow("invite, approval") << "invite_only" << true
                                      << "能加入 = 受邀请用户，可申请 = 偏好组成员、其他，不可加入 = 无";
    QTest::newRow("invite") << "invite_only" << false
                            << "能加入 = 受邀请用户，可申请 = 无，不可加入 = 偏好组成员、其他";
    QTest::newRow("pref, approval") << "pref_only" << true
                                    << "能加入 = 偏好组成员、受邀请用户，可申请 = 其他人，不可加入 = 无";
    QTest::newRow("pref") << "pref_only" << false << "能加入 = 偏好组成员、受邀请用户，可申请 = 无，不可加入 = 其他人";
    QTest::newRow("public, approval") << "public" << true << "能加入 = 所有人，可申请 = 无，不可加入 = 无";
}

void RoomBaseSettingsViewTest::accessHint()
{
    QFETCH(QString, mode);
    QFETCH(bool, approval);
    QFETCH(QString, text);
    RoomBaseSettingsView::Values v;
    v.accessMode = mode;
    v.requireApproval = approval;
    view->setValues(v);
    QCOMPARE(view->accessHintLabel()->text(), text);
}

void RoomBaseSettingsViewTest::tagSystemToggle()
{
    view->setPermissions(allRights());
    view->setTagSystemEnabled(true);
    QCOMPARE(view->tagSystemControl()->value(), QStringLiteral("true"));
    QSignalSpy toggled(view, &RoomBaseSettingsView::tagSystemToggleRequested);
    QVERIFY(clickSegment(view->tagSystemControl(), QStringLiteral("false")));
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.at(0).at(0).toBool(), false);
    QCOMPARE(saved->count(), 0);
    QCOMPARE(view->tagSystemControl()->value(), QStringLiteral("false"));
    view->setValues(persistentValues()); // values never touch the tag row
    QCOMPARE(view->tagSystemControl()->value(), QStringLiteral("false"));
    view->setTagSystemEnabled(true);
    QCOMPARE(view->tagSystemControl()->value(), QStringLiteral("true"));
    QCOMPARE(toggled.count(), 1);
}

void RoomBaseSettingsViewTest::defaultNameIsOnlyAPlaceholder()
{
    view->setPermissions(allRights());
    view->setDefaultName(QStringLiteral("阿明的房间"));
    view->setValues(RoomBaseSettingsView::Values{});
    QCOMPARE(view->nameField()->placeholderText(), QStringLiteral("阿明的房间"));
    QCOMPARE(view->nameField()->text(), QString());
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    view->nameField()->setFocus();
    view->nameField()->clearFocus();
    QCOMPARE(saved->count(), 0);
}

KESTOVA_TEST_MAIN(RoomBaseSettingsViewTest)
#include "test_room_base_settings_view.moc"
