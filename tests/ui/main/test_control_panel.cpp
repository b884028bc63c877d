#include "ui/main/control_panel.h"

#include "theme/style_helpers.h"

#include "support/test_main.h"

#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleFactory>

namespace {

QString stateOf(QPushButton *button)
{
    return button->property("state").toString();
}

void deactivateApplication()
{
    QEvent event(QEvent::ApplicationDeactivate);
    QApplication::sendEvent(qApp, &event);
}

} // namespace

class ControlPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void micStates_data();
    void micStates();
    void speakerStates();
    void requests();
    void pressAndReleaseBroadcast();
    void disabledButtonSwallowsPress();
    void hotkeyRules();
    void deactivationEndsTheBroadcastOnce();
    void permissionWithdrawnWhileHolding();
    void visibilityDeltas();
    void pressDuringHotkeyBroadcastPassesThrough();

private:
    ControlPanel *panel = nullptr;
};

void ControlPanelTest::initTestCase()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
}

void ControlPanelTest::init()
{
    panel = new ControlPanel;
    panel->resize(320, 120);
    panel->show();
}

void ControlPanelTest::cleanup()
{
    delete panel;
    panel = nullptr;
}

void ControlPanelTest::micStates_data()
{
    QTest::addColumn<bool>("freeTalk");
    QTest::addColumn<bool>("speaking");
    QTest::addColumn<bool>("forceMuted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");
    QTest::newRow("open") << true << false << false << "自由发言"
                          << "";
    QTest::newRow("push to talk idle") << false << false << false << "按键发言"
                                       << "off";
    QTest::newRow("push to talk held") << false << true << false << "说话中"
                                       << "primary";
    QTest::newRow("held beats open") << true << true << false << "说话中"
                                     << "primary";
    QTest::newRow("blocked") << false << false << true << "被禁言"
                             << "danger";
    QTest::newRow("blocked beats all") << true << true << true << "被禁言"
                                       << "danger";
}

void ControlPanelTest::micStates()
{
    QFETCH(bool, freeTalk);
    QFETCH(bool, speaking);
    QFETCH(bool, forceMuted);
    QFETCH(QString, text);
    QFETCH(QString, state);
    panel->setMicState(false, true, true); // start from a different state each time
    panel->setMicState(freeTalk, speaking, forceMuted);
    QCOMPARE(panel->micButton()->text(), text);
    QCOMPARE(stateOf(panel->micButton()), state);
    QCOMPARE(panel->micButton()->property("state").isValid(), !state.isEmpty());
}

void ControlPanelTest::speakerStates()
{
    QCOMPARE(panel->speakerButton()->text(), QStringLiteral("扬声器: 开"));
    QVERIFY(!panel->speakerButton()->property("state").isValid());
    panel->setSpeakerOn(false);
    QCOMPARE(panel->speakerButton()->text(), QStringLiteral("扬声器: 关"));
    QCOMPARE(stateOf(panel->speakerButton()), QStringLiteral("off"));
    panel->setSpeakerOn(true);
    QVERIFY(!panel->speakerButton()->property("state").isValid());
}

void ControlPanelTest::requests()
{
    QSignalSpy mic(panel, &ControlPanel::toggleMicRequested);
    QSignalSpy speaker(panel, &ControlPanel::toggleSpeakerRequested);
    QSignalSpy settings(panel, &ControlPanel::audioSettingsRequested);
    QSignalSpy disconnect(panel, &ControlPanel::disconnectRoomRequested);
    panel->micButton()->click();
    panel->speakerButton()->click();
    panel->disconnectButton()->click();
    const QList<QPushButton *> buttons = panel->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 5);
    for (QPushButton *button : buttons) {
        QCOMPARE(button->focusPolicy(), Qt::TabFocus);
        if (button->text().isEmpty() && button != panel->disconnectButton())
            button->click(); // the gear
    }
    QCOMPARE(mic.count(), 1);
    QCOMPARE(speaker.count(), 1);
    QCOMPARE(settings.count(), 1);
    QCOMPARE(disconnect.count(), 1);
    QCOMPARE(stateOf(panel->disconnectButton()), QStringLiteral("danger"));
    QCOMPARE(panel->disconnectButton()->toolTip(), QStringLiteral("断开连接"));
    QVERIFY(!panel->disconnectButton()->icon().isNull());
}

void ControlPanelTest::pressAndReleaseBroadcast()
{
    QSignalSpy changed(panel, &ControlPanel::broadcastStateChanged);
    QPushButton *button = panel->broadcastButton();
    QVERIFY(button->isHidden());
    panel->setBroadcastVisible(true);
    QCOMPARE(button->text(), QStringLiteral("广播（按住）"));
    QCOMPARE(stateOf(button), QStringLiteral("primary"));

    QTest::mousePress(button, Qt::RightButton);
    QTest::mouseRelease(button, Qt::RightButton);
    QCOMPARE(changed.count(), 0);

    QTest::mousePress(button, Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), true);
    QCOMPARE(button->text(), QStringLiteral("广播中..."));
    QCOMPARE(stateOf(button), QStringLiteral("primaryHold"));
    QVERIFY(!button->isDown()); // the press was consumed

    QTest::mouseRelease(button, Qt::LeftButton);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
    QCOMPARE(stateOf(button), QStringLiteral("primary"));
}

void ControlPanelTest::disabledButtonSwallowsPress()
{
    QSignalSpy changed(panel, &ControlPanel::broadcastStateChanged);
    panel->setBroadcastVisible(true);
    panel->setBroadcastAllowed(false);
    QPushButton *button = panel->broadcastButton();
    QVERIFY(!button->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("广播（按住）")); // may not speak: normal text, disabled
    QVERIFY(!button->property("state").isValid());
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
    panel->setBroadcasting(true);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!panel->isBroadcasting());
}

void ControlPanelTest::hotkeyRules()
{
    QSignalSpy changed(panel, &ControlPanel::broadcastStateChanged);
    panel->setBroadcasting(true);  // hidden: refused
    panel->setBroadcasting(false); // already off
    QCOMPARE(changed.count(), 0);

    panel->setBroadcastVisible(true);
    panel->setBroadcasting(true);
    panel->setBroadcasting(true);
    QCOMPARE(changed.count(), 1);
    panel->setBroadcasting(false);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
}

void ControlPanelTest::deactivationEndsTheBroadcastOnce()
{
    panel->setBroadcastVisible(true);
    QSignalSpy changed(panel, &ControlPanel::broadcastStateChanged);
    QTest::mousePress(panel->broadcastButton(), Qt::LeftButton);
    deactivateApplication();
    deactivateApplication();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
    QTest::mouseRelease(panel->broadcastButton(), Qt::LeftButton);
    QCOMPARE(changed.count(), 2);
}

void ControlPanelTest::permissionWithdrawnWhileHolding()
{
    panel->setBroadcastVisible(true);
    panel->setBroadcasting(true);
    QSignalSpy changed(panel, &ControlPanel::broadcastStateChanged);
    panel->setBroadcastAvailable(false);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), false);
    QCOMPARE(panel->broadcastButton()->text(), QStringLiteral("广播禁用"));
    QCOMPARE(panel->broadcastButton()->toolTip(), QStringLiteral("父房间已关闭子房广播"));
    QVERIFY(!panel->broadcastButton()->isEnabled());
    panel->setBroadcastAvailable(false);
    QCOMPARE(changed.count(), 1);

    panel->setBroadcastAvailable(true);
    QCOMPARE(panel->broadcastButton()->toolTip(), QStringLiteral("按住说话给所有人听"));
    panel->setBroadcasting(true);
    panel->setBroadcastVisible(false); // hiding ends it too
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.at(2).at(0).toBool(), false);
}

void ControlPanelTest::visibilityDeltas()
{
    QSignalSpy delta(panel, &ControlPanel::contentHeightDeltaRequested);
    panel->setBroadcastVisible(false); // already hidden
    QCOMPARE(delta.count(), 0);
    panel->setBroadcastVisible(true);
    panel->setBroadcastVisible(true);
    QCOMPARE(delta.count(), 1);
    const int grown = delta.at(0).at(0).toInt();
    QCOMPARE(grown, 6 + panel->broadcastButton()->sizeHint().height());
    panel->setBroadcastVisible(false);
    QCOMPARE(delta.count(), 2);
    QCOMPARE(delta.at(1).at(0).toInt(), -grown);
}

void ControlPanelTest::pressDuringHotkeyBroadcastPassesThrough()
{
    panel->setBroadcastVisible(true);
    panel->setBroadcasting(true); // from the hotkey
    QSignalSpy changed(panel, &ControlPanel::broadcastStateChanged);
    QPushButton *button = panel->broadcastButton();
    QTest::mousePress(button, Qt::LeftButton);
    QVERIFY(button->isDown()); // delivered to the button unchanged
    QCOMPARE(changed.count(), 0);
    QTest::mouseRelease(button, Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), false);
}

KESTOVA_TEST_MAIN(ControlPanelTest)
#include "test_control_panel.moc"
